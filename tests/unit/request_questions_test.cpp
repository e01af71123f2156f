// The request and output questions, called directly with a scripted
// standard input: the settings they leave and the texts they write.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "converse.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/program_exit.h"
#include "rawinq/terminal.h"
#include "request_texts.h"
#include "test_support.h"

using namespace request_texts;
using namespace testing_support;

namespace {

const std::string kHoursMenu = kHoursHead +
                               "      0  -  All times\n"
                               "      1  -  0z and 12z only\n"
                               "      2  -  0z only\n"
                               "      3  -  12z only\n";
const std::string kAccessMenu = kAccessHead +
                                "      2  -  all North/Central American Data \n"
                                "      3  -  all Global Data\n";
const std::string kLevelMenu =
    " What type of data levels do you want?\n"
    "      0  -  all levels\n"
    "      1  -  mandatory levels only\n"
    "      2  -  mandatory and significant levels only\n";
const std::string kWindMenu =
    " What type of wind speed units do you want?\n"
    "      0  -  knots\n"
    "      1  -  tenths of meters/second\n";
const std::string kSortMenu =
    kSortHead +
    "      0  -  Synoptic Sort (time series)\n"
    "      1  -  Climatological Sort (station series)\n"
    "    Note:  For large data requests, type help for performance "
    "information.\n\n";
const std::string kDestinationMenu =
    "\n Where do you want to direct the output?\n"
    "      0  -  to the screen\n"
    "      1  -  to output file(s)\n";
const std::string kTimeFileMenu =
    "\n\t\tTime Series Sort \n\n"
    " How do you want structure your output file(s)?\n"
    "      0  -  all data in one file      <YYYYMMDDHH.txt>\n"
    "      1  -  one file per year         <YYYYMMDDHH.txt>\n"
    "      2  -  one file per month        <YYYYMMDDHH.txt>\n"
    "      3  -  one file per day          <YYYYMMDDHH.txt>\n"
    "      4  -  one files per time        <YYYYMMDDHH.txt>\n"
    "      5  -  one file per sounding     <YYYYMMDDHH.txt>\n";
const std::string kStationFileMenu =
    kStationSeriesHead +
    " How do you want structure your output file(s)?\n"
    "      0  -  all data in one file      <YYMMDDHH.txt>\n"
    "      1  -  one station per file      <WMO_INI_YYYYMMDDHH.txt>\n"
    "      2  -  one sounding per file     <WMO_INI_YYYYMMDDHH.txt>\n";
const std::string k100mbYes =
    "\nDo you wish to obtain data above 100mb pressure? [Y/N] Y\b";
const std::string k100mbNo =
    "\nDo you wish to obtain data above 100mb pressure? [Y/N] N\b";

const std::string kWorld = "\n\t\t World Database Access\n";

class Questions : public ::testing::Test {
 protected:
  void SetUp() override {
    // A database directory holding one year, for the rescans after a date
    // out of range.
    make_dir(db_ / "raob1995");
    dialogue_state().Data_Loc = db_.path() + "/";
    dialogue_state().Begin_Date = "1995010100";
    dialogue_state().Stn_Type = 0;
    dialogue_state().Sort_Type = 1;
    dialogue_state().Original_ZIR_Format = 0;
    dialogue_state().Usr_Stn_Count = 1;
    dialogue_state().User_Stations[0][0] = 72469;
    dialogue_state().User_Stations[0][1] = 23062;
    dialogue_state().User_Stations[1][0] = 0;
    dialogue_state().User_Stations[1][1] = 0;
    s_.bbyr = 1995;
    s_.eeyr = 1995;
  }
  void TearDown() override { dialogue_state().Data_Loc.clear(); }

  Conversation request(const std::string& input) {
    return converse(input,
                    [this] { ask_request_questions(dialogue_state(), s_); });
  }
  Conversation output(const std::string& input) {
    return converse(input,
                    [this] { ask_output_questions(dialogue_state(), s_); });
  }
  // Settings of a finished request over two different dates.
  void two_dates() {
    s_.first = 0;
    s_.bdat = "1995010100";
    s_.edat = "1995010212";
    s_.bdate = 1995010100;
    s_.edate = 1995010212;
  }

