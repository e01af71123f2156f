// The plotter program: a ZIR block in, the metafile gmeta out.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <string>
#include <vector>

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
