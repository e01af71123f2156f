// The plotter program: a ZIR block in, the metafile gmeta out.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <string>
#include <vector>

#include "ncl_script.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string drovane_bin() { return binary_dir() + "/drovane"; }

// Written in the ZIR layout: four header lines, then the levels.
const char kBlock[] =
    "    254     12      1      JAN    1995\n"
    "      1  23062  72469  39.77N104.87W  1611   1115\n"
    "      2   3000   2500   2010     11      7      1\n"
    "      3           DEN                   52     ms\n"
    "      9   8370   1611     52    -23    350     50\n"
    "      4   8500   1500  99999  99999  99999  99999\n"
    "      5   8000   2050    -10    -45  99999  99999\n"
    "      4   7000   3012    -41    -90    270    120\n"
    "  99999  99999   4200  99999  99999    265    180\n"
    "      4   5000   5600   -180   -260    260    250\n"
    "      4   3000   9200   -440   -520    250    400\n";

// One frame of a metafile as the translator rasters it: a square of colour
// indices, row by row from the top.
struct Raster {
  int size = 0;
  std::vector<uint8_t> pixels;
  uint8_t at(int x, int y) const { return pixels[size_t(y) * size + x]; }
  bool operator==(const Raster& o) const {
    return size == o.size && pixels == o.pixels;
  }
};

uint32_t big_endian(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | uint8_t(s.at(at + i));
  return v;
}

std::string on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Every frame of the metafile, in order, rastered by the metafile
// translator into 8-bit X window dumps of size by size pixels, which it
// writes one after the other.
std::vector<Raster> frames_of(const std::string& metafile, int size) {
  const std::string ctrans = on_path("ctrans");
  EXPECT_NE(ctrans, "") << "the metafile translator ctrans is not on PATH";
  if (ctrans.empty()) return {};
  const std::string res = std::to_string(size) + "x" + std::to_string(size);
  const RunResult r =
      run_program(ctrans, {"-d", "xwd", "-res", res, metafile}, "");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<Raster> frames;
  size_t at = 0;
  while (at < r.out.size()) {
    const uint32_t header = big_endian(r.out, at);
    const uint32_t width = big_endian(r.out, at + 4 * 4);
    const uint32_t height = big_endian(r.out, at + 5 * 4);
    const uint32_t bits = big_endian(r.out, at + 11 * 4);
    const uint32_t line = big_endian(r.out, at + 12 * 4);
    const uint32_t colours = big_endian(r.out, at + 19 * 4);
    if (width != uint32_t(size) || height != uint32_t(size) || bits != 8 ||
        line < width) {
      ADD_FAILURE() << "unexpected raster " << width << "x" << height << ", "
                    << bits << " bits";
      return frames;
    }
    at += header + colours * 12;
    Raster f;
    f.size = size;
    for (uint32_t y = 0; y < height; ++y, at += line)
      f.pixels.insert(f.pixels.end(), r.out.begin() + at,
                      r.out.begin() + at + width);
    frames.push_back(f);
  }
  return frames;
}

// The ZIR block of a sounding with a wind at every level: from every
// direction, at speeds up to 150 knots (given in tenths of m/s), or none
// at all.
std::string windy_block(long day, bool winds) {
  static const long kPressures[] = {10000, 9250, 8500, 7000, 5000, 4000,
                                    3000,  2500, 2000, 1500, 1000};
  const int n = sizeof kPressures / sizeof kPressures[0];
  char line[128];
  std::string s;
  std::snprintf(line, sizeof line, "%7d%7d%7ld%9s%8d\n", 254, 0, day, "MAR",
                2001);
  s += line;
  s += "      1  23062  72469  39.77N104.87W  1611   1115\n";
  std::snprintf(line, sizeof line, "%7d%7d%7d%7d%7d%7d%7d\n", 2, 3000, 2500,
                2010, n + 4, 7, 1);
  s += line;
  s += "      3           DEN                   52     ms\n";
  for (int i = 0; i < n; ++i) {
    const long dir = winds ? (i * 37) % 360 : 99999;
    const long speed = winds ? 50 + i * 70 : 99999;  // up to 75 m/s
    std::snprintf(line, sizeof line, "%7d%7ld%7ld%7ld%7ld%7ld%7ld\n", 4,
                  kPressures[i], 100L + i * 1500, 150L - i * 60, 50L - i * 80,
                  dir, speed);
    s += line;
  }
  return s;
}