  TempDir db_;
  RequestSettings s_;
};

// ---- answers ---------------------------------------------------------------

TEST(AnswerReading, LongLinesAreCutTo78CharactersAndNeverSpill) {
  const std::string long_line = std::string(78, 'a') + std::string(200, 'b');
  const std::string exact = std::string(78, 'c') + "d";  // 79 and a newline
  // A NUL byte early in a long line must not hide how much was read.
  const std::string with_nul = std::string("HELP\0", 5) + std::string(120, 'e');
  std::vector<std::string> answers;
  const Conversation c = converse(
      long_line + "\nsecond\n" + exact + "\nthird\n" + with_nul +
          "\nfourth\nlast",
      [&] {
        for (;;) answers.push_back(read_answer());
      });
  EXPECT_TRUE(c.input_ran_out);
  const std::vector<std::string> expected = {
      std::string(78, 'a'), "second", std::string(78, 'c'), "third", "HELP",
      "fourth", "las"};
  EXPECT_EQ(answers, expected);
}

// ---- dates and hours -------------------------------------------------------

TEST_F(Questions, FirstRequestAcceptsTheShownDefaultsAndSkipsHoursForOneDate) {
  s_.stim = 2;
  const Conversation c = request("\n\n3\n");
  EXPECT_EQ(c.out, begin_q("1995010100") + end_q("1995010100") + kAccessMenu +
                       choice(0) + kWorld);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(s_.bdat, "1995010100");
  EXPECT_EQ(s_.edat, "1995010100");
  EXPECT_EQ(s_.bdate, 1995010100);
  EXPECT_EQ(s_.edate, 1995010100);
  EXPECT_EQ(s_.stim, 0);  // forced by the single date
  EXPECT_EQ(dialogue_state().Begin_Date, "1995010100");
  EXPECT_EQ(s_.access, 3);
  EXPECT_EQ(dialogue_state().Stn_Type, 1);
  EXPECT_EQ(s_.blat, -90.0f);
  EXPECT_EQ(s_.elat, 90.0f);
  EXPECT_EQ(s_.blong, -180.0f);
  EXPECT_EQ(s_.elong, 180.0f);
}

TEST_F(Questions, RefusedDatesAreAskedAgain) {
  const Conversation c = request(
      "19950101\n"      // 8 digits
      "1990010100\n"    // year without data
      "1995130100\n"    // month 13
      "1995023100\n"    // day 31 is accepted in any month
      "1995022100\n"    // ending date earlier than the beginning date
      "1995023100\n"    // beginning again, shown from the first default
      "1995023112\n"    // ending date
      "0\n3\n");
  const std::string range =
      std::string("\n ERROR - beginning date out of range\n") + BELL;
  const std::string expected_start =
      begin_q("1995010100") +
      std::string(" ERROR - date string must have 10 digits\n") + BELL +
      begin_q("1995010100") + range;
  ASSERT_EQ(c.out.substr(0, expected_start.size()), expected_start);
  // The range message is followed by the year scan's note and the question.
  const size_t second_range = c.out.find(range, expected_start.size());
  ASSERT_NE(second_range, std::string::npos);
  const std::string later =
      begin_q("1995010100") + end_q("1995023100") +
      std::string(" ERROR - beginning date is greater than ending date\n") +
      BELL + begin_q("1995010100") + end_q("1995023100") + kHoursMenu +
      " Your Choice? [0]\b\b" + kAccessMenu + choice(0) + kWorld;
  EXPECT_EQ(c.out.substr(c.out.size() - later.size()), later);
  EXPECT_EQ(s_.bdate, 1995023100);
  EXPECT_EQ(s_.edate, 1995023112);
  EXPECT_EQ(dialogue_state().Begin_Date, "1995023100");
  EXPECT_EQ(s_.bbyr, 1995);
  EXPECT_EQ(s_.eeyr, 1995);
}

TEST_F(Questions, EndingDateOutOfRangeIsAskedAgain) {
  const Conversation c = request("1995010100\n1996010100\n\n3\n");
  const std::string head = begin_q("1995010100") + end_q("1995010100") +
                           " ERROR - ending date out of range\n" + BELL;
  ASSERT_EQ(c.out.substr(0, head.size()), head);
  // On the first request the ending date starts from the beginning date
  // again.
  EXPECT_NE(c.out.find(end_q("1995010100"), head.size()), std::string::npos);
  EXPECT_EQ(s_.edate, 1995010100);
}

TEST_F(Questions, LaterRequestsOfferTheLastDates) {
  two_dates();
  dialogue_state().Begin_Date = "1995010100";
  // The stored ending date is kept while it is not earlier than the new
  // beginning date.
  Conversation c = request("1995010200\n\n\n3\n");
  EXPECT_EQ(c.out.substr(0, begin_q("1995010100").size() +
                                end_q("1995010212").size()),
            begin_q("1995010100") + end_q("1995010212"));
  EXPECT_EQ(s_.edat, "1995010212");
  EXPECT_EQ(dialogue_state().Begin_Date, "1995010200");
  // A beginning date after it makes the ending date start from the
  // beginning date.
  c = request("1995020100\n\n3\n");
  EXPECT_EQ(c.out.substr(0, begin_q("1995010200").size() +
                                end_q("1995020100").size()),
            begin_q("1995010200") + end_q("1995020100"));
  EXPECT_EQ(s_.edate, 1995020100);
}

TEST_F(Questions, HoursMenuRefusesChoicesOutOfRangeWithoutWrapping) {
  two_dates();
  s_.stim = 1;
  const Conversation c =
      request("\n\n4\n65536\n99999999999999999999\n-1\n\n2\n3\n");
  // A refused number becomes the value shown, and an empty answer tests it
  // again; a number too large for the setting is not stored.
  auto hours = [](int shown) {
    return kHoursMenu + " Your Choice? [" + std::to_string(shown) + "]\b\b";
  };
  const std::string expected =
      begin_q("1995010100") + end_q("1995010212") + hours(1) + kOutOfRange +
      hours(4) + kOutOfRange + hours(4) + kOutOfRange + hours(4) + kOutOfRange +
      hours(-1) + kOutOfRange + hours(-1) + kAccessMenu + choice(0) + kWorld;
  EXPECT_EQ(c.out, expected);
  EXPECT_EQ(s_.stim, 2);
}

// ---- access modes ----------------------------------------------------------

TEST_F(Questions, RegionChoiceSetsTheBoxAndWbanNumbers) {
  two_dates();
  const Conversation c = request("\n\n\n2\n");
  const std::string tail =
      choice(0) + "\n\t\t North/Central American Access\n\n";
  ASSERT_GE(c.out.size(), tail.size());
  EXPECT_EQ(c.out.substr(c.out.size() - tail.size()), tail);
  EXPECT_EQ(dialogue_state().Stn_Type, 1);
  EXPECT_EQ(s_.access, 2);
  EXPECT_EQ(s_.blat, 0.0f);
  EXPECT_EQ(s_.elat, 90.0f);
  EXPECT_EQ(s_.blong, -180.0f);
  EXPECT_EQ(s_.elong, -50.0f);
}

TEST_F(Questions, GeographicBoxRefusesMinimumAboveMaximum) {
  two_dates();
  s_.access = 1;
  dialogue_state().Stn_Type = 0;
  const Conversation c = request("\n\n\n\n50.\n10.\n\n\n");
  const std::string expected =
      std::string("\n\t\t Geographic Location Access \n\n") +
      "  NOTE:  For soundings in the western hemisphere, use negative "
      "longitudes.\n\n" +
      " Input the bounds of your lat/long box \n" +
      box_q("MINIMUM", "latitude", "10.00", 6) +
      box_q("MAXIMUM", "latitude", "50.00", 6) +
      " ERROR: the MAX latitude is less than the MIN latitude\n" +
      box_q("MINIMUM", "latitude", "50.00", 6) +
      box_q("MAXIMUM", "latitude", "10.00", 6) +
      " ERROR: the MAX latitude is less than the MIN latitude\n" +
      box_q("MINIMUM", "latitude", "50.00", 6);
  const size_t at = c.out.find(expected);
  ASSERT_NE(at, std::string::npos) << c.out;
  // Ran out of input while asking the minimum latitude again.
  EXPECT_TRUE(c.input_ran_out);
  EXPECT_EQ(dialogue_state().Stn_Type, 1);
  EXPECT_EQ(s_.blat, 50.0f);
  EXPECT_EQ(s_.elat, 10.0f);
}

TEST_F(Questions, GeographicBoxStoresTheBounds) {
  two_dates();
  // A number too large for a float is refused, not taken as infinity.
  const std::string huge(60, '9');
  const Conversation c =
      request("\n\n\n1\n" + huge + ".0\n-10.5\n-10.5\n-120.25\n\n");
  const std::string min_lat = box_q("MINIMUM", "latitude", "10.00", 6);
  EXPECT_NE(c.out.find(min_lat + kOutOfRange + min_lat), std::string::npos);
  const std::string tail = "\n" + box_q("MINIMUM", "longitude", "100.00", 7) +
                           box_q("MAXIMUM", "longitude", "120.00", 7);
  EXPECT_EQ(c.out.substr(c.out.size() - tail.size()), tail);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(s_.blat, -10.5f);
  EXPECT_EQ(s_.elat, -10.5f);  // equal bounds are accepted
  EXPECT_EQ(s_.blong, -120.25f);
  EXPECT_EQ(s_.elong, 120.0f);
}

// ---- station numbers -------------------------------------------------------

const std::string kStationType =
    "\n\t\t Station Number Access\n\n"
    " What type of station numbers are you using? [WMO=0, WBAN=1] [";

TEST_F(Questions, WmoNumbersAlwaysOfferOneStation) {
  dialogue_state().Usr_Stn_Count = 7;
  dialogue_state().User_Stations[1][1] = 4711;
  const Conversation c = request("\n\n0\n0\nn\n2\n\n72365\n");
  const std::string expected = kAccessMenu + choice(0) + kStationType +
                               "0]\b\b" + kListFileQ + kCountQ + "1]\b\b" +
                               " WMO station number? 72469\b\b\b\b\b" +
                               " WMO station number?     0\b\b\b\b\b";
  EXPECT_EQ(c.out.substr(c.out.size() - expected.size()), expected);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 2);
  EXPECT_EQ(dialogue_state().User_Stations[0][0], 72469);
  EXPECT_EQ(dialogue_state().User_Stations[1][0], 72365);
  EXPECT_EQ(dialogue_state().User_Stations[1][1],
            4711);  // the other column is left alone
  EXPECT_EQ(dialogue_state().Stn_Type, 0);
}

