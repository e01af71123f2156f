// Start-up of both programs: command line, support files, banner, welcome
// prompt with its help, the year scan and the no-data dialogue, and end of
// input at the prompts of start-up.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "dialogue_texts.h"
#include "test_support.h"

using namespace testing_support;
using namespace dialogue_texts;

namespace {

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    support_dir = support.path() + "/";
    db_dir = db.path() + "/";
    write_support_files(
        support.path(),
        "GENERAL_INFO\nAbout the database.\n\n  Second paragraph.\nEND.\n"
        "NO_FILES_AVAILABLE\nNo year directory was found.\nEND.\n",
        kSmallStat2000, kSmallInternational);
    // Year directories as each edition names them.
    make_dir(db / "raob1995");
    make_dir(db / "RAOB1997");
    make_dir(db / "raob95");
    make_dir(db / "RAOB97");
  }
  RunResult run(const std::string& bin, const std::string& input,
                std::vector<std::string> args = {}) {
    if (args.empty()) args = {db_dir, support_dir};
    return run_program(bin, args, input);
  }

  // Runs bin in an empty working directory, where no support file is.
  RunResult run_elsewhere(const std::string& bin,
                          const std::vector<std::string>& args,
                          const std::string& input) {
    RunOptions o;
    o.cwd = elsewhere.path();
    return run_program(bin, args, input, o);
  }

  TempDir support, db, elsewhere;
  std::string support_dir, db_dir;
};

TEST_F(Startup, EndOfInputAtTheWelcomePromptEndsAtOnce) {
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run(bin, "");
    EXPECT_EQ(r.status, 0) << bin;
    EXPECT_EQ(r.out, opening() + "\n") << bin;
  }
}

TEST_F(Startup, WelcomeHelpShowsTheSectionAndAsksAgain) {
  const RunResult r = run(rawinq_bin(), "HELP\nhelp\n");
  const std::string section =
      "\nAbout the database.\n\n  Second paragraph.\n\n";
  EXPECT_EQ(r.out, opening() + section + welcome_prompt() + section +
                       welcome_prompt() + "\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Startup, WelcomeAnswerThatIsNoKeywordEntersTheDatabase) {
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    // "Help" is not a keyword; the scan finds 1995 and 1997.
    const RunResult r = run(bin, "Help\n");
    const std::string want =
        opening() + entry_texts() + note(db_dir, 1995, 1997);
    EXPECT_EQ(r.out.substr(0, want.size()), want) << bin;
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.status, 0);
  }
}

TEST_F(Startup, HelpPagingWithPageLengths20AndMinusOne) {
  std::string lines;
  for (int i = 1; i <= 45; ++i) lines += "help line " + std::to_string(i) + "\n";
  write_file(support / "raobhelp.txt", "GENERAL_INFO\n" + lines + "END.\n");
  const std::string prompt = kHelpPagePrompt;

  RunResult r = run(rawinq_bin(), "HELP\n\n\n", {db_dir, support_dir, "20"});
  std::string section = "\n";
  for (int i = 1; i <= 45; ++i) {
    if (i == 22 || i == 44) section += prompt;
    section += "help line " + std::to_string(i) + "\n";
  }
  EXPECT_EQ(r.out, opening() + section + "\n" + welcome_prompt() + "\n");

  // A page length of -1 prompts before every line; the fourth prompt meets
  // the end of input.
  r = run(rawinq_bin(), "HELP\n\n\n\n", {db_dir, support_dir, "-1"});
  std::string partial = "\n";
  for (int i = 1; i <= 3; ++i)
    partial += prompt + "help line " + std::to_string(i) + "\n";
  EXPECT_EQ(r.out, opening() + partial + prompt + "\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Startup, MissingHelpFileWithoutArguments) {
  const std::string message = missing_help_message("[]/");
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    RunResult r = run_elsewhere(bin, {}, "\n");
    EXPECT_EQ(r.out, kClear + message) << bin;
    EXPECT_EQ(r.status, 0);
    // More than three arguments count as none.
    r = run_elsewhere(bin, {"a", "b", "20", "d"}, "\n");
    EXPECT_EQ(r.out, kClear + message) << bin;
    // End of input: one line end.
    r = run_elsewhere(bin, {}, "");
    EXPECT_EQ(r.out, kClear + message + "\n") << bin;
    EXPECT_EQ(r.status, 0);
  }
}