RunResult draw(const TempDir& dir, const std::string& text) {
  write_file(dir / "in", text);
  RunOptions opt;
  opt.cwd = dir.path();
  return run_program(drovane_bin(), {"in"}, "", opt);
}

TEST(Drovane, WindBarbsStayInTheirColumnRightOfTheFrame) {
  // What the winds add to the diagram lies right of the frame, clear of
  // the isotherms and adiabats, and within the page.
  const int kSize = 400;
  TempDir calm, windy;
  ASSERT_EQ(draw(calm, windy_block(1, false)).status, 0);
  ASSERT_EQ(draw(windy, windy_block(1, true)).status, 0);
  const std::vector<Raster> a = frames_of(calm / "gmeta", kSize);
  const std::vector<Raster> b = frames_of(windy / "gmeta", kSize);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  const int frame_right = int(drovane::kFrameRightNdc * kSize) + 1;
  int barb_pixels = 0, inside = 0;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (a[0].at(x, y) == b[0].at(x, y)) continue;
      ++barb_pixels;
      if (x <= frame_right) ++inside;
    }
  }
  EXPECT_GT(barb_pixels, 11 * 10);  // eleven barbs
  EXPECT_EQ(inside, 0) << "of " << barb_pixels << " barb pixels";
}

TEST(Drovane, DrawsEverySoundingOfTheFileOneFrameEach) {
  // Three soundings, blank lines between them: three frames, each the
  // diagram of its sounding alone.
  const int kSize = 200;
  const std::vector<std::string> blocks = {
      windy_block(1, true), windy_block(2, false), windy_block(3, true)};
  std::vector<Raster> alone;
  for (const std::string& b : blocks) {
    TempDir dir;
    ASSERT_EQ(draw(dir, b).status, 0);
    const std::vector<Raster> f = frames_of(dir / "gmeta", kSize);
    ASSERT_EQ(f.size(), 1u);
    alone.push_back(f[0]);
  }
  TempDir dir;
  const RunResult r = draw(dir, blocks[0] + "\n" + blocks[1] + blocks[2]);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<Raster> frames = frames_of(dir / "gmeta", kSize);
  ASSERT_EQ(frames.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(frames[i] == alone[i]) << i;
  EXPECT_FALSE(alone[0] == alone[2]);  // the dates differ
}

TEST(Drovane, DrawsTheSoundingIntoGmetaAndLeavesNothingElse) {
  TempDir dir;
  write_file(dir / "raob_soundings.zonder", kBlock);
  RunOptions opt;
  opt.cwd = dir.path();
  const RunResult r =
      run_program(drovane_bin(), {"raob_soundings.zonder"}, "", opt);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  ASSERT_TRUE(file_exists(dir / "gmeta"));
  EXPECT_GT(read_file(dir / "gmeta").size(), 10000u);
  EXPECT_EQ(dir_entries(dir.path()),
            (std::vector<std::string>{"gmeta", "raob_soundings.zonder"}));
}

TEST(Drovane, DrawsSoundingsWithAlmostNothingToShow) {
  // One level and no wind; no temperature at all; everything above 100 mb.
  const std::string head =
      "    254      0      2      FEB    1989\n"
      "      1  23062  72469  39.77N104.87W  1611  32767\n";
  const std::vector<std::string> blocks = {
      head + "      2    100    100  32767      5  32767  32767\n"
             "      3           DEN                         kt\n"
             "      9    837   1611     52    -23  32767  32767\n",
      head + "      2    100    100  32767      6  32767  32767\n"
             "      3           DEN                         kt\n"
             "      9    837   1611  32767  32767    350     10\n"
             "      4    700   3012  32767  32767    270     25\n",
      head + "      2    100    100  32767      5  32767  32767\n"
             "      3                                       kt\n"
             "      4     50  20600   -600   -800    270     40\n"};
  for (const std::string& block : blocks) {
    TempDir dir;
    write_file(dir / "in", block);
    RunOptions opt;
    opt.cwd = dir.path();
    const RunResult r = run_program(drovane_bin(), {"in"}, "", opt);
    EXPECT_EQ(r.status, 0) << block << r.err;
    EXPECT_TRUE(file_exists(dir / "gmeta")) << block;
  }
}

TEST(Drovane, RefusesUnreadableInputAndRemovesAnOldMetafile) {
  TempDir dir;
  RunOptions opt;
  opt.cwd = dir.path();
  const std::string truncated(kBlock, std::string(kBlock).find("      4   7000"));
  write_file(dir / "short", truncated);
  write_file(dir / "junk", "not a sounding\n");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  opt.timeout_seconds = 10;
  write_file(dir / "second", std::string(kBlock) + "not a sounding\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"missing"}, 1, "missing: No such file or directory"},
      {{"short"}, 1, "the block ends after 3 of 7 level lines"},
      {{"junk"}, 1, "junk: not a sounding block"},
      {{"."}, 1, std::string(".: ") + std::strerror(EISDIR)},
      // Files that are no files are refused at once, never read or waited
      // on.
      {{"fifo"}, 1, "fifo: not a regular file"},
      {{"/dev/zero"}, 1, "/dev/zero: not a regular file"},
      // A second block that is not one: nothing is drawn.
      {{"second"}, 1, "second: not a sounding block: line 12 (date)"},
      {{}, 2, "usage: drovane FILE"},
  };
  for (const Case& c : cases) {
    write_file(dir / "gmeta", "an earlier diagram");
    const RunResult r = run_program(drovane_bin(), c.args, "", opt);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (c.status == 1) {
      EXPECT_FALSE(file_exists(dir / "gmeta")) << r.err;
    }
  }
}

TEST(Drovane, ReportsADrawingThatFailed) {
  TempDir dir;
  write_file(dir / "in", kBlock);
  make_dir(dir / "bin");
  RunOptions opt;
  opt.cwd = dir.path();
  opt.extra_env = {"PATH=" + (dir / "bin")};
  // No NCL at all.
  RunResult r = run_program(drovane_bin(), {"in"}, "", opt);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the diagram could not be drawn"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("cannot start ncl"), std::string::npos) << r.err;
  EXPECT_EQ(dir_entries(dir.path()).size(), 2u);  // in, bin

  // NCL stops on an error half-way, with a partial metafile and status 0.
  write_file(dir / "bin/ncl",
             "#!/bin/sh\n"
             "echo partial > drovane_$PPID.ncgm\n"
             "echo 'fatal:Undefined identifier'\n"
             "exit 0\n");
  chmod((dir / "bin/ncl").c_str(), 0755);
  r = run_program(drovane_bin(), {"in"}, "", opt);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("fatal:Undefined identifier"), std::string::npos)
      << r.err;
  EXPECT_EQ(dir_entries(dir.path()).size(), 2u);
}

