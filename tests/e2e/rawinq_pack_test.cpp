// rawinq-pack: ZIR text extracted from the sample archive packs back into
// station-year files that give the same text again; faults in the input
// write nothing; existing files are kept unless replaced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

std::string pack_bin() { return binary_dir() + "/rawinq-pack"; }
std::string dump_bin() { return binary_dir() + "/rawinq-dump"; }
std::string sample() { return source_dir() + "/data/sample-archive"; }
std::string support() { return source_dir() + "/data/support"; }

// Extracts 1995 for WMO 72469, 10868 and 3005 (two international sites)
// as ZIR into dir/out_dir, all data in one file: wind units 0 knots or 1
// tenths of m/s, sort 0 synoptic or 1 climatological (file structure 0 for
// both). Returns the text.
std::string extract(const std::string& db, const TempDir& dir,
                    const std::string& out_dir, int wind, int sort) {
  make_dir(dir / out_dir);
  std::string answers;
  for (const std::string& a :
       std::vector<std::string>{"", "1995010100", "1995123112", "0", "0", "0",
                                "N", "3", "72469", "10868", "3005", "0", "Y",
                                "0", std::to_string(wind), std::to_string(sort),
                                "1", out_dir, "0", "N", "N"})
    answers += a + "\n";
  RunOptions o;
  o.cwd = dir.path();
  const RunResult r = run_program(rawinq_bin(), {db, support()}, answers, o);
  const std::vector<std::string> files = dir_entries(dir / out_dir);
  EXPECT_EQ(files.size(), 1u) << r.out;
  if (files.size() != 1) return "";
  return read_file(dir / (out_dir + "/" + files[0]));
}

TEST(RawinqPack, RoundTripGivesIdenticalZirText) {
  for (const auto& [wind, sort] : {std::pair{1, 0}, std::pair{0, 1}}) {
    TempDir dir;
    const std::string first = extract(sample(), dir, "a", wind, sort);
    ASSERT_GT(first.size(), 100000u);
    const RunResult p = run_program(pack_bin(), {dir / "db", dir / "a/1995010100.txt"}, "");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.err, "");
    const std::string a = dir / "a/1995010100.txt";
    // Files in the order their stations first appear in the text.
    EXPECT_EQ(p.out, dir / "db/Raob1995/I03005_95.buf: 724 soundings\n" +
                         dir / "db/Raob1995/I10868_95.buf: 723 soundings\n" +
                         dir / "db/Raob1995/23062_95.buf: 722 soundings\n");
    const std::string again = extract(dir / "db", dir, "b", wind, sort);
    EXPECT_TRUE(again == first) << "wind " << wind << " sort " << sort;
    // Packed from tenths of m/s, the files are those of the sample archive
    // (knots come back as the same knots, not as the same tenths).
    for (const char* f : {"Raob1995/23062_95.buf", "Raob1995/I10868_95.buf",
                          "Raob1995/I03005_95.buf"}) {
      if (wind == 0) break;
      EXPECT_TRUE(read_file(dir / ("db/" + std::string(f))) ==
                  read_file(sample() + "/" + f))
          << f;
    }
    const RunResult d = run_program(
        dump_bin(), {"-q", dir / "db/Raob1995/I03005_95.buf"}, "");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.out, dir / "db/Raob1995/I03005_95.buf: 724 soundings on 365 "
                           "days, 0 faults\n");
  }
}

const char kBlock[] =
    "    254      0      2      JAN    1996\n"
    "      1  23062  72469  39.77N104.87W  1611   2315\n"
    "      2   8500   5000   7000      9      2      1\n"
    "      3           DEN                   49     ms\n"
    "      9   8370   1611     52    -23    350     50\n"
    "      4   8500   1450    -10    -45  99999  99999\n"
    "      4   7000   3012    -41    -90    270    120\n"
    "      4   5000   5600   -180   -260    260    250\n"
    "      6   4500   6400  99999  99999    255    260\n";

