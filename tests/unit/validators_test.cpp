// The answer validators and the scan for years with data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <initializer_list>
#include <string>

#include "converse.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "dialogue_texts.h"
#include "rawinq/program_exit.h"
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

// Each answer gets the result, and message(answer) on standard output.
template <typename F, typename M>
void expect_verdicts(F validator, std::initializer_list<const char*> answers,
                     short result, M message) {
  for (const std::string a : answers) {
    const Verdict v = check(validator, a);
    EXPECT_EQ(v.result, result) << a;
    EXPECT_EQ(v.out, message(a)) << a;
  }
}
std::string silent(const std::string&) { return ""; }
std::string point_message(const std::string&) { return kPointMessage; }

TEST(ValidDate, DigitsOnlyAndEmptyAreAccepted) {
  expect_verdicts(valid_date, {"1993081300", "", "0"}, 1, silent);
}

TEST(ValidDate, MessageWrittenOnceForSeveralBadCharacters) {
  expect_verdicts(valid_date, {"19930813ab", "1993 08 13", "-1993081300"}, 0,
                  date_message);
}

TEST(ValidStation, RefusesLettersAndSigns) {
  expect_verdicts(valid_station, {"7246A", "+72469", "72 469", "A7B8C"}, 0,
                  station_message);
  expect_verdicts(valid_station, {"72469", ""}, 1, silent);
}

TEST(ValidFloat, AcceptsPointAndMinusAnywhere) {
  expect_verdicts(valid_float, {"-104.25", "45.", ".5", "1-2.5", "", "--.."}, 1,
                  silent);
}

TEST(ValidFloat, RefusesWithTheRightMessageOnce) {
  // A bad character is reported before a missing point.
  expect_verdicts(valid_float, {"+45.0", "45.0N", "4 5.x", "45N"}, 0,
                  latlong_message);
  expect_verdicts(valid_float, {"45", "-"}, 0, point_message);
}

class AvailYears : public ::testing::Test {
 protected:
  void TearDown() override { dialogue_state().Data_Loc.clear(); }
  TempDir db;
};

TEST_F(AvailYears, FindsAllThreePrefixesAndReportsFirstToLast) {
  make_dir(db / "raob1993");
  make_dir(db / "RAOB1994");
  write_file(db / "Raob1997", "");  // any kind of entry counts
  make_dir(db / "raob93");          // a two-digit name is not a global year
  make_dir(db / "rAOB1999");        // nor another mix of letter cases
  dialogue_state().Data_Loc = db.path() + "/";
  short b = 0, e = 0;
  CaptureStdout cap;
  avail_years(dialogue_state(), &b, &e);
  EXPECT_EQ(cap.text(),
            dialogue_texts::note(dialogue_state().Data_Loc, 1993, 1997));
  EXPECT_EQ(b, 1993);
  EXPECT_EQ(e, 1997);
  for (int y = 1900; y <= 2099; ++y) {
    const bool want = y == 1993 || y == 1994 || y == 1997;
    EXPECT_EQ(dialogue_state().Years[y - 1900], want ? 1 : 0) << y;
  }
}

TEST_F(AvailYears, EveryCallRescansAndClearsOldYears) {
  make_dir(db / "raob2001");
  dialogue_state().Data_Loc = db.path() + "/";
  short b = 0, e = 0;
  {
    CaptureStdout cap;
    avail_years(dialogue_state(), &b, &e);
  }
  EXPECT_EQ(dialogue_state().Years[101], 1);
  make_dir(db / "raob1900");
  make_dir(db / "raob2099");
  testing_support::write_file(db / "x", "");
  rmdir((db / "raob2001").c_str());
  {
    CaptureStdout cap;
    avail_years(dialogue_state(), &b, &e);
  }
  EXPECT_EQ(b, 1900);
  EXPECT_EQ(e, 2099);
  EXPECT_EQ(dialogue_state().Years[101], 0);
  EXPECT_EQ(dialogue_state().Years[0], 1);
  EXPECT_EQ(dialogue_state().Years[199], 1);
}

TEST_F(AvailYears, EmptyDirectoryNameLooksInTheWorkingDirectory) {
  make_dir(db / "raob2005");
  dialogue_state().Data_Loc.clear();
  short b = 0, e = 0;
  std::string out;
  {
    WorkingDirectory in_db(db.path());
    CaptureStdout cap;
    avail_years(dialogue_state(), &b, &e);
    out = cap.text();
  }
  EXPECT_EQ(out, dialogue_texts::note("<current directory>", 2005, 2005));
  EXPECT_EQ(b, 2005);
  EXPECT_EQ(e, 2005);
}

TEST_F(AvailYears, NoDataEndsTheProgramAfterItsDialogue) {
  dialogue_state().Data_Loc = db.path() + "/";
  short b = 7, e = 7;
  const Conversation c =
      converse("\n", [&] { avail_years(dialogue_state(), &b, &e); });
  EXPECT_TRUE(c.ended) << "avail_years returned without data";
  EXPECT_EQ(c.status, 0);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(c.out, dialogue_texts::no_data_dialogue(dialogue_state().Data_Loc) +
                       "\n\tExiting raob database ...\n");
  EXPECT_EQ(e, -1);
}

TEST_F(AvailYears, NoDataDialogueEndsAtEndOfInput) {
  dialogue_state().Data_Loc = db.path() + "/";
  short b = 0, e = 0;
  const Conversation c =
      converse("", [&] { avail_years(dialogue_state(), &b, &e); });
  EXPECT_TRUE(c.input_ran_out) << "avail_years returned without data";
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.out.find("Exiting raob database"), std::string::npos);
}

}  // namespace