TEST_F(Questions, WbanCountDefaultsFollowThePreviousCount) {
  struct Case {
    short previous;
    std::string shown;
  } cases[] = {{12, "12]\b\b\b"}, {100, "100]\b\b\b\b"}, {150, "1]\b\b"},
               {0, "1]\b\b"}, {5, "5]\b\b"}};
  for (const Case& k : cases) {
    SetUp();
    dialogue_state().Stn_Type = 1;
    dialogue_state().Usr_Stn_Count = k.previous;
    const Conversation c = request("\n\n0\n\n\n");
    EXPECT_NE(c.out.find(kStationType + "1]\b\b" + kListFileQ + kCountQ +
                         k.shown),
              std::string::npos)
        << k.previous;
    EXPECT_TRUE(c.input_ran_out);
  }
}

TEST_F(Questions, WbanNumbersAreShownInFiveColumns) {
  dialogue_state().Stn_Type = 1;
  dialogue_state().Usr_Stn_Count = 2;
  dialogue_state().User_Stations[0][1] = 23062;
  dialogue_state().User_Stations[1][1] = 3937;
  const Conversation c = request("\n\n0\n\n\n\n\n3937\n");
  const std::string expected = kCountQ + "2]\b\b" +
                               " WBAN station number? 23062\b\b\b\b\b" +
                               " WBAN station number?  3937\b\b\b\b";
  EXPECT_EQ(c.out.substr(c.out.size() - expected.size()), expected);
  EXPECT_EQ(dialogue_state().User_Stations[0][1], 23062);
  EXPECT_EQ(dialogue_state().User_Stations[1][1], 3937);
  EXPECT_EQ(dialogue_state().User_Stations[0][0], 72469);
}

