// The ZIR text format: header lines, level selection, units and the two
// layouts.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialogue_fixture.h"
#include "rawinq/output.h"
#include "run_in_child.h"
#include "sounding_fixture.h"

namespace {

constexpr short kDen = 5;

DATA_TYPE level(long fr, long pr, long ht, long tp, long dp, long wd,
                long ws) {
  return DATA_TYPE{fr, pr, ht, tp, dp, wd, ws};
}

class ZirFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    STATREC& s = dialogue_state().Stn_His[kDen];
    std::memset(&s, 0, sizeof s);
    std::strcpy(s.init, "DEN");
    s.wban = 23062;
    s.wmo = 72469;
    s.lat = 39.77f;
    s.lon = -104.87f;
    s.Clat = 'N';
    s.Clon = 'W';
    s.elev = 1611;
    Snd_Hdr = HEADER_TYPE{12, 1, 1, 1995, 23062, 0, 3000, 7, 2010, 2500,
                          1, 1115, 52};
    dialogue_state().Original_ZIR_Format = 0;
    dialogue_state().Screen_Scroll = 0;
  }
  void TearDown() override { dialogue_state().Original_ZIR_Format = 0; }

  static void set_levels(const std::vector<DATA_TYPE>& levels) {
    Snd_Data.assign(350, level(0, 0, 0, 0, 0, 0, 0));
    std::copy(levels.begin(), levels.end(), Snd_Data.begin());
    Snd_Hdr.levels = static_cast<long>(levels.size());
  }

  // The block ksc_format writes, read back from a temporary file.
  static std::string zir(short wformat, short ltype) {
    std::FILE* f = std::tmpfile();
    outbuf = f;
    ksc_format(wformat, ltype, kDen);
    outbuf = nullptr;
    return testing_support::read_and_close(f);
  }
  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    size_t b = 0;
    for (size_t e; (e = text.find('\n', b)) != std::string::npos; b = e + 1)
      v.push_back(text.substr(b, e - b));
    return v;
  }
};

TEST_F(ZirFormat, MandatoryLevelsInKnotsLeaveTheSoundingUnchanged) {
  set_levels({level(9, 8370, 1611, 52, -23, 350, 26),
              level(5, 7500, 2400, 10, -50, 300, 80),
              level(6, 7200, 2800, 99999, 99999, 310, 100),
              level(4, 7000, 3012, -41, -90, 99999, 99999)});
  const std::vector<DATA_TYPE> before = Snd_Data;
  const HEADER_TYPE hdr_before = Snd_Hdr;

  EXPECT_EQ(zir(0, 1),
            "    254     12      1      JAN    1995\n"
            "      1  23062  72469  39.77N104.87W  1611   1115\n"
            "      2   3000   2500   2010      6      7      1\n"
            "      3           DEN                   52     kt\n"
            "      9   8370   1611     52    -23    350      5\n"
            "      4   7000   3012    -41    -90  99999  99999\n");

  EXPECT_EQ(Snd_Hdr.levels, hdr_before.levels);
  EXPECT_EQ(Snd_Hdr.top_hyd, hdr_before.top_hyd);
  ASSERT_EQ(Snd_Data.size(), before.size());
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Snd_Data[i].pr, before[i].pr);
    EXPECT_EQ(Snd_Data[i].ws, before[i].ws);
  }
}

TEST_F(ZirFormat, StationLineFormsAndWbanColumn) {
  set_levels({level(9, 9700, 357, 150, 100, 180, 50)});
  struct Case {
    long wban, wmo;
    float lat, lon;
    char clat, clon;
    short elev;
    const char* expected;
  } cases[] = {
      {900000, 72357, 35.22f, -97.5f, 'N', 'W', 357,
       "      1 900000  72357  35.22N 97.50W   357   1115"},
      {968816, 68816, -33.95f, 18.6f, 'S', 'E', 42,
       "      1  99999  68816  33.95S 18.60E    42   1115"},
      {900001, 98327, 15.18f, 120.57f, 'N', 'E', 151,
       "      1  99999  98327  15.18N120.57E   151   1115"},
  };
  for (const Case& c : cases) {
    STATREC& s = dialogue_state().Stn_His[kDen];
    s.wban = c.wban;
    s.wmo = c.wmo;
    s.lat = c.lat;
    s.lon = c.lon;
    s.Clat = c.clat;
    s.Clon = c.clon;
    s.elev = c.elev;
    const auto out = lines(zir(1, 0));
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[1], c.expected);
    EXPECT_EQ(out[1].size(), 49u);
  }
}

TEST_F(ZirFormat, IdentificationLineBeforeAndAfter1990) {
  set_levels({level(9, 9700, 357, 150, 100, 180, 50)});
  Snd_Hdr.year = 1990;
  auto out = lines(zir(1, 0));
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0], "    254     12      1      JAN    1990");
  EXPECT_EQ(out[3], "      3           DEN " + std::string(25, ' ') + "ms");

  Snd_Hdr.year = 1991;
  Snd_Hdr.sondtype = 99999;
  out = lines(zir(0, 0));
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[3], "      3           DEN                99999     kt");
}

