// The station-history browser opened with STAT at the welcome prompt.
#include <gtest/gtest.h>

#include <string>

#include "dialogue_texts.h"
#include "test_support.h"

using namespace testing_support;
using namespace dialogue_texts;

namespace {

const std::string kLeave = std::string(79, '-') + "\n";

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    write_support_files(support.path(),
                        "GENERAL_INFO\nGeneral.\nEND.\n"
                        "VIEW_SCREEN_HELP\nINIT is the identifier.\nEND.\n"
                        "DATES_STAT\nEight digits.\nEND.\n",
                        kSmallStat2000, kSmallInternational);
    make_dir(db / "raob1995");
  }
  RunResult run(const std::string& bin, const std::string& input,
                const std::string& page_length = "20") {
    return run_program(bin, {db.path(), support.path(), page_length}, input);
  }
  // What comes before the browser: STAT typed at the welcome prompt.
  static std::string before() { return opening(); }
  // Leaving the browser returns to the welcome prompt, where input ends.
  static std::string after() { return kLeave + welcome_prompt() + "\n"; }

  TempDir support, db;
};

std::string den_1990s() {
  return row("DEN", 23062, 72469, 39.77, -104.87, 1611, "DENVER/STAPLETON",
             "CO", "US", 19900101, 19951231);
}
std::string den_now() {
  return row("DEN", 23062, 72469, 39.77, -104.87, 1611, "DENVER          ",
             "CO", "US", 19960101, 20991231);
}
std::string pit() {
  return row("PIT", 94823, 72520, 40.53, -80.23, 360, "PITTSBURGH      ", "PA",
             "US", 19480101, 20991231);
}
std::string abq() {
  return row("ABQ", 23050, 72365, 35.04, -106.62, 1619, "ALBUQUERQUE     ",
             "NM", "US", 19480101, 20991231);
}
std::string lwk() {
  return row("LWK", 903005, 3005, 60.13, -1.18, 82, "LERWICK         ", "99",
             "GB", 19480101, 20991231);
}
std::string muc() {
  return row("MUC", 910868, 10868, 48.25, 11.55, 484, "MUENCHEN        ", "99",
             "DE", 19480101, 20991231);
}

TEST_F(Browser, WmoAndInitialsWithDateFilterAndTheClosingMenu) {
  const RunResult r = run(rawinq_bin(),
                          "STAT\nY\n19950101\n4\n72469\ny\n23062\nN\nExit\n\n"
                          "0\nDEN\n\nHELP\nEXIT\n");
  const std::string want =
      before() + browser_intro() + date_question() + date_prompt("00000000") +
      search_menu(0) + kSearchPrompts[4] + row_header() + den_1990s() +
      found_block(true, 19950101) + kAgainPrompts[4] + kSearchPrompts[4] +
      no_match_block() + kAgainPrompts[4] + closing_menu() + closing_menu() +
      search_menu(4) + kSearchPrompts[0] + row_header() + den_1990s() +
      found_block(true, 19950101) + kAgainPrompts[0] + closing_menu() +
      "\nINIT is the identifier.\n\n" + closing_menu() + after();
  EXPECT_EQ(r.out, want);
  EXPECT_EQ(r.status, 0);
}

TEST_F(Browser, SearchesWithoutDateFilterAndKeysThatMatchNothing) {
  const RunResult r = run(rawinq_bin(),
                          "STAT\nn\n9\n\n2\nGB\n\n\n3\n\nN\n\n1\nco\nN\n\n0\n"
                          "DENVER\nN\nexit\n");
  const std::string want =
      before() + browser_intro() + date_question() + search_menu(0) +
      out_of_range() + search_menu(9) + out_of_range() + search_menu(9) +
      kSearchPrompts[2] + row_header() + lwk() + found_block(false, 0) +
      kAgainPrompts[2] + closing_menu() + search_menu(2) + kSearchPrompts[3] +
      // An answer without a number matches nothing.
      no_match_block() + kAgainPrompts[3] + closing_menu() + search_menu(3) +
      // Keys are compared case-sensitively.
      kSearchPrompts[1] + no_match_block() + kAgainPrompts[1] +
      closing_menu() + search_menu(1) +
      // A key longer than the field matches nothing.
      kSearchPrompts[0] + no_match_block() + kAgainPrompts[0] +
      closing_menu() + after();
  EXPECT_EQ(r.out, want);
}

