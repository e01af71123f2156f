// The request dialogue of both programs, driven through standard input:
// the questions, their defaults over several requests, skipped questions,
// refusals, HELP and station list files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "request_texts.h"
#include "test_support.h"

using namespace request_texts;
using namespace testing_support;

namespace {

const std::string kMore = " Would you like to request more data? [Y/N] [N]\b\b";
const std::string kNameQ = "\n  Enter the full name of this file: ";

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class RequestDialogue : public ::testing::Test {
 protected:
  void SetUp() override {
    // Station files without soundings: the retrieval finds its files and
    // reports that no data met the request.
    for (long wban : {23062L, 24023L, 23050L}) {
      archive_writer::write_station_year(dir_ / "db", 1995, wban, {}, 0, false);
      archive_writer::write_station_year(dir_ / "db", 1995, wban, {}, 0, true);
    }
  }

  // Runs a program in the test's directory; the welcome prompt is answered
  // first.
  RunResult run(const std::string& bin, const std::string& input) {
    return dir_.run(bin, "\n" + input);
  }

  RunDir dir_{"GENERAL_INFO\nwelcome text\nEND.\n"
              "ACCESS_TYPE\nthe access modes are explained here\nEND.\n"
              "NUMBER_STATIONS\nhow many stations to give\nEND.\n"
              "OUTPUT_DIRECTORY\nwhere the files go\nEND.\n",
              catalogue({kDenEntry, kLbfEntry, kAbqEntry})};
};

// Dates 1995010100 to 1995010212, hours and stations as given.
const std::string kTwoDates = "1995010100\n1995010212\n";

TEST_F(RequestDialogue, AccessMenuOfEachEdition) {
  // Choice 3 gives the world in both editions, listed or not.
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const bool global = bin == rawinq_bin();
    const RunResult r = run(bin, kTwoDates + "0\n3\n1\n\n\n0\nn\n");
    const std::string menu =
        kAccessHead +
        (global ? "      2  -  all North/Central American Data \n"
                  "      3  -  all Global Data\n"
                : "      2  -  all available observations\n") +
        choice(0);
    EXPECT_NE(r.out.find(menu + "\n\t\t World Database Access\n" + kFormatMenu),
              std::string::npos)
        << bin;
    EXPECT_TRUE(ends_with(r.out, kMore)) << bin;
    EXPECT_EQ(r.status, 0) << bin;
  }
  // Choice 2 names the region; the global edition adds a line end.
  RunResult r = run(rawinq_bin(), kTwoDates + "0\n2\n1\n\n\n0\nn\n");
  EXPECT_NE(r.out.find(choice(0) + "\n\t\t North/Central American Access\n\n" +
                       kFormatMenu),
            std::string::npos);
  r = run(rawinq_na_bin(), kTwoDates + "0\n2\n1\n\n\n0\nn\n");
  EXPECT_NE(r.out.find(choice(0) + "\n\t\t All Available Data Access\n" +
                       kFormatMenu),
            std::string::npos);
}

TEST_F(RequestDialogue, RegionBoxIsTheNextGeographicDefault) {
  struct Case {
    std::string bin;
    std::string elong;
    bool note;
  } cases[] = {{rawinq_bin(), "-50.00", true}, {rawinq_na_bin(), "180.00", false}};
  for (const Case& k : cases) {
    const RunResult r = run(k.bin, kTwoDates +
                                       "0\n2\n1\n\n\n0\ny\n"   // region, screen
                                       "\n\n\n1\n\n\n\n\n"     // box of it
                                       "1\n\n\n0\nn\n");
    const std::string box =
        std::string("\n\t\t Geographic Location Access \n\n") +
        (k.note ? "  NOTE:  For soundings in the western hemisphere, use "
                  "negative longitudes.\n\n"
                : "") +
        " Input the bounds of your lat/long box \n" +
        box_q("MINIMUM", "latitude", "0.00", 6) +
        box_q("MAXIMUM", "latitude", "90.00", 6) + "\n" +
        box_q("MINIMUM", "longitude", "-180.00", 7) +
        box_q("MAXIMUM", "longitude", k.elong, 7) + kFormatMenu;
    EXPECT_NE(r.out.find(box), std::string::npos) << k.bin << r.out;
    EXPECT_EQ(count_of(r.out, kMore), 2) << k.bin;
  }
}

TEST_F(RequestDialogue, AnswersAreTheNextRequestsDefaults) {
  const RunResult r = run(rawinq_bin(),
                          kTwoDates + "1\n3\n1\n2\n0\n0\ny\n"
                          "\n\n\n\n\n\n\n\nn\n");
  const std::string second =
      kMore + begin_q("1995010100") + end_q("1995010212") + kHoursHead;
  ASSERT_NE(r.out.find(second), std::string::npos) << r.out;
  const std::string rest = r.out.substr(r.out.find(second));
  EXPECT_NE(rest.find(" Your Choice? [1]\b\b"), std::string::npos);
  EXPECT_NE(rest.find("      3  -  all Global Data\n" + choice(3)),
            std::string::npos);
  EXPECT_NE(rest.find(kFormatMenu + choice(1) +
                      " What type of data levels do you want?\n"),
            std::string::npos);
  EXPECT_NE(rest.find("significant levels only\n" + choice(2) + kSortHead),
            std::string::npos);
  EXPECT_NE(rest.find("(station series)\n    Note:  For large data requests, "
                      "type help for performance information.\n\n" +
                      choice(0)),
            std::string::npos);
  EXPECT_TRUE(ends_with(r.out, kMore));
}

