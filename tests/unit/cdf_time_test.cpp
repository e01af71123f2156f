#include <gtest/gtest.h>

#include "rawinq/cdf.h"

namespace {

TEST(Time2Sec, ForwardFromTheEpoch) {
  EXPECT_EQ(time2sec(1970, 1, 1, 0, 0, 0), 0.0);
  EXPECT_EQ(time2sec(2000, 3, 1, 0, 0, 0), 951868800.0);
  EXPECT_EQ(time2sec(1995, 1, 1, 12, 0, 0), 788961600.0);
  EXPECT_EQ(time2sec(1995, 1, 1, 24, 0, 0), 789004800.0);
  EXPECT_EQ(time2sec(1995, 1, 2, 0, 0, 0), 789004800.0);
  EXPECT_EQ(time2sec(2000, 2, 29, 23, 15, 0), 951866100.0);
  EXPECT_EQ(time2sec(2000, 3, 1, 0, 5, 0), 951869100.0);
}

TEST(Time2Sec, BackwardBeforeTheEpoch) {
  EXPECT_EQ(time2sec(1969, 12, 31, 23, 59, 59), -1.0);
  EXPECT_EQ(time2sec(1969, 12, 31, 0, 0, 0), -86400.0);
  EXPECT_EQ(time2sec(1969, 1, 1, 0, 0, 0), -31536000.0);
  EXPECT_EQ(time2sec(1960, 6, 15, 12, 0, 0), -301233600.0);
  EXPECT_EQ(time2sec(1900, 3, 1, 0, 0, 0), -2203891200.0);
}

TEST(Time2Sec, BothDirectionsAgreeAcrossTheEpoch) {
  // One day apart on each side of 1970-01-01.
  EXPECT_EQ(time2sec(1970, 1, 2, 0, 0, 0) - time2sec(1969, 12, 31, 0, 0, 0),
            2 * 86400.0);
  // 1968 is a leap year: 29 February exists.
  EXPECT_EQ(time2sec(1968, 3, 1, 0, 0, 0) - time2sec(1968, 2, 28, 0, 0, 0),
            2 * 86400.0);
}

TEST(LeapYr, ZeroMeansLeap) {
  EXPECT_EQ(leap_yr(1996), 0);
  EXPECT_EQ(leap_yr(2000), 0);
  EXPECT_EQ(leap_yr(2400), 0);
  EXPECT_EQ(leap_yr(1900), -1);
  EXPECT_EQ(leap_yr(1999), -1);
  EXPECT_EQ(leap_yr(2100), -1);
}

}  // namespace
