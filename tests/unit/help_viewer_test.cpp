// The help viewer (keywords, section lookup, paging) and the rows of the
// station-history browser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "converse.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "dialogue_texts.h"
#include "rawinq/program_exit.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const std::string kPrompt = dialogue_texts::kHelpPagePrompt;

class HelpViewer : public ::testing::Test {
 protected:
  void TearDown() override {
    dialogue_state().helpfile.close();
    dialogue_state().Max_Lines = 20;
  }
  void use_help_file(const std::string& contents) {
    write_file(dir / "raobhelp.txt", contents);
    dialogue_state().helpfile =
        FileHandle(std::fopen((dir / "raobhelp.txt").c_str(), "r"));
    ASSERT_TRUE(dialogue_state().helpfile);
  }
  // Serves a HELP answer for key with the given input; returns the output.
  std::string help(const char* key, const std::string& input = "",
                   short* result = nullptr) {
    short r = 0;
    const Conversation c =
        converse(input, [&] { r = get_help(dialogue_state(), "HELP", key); });
    EXPECT_FALSE(c.ended) << key;
    if (result) *result = r;
    return c.out;
  }
  static std::string numbered(int n) {
    std::string s;
    for (int i = 1; i <= n; ++i) s += "line " + std::to_string(i) + "\n";
    return s;
  }
  TempDir dir;
};

TEST_F(HelpViewer, OnlyExactKeywordsAreServed) {
  use_help_file("INPUT_DATES\ntext\nEND.\n");
  for (const std::string a : {"Help", "HELP ", " HELP", "hELP", "Stat", "",
                              "STAT ", "HELPME"}) {
    FeedStdin in("");
    CaptureStdout cap;
    EXPECT_EQ(get_help(dialogue_state(), a, "INPUT_DATES"), 0) << a;
    EXPECT_EQ(cap.text(), "") << a;
  }
  short r = 0;
  EXPECT_EQ(help("INPUT_DATES", "", &r), "\ntext\n\n");
  EXPECT_EQ(r, 1);
  FeedStdin in("");
  CaptureStdout cap;
  EXPECT_EQ(get_help(dialogue_state(), "help", "INPUT_DATES"), 1);
  EXPECT_EQ(cap.text(), "\ntext\n\n");
}

TEST_F(HelpViewer, SectionFoundByFirstTenCharactersFirstMatchWins) {
  use_help_file(
      "OUTPUT_FORMAT\nformat text\nEND.\n"
      "OUTPUT_DIRXYZ\nfirst directory text\n\n  indented\nEND.\n"
      "OUTPUT_DIRECTORY\nsecond directory text\nEND.\n");
  EXPECT_EQ(help("OUTPUT_DIRECTORY"),
            "\nfirst directory text\n\n  indented\n\n");
  // Only the first word of the key is used.
  EXPECT_EQ(help("OUTPUT_FORMAT and more"), "\nformat text\n\n");
}

TEST_F(HelpViewer, EmptySectionWritesTwoLineEnds) {
  use_help_file("LEVEL_TYPE\nEND.\n");
  EXPECT_EQ(help("LEVEL_TYPE"), "\n\n");
}

TEST_F(HelpViewer, TextIsWrittenAsIsNotAsAFormat) {
  use_help_file("WIND_UNITS\n100%s of %d knots\\n\nEND.\n");
  EXPECT_EQ(help("WIND_UNITS"), "\n100%s of %d knots\\n\n\n");
}

TEST_F(HelpViewer, PagesHold21ThenTwentyTwoLinesWithPageLength20) {
  use_help_file("GENERAL_INFO\n" + numbered(50) + "END.\n");
  dialogue_state().Max_Lines = 20;
  const std::string out = help("GENERAL_INFO", "\n\n\n");
  std::string want = "\n";
  for (int i = 1; i <= 50; ++i) {
    if (i == 22 || i == 44) want += kPrompt;
    want += "line " + std::to_string(i) + "\n";
  }
  EXPECT_EQ(out, want + "\n");
}