TEST_F(Questions, StationCountOutOfRangeReturnsToTheListFileQuestion) {
  const Conversation c = request("\n\n0\n\n\n101\n\n0\n");
  const std::string expected = kListFileQ + kCountQ + "1]\b\b" + kOutOfRange +
                               kListFileQ + kCountQ + "1]\b\b";
  EXPECT_EQ(c.out.substr(c.out.size() - expected.size()), expected);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count,
            0);  // no station at all is accepted

  // With WBAN numbers the refused count is stored, so the repeated question
  // offers 1 instead of the count before it.
  SetUp();
  dialogue_state().Stn_Type = 1;
  dialogue_state().Usr_Stn_Count = 5;
  const Conversation w = request("\n\n0\n\n\n150\n\n0\n");
  const std::string wban = kListFileQ + kCountQ + "5]\b\b" + kOutOfRange +
                           kListFileQ + kCountQ + "1]\b\b";
  EXPECT_EQ(w.out.substr(w.out.size() - wban.size()), wban);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 0);
}

TEST_F(Questions, StationNumberTooLargeIsAskedAgain) {
  const Conversation c =
      request("\n\n0\n\n\n\n123456789012345678901234567890\n72201\n");
  const std::string q = " WMO station number? 72469\b\b\b\b\b";
  EXPECT_NE(c.out.find(q + kOutOfRange + q), std::string::npos);
  EXPECT_EQ(dialogue_state().User_Stations[0][0], 72201);
}