TEST_F(Startup, MissingHelpFileHelpShowsTheUsageOfEachEdition) {
  const std::string message = missing_help_message("<current directory>");
  RunResult r = run_elsewhere(rawinq_bin(), {db_dir}, "HELP\n");
  EXPECT_EQ(r.out, kClear + message + usage_text(true));
  EXPECT_EQ(r.status, 0);
  r = run_elsewhere(rawinq_na_bin(), {db_dir}, "help\n");
  EXPECT_EQ(r.out, kClear + message + usage_text(false));
  EXPECT_EQ(r.status, 0);
}

TEST_F(Startup, MissingHelpFileStatOpensTheBrowserOverNoStations) {
  const RunResult r = run_elsewhere(rawinq_bin(), {}, "STAT\nN\n5\nexit\n");
  EXPECT_EQ(r.out, kClear + missing_help_message("[]/") + browser_intro() +
                       date_question() + search_menu(0) + no_match_block() +
                       closing_menu() + std::string(79, '-') + "\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Startup, SupportDirectoryGetsItsSlash) {
  const std::string no_slash = support.path() + "/nothing";
  make_dir(no_slash);
  const RunResult r = run_program(rawinq_bin(), {db.path(), no_slash}, "\n");
  EXPECT_EQ(r.out, kClear + missing_help_message(no_slash + "/"));
}

TEST_F(Startup, MissingStationFileGoesOnWithAnEmptyAnswer) {
  remove_file(support / "stat2000.txt");
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run(bin, "\n");
    // The international file is not read either: no message about it.
    EXPECT_EQ(r.out, kClear + missing_stat2000_message(support_dir) +
                         banner() + welcome_prompt() + "\n")
        << bin;
    EXPECT_EQ(r.status, 0);
  }
}

TEST_F(Startup, MissingStationFileWithHelpEnds) {
  remove_file(support / "stat2000.txt");
  RunResult r = run(rawinq_bin(), "HELP\n\n");
  EXPECT_EQ(r.out,
            kClear + missing_stat2000_message(support_dir) + usage_text(true));
  EXPECT_EQ(r.status, 0);
  r = run(rawinq_na_bin(), "HELP\n\n");
  EXPECT_EQ(r.out,
            kClear + missing_stat2000_message(support_dir) + usage_text(false));
}

TEST_F(Startup, MissingInternationalFileOnlyMattersToTheGlobalEdition) {
  remove_file(support / "international_sites.txt");
  RunResult r = run(rawinq_bin(), "");
  EXPECT_EQ(r.out, kClear +
                       " ERROR: the file international_sites.txt was not "
                       "found in: " +
                       support_dir + " \n " + banner() + welcome_prompt() +
                       "\n");
  r = run(rawinq_na_bin(), "");
  EXPECT_EQ(r.out, opening() + "\n");
}