TEST_F(RequestDialogue, OneDateSkipsHoursSortAndFileStructure) {
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run(bin,
                            "1995010100\n\n0\n0\nn\n1\n72469\n"
                            "0\nn\n\n\n1\nout\nn\n");
    EXPECT_EQ(r.out.find(kHoursHead), std::string::npos) << bin;
    EXPECT_EQ(r.out.find(kSortHead), std::string::npos) << bin;
    EXPECT_EQ(r.out.find(kStationSeriesHead), std::string::npos) << bin;
    EXPECT_NE(r.out.find(begin_q("1995010100") + end_q("1995010100") +
                         kAccessHead),
              std::string::npos)
        << bin;
    // The directory is the last question.
    const size_t dir_q = r.out.find("  Enter the disk and directory only: ");
    ASSERT_NE(dir_q, std::string::npos) << bin;
    EXPECT_EQ(r.out.find("Your Choice? [", dir_q), std::string::npos) << bin;
    EXPECT_TRUE(ends_with(r.out, kMore)) << bin;
  }
  // Two stations on one date still ask for the file structure.
  const RunResult r = run(rawinq_bin(),
                          "1995010100\n\n0\n0\nn\n2\n72469\n72562\n"
                          "0\nn\n\n\n1\nout\n\nn\n");
  EXPECT_NE(r.out.find(kStationSeriesHead), std::string::npos);
}

TEST_F(RequestDialogue, MenusRefuseChoicesOutOfRangeWithABell) {
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run(
        bin, kTwoDates + "0\n4\n99999999999999999999\n3\n5\n65538\n0\nn\n"
                         "\n\n\n0\nn\n");
    EXPECT_EQ(count_of(r.out, kOutOfRange + kAccessHead), 2) << bin;
    // The refused 5 is the value shown when the menu comes again.
    EXPECT_EQ(count_of(r.out, choice(0) + kOutOfRange + kFormatMenu), 1)
        << bin;
    EXPECT_EQ(count_of(r.out, choice(5) + kOutOfRange + kFormatMenu), 1)
        << bin;
    EXPECT_TRUE(ends_with(r.out, kMore)) << bin;
  }
}

TEST_F(RequestDialogue, ValidatorsRefuseBadAnswers) {
  const RunResult r = run(rawinq_bin(),
                          "19950101ab\n1995010100\n1995010212\n0\n0\n0\nn\n1\n"
                          "7246A\n72469\n0\nn\n\n\n\n0\n"
                          "y\n\n\n\n1\n45\n45.\n+50.0\n50.\n-110.\n-100.\n"
                          // No station lies in this box: the retrieval's
                          // no-files prompt takes an empty answer.
                          "0\nn\n\n\n\n0\n\nn\n");
  const std::string bad_date =
      begin_q("1995010100") +
      "\n\tERROR:  \"19950101ab\" is not a valid date.  Enter all ten digits.\n" +
      BELL + begin_q("1995010100");
  EXPECT_NE(r.out.find(bad_date), std::string::npos) << r.out;
  const std::string wmo = " WMO station number? 72469\b\b\b\b\b";
  EXPECT_NE(r.out.find(wmo +
                       "\n\tERROR:  \"7246A\" is not a valid station number.  "
                       "Enter all the digits.\n\n" +
                       BELL + wmo),
            std::string::npos);
  const std::string min_lat = box_q("MINIMUM", "latitude", "10.00", 6);
  EXPECT_NE(r.out.find(min_lat +
                       "\n\tERROR:  a decimal point is required for this "
                       "number.\n\n" +
                       BELL + min_lat),
            std::string::npos);
  const std::string max_lat = box_q("MAXIMUM", "latitude", "50.00", 6);
  EXPECT_NE(r.out.find(max_lat +
                       "\n\tERROR:  \"+50.0\" is not a valid lat/long.  Enter "
                       "all the digits.\n\n" +
                       BELL + max_lat),
            std::string::npos);
  EXPECT_TRUE(ends_with(r.out, kMore));
}

