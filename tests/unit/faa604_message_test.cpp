// Whole coded messages of one sounding, written to a temporary stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "rawinq/output.h"
#include "rawinq/program_exit.h"
#include "run_in_child.h"
#include "sounding_fixture.h"
#include "test_support.h"
#include "unpacking.h"

namespace {

constexpr long M = kMissingValue;
using Levels = std::vector<DATA_TYPE>;

// Pressures in tenths of mb, as the decoder stores them.
const Levels kFull = {
    {9, 10135, 100, 152, 101, 270, 52},  {4, 10000, 156, 144, 94, 275, 76},
    {4, 9250, 812, 98, 18, 285, 128},    {5, 9000, 1000, 82, -8, M, M},
    {4, 8500, 1498, 42, -58, 290, 154},  {6, 7800, 2134, M, M, 295, 180},
    {4, 7000, 3052, -62, -162, 300, 206}, {5, 6000, 4200, -143, -293, M, M},
    {4, 5000, 5650, -225, -385, 305, 278}, {6, 4500, 6300, M, M, 310, 299},
    {4, 4000, 7290, -331, -451, 305, 356}, {4, 3000, 9280, -467, M, 300, 434},
    {7, 2650, 10100, -540, M, 300, 460}, {4, 2500, 10520, -527, M, 300, 538},
    {8, 2500, 10520, -527, M, 300, 538}, {4, 2000, 11970, -557, M, 295, 434},
    {4, 1500, 13830, -589, M, 290, 330}, {4, 1000, 16400, -633, M, 285, 206}};

const Levels kSmall = {
    {9, 10135, 100, 152, 101, 270, 52},  {4, 10000, 156, 144, 94, 275, 76},
    {4, 8500, 1498, 42, -58, 290, 154},  {5, 7500, 2500, -62, -162, M, M},
    {6, 7200, 2134, M, M, 295, 180},     {4, 7000, 3052, -62, -162, 300, 206},
    {8, 6000, 4200, M, M, 310, 299}};

const std::string kFullTTAA =
    "DENMANDEN\n"
    "72469 TTAA  65121 72469 99013 15251 27010 00156 14450 27515 \n"
    "92812 09858 28525 85498 04260 29030 70052 06360 30040 50565 \n"
    "22566 30554 40729 33162 30569 30928 467// 30084 25052 527// \n"
    "30104 20197 557// 29584 15383 589// 29064 10640 633// 28540 \n"
    "88265 541// 30089 77250 527// 30104 \n";
const char* const kSmallTTAA =
    "DENMANDEN\n"
    "72469 TTAA  65127 72469 99013 15251 27010 00156 14450 27515 \n"
    "85498 04260 29030 70052 06360 30040 88999 77600 ///// 31058 \n\n";
const char* const kSmallTTBB =
    "DENSGLDEN\n"
    "72469 TTBB  6512/ 72469 00013 15251 11750 06360 31313 052// \n1115/=\n";
const char* const kSmallPPBB = "PPBB  65120 72469 9007/ 27010 29535 \n";

class FaaMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(dialogue_state().Stn_His[3].init, "DEN");
    dialogue_state().Stn_His[3].wmo = 72469;
    Snd_Hdr = HEADER_TYPE{12, 15, 7, 1995, 23062, 0, M, M, M, M, M, 1115, 52};
    dialogue_state().Screen_Scroll = 0;
  }
  // Writes `levels` in format ltype and returns the text; the level table
  // must come back exactly as it was.
  std::string write(const Levels& levels, short ltype) {
    Snd_Data.assign(350, DATA_TYPE{5, 12345, 1, 2, 3, 4, 5});
    std::copy(levels.begin(), levels.end(), Snd_Data.begin());
    Snd_Hdr.levels = static_cast<long>(levels.size());
    const std::vector<DATA_TYPE> before = Snd_Data;
    outbuf = std::tmpfile();
    faa_format(ltype, 3);
    EXPECT_EQ(0, std::memcmp(before.data(), Snd_Data.data(),
                             before.size() * sizeof(DATA_TYPE)));
    return read_back();
  }
  static std::string read_back() {
    std::FILE* f = outbuf;
    outbuf = nullptr;
    return testing_support::read_and_close(f);
  }
  static Levels without(Levels l, std::size_t i) {
    l.erase(l.begin() + static_cast<long>(i));
    return l;
  }
};