TEST_F(ZirFormat, KnotsUseTheArchiveFactor) {
  set_levels({level(4, 8500, 1500, 0, 0, 90, 100),
              level(4, 7000, 3000, 0, 0, 90, 51),
              level(4, 5000, 5500, 0, 0, 90, 1000),
              level(4, 3000, 9000, 0, 0, 90, 99999)});
  const auto speeds = [](const std::vector<std::string>& out) {
    std::vector<std::string> v;
    for (size_t i = 4; i < out.size(); ++i) v.push_back(out[i].substr(42));
    return v;
  };
  EXPECT_EQ(speeds(lines(zir(0, 0))),
            (std::vector<std::string>{"     19", "     10", "    193",
                                      "  99999"}));
  EXPECT_EQ(speeds(lines(zir(1, 0))),
            (std::vector<std::string>{"    100", "     51", "   1000",
                                      "  99999"}));
}

TEST_F(ZirFormat, OriginalLayoutCutsBelow100MbInWholeMillibars) {
  dialogue_state().Original_ZIR_Format = 1;
  Snd_Hdr = HEADER_TYPE{0, 15, 7, 1995, 23062, 0, 950, 99999, 950, 99999,
                        1, 99999, 99999};
  set_levels({level(9, 10000, 1611, 52, -23, 350, 100),
              level(5, 99999, 99999, -100, 99999, 99999, 99999),
              level(5, 995, 16000, -600, -700, 270, 51),
              level(6, 994, 16100, 99999, 99999, 275, 60),
              level(4, 700, 18500, -650, 99999, 280, 70)});
  EXPECT_EQ(zir(0, 0),
            "    254      0     15      JUL    1995\n"
            "      1  23062  72469  39.77N104.87W  1611  32767\n"
            "      2    100  32767     95      7  32767      1\n"
            "      3           DEN                32767     kt\n"
            "      9   1000   1611     52    -23    350     19\n"
            "      5  32767  32767   -100  32767  32767  32767\n"
            "      5    100  16000   -600   -700    270     10\n");
  // The shared sounding keeps its tenths of mb and missing codes.
  EXPECT_EQ(Snd_Data[2].pr, 995);
  EXPECT_EQ(Snd_Data[1].ht, 99999);
  EXPECT_EQ(Snd_Hdr.top_hyd, 950);
}

TEST_F(ZirFormat, LevelTypesSelectedByLevelChoice) {
  set_levels({level(9, 10000, 0, 0, 0, 0, 0), level(4, 8500, 0, 0, 0, 0, 0),
              level(5, 8000, 0, 0, 0, 0, 0), level(6, 7500, 0, 0, 0, 0, 0),
              level(7, 2000, 0, 0, 0, 0, 0), level(8, 2500, 0, 0, 0, 0, 0),
              level(0, 1500, 0, 0, 0, 0, 0), level(3, 1000, 0, 0, 0, 0, 0)});
  const auto types = [](const std::string& text) {
    std::string t;
    const auto out = lines(text);
    for (size_t i = 4; i < out.size(); ++i) t += out[i].substr(6, 1);
    return t;
  };
  EXPECT_EQ(types(zir(1, 0)), "945678");
  EXPECT_EQ(types(zir(1, 2)), "945");
  EXPECT_EQ(types(zir(1, 1)), "94");
  EXPECT_EQ(lines(zir(1, 1))[2].substr(28, 7), "      6");
}

TEST_F(ZirFormat, TwelveLevelsMakeABlockOfSixteenLines) {
  std::vector<DATA_TYPE> levels;
  for (long p = 10000; levels.size() < 12; p -= 500)
    levels.push_back(level(5, p, 100, 0, 0, 0, 0));
  set_levels(levels);
  const auto out = lines(zir(1, 2));
  ASSERT_EQ(out.size(), 16u);
  EXPECT_EQ(out[2], "      2   3000   2500   2010     16      7      1");
}

TEST_F(ZirFormat, NoSelectedLevelWritesNothing) {
  set_levels({level(5, 9000, 0, 0, 0, 0, 0), level(6, 8000, 0, 0, 0, 0, 0)});
  EXPECT_EQ(zir(0, 1), "");
  dialogue_state().Original_ZIR_Format = 1;
  set_levels({level(9, 500, 0, 0, 0, 0, 0), level(4, 10000, 0, 0, 0, 0, 0)});
  EXPECT_EQ(zir(0, 0), "");
}

TEST_F(ZirFormat, MonthOutsideTheYearStillGivesADateLine) {
  set_levels({level(9, 9700, 357, 150, 100, 180, 50)});
  Snd_Hdr.month = 13;
  EXPECT_EQ(lines(zir(1, 0))[0], "    254     12      1      ???    1995");
  Snd_Hdr.month = 0;
  EXPECT_EQ(lines(zir(1, 0))[0].size(), 38u);
}