TEST_F(Questions, StationTypeMenuRepeatsItsHeading) {
  const Conversation c = request("\n\n0\n2\n1\n");
  EXPECT_NE(c.out.find(kStationType + "0]\b\b" + kOutOfRange + kStationType +
                       "2]\b\b" + kListFileQ),
            std::string::npos);
  EXPECT_EQ(dialogue_state().Stn_Type, 1);
}

TEST_F(Questions, StationListFile) {
  TempDir dir;
  write_file(dir / "list", "72469\n72365\n");
  const std::string missing = dir / "none";
  const Conversation c =
      request("\n\n0\n0\ny\n" + missing + "\nY\n\nY\n" + dir / "list" + "\n");
  const std::string name_q = "\n  Enter the full name of this file: ";
  const std::string expected =
      kListFileQ + name_q + "\n  ERROR -  station file: " + missing +
      " does not exist \n" + BELL + kListFileQ + name_q +
      "\n  ERROR -  station file:  does not exist \n" + BELL + kListFileQ +
      name_q + "\n STATUS:  2 stations read from file: " + dir / "list" +
      "\n\n";
  EXPECT_EQ(c.out.substr(c.out.size() - expected.size()), expected);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 2);
  EXPECT_EQ(dialogue_state().User_Stations[0][0], 72469);
  EXPECT_EQ(dialogue_state().User_Stations[1][0], 72365);
}

// ---- output questions ------------------------------------------------------

TEST_F(Questions, ZirToFilesAsksEveryQuestion) {
  two_dates();
  s_.pname = "old";
  const Conversation c = output("0\nn\n2\n1\n0\n1\nout/data  extra\n3\n");
  const std::string expected =
      kFormatMenu + choice(0) + k100mbYes + kLevelMenu + choice(0) + kWindMenu +
      choice(0) + kSortMenu + choice(1) + kDestinationMenu + choice(0) +
      kDirectoryQuestion + "old\b\b\b" + kTimeFileMenu + choice(0);
  EXPECT_EQ(c.out, expected);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(dialogue_state().Original_ZIR_Format, 1);
  EXPECT_EQ(s_.ltype, 2);
  EXPECT_EQ(s_.wformat, 1);
  EXPECT_EQ(dialogue_state().Sort_Type, 0);
  EXPECT_EQ(s_.outloc, 1);
  EXPECT_EQ(s_.pname, "out/data/");
  EXPECT_EQ(s_.timesort, 3);
  EXPECT_EQ(s_.outloc, 1);

  // The answers are the next defaults; an empty directory answer keeps it.
  const Conversation again = output("\n\n\n\n\n\n\n\n");
  EXPECT_EQ(again.out, kFormatMenu + choice(0) + k100mbNo + kLevelMenu +
                           choice(2) + kWindMenu + choice(1) + kSortMenu +
                           choice(0) + kDestinationMenu + choice(1) +
                           kDirectoryQuestion + "out/data/" +
                           std::string(9, '\b') + kTimeFileMenu + choice(3));
  EXPECT_EQ(dialogue_state().Original_ZIR_Format, 1);
  EXPECT_EQ(s_.pname, "out/data/");
}

