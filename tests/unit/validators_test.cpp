// The answer validators and the scan for years with data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "rawinq/dialogue.h"
#include "rawinq/globals.h"
#include "rawinq/program_exit.h"
#include "stdio_redirect.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const std::string kBell = "\a";

std::string date_message(const std::string& answer) {
  return "\n\tERROR:  \"" + answer +
         "\" is not a valid date.  Enter all ten digits.\n" + kBell;
}
std::string station_message(const std::string& answer) {
  return "\n\tERROR:  \"" + answer +
         "\" is not a valid station number.  Enter all the digits.\n\n" + kBell;
}
std::string latlong_message(const std::string& answer) {
  return "\n\tERROR:  \"" + answer +
         "\" is not a valid lat/long.  Enter all the digits.\n\n" + kBell;
}
const std::string kPointMessage =
    "\n\tERROR:  a decimal point is required for this number.\n\n" + kBell;

struct Verdict {
  short result;
  std::string out;
};

template <typename F>
Verdict check(F validator, const std::string& answer) {
  CaptureStdout cap;
  const short r = validator(answer);
  return {r, cap.text()};
}

TEST(ValidDate, DigitsOnlyAndEmptyAreAccepted) {
  for (const std::string a : {"1993081300", "", "0"}) {
    const Verdict v = check(valid_date, a);
    EXPECT_EQ(v.result, 1) << a;
    EXPECT_EQ(v.out, "") << a;
  }
}

TEST(ValidDate, MessageWrittenOnceForSeveralBadCharacters) {
  for (const std::string a : {"19930813ab", "1993 08 13", "-1993081300"}) {
    const Verdict v = check(valid_date, a);
    EXPECT_EQ(v.result, 0) << a;
    EXPECT_EQ(v.out, date_message(a)) << a;
  }
}

TEST(ValidStation, RefusesLettersAndSigns) {
  for (const std::string a : {"7246A", "+72469", "72 469", "A7B8C"}) {
    const Verdict v = check(valid_station, a);
    EXPECT_EQ(v.result, 0) << a;
    EXPECT_EQ(v.out, station_message(a)) << a;
  }
  for (const std::string a : {"72469", ""}) {
    const Verdict v = check(valid_station, a);
    EXPECT_EQ(v.result, 1) << a;
    EXPECT_EQ(v.out, "");
  }
}

TEST(ValidFloat, AcceptsPointAndMinusAnywhere) {
  for (const std::string a : {"-104.25", "45.", ".5", "1-2.5", "", "--.."}) {
    const Verdict v = check(valid_float, a);
    EXPECT_EQ(v.result, 1) << a;
    EXPECT_EQ(v.out, "") << a;
  }
}

TEST(ValidFloat, RefusesWithTheRightMessageOnce) {
  for (const std::string a : {"+45.0", "45.0N", "4 5.x"}) {
    const Verdict v = check(valid_float, a);
    EXPECT_EQ(v.result, 0) << a;
    EXPECT_EQ(v.out, latlong_message(a)) << a;
  }
  // A bad character is reported before a missing point.
  const Verdict bad = check(valid_float, "45N");
  EXPECT_EQ(bad.out, latlong_message("45N"));
  for (const std::string a : {"45", "-"}) {
    const Verdict v = check(valid_float, a);
    EXPECT_EQ(v.result, 0) << a;
    EXPECT_EQ(v.out, kPointMessage) << a;
  }
}

class AvailYears : public ::testing::Test {
 protected:
  void TearDown() override { Data_Loc.clear(); }
  TempDir db;
};

TEST_F(AvailYears, FindsAllThreePrefixesAndReportsFirstToLast) {
  make_dir(db / "raob1993");
  make_dir(db / "RAOB1994");
  write_file(db / "Raob1997", "");  // any kind of entry counts
  make_dir(db / "raob93");          // a two-digit name is not a global year
  make_dir(db / "rAOB1999");        // nor another mix of letter cases
  Data_Loc = db.path() + "/";
  short b = 0, e = 0;
  CaptureStdout cap;
  avail_years(&b, &e);
  EXPECT_EQ(cap.text(), "    NOTE: Raob data from the directory: " + Data_Loc +
                            "\n\t    is available for the years:  1993 thru "
                            "1997\n\n");
  EXPECT_EQ(b, 1993);
  EXPECT_EQ(e, 1997);
  for (int y = 1900; y <= 2099; ++y) {
    const bool want = y == 1993 || y == 1994 || y == 1997;
    EXPECT_EQ(Years[y - 1900], want ? 1 : 0) << y;
  }
}

TEST_F(AvailYears, EveryCallRescansAndClearsOldYears) {
  make_dir(db / "raob2001");
  Data_Loc = db.path() + "/";
  short b = 0, e = 0;
  {
    CaptureStdout cap;
    avail_years(&b, &e);
  }
  EXPECT_EQ(Years[101], 1);
  make_dir(db / "raob1900");
  make_dir(db / "raob2099");
  testing_support::write_file(db / "x", "");
  rmdir((db / "raob2001").c_str());
  {
    CaptureStdout cap;
    avail_years(&b, &e);
  }
  EXPECT_EQ(b, 1900);
  EXPECT_EQ(e, 2099);
  EXPECT_EQ(Years[101], 0);
  EXPECT_EQ(Years[0], 1);
  EXPECT_EQ(Years[199], 1);
}

TEST_F(AvailYears, EmptyDirectoryNameLooksInTheWorkingDirectory) {
  make_dir(db / "raob2005");
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(db.path().c_str()), 0);
  Data_Loc.clear();
  short b = 0, e = 0;
  std::string out;
  {
    CaptureStdout cap;
    avail_years(&b, &e);
    out = cap.text();
  }
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(out,
            "    NOTE: Raob data from the directory: <current directory>\n"
            "\t    is available for the years:  2005 thru 2005\n\n");
  EXPECT_EQ(b, 2005);
  EXPECT_EQ(e, 2005);
}

TEST_F(AvailYears, NoDataEndsTheProgramAfterItsDialogue) {
  Data_Loc = db.path() + "/";
  short b = 7, e = 7;
  FeedStdin in("\n");
  CaptureStdout cap;
  try {
    avail_years(&b, &e);
    FAIL() << "avail_years returned without data";
  } catch (const ProgramExit& x) {
    EXPECT_EQ(x.status, 0);
    EXPECT_FALSE(x.end_of_input);
  }
  EXPECT_EQ(cap.text(),
            " ERROR:  No raob data could be found in the directory: " +
                Data_Loc + "\n\n" + kBell +
                "\tEnter HELP for more information \n"
                "\tEnter <return> to exit the database\n"
                "    Your choice? "
                "\n\tExiting raob database ...\n");
  EXPECT_EQ(e, -1);
}

TEST_F(AvailYears, NoDataDialogueEndsAtEndOfInput) {
  Data_Loc = db.path() + "/";
  short b = 0, e = 0;
  FeedStdin in("");
  CaptureStdout cap;
  try {
    avail_years(&b, &e);
    FAIL() << "avail_years returned without data";
  } catch (const ProgramExit& x) {
    EXPECT_TRUE(x.end_of_input);
    EXPECT_EQ(x.status, 0);
  }
  const std::string out = cap.text();
  EXPECT_EQ(out.find("Exiting raob database"), std::string::npos);
}

}  // namespace
