// The coded-message group formatters, on levels held in whole mb.
#include <gtest/gtest.h>

#include "dialogue_fixture.h"
#include "rawinq/faa604.h"
#include "sounding_fixture.h"

namespace {

constexpr long M = kMissingValue;

// Forms the group of `level` placed after a level of another type, so the
// search has to skip one; "none" when no group is formed.
std::string form(FaaFormatter f, short seq, long frame, DATA_TYPE level) {
  Snd_Data[0] = DATA_TYPE{frame == 6 ? 5 : 6, 1000, 0, 0, 0, 0, 0};
  level.fr = frame;
  Snd_Data[1] = level;
  Snd_Hdr.levels = 2;
  long cursor = 0;
  std::string group;
  if (!f(current_sounding(), seq, cursor, frame, group)) return "none";
  EXPECT_EQ(cursor, 1);
  return group;
}

DATA_TYPE temp(long tp, long dp) { return {0, 500, 5000, tp, dp, M, M}; }
DATA_TYPE wind(long pr, long wd, long ws) { return {0, pr, 0, M, M, wd, ws}; }

TEST(FaaGroups, TemperatureTenthsAreEvenAboveZeroAndOddBelow) {
  EXPECT_EQ(form(ftemp, 0, 5, temp(0, M)), "000// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(1, M)), "002// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(-1, M)), "001// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(-2, M)), "003// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(153, M)), "154// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(-152, M)), "153// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(M, 10)), "///// ");
}

TEST(FaaGroups, DewPointDepression) {
  EXPECT_EQ(form(ftemp, 0, 5, temp(100, 45)), "10055 ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(100, 44)), "10055 ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(100, 40)), "10056 ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(100, -399)), "10099 ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(100, -400)), "100// ");
  EXPECT_EQ(form(ftemp, 0, 5, temp(100, 105)), "100-5 ");
}

TEST(FaaGroups, WindInKnotsAndFivesOfDegrees) {
  EXPECT_EQ(form(fwind, 0, 6, wind(M, 273, 5)), "27001 ");
  EXPECT_EQ(form(fwind, 0, 6, wind(M, 270, 520)), "27100 ");
  EXPECT_EQ(form(fwind, 0, 6, wind(M, 5, 75)), "00514 ");
  EXPECT_EQ(form(fwind, 0, 6, wind(M, M, 50)), "///// ");
  EXPECT_EQ(form(fwind, 0, 6, wind(M, 90, M)), "///// ");
}

TEST(FaaGroups, HeightGroups) {
  EXPECT_EQ(form(fhgt, 0, 4, {0, 1000, -30, M, M, M, M}), "00530 ");
  EXPECT_EQ(form(fhgt, 85, 4, {0, 850, 1457, M, M, M, M}), "85457 ");
  EXPECT_EQ(form(fhgt, 50, 4, {0, 500, 5580, M, M, M, M}), "50558 ");
  EXPECT_EQ(form(fhgt, 25, 4, {0, 250, 10350, M, M, M, M}), "25035 ");
  EXPECT_EQ(form(fhgt, 70, 4, {0, 700, 3012, M, M, M, M}), "70012 ");
  EXPECT_EQ(form(fhgt, 85, 4, {0, 850, M, M, M, M, M}), "85/// ");
}

TEST(FaaGroups, MandatoryPressureCheck) {
  EXPECT_EQ(form(ftemp, 92, 4, {0, 925, 800, 50, 40, M, M}), "05010 ");
  EXPECT_EQ(form(fwind, 92, 4, wind(925, 180, 52)), "18010 ");
  EXPECT_EQ(form(ftemp, 85, 4, {0, 925, 800, 50, 40, M, M}), "none");
  EXPECT_EQ(form(fwind, 85, 4, wind(925, 180, 52)), "none");
  // 350 mb met at the 300 mb step: its height group only.
  EXPECT_EQ(form(fhgt, 30, 4, {0, 350, 8100, M, M, M, M}), "35810 ");
  EXPECT_EQ(form(ftemp, 30, 4, {0, 350, 8100, -400, M, M, M}), "none");
  EXPECT_EQ(form(fwind, 30, 4, wind(350, 180, 52)), "none");
  // No comparison without the values, nor outside mandatory levels.
  EXPECT_EQ(form(ftemp, 30, 4, {0, 350, 8100, M, M, 180, 52}), "///// ");
  EXPECT_EQ(form(fwind, 30, 4, wind(350, M, 52)), "///// ");
  EXPECT_EQ(form(ftemp, 30, 5, {0, 350, 8100, -400, M, M, M}), "401// ");
}

TEST(FaaGroups, PressureGroupsAndThe31313Section) {
  EXPECT_EQ(form(fpress, 99, 9, wind(1013, M, M)), "99013 ");
  EXPECT_EQ(form(fpress, 0, 5, wind(850, M, M)), "00850 ");
  EXPECT_EQ(form(fpress, 22, 5, wind(600, M, M)), "22600 ");
  EXPECT_EQ(form(fpress, 0, 7, wind(265, M, M)), "88265 ");
  EXPECT_EQ(form(fpress, 0, 8, wind(250, M, M)), "77250 ");
  EXPECT_EQ(form(fpress, 11, 5, wind(M, M, M)), "///// ");
  Snd_Hdr.sondtype = 52;
  Snd_Hdr.reltime = 15;
  std::string g0, g1, g2;
  long cursor = 0;
  const Sounding s = current_sounding();
  EXPECT_EQ(fpress(s, 0, cursor, 0, g0) + fpress(s, 0, cursor, 1, g1) +
                fpress(s, 0, cursor, 2, g2), 3);
  EXPECT_EQ(g0 + g1 + g2, "31313 052// 0015/=");
}

TEST(FaaGroups, NoLevelOfTheFrameAfterTheCursor) {
  Snd_Data[0] = DATA_TYPE{4, 1000, 100, 10, 5, 90, 50};
  Snd_Hdr.levels = 1;
  for (FaaFormatter f : {fpress, fhgt, ftemp, fwind}) {
    long cursor = 0;
    std::string group;
    EXPECT_EQ(f(current_sounding(), 0, cursor, 5, group), 0);
    cursor = 1;
    EXPECT_EQ(f(current_sounding(), 0, cursor, 4, group), 0);
  }
}

TEST(FaaGroups, ZeroPad) {
  std::string a = "5", b = "1234", c = "-5", d;
  zero_pad(3, a);
  zero_pad(3, b);
  zero_pad(3, c);
  zero_pad(2, d);
  EXPECT_EQ(a + "|" + b + "|" + c + "|" + d, "005|1234|0-5|00");
}

}  // namespace