TEST_F(HelpViewer, NegativePageLengthPromptsBeforeEveryLine) {
  use_help_file("GENERAL_INFO\n" + numbered(3) + "END.\n");
  dialogue_state().Max_Lines = -1;
  EXPECT_EQ(help("GENERAL_INFO", "\n\n\n"),
            "\n" + kPrompt + "line 1\n" + kPrompt + "line 2\n" + kPrompt +
                "line 3\n\n");
}

TEST_F(HelpViewer, EndOfInputAtThePagingPromptEndsTheProgram) {
  use_help_file("GENERAL_INFO\n" + numbered(30) + "END.\n");
  const Conversation c =
      converse("", [] { get_help(dialogue_state(), "HELP", "GENERAL_INFO"); });
  EXPECT_TRUE(c.input_ran_out) << "no end of input";
  EXPECT_EQ(c.status, 0);
}

TEST_F(HelpViewer, MissingSectionEndsTheProgram) {
  use_help_file("INPUT_DATES\ntext\nEND.\n");
  const Conversation c =
      converse("", [] { get_help(dialogue_state(), "HELP", "NO_DIRECTORY"); });
  EXPECT_TRUE(c.ended) << "no end of program";
  EXPECT_EQ(c.status, 0);
  EXPECT_FALSE(c.input_ran_out);
  EXPECT_EQ(c.out, " END OF FILE\n\n");
}

TEST_F(HelpViewer, NoHelpFileOpenCountsAsAMissingSection) {
  dialogue_state().helpfile.close();
  const Conversation c =
      converse("", [] { get_help(dialogue_state(), "help", "INPUT_DATES"); });
  EXPECT_TRUE(c.ended);
  EXPECT_EQ(c.out, " END OF FILE\n\n");
}

TEST_F(HelpViewer, SectionWithoutEndIsReportedAsCorrupt) {
  use_help_file("INPUT_HOUR\nsome text\nmore");
  short r = 0;
  EXPECT_EQ(help("INPUT_HOUR", "", &r),
            "\nsome text\nmore \n ERROR: corrupt help file:  raobhelp.txt \n");
  EXPECT_EQ(r, 1);
}

TEST_F(HelpViewer, SoftwareLocationNeedsNoHelpFile) {
  dialogue_state().helpfile.close();
  short r = 0;
  const std::string out = help("SOFTWARE_LOCATION", "", &r);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(out, dialogue_texts::usage_text(true));
}

class BrowserRows : public ::testing::Test {
 protected:
  void TearDown() override {
    dialogue_state().Max_Lines = 20;
    dialogue_state().Stn_His[0] = STATREC{};
  }
};

TEST_F(BrowserRows, HeaderOnceThenRowsWithNameCutTo16) {
  STATREC& e = dialogue_state().Stn_His[0];
  e = STATREC{};
  std::strcpy(e.init, "DEN");
  e.wban = 23062;
  e.wmo = 72469;
  e.lat = 39.77f;
  e.lon = -104.87f;
  e.elev = 1611;
  e.bdate = 19900101;
  e.edate = 19951231;
  std::strcpy(e.name, "DENVER/STAPLETON INTERNATIONAL");
  e.name[25] = '\0';
  std::strcpy(e.state, "CO");
  std::strcpy(e.country, "US");
  long count = 0;
  short header = 0;
  CaptureStdout cap;
  write_station_entry(dialogue_state(), 0, &count, &header);
  write_station_entry(dialogue_state(), 0, &count, &header);
  const std::string row =
      " DEN   23062   72469  39.77 -104.87  1611 DENVER/STAPLETON  CO  US "
      "19900101 19951231\n";
  EXPECT_EQ(cap.text(), dialogue_texts::row_header() + row + row);
  EXPECT_EQ(header, 1);
  EXPECT_EQ(count, 2);
}