TEST_F(Questions, EachFormatAsksItsOwnQuestions) {
  // FAA604 to the screen: levels only, then sort and destination.
  two_dates();
  Conversation c = output("1\n1\n1\n0\n");
  EXPECT_EQ(c.out, kFormatMenu + choice(0) + kLevelMenu + choice(0) +
                       kSortMenu + choice(1) + kDestinationMenu + choice(0));
  EXPECT_EQ(s_.oformat, 1);
  EXPECT_EQ(s_.ltype, 1);
  EXPECT_EQ(s_.outloc, 0);

  // NetCDF: 100 mb and levels, never the destination; always files.
  c = output("2\ny\n\n\nnc\n\n");
  EXPECT_EQ(c.out, kFormatMenu + choice(1) + k100mbYes + kLevelMenu +
                       choice(1) + kSortMenu + choice(1) +
                       "\n NOTE: ALL NetCDF output is to a file\n" +
                       kDirectoryQuestion + kStationFileMenu + choice(0));
  EXPECT_EQ(dialogue_state().Original_ZIR_Format, 0);
  EXPECT_EQ(s_.outloc, 1);
  EXPECT_EQ(s_.pname, "nc/");
  EXPECT_EQ(s_.outloc, 1);

  // The unlisted ZIR choice: levels and wind units, no 100 mb question.
  c = output("4\n\n1\n\n0\n");
  EXPECT_EQ(c.out, kFormatMenu + choice(2) + kLevelMenu + choice(1) +
                       kWindMenu + choice(0) + kSortMenu + choice(1) +
                       kDestinationMenu + choice(1));
  EXPECT_EQ(s_.oformat, 4);
  EXPECT_EQ(s_.wformat, 1);
  EXPECT_EQ(s_.outloc, 0);
  EXPECT_EQ(s_.outloc, 0);

  // The plot: only the sort order; its settings are forced.
  c = output("3\n0\n");
  EXPECT_EQ(c.out, kFormatMenu + choice(4) + kSortMenu + choice(1));
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(s_.outloc, 1);
  EXPECT_EQ(s_.wformat, 1);
  EXPECT_EQ(s_.statsort, 2);
  EXPECT_EQ(s_.timesort, 5);
  EXPECT_EQ(dialogue_state().Sort_Type, 0);
  EXPECT_EQ(s_.outloc, 1);

  // Five is refused.
  c = output("5\n0\n");
  const std::string refused =
      kFormatMenu + choice(3) + kOutOfRange + kFormatMenu + choice(5);
  EXPECT_EQ(c.out.substr(0, refused.size()), refused);
  EXPECT_EQ(s_.oformat, 0);
}

TEST_F(Questions, OneDateSkipsSortAndForOneStationTheFileStructure) {
  s_.first = 0;
  s_.bdate = s_.edate = 1995010100;
  dialogue_state().Sort_Type = 0;
  s_.outloc = 1;
  s_.statsort = 0;
  dialogue_state().Usr_Stn_Count = 1;
  Conversation c = output("1\n\n\n\n");
  EXPECT_EQ(c.out, kFormatMenu + choice(0) + kLevelMenu + choice(0) +
                       kDestinationMenu + choice(1) + kDirectoryQuestion);
  EXPECT_EQ(dialogue_state().Sort_Type, 1);
  EXPECT_EQ(s_.statsort, 2);

  dialogue_state().Usr_Stn_Count = 2;
  c = output("\n\n\n\n1\n");
  EXPECT_NE(c.out.find(kStationFileMenu + choice(2)), std::string::npos);
  EXPECT_EQ(s_.statsort, 1);
}

TEST_F(Questions, DirectoryAnswersKeepOneTrailingSlash) {
  two_dates();
  s_.oformat = 2;
  output("\n\n\n\n/tmp/x/\n\n");
  EXPECT_EQ(s_.pname, "/tmp/x/");
  output("\n\n\n\n   \n\n");
  EXPECT_EQ(s_.pname, "/tmp/x/");
}

}  // namespace