TEST_F(Startup, NoDataDialogueEndsTheProgram) {
  TempDir empty;
  const std::string empty_dir = empty.path() + "/";
  const RunResult r =
      run(rawinq_bin(), "\nHELP\n\n", {empty_dir, support_dir});
  const std::string dialogue = no_data_dialogue(empty_dir);
  EXPECT_EQ(r.out, opening() + entry_texts() + dialogue +
                       "\nNo year directory was found.\n\n" + dialogue +
                       "\n\tExiting raob database ...\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Startup, NoDataDialogueAtEndOfInput) {
  TempDir empty;
  const std::string empty_dir = empty.path() + "/";
  const RunResult r = run(rawinq_na_bin(), "\n", {empty_dir, support_dir});
  EXPECT_EQ(r.out,
            opening() + entry_texts() + no_data_dialogue(empty_dir) + "\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Startup, YearDirectoryNamesOfEachEdition) {
  TempDir years;
  const std::string dir = years.path() + "/";
  make_dir(years / "raob93");
  make_dir(years / "Raob2001");
  make_dir(years / "RAOB1996");  // four digits: global only
  RunResult r = run(rawinq_na_bin(), "\n", {dir, support_dir});
  std::string head = opening() + entry_texts();
  EXPECT_EQ(r.out.substr(0, head.size() + note(dir, 1993, 2001).size()),
            head + note(dir, 1993, 2001));
  r = run(rawinq_bin(), "\n", {dir, support_dir});
  EXPECT_EQ(r.out.substr(0, head.size() + note(dir, 1996, 2001).size()),
            head + note(dir, 1996, 2001));
}

TEST_F(Startup, OneArgumentLooksForSupportFilesInTheWorkingDirectory) {
  // The support files are found by their bare names.
  RunOptions in_support;
  in_support.cwd = support.path();
  const RunResult r = run_program(rawinq_bin(), {db.path()}, "", in_support);
  EXPECT_EQ(r.out, opening() + "\n");
}

// A support file that is there but is no file to read (a FIFO, a device, a
// directory), or that finds no descriptor, is refused at once with the
// system's reason; it is never said to be missing, and nothing waits.
TEST_F(Startup, SupportFileThatCannotBeReadIsRefusedWithTheReason) {
  const auto fifo = [](const std::string& p) { mkfifo(p.c_str(), 0600); };
  const auto directory = [](const std::string& p) { make_dir(p); };
  const auto device = [](const std::string& p) {
    symlink("/dev/zero", p.c_str());
  };
  const std::string help = " ERROR: the file raobhelp.txt could not be opened in: ";
  const std::string stations =
      " ERROR: the station file: stat2000.txt could not be opened in: ";
  const std::string international =
      " ERROR: the file international_sites.txt could not be opened in: ";
  const struct Case {
    const char* file;
    std::function<void(const std::string&)> make;
    std::string message;
  } cases[] = {
      {"raobhelp.txt", fifo, help + support_dir + " (not a regular file) \n "},
      {"raobhelp.txt", directory, help + support_dir + " (Is a directory) \n "},
      {"raobhelp.txt", device, help + support_dir + " (not a regular file) \n "},
      {"stat2000.txt", fifo, stations + support_dir + " (not a regular file) \n "},
      {"stat2000.txt", directory, stations + support_dir + " (Is a directory) \n "},
      {"stat2000.txt", device, stations + support_dir + " (not a regular file) \n "},
      {"international_sites.txt", fifo,
       international + support_dir + " (not a regular file) \n "},
  };
  for (const Case& c : cases) {
    write_support_files(support.path(), "GENERAL_INFO\nAbout.\nEND.\n",
                        kSmallStat2000, kSmallInternational);
    const std::string path = support / c.file;
    remove_file(path);
    c.make(path);
    RunOptions o;
    o.timeout_seconds = 10;
    const RunResult r =
        run_program(rawinq_bin(), {db_dir, support_dir}, "\n", o);
    EXPECT_EQ(r.killed_by, 0) << c.file;
    EXPECT_EQ(r.status, 0) << c.file;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.file << r.out;
    rmdir(path.c_str());
    remove_file(path);
  }
  write_support_files(support.path(), "GENERAL_INFO\nAbout.\nEND.\n",
                      kSmallStat2000, kSmallInternational);
  // Four descriptors: the help file takes the last one.
  RunOptions o;
  o.nofile_limit = 4;
  const RunResult r = run_program(rawinq_bin(), {db_dir, support_dir}, "\n", o);
  EXPECT_NE(r.out.find(stations + support_dir + " (" +
                       std::strerror(EMFILE) + ") \n "),
            std::string::npos)
      << r.err << r.out;
  EXPECT_EQ(r.out.find("was not"), std::string::npos) << r.out;
}

}  // namespace
