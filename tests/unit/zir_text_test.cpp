// Reading ZIR text back into archive-writer soundings (rawinq-pack).
#include "zir_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>

namespace {

using archive_writer::kMissing;
using archive_writer::read_zir;
using archive_writer::ZirError;

// An international site (WBAN column 99999) in 2003, knots; the header's
// pressures name levels 2, 4 and 3.
const char kBlock[] =
    "    254     12      7      MAR    2003\n"
    "      1  99999  10868  48.25N 11.55E   484   1115\n"
    "      2   8500   5000   7000      9      2      1\n"
    "      3          MUC                   63     kt\n"
    "      9   9590    484     52    -23    350     10\n"
    "      4   8500   1450    -10    -45  99999  99999\n"
    "      7   7000   3012    -41    -90    270     23\n"
    "      4   5000   5600   -180   -260    260     48\n"
    "      6   4500   6400  99999  99999    255     52\n";

std::string with_line(const std::string& text, int n, const std::string& line) {
  std::istringstream in(text);
  std::string out, l;
  for (int i = 1; std::getline(in, l); ++i) out += (i == n ? line : l) + "\n";
  return out;
}

archive_writer::ZirText read(const std::string& text) {
  std::istringstream in(text);
  return read_zir(in, "t.txt");
}

std::string error_of(const std::string& text) {
  try {
    read(text);
  } catch (const ZirError& e) {
    return e.what();
  }
  return "no error";
}

TEST(ZirText, BlockBecomesTheStoredSounding) {
  const auto t = read(std::string(kBlock) + "\n" + kBlock);
  ASSERT_EQ(t.soundings.size(), 2u);
  EXPECT_TRUE(t.warnings.empty());
  const auto& z = t.soundings[0];
  EXPECT_EQ(z.station, 910868);
  EXPECT_EQ(z.line, 1);
  EXPECT_EQ(t.soundings[1].line, 11);
  const auto& s = z.sounding;
  EXPECT_EQ(s.year, 2003);
  EXPECT_EQ(s.month, 3);
  EXPECT_EQ(s.day, 7);
  EXPECT_EQ(s.hour, 12);
  EXPECT_EQ(s.wban, 10868);
  EXPECT_EQ(s.reltime, 1115);
  EXPECT_EQ(s.sondtype, 8);  // 63 is stored as 8
  EXPECT_EQ(s.source, 1);
  EXPECT_EQ(s.tropind, 2);
  EXPECT_EQ(s.top_hyd, 2);  // 8500
  EXPECT_EQ(s.maxwind, 4);  // 5000
  EXPECT_EQ(s.troplv, 3);   // 7000
  ASSERT_EQ(s.levels.size(), 5u);
  const unsigned flags[5] = {1, 2, 4, 2, 32};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.levels[i].flag, flags[i]) << i;
  EXPECT_EQ(s.levels[0].pr, 9590);
  EXPECT_EQ(s.levels[0].ht, 484);
  EXPECT_EQ(s.levels[0].tp, 52);
  EXPECT_EQ(s.levels[0].dp, -23);
  EXPECT_EQ(s.levels[0].wd, 350);
  EXPECT_EQ(s.levels[0].ws, 52);   // 10 kt
  EXPECT_EQ(s.levels[1].ws, kMissing);
  EXPECT_EQ(s.levels[4].tp, kMissing);
}