TEST_F(BrowserRows, PagePromptAfterEvery18RowsWithPageLength20) {
  dialogue_state().Max_Lines = 20;
  long count = 0;
  short header = 1;
  FeedStdin in("\n\n\n");
  CaptureStdout cap;
  for (int i = 0; i < 40; ++i)
    write_station_entry(dialogue_state(), 0, &count, &header);
  const std::string out = cap.text();
  // Rows end in "\n"; the prompt follows the 18th and 36th row.
  size_t rows_before_prompt = 0, pos = 0, prompts = 0;
  std::vector<size_t> seen;
  while (pos < out.size()) {
    if (out.compare(pos, 26, " Press <enter> to continue") == 0) {
      seen.push_back(rows_before_prompt);
      rows_before_prompt = 0;
      pos += 26;
      ++prompts;
      continue;
    }
    if (out[pos] == '\n') ++rows_before_prompt;
    ++pos;
  }
  EXPECT_EQ(prompts, 2u);
  EXPECT_EQ(seen, (std::vector<size_t>{18, 18}));
  EXPECT_EQ(rows_before_prompt, 4u);
}

TEST_F(BrowserRows, ClosingBlocks) {
  {
    CaptureStdout cap;
    write_header(1, 1, 19950101);
    EXPECT_EQ(cap.text(),
              std::string(79, '*') + "\n" +
                  "\t\t\tStation History for 19950101 \n\n"
                  "  WARNING: These station history entries contain the best "
                  "information\n"
                  "   currently available, however, they may not be completely "
                  "accurate. \n\n");
  }
  {
    CaptureStdout cap;
    write_header(1, 0, 19950101);
    EXPECT_EQ(cap.text().find("Station History for"), std::string::npos);
  }
  {
    CaptureStdout cap;
    write_header(0, 1, 19950101);
    EXPECT_EQ(cap.text(), std::string(79, '*') + "\n" +
                              "\n\t\tNo station entry was found for your "
                              "search\n\n" +
                              std::string(79, '*') + "\n");
  }
}

}  // namespace

namespace {

// The help file shipped with the program answers every question's topic.
TEST_F(HelpViewer, ShippedHelpFileHasASectionForEveryTopic) {
  const std::string path = source_dir() + "/data/support/raobhelp.txt";
  const std::string text = read_file(path);
  dialogue_state().helpfile = FileHandle(std::fopen(path.c_str(), "r"));
  ASSERT_TRUE(dialogue_state().helpfile);
  dialogue_state().Max_Lines = 1000;  // no paging
  const char* const keys[] = {
      "GENERAL_INFO",     "INPUT_DATES",      "INPUT_HOUR",
      "ACCESS_TYPE",      "STATION_TYPE",     "STATION_FILE",
      "STATFILE_NAME",    "NUMBER_STATIONS",  "STATION_NUMBER",
      "GEOGRAPHIC_ACCESS", "OUTPUT_FORMAT",   "LEVEL_TYPE",
      "WIND_UNITS",       "SORT_ORDER_TYPE",  "OUTPUT_LOCATION",
      "OUTPUT_DIRECTORY", "TIME_OUTFILE",     "STATION_OUTFILE",
      "REPEAT_ACCESS",    "ANOTHER_REQUEST",  "DATE_HIS_HELP",
      "DATES_STAT",       "VIEW_STAT_HELP",   "VIEW_SCREEN_HELP",
      "NO_FILES_AVAILABLE", "NO_FILES_OPEN",  "NO_DIRECTORY"};
  for (const char* key : keys) {
    // The first line that matches the key's first 10 characters is the
    // key's own line, so no other section or text line takes its place.
    size_t pos = 0;
    std::string first_match;
    while (pos < text.size()) {
      const size_t end = text.find('\n', pos);
      const std::string line = text.substr(pos, end - pos);
      if (line.compare(0, 10, std::string(key).substr(0, 10)) == 0) {
        first_match = line;
        break;
      }
      pos = end == std::string::npos ? text.size() : end + 1;
    }
    EXPECT_EQ(first_match, key);
    short r = 0;
    const std::string out = help(key, "", &r);
    EXPECT_EQ(r, 1) << key;
    EXPECT_EQ(out.find("corrupt help file"), std::string::npos) << key;
    // A real explanation, not a stub.
    EXPECT_GE(std::count(out.begin(), out.end(), '\n'), 6) << key;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    ASSERT_NE(end, std::string::npos) << "last line without line end";
    EXPECT_LE(end - pos, 79u) << text.substr(pos, end - pos);
    pos = end + 1;
  }
}

}  // namespace