TEST(RawinqPack, OwnSoundingsFromStandardInputAndFileNames) {
  TempDir dir;
  // Standard input; the North-American edition's directory name, the
  // upper-case name form.
  RunResult p = run_program(pack_bin(), {"--na", "-v", "1", dir / "db"}, kBlock);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/RAOB96/23062_96.BUF;1: 1 sounding\n");
  // Both editions read a file packed so.
  p = run_program(pack_bin(), {dir / "db2"}, kBlock);
  ASSERT_EQ(p.status, 0) << p.err;
  const std::string answers =
      "\n1996010200\n1996010200\n0\n0\nN\n1\n72469\n0\nY\n0\n1\n0\n0\nN\nN\n";
  const RunResult na = run_program(rawinq_na_bin(), {dir / "db", support()}, answers);
  const RunResult g = run_program(rawinq_bin(), {dir / "db2", support()}, answers);
  EXPECT_EQ(na.status, 1) << na.out;
  EXPECT_EQ(g.status, 1) << g.out;
  EXPECT_NE(g.out.find(kBlock), std::string::npos) << g.out;
  EXPECT_NE(na.out.find(kBlock), std::string::npos) << na.out;
}

TEST(RawinqPack, FaultsWriteNothingAndFilesAreKeptUnlessReplaced) {
  TempDir dir;
  write_file(dir / "good.txt", kBlock);
  std::string bad = kBlock;
  bad.replace(bad.find("JAN"), 3, "JNA");
  write_file(dir / "bad.txt", bad);
  // One faulty file among good ones: nothing is written.
  RunResult p = run_program(pack_bin(), {dir / "db", dir / "good.txt", dir / "bad.txt"}, "");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: " + dir / "bad.txt" + ":1: not a month: JNA\n");
  EXPECT_FALSE(file_exists(dir / "db"));
  // Packing the same sounding twice into one file: both are kept.
  p = run_program(pack_bin(), {dir / "db", dir / "good.txt", "-"}, kBlock);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/23062_96.buf: 2 soundings\n");
  const std::string before = read_file(dir / "db/Raob1996/23062_96.buf");
  p = run_program(pack_bin(), {dir / "db", dir / "good.txt"}, "");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: " + dir / "db/Raob1996/23062_96.buf" +
                       " exists (--replace replaces it)\n");
  EXPECT_TRUE(read_file(dir / "db/Raob1996/23062_96.buf") == before);
  p = run_program(pack_bin(), {"--replace", dir / "db", dir / "good.txt"}, "");
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/23062_96.buf: 1 sounding\n");
  EXPECT_EQ(dir_entries(dir / "db/Raob1996"),
            std::vector<std::string>{"23062_96.buf"});
  // More soundings in a day than the index can hold.
  std::string many;
  for (int i = 0; i < 256; ++i) many += kBlock;
  p = run_program(pack_bin(), {dir / "db3"}, many);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: station WBAN 23062, year 1996: more than 255 "
                   "soundings a day\n");
  // Empty input, and a wrong command line.
  p = run_program(pack_bin(), {dir / "db3"}, "");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: no sounding in the input\n");
  p = run_program(pack_bin(), {"-v", "7", dir / "db3"}, kBlock);
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.err.rfind("usage: rawinq-pack", 0), 0u);
  EXPECT_FALSE(file_exists(dir / "db3"));
}

TEST(RawinqPack, ItemTextStaysAnOption) {
  TempDir dir;
  const std::string items =
      "sounding 01 02 00 reltime=2315 sondtype=3 maxwind=2\n"
      "level 1 8370 1611 52 -23 350 50\n"
      "level 2 8500 1450 -10 -45 M M\n"
      "level 2 7000 3012 -41 -90 270 120\n"
      "level 2 5000 5600 -180 -260 260 250\n"
      "level 32 4500 6400 M M 255 260\n";
  const RunResult p = run_program(
      pack_bin(), {"--items", dir / "db", "1996", "23062", "-"}, items);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/23062_96.buf: 1 sounding\n");
  const RunResult d =
      run_program(dump_bin(), {dir / "db/Raob1996/23062_96.buf"}, "");
  EXPECT_NE(d.out.find("  1996010200  wban 23062  levels 5  reltime 2315  "
                       "sondtype 49  source 99999  tropind 99999  top_hyd "
                       "99999  troplv 99999  maxwind 8500\n"),
            std::string::npos)
      << d.out;
  const RunResult v = run_program(pack_bin(), {"--version"}, "");
  EXPECT_EQ(v.out, std::string("rawinq-pack ") + RAWINQ_VERSION_TEXT + "\n");
}

}  // namespace