TEST_F(ZirFormat, EveryLineIsCountedForPaging) {
  set_levels({level(9, 8370, 1611, 52, -23, 350, 26),
              level(4, 7000, 3012, -41, -90, 99999, 99999)});
  const ChildRun r = run_in_child("a\n", [] {
    outbuf = stdout;
    dialogue_state().Max_Lines = 3;
    dialogue_state().Screen_Lines = 0;
    dialogue_state().Screen_Scroll = 1;
    ksc_format(0, 0, kDen);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "    254     12      1      JAN    1995\n"
            "      1  23062  72469  39.77N104.87W  1611   1115\n"
            "      2   3000   2500   2010      6      7      1\n"
            " Enter <return> to scroll, 'a' to abort, 'c' to continue:  "
            " Exiting radiosonde database ... ");
}

TEST_F(ZirFormat, WriteErrorEndsWithStatusOne) {
  set_levels({level(9, 8370, 1611, 52, -23, 350, 26)});
  const ChildRun r = run_in_child("", [] {
    outbuf = std::fopen("/dev/full", "w");
    std::setvbuf(outbuf, nullptr, _IONBF, 0);
    ksc_format(0, 0, kDen);
    std::printf("not reached");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string("Write error: ") + std::strerror(ENOSPC) + "\n");
}

}  // namespace

namespace {

std::string printf_line(const char* fmt, long a, long b, long c, long d,
                        long e, long f, long g) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, a, b, c, d, e, f, g);
  return std::string(buf) + "\n";
}

TEST_F(ZirFormat, NumbersOfAnyWidthAndSignAreLaidOutAsPrintfDoes) {
  // Values wider than their fields, negative ones, zero and the extremes.
  const std::vector<long> values = {0,      -1,       7,       -99999,
                                    999999, -100000,  1000000, 123456789,
                                    LONG_MIN, LONG_MAX, -2731,  99999};
  std::vector<DATA_TYPE> levels;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const long v = values[k];
    const long w = values[(k + 5) % values.size()];
    const long minus_v = v == LONG_MIN ? LONG_MAX : -v;  // -LONG_MIN overflows
    levels.push_back(level(5, v, w, minus_v, v / 7, w % 1000, 4095));
  }
  set_levels(levels);
  Snd_Hdr.hour = -3;
  Snd_Hdr.year = 32000;
  Snd_Hdr.top_hyd = LONG_MIN;
  Snd_Hdr.reltime = 1234567;
  Snd_Hdr.sondtype = LONG_MAX;
  Snd_Hdr.source = -5;

  const std::vector<std::string> got = lines(zir(1, 0));
  ASSERT_EQ(got.size(), levels.size() + 4);
  char buf[256];
  std::snprintf(buf, sizeof buf, "%7d %6d %6d %8s %7d", 254, -3, 1, " JAN",
                32000);
  EXPECT_EQ(got[0], buf);
  // Longitudes of 100 degrees and more take the narrower layout.
  std::snprintf(buf, sizeof buf, "%7d %6ld %6ld %6.2f%c%5.2f%c %5d %6ld", 1,
                23062l, 72469l, 39.77f * 1.0, 'N', 104.87f * 1.0, 'W', 1611,
                1234567l);
  EXPECT_EQ(got[1], buf);
  EXPECT_EQ(got[2] + "\n",
            printf_line("%7ld %6ld %6ld %6ld %6ld %6ld %6ld", 2, LONG_MIN,
                        Snd_Hdr.maxwind, Snd_Hdr.troplv,
                        static_cast<long>(levels.size()) + 4, Snd_Hdr.tropind,
                        -5));
  std::snprintf(buf, sizeof buf, "%7d %13s %20ld %6s", 3, "DEN", LONG_MAX,
                "ms");
  EXPECT_EQ(got[3], buf);
  for (std::size_t k = 0; k < levels.size(); ++k) {
    const DATA_TYPE& l = levels[k];
    EXPECT_EQ(got[k + 4] + "\n",
              printf_line("%7ld %6ld %6ld %6ld %6ld %6ld %6ld", l.fr, l.pr,
                          l.ht, l.tp, l.dp, l.wd, l.ws));
  }
}

TEST_F(ZirFormat, StationLineFollowsAChangedCatalogueEntry) {
  set_levels({level(9, 8370, 1611, 52, -23, 350, 26),
              level(4, 7000, 3012, -41, -90, 99999, 99999)});
  EXPECT_EQ(lines(zir(1, 0))[1],
            "      1  23062  72469  39.77N104.87W  1611   1115");
  // The same index now holds another station, south and east.
  STATREC& s = dialogue_state().Stn_His[kDen];
  s.wmo = 12345;
  s.lat = 12.5f;
  s.Clat = 'S';
  s.lon = 7.25f;
  s.Clon = 'E';
  EXPECT_EQ(lines(zir(1, 0))[1],
            "      1  23062  12345 -12.50S  7.25E  1611   1115");
}

}  // namespace