TEST_F(RequestDialogue, HelpReasksTheQuestionFromItsFirstLine) {
  const RunResult r = run(rawinq_bin(), kTwoDates +
                                            "0\nHELP\n0\n0\nn\nhelp\n\n1\n"
                                            "\n0\nn\n\n\n\n1\nHELP\nout\n0\nn\n");
  const std::string access_menu = kAccessHead +
                                  "      2  -  all North/Central American Data \n"
                                  "      3  -  all Global Data\n" +
                                  choice(0);
  const size_t help = r.out.find("the access modes are explained here\n");
  ASSERT_NE(help, std::string::npos) << r.out;
  EXPECT_NE(r.out.find(access_menu, help), std::string::npos);
  EXPECT_EQ(count_of(r.out, access_menu), 2);
  // HELP at the station count goes back to the list file question.
  const size_t count_help = r.out.find("how many stations to give\n");
  ASSERT_NE(count_help, std::string::npos);
  EXPECT_NE(r.out.find(kListFileQ + kCountQ + "1]\b\b", count_help),
            std::string::npos);
  EXPECT_EQ(count_of(r.out, kListFileQ), 2);
  const size_t dir_help = r.out.find("where the files go\n");
  ASSERT_NE(dir_help, std::string::npos);
  EXPECT_NE(r.out.find(kDirectoryQuestion, dir_help), std::string::npos);
  EXPECT_TRUE(ends_with(r.out, kMore));
}

// Answers, one a line.
std::string lines(const std::vector<std::string>& answers) {
  std::string text;
  for (const std::string& a : answers) text += a + "\n";
  return text;
}

TEST_F(RequestDialogue, WbanCountOffersThePreviousDistinctStations) {
  // 23062 typed twice and 24023 select two distinct stations; the next
  // request offers 2 with WBAN numbers, and 1 again with WMO numbers.
  const std::string screen = lines({"0", "n", "", "", "", "0"});
  const RunResult r = run(
      rawinq_bin(),
      kTwoDates + lines({"0", "0", "1", "n", "3", "23062", "23062", "24023"}) +
          screen + lines({"y", "", "", "", "0", "", "n", "", "", ""}) +
          screen + lines({"y", "", "", "", "0", "0", "n", "", ""}) +
          lines({"", "", "", "", "", "", "n"}));
  const std::string wban_type =
      "\n\t\t Station Number Access\n\n"
      " What type of station numbers are you using? [WMO=0, WBAN=1] [1]\b\b";
  EXPECT_NE(r.out.find(wban_type + kListFileQ + kCountQ + "2]\b\b" +
                       " WBAN station number? 23062\b\b\b\b\b" +
                       " WBAN station number? 24023\b\b\b\b\b" + kFormatMenu),
            std::string::npos)
      << r.out;
  EXPECT_EQ(count_of(r.out, kMore), 3);
  const std::string third = wban_type + kListFileQ + kCountQ + "1]\b\b" +
                            " WMO station number? 72469\b\b\b\b\b" +
                            kFormatMenu;
  const size_t last_request = r.out.rfind(begin_q("1995010100"));
  ASSERT_NE(last_request, std::string::npos);
  EXPECT_NE(r.out.find(third, last_request), std::string::npos) << r.out;
  EXPECT_TRUE(ends_with(r.out, kMore));
}

TEST_F(RequestDialogue, StationListFile) {
  write_file(dir_ / "stations.txt", "72469\n\n72365\n");
  const std::string missing = dir_ / "no-such-list";
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run(bin, kTwoDates + "0\n0\n0\ny\n\nY\n" + missing +
                                     "\ny\n" + dir_ / "stations.txt" +
                                     "\n0\nn\n\n\n\n0\nn\n");
    const std::string expected =
        kListFileQ + kNameQ + "\n  ERROR -  station file:  does not exist \n" +
        BELL + kListFileQ + kNameQ + "\n  ERROR -  station file: " + missing +
        " does not exist \n" + BELL + kListFileQ + kNameQ +
        "\n STATUS:  2 stations read from file: " + dir_ / "stations.txt" +
        "\n\n" + kFormatMenu;
    EXPECT_NE(r.out.find(expected), std::string::npos) << bin << r.out;
    EXPECT_EQ(r.out.find(kCountQ), std::string::npos) << bin;
    EXPECT_TRUE(ends_with(r.out, kMore)) << bin;
  }
}

// A station list that is no file to read is refused at once with the
// system's reason, not said to be missing, and the question comes back.
TEST_F(RequestDialogue, StationListThatIsNoFileIsRefusedWithTheReason) {
  const std::string fifo = dir_ / "list-fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string directory = dir_ / "list-directory";
  make_dir(directory);
  const struct {
    std::string name, reason;
  } cases[] = {{fifo, "not a regular file"},
               {directory, std::strerror(EISDIR)},
               {"/dev/zero", "not a regular file"}};
  for (const auto& c : cases) {
    const RunResult r =
        run(rawinq_bin(), kTwoDates + "0\n0\n0\ny\n" + c.name + "\nn\n");
    EXPECT_NE(r.out.find(kNameQ + "\n  ERROR -  station file: " + c.name +
                         " could not be opened (" + c.reason + ") \n" + BELL +
                         kListFileQ),
              std::string::npos)
        << c.name << r.out;
  }
}

}  // namespace