// A signal while NCL draws stops NCL and ends the run with 128 + the
// signal's number; nothing is left: no metafile, no private directory.
TEST(Drovane, SignalWhileDrawingLeavesNothingBehind) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    write_file(dir / "in", kBlock);
    make_dir(dir / "bin");
    make_dir(dir / "tmp");
    // An NCL that starts its metafile and then takes its time.
    write_file(dir / "bin/ncl",
               "#!/bin/sh\n"
               "echo $$ > ncl.pid\n"
               "echo partial > drovane_$PPID.ncgm\n"
               "exec sleep 30\n");
    chmod((dir / "bin/ncl").c_str(), 0755);
    RunOptions opt;
    opt.cwd = dir.path();
    opt.extra_env = {"PATH=" + (dir / "bin") + ":/usr/bin:/bin",
                     "TMPDIR=" + (dir / "tmp")};
    opt.signal_number = sig;
    opt.signal_after_seconds = 0.5;
    opt.timeout_seconds = 20;
    const RunResult r = run_program(drovane_bin(), {"in"}, "", opt);
    EXPECT_EQ(r.killed_by, 0) << sig;
    EXPECT_EQ(r.status, 128 + sig) << r.err;
    EXPECT_LT(r.seconds, 10) << sig;
    EXPECT_EQ(dir_entries(dir.path()),
              (std::vector<std::string>{"bin", "in", "ncl.pid", "tmp"}))
        << sig;
    EXPECT_TRUE(dir_entries(dir / "tmp").empty()) << sig;
    const int ncl = std::atoi(read_file(dir / "ncl.pid").c_str());
    ASSERT_GT(ncl, 0);
    EXPECT_NE(kill(ncl, 0), 0) << "ncl still runs";
  }
}

}  // namespace