TEST_F(Browser, DateErrorsAndViewAllOnOneDate) {
  const RunResult r = run(rawinq_bin(),
                          "STAT\nY\n1995\n19400101\n\nHELP\n20991231\n5\n");
  const std::string want =
      before() + browser_intro() + date_question() + date_prompt("00000000") +
      " ERROR - date string must have 8 digits\n" + kBell +
      date_prompt("00000000") + " ERROR - date out of range\n" + kBell +
      date_prompt("19400101") + " ERROR - date out of range\n" + kBell +
      date_prompt("19400101") + "\nEight digits.\n\n" +
      date_prompt("19400101") + search_menu(0) + row_header() + den_now() +
      pit() + abq() + lwk() + muc() + found_block(true, 20991231) +
      closing_menu() + "\n";
  EXPECT_EQ(r.out, want);
  EXPECT_EQ(r.status, 0);
}

TEST_F(Browser, NorthAmericanEditionListsOnlyItsCatalogue) {
  const RunResult r = run(rawinq_na_bin(), "STAT\nN\n5\nEXIT\n");
  const std::string all =
      row("DEN", 23062, 72469, 39.77, -104.87, 1611, "DENVER/STAPLETON", "CO",
          "US", 19480101, 19891231) +
      den_1990s() + den_now() + pit() + abq();
  EXPECT_EQ(r.out, before() + browser_intro() + date_question() +
                       search_menu(0) + row_header() + all +
                       found_block(false, 0) + closing_menu() + after());
}

TEST_F(Browser, PageLengthMinusOnePromptsAfterEveryRow) {
  const RunResult r =
      run(rawinq_bin(), "STAT\nN\n4\n72469\n\n\n\n", "-1");
  const std::string prompt = " Press <enter> to continue";
  const std::string den_1940s =
      row("DEN", 23062, 72469, 39.77, -104.87, 1611, "DENVER/STAPLETON", "CO",
          "US", 19480101, 19891231);
  // The end of input comes at the "another search" question.
  EXPECT_EQ(r.out, before() + browser_intro() + date_question() +
                       search_menu(0) + kSearchPrompts[4] + row_header() +
                       den_1940s + prompt + den_1990s() + prompt + den_now() +
                       prompt + found_block(false, 0) + kAgainPrompts[4] +
                       "\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Browser, BrowserOpensFromInsideItself) {
  const RunResult r = run(rawinq_bin(),
                          "STAT\nN\nSTAT\nN\n5\nEXIT\n3\n94823\n\nexit\n");
  const std::string den_1940s =
      row("DEN", 23062, 72469, 39.77, -104.87, 1611, "DENVER/STAPLETON", "CO",
          "US", 19480101, 19891231);
  // The inner visit lists everything; leaving it shows the outer menu again.
  const std::string inner = browser_intro() + date_question() +
                            search_menu(0) + row_header() + den_1940s +
                            den_1990s() + den_now() + pit() + abq() + lwk() +
                            muc() + found_block(false, 0) + closing_menu() +
                            kLeave;
  EXPECT_EQ(r.out, before() + browser_intro() + date_question() +
                       search_menu(0) + inner + search_menu(0) +
                       kSearchPrompts[3] + row_header() + pit() +
                       found_block(false, 0) + kAgainPrompts[3] +
                       closing_menu() + after());
}

TEST_F(Browser, EndOfInputAtEachBrowserQuestion) {
  const struct {
    const char* input;
    std::string tail;
  } cases[] = {
      {"STAT\n", date_question()},
      {"STAT\nY\n", date_prompt("00000000")},
      {"STAT\nN\n", search_menu(0)},
      {"STAT\nN\n4\n", kSearchPrompts[4]},
      {"STAT\nN\n4\n1\n", kAgainPrompts[4]},
      {"STAT\nN\n4\n1\nN\n", closing_menu()},
  };
  for (const auto& c : cases) {
    const RunResult r = run(rawinq_bin(), c.input);
    EXPECT_EQ(r.status, 0) << c.input;
    const std::string tail = c.tail + "\n";
    ASSERT_GE(r.out.size(), tail.size()) << c.input;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << c.input;
  }
}

}  // namespace