TEST_F(FaaMessage, AllLevelsOfAFullSounding) {
  EXPECT_EQ(write(kFull, 0),
            kFullTTAA +
            "DENSGLDEN\n"
            "72469 TTBB  6512/ 72469 00013 15251 11900 08259 22600 14365 \n"
            "31313 052// 1115/=\n"
            "PPBB  65120 72469 9007/ 27010 29535 920// 31058 \n\n");
}

// No 925 mb level, and the last TTAA group fills its line exactly.
TEST_F(FaaMessage, LevelTypeChoices) {
  EXPECT_EQ(write(kSmall, 1), std::string(kSmallTTAA) + "\n");
  EXPECT_EQ(write(kSmall, 2), std::string(kSmallTTAA) + kSmallTTBB + "\n");
  EXPECT_EQ(write(kSmall, 0),
            std::string(kSmallTTAA) + kSmallTTBB + kSmallPPBB + "\n");
}

TEST_F(FaaMessage, FirstLevelNotTheSurface) {
  Levels l = kSmall;
  l[0].fr = 4;
  EXPECT_EQ(write(l, 0), "\n");
}

TEST_F(FaaMessage, NoSignificantOrWindLevels) {
  EXPECT_EQ(write(without(without(kSmall, 4), 3), 0),
            std::string(kSmallTTAA) + "DENSGLDEN\n\n");
}

TEST_F(FaaMessage, The31313SectionOnlyAfter1990WithSondeAndRelease) {
  const std::string ttbb_1990 =
      "DENSGLDEN\n72469 TTBB  6512/ 72469 00013 15251 11750 06360 \n";
  Snd_Hdr.year = 1990;
  EXPECT_EQ(write(kSmall, 2), kSmallTTAA + ttbb_1990 + "\n");
  Snd_Hdr.year = 1991;
  EXPECT_EQ(write(kSmall, 2), std::string(kSmallTTAA) + kSmallTTBB + "\n");
  Snd_Hdr.reltime = M;
  EXPECT_EQ(write(kSmall, 2), kSmallTTAA + ttbb_1990 + "\n");
}

TEST_F(FaaMessage, WalkEndsAtAMandatoryLevelOffItsStep) {
  // Without 1000 mb the 1000 step takes 850 mb and stops after its height.
  EXPECT_EQ(write(without(kSmall, 1), 1),
            "DENMANDEN\n72469 TTAA  65127 72469 99013 15251 27010 00498 88999 "
            "77600 \n///// 31058 \n\n");
  // 350 mb met at the 300 mb step.
  Levels l = kFull;
  l.insert(l.begin() + 11, DATA_TYPE{4, 3500, 8100, -400, M, M, M});
  EXPECT_EQ(write(l, 1), kFullTTAA.substr(0, 132) +
                             "22566 30554 40729 33162 30569 35810 88265 541// "
                             "30089 77250 \n527// 30104 \n\n");
  // A mandatory level left above 100 mb.
  l = kFull;
  l.push_back(DATA_TYPE{4, 700, 18500, -600, M, M, M});
  EXPECT_EQ(write(l, 1), kFullTTAA.substr(0, 254) +
                             "07850 88265 541// 30089 77250 527// 30104 \n\n");
}

// A station whose ground lies at 835 mb: a step below the ground that the
// sounding carries no level for is written as missing and the walk goes on
// above it; levels carried below the ground are written as they are; a gap
// above the ground still ends the walk.
TEST_F(FaaMessage, HighStationStepsBelowTheGround) {
  const DATA_TYPE ground{9, 8350, 1611, 52, -23, 350, 50};
  const Levels underground = {{4, 10000, 112, M, M, M, M},
                              {4, 9250, 790, M, M, M, M},
                              {4, 8500, 1476, M, M, M, M}};
  const Levels aloft(kFull.begin() + 5, kFull.end());  // 780 mb up
  const std::string head = "DENMANDEN 72469 TTAA 65121 72469 99835 05257 35010 ";
  const std::string above_700 =
      "70052 06360 30040 50565 22566 30554 40729 33162 30569 30928 467// "
      "30084 25052 527// 30104 20197 557// 29584 15383 589// 29064 10640 "
      "633// 28540 ";
  const std::string specials = "88265 541// 30089 77250 527// 30104";
  auto sounding = [&](const Levels& below, bool with_700) {
    Levels l = {ground};
    l.insert(l.end(), below.begin(), below.end());
    l.insert(l.end(), aloft.begin(), aloft.end());
    if (!with_700) l = without(l, 1 + below.size() + 1);
    return l;
  };
  struct Case {
    const char* what;
    Levels levels;
    std::string groups;
  };
  const Case cases[] = {
      {"no levels below the ground", sounding({}, true),
       head + "00/// ///// ///// 85/// ///// ///// " + above_700 + specials},
      {"1000, 925 and 850 mb below the ground", sounding(underground, true),
       head + "00112 ///// ///// 92790 ///// ///// 85476 ///// ///// " +
           above_700 + specials},
      {"no 700 mb level", sounding({}, false),
       head + "00/// ///// ///// 85/// ///// ///// 50565 " + specials},
  };
  auto groups = [](const std::string& text) {
    std::vector<std::string> g;
    std::istringstream in(text);
    for (std::string w; in >> w;) g.push_back(w);
    return g;
  };
  for (const Case& c : cases) {
    EXPECT_EQ(groups(write(c.levels, 1)), groups(c.groups)) << c.what;
  }
}