TEST(ZirText, StationYearsTenthsOfMetresAndTheShortFormOf1990) {
  // A North-American station in 1990: no radiosonde type on line 3.
  const std::string block =
      "    254      0     31      DEC    1990\n"
      "      1  23062  72469  39.77N104.87W  1611  99999\n"
      "      2  99999  99999  99999      9  99999  99999\n"
      "      3           DEN                          ms\n"
      "      9   8370   1611     52    -23    350     50\n"
      "      5   8000   2050    -10    -45  99999  99999\n"
      "      4   7000   3012    -41    -90    270    120\n"
      "      4   5000   5600   -180   -260    260    250\n"
      "      8   3000   9200   -440   -520    250    400\n";
  const auto t = read(block);
  ASSERT_EQ(t.soundings.size(), 1u);
  const auto& s = t.soundings[0].sounding;
  EXPECT_EQ(t.soundings[0].station, 23062);
  EXPECT_EQ(s.wban, 23062);
  EXPECT_EQ(s.sondtype, kMissing);
  EXPECT_EQ(s.reltime, kMissing);
  EXPECT_EQ(s.top_hyd, kMissing);
  EXPECT_EQ(s.levels[1].flag, 16u);
  EXPECT_EQ(s.levels[4].flag, 8u);
  EXPECT_EQ(s.levels[4].ws, 400);  // tenths of m/s as written
}

TEST(ZirText, KnotsComeBackAsTheSameKnots) {
  // Every speed in knots that a 12-bit speed gives maps to tenths of m/s
  // that give it again.
  for (long tenths = 0; tenths < 4095; ++tenths) {
    const long knots = static_cast<long>(tenths * 0.1925 + 0.5);
    const long back = archive_writer::knots_to_tenths(knots);
    ASSERT_GE(back, 0) << knots;
    EXPECT_EQ(static_cast<long>(back * 0.1925 + 0.5), knots);
  }
  EXPECT_EQ(archive_writer::knots_to_tenths(-1), -1);
  EXPECT_EQ(archive_writer::knots_to_tenths(LONG_MAX), -1);
}

TEST(ZirText, WarnsOfWhatWillNotComeBack) {
  // A header pressure that no level has, and a sounding of four levels.
  std::string text = with_line(kBlock, 3, "      2   8400   5000   7000      8      2      1");
  text = with_line(text, 9, "");
  const auto t = read(text);
  ASSERT_EQ(t.warnings.size(), 2u);
  EXPECT_EQ(t.warnings[0],
            "t.txt:3: the highest humidity pressure 8400 is no level's "
            "pressure; it is stored as missing");
  EXPECT_EQ(t.warnings[1],
            "t.txt:1: a sounding of 4 levels or fewer is not shown by rawinq");
  EXPECT_EQ(t.soundings[0].sounding.top_hyd, kMissing);
}

TEST(ZirText, NamesTheFirstFaultyLine) {
  struct Case {
    int line;
    std::string text, error;
  };
  const std::string b = kBlock;
  for (const Case& c : {
           Case{1, "    254     12      7      MAJ    2003",
                "t.txt:1: not a month: MAJ"},
           Case{1, "    254     24      7      MAR    2003",
                "t.txt:1: hour out of range: 24"},
           Case{2, "      2   8500   5000   7000      9      2      1",
                "t.txt:2: expected a line of type 1, found 2"},
           Case{3, "      2   8500   5000   7000      9      2",
                "t.txt:3: a line of type 2 has 7 fields"},
           Case{4, "      3          MUC                   63     mph",
                "t.txt:4: wind units are kt or ms, not mph"},
           Case{4, "      3          MUC                   47     kt",
                "t.txt:4: no stored radiosonde type reads as 47"},
           Case{6, "      3   8500   1450    -10    -45  99999  99999",
                "t.txt:6: not a level type: 3"},
           Case{6, "      4   8500   1450    -10    -4x  99999  99999",
                "t.txt:6: not a number: -4x"},
           Case{7, "    254     12      7      MAR    2003",
                "t.txt:7: a new block starts before the level lines the "
                "summary line counts"},
       }) {
    EXPECT_EQ(error_of(with_line(b, c.line, c.text)), c.error) << c.text;
  }
  // The text ends inside a block.
  EXPECT_EQ(error_of(b.substr(0, b.rfind("      6"))),
            "t.txt:8: the text ends before the level lines the summary line "
            "counts");
  EXPECT_EQ(error_of("hello\n"), "t.txt:1: expected a line of type 254, found hello");
}

}  // namespace