TEST_F(FaaMessage, SignificantIndicatorsWrapAfter99) {
  Levels l = {kSmall[0]};
  for (long p = 9900; p >= 9000; p -= 100) l.push_back({5, p, M, 0, 0, M, M});
  EXPECT_EQ(write(l, 2),
            "DENMANDEN\n72469 TTAA  65120 72469 99013 15251 27010 88999 77999 \n"
            "DENSGLDEN\n"
            "72469 TTBB  6512/ 72469 00013 15251 11990 00000 22980 00000 \n"
            "33970 00000 44960 00000 55950 00000 66940 00000 77930 00000 \n"
            "88920 00000 99910 00000 11900 00000 31313 052// 1115/=\n\n");
}

TEST_F(FaaMessage, AHeightBandOfManyWindLevelsIsWrittenWhole) {
  Levels l = kSmall;
  for (int i = 0; i < 60; ++i) l.push_back({6, 9000, 1000, M, M, 180, 52});
  const std::string text = write(l, 0);
  const std::string ppbb = text.substr(text.find("PPBB"));
  auto count = [&](const std::string& g) {
    std::size_t n = 0;
    for (auto at = ppbb.find(g); at != std::string::npos; at = ppbb.find(g, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(ppbb.substr(0, 36), "PPBB  65120 72469 90073 27010 29535 ");
  EXPECT_EQ(count("18010 "), 60u);
  EXPECT_EQ(count("90333 "), 19u);
  EXPECT_EQ(count("9033/ "), 1u);
  EXPECT_NE(ppbb.find("18010 \n\n"), std::string::npos);
}

TEST_F(FaaMessage, WriteErrorEndsWithStatusOne) {
  Snd_Data.assign(kSmall.begin(), kSmall.end());
  Snd_Hdr.levels = static_cast<long>(kSmall.size());
  const ChildRun r = run_in_child("", [] {
    outbuf = std::fopen("/dev/null", "r");  // every write fails
    if (outbuf == nullptr) _exit(99);
    try {
      faa_format(0, 3);
    } catch (const ProgramExit& e) {
      _exit(outbuf == nullptr ? 10 + e.status : 98);
    }
    _exit(97);
  });
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(r.err, std::string("Write error: ") + std::strerror(EBADF) + "\n");
  EXPECT_EQ(Snd_Data[2].pr, 8500);
}

TEST_F(FaaMessage, DecodedRecordLosesItsLevelsAboveTheCut) {
  testing_support::prepare_unpacking();
  archive_writer::Sounding s;
  s.month = 7;
  s.day = 15;
  s.hour = 12;
  s.wban = 23062;
  s.reltime = 1115;
  s.sondtype = 6;  // stored code of type 52
  const unsigned flag[10] = {0, 0, 0, 0, 2, 16, 32, 4, 8, 1};
  for (const DATA_TYPE& l : kSmall)
    s.levels.push_back({flag[l.fr], l.pr, l.ht, l.tp, l.dp, l.wd, l.ws});
  s.levels.push_back({2, 700, 18500, -600, M, 280, 300});
  s.levels.push_back({16, 500, 20600, -620, M, M, M});
  const auto rec = archive_writer::pack_record(s);
  outbuf = std::tmpfile();
  EXPECT_EQ(io_sounding(rec.data(), rec.size(), 0, 0, 1, 3, 0), 1);
  EXPECT_EQ(Snd_Data[0].pr, 10135);
  EXPECT_EQ(read_back(),
            std::string(kSmallTTAA) + kSmallTTBB + kSmallPPBB + "\n");
}

}  // namespace
