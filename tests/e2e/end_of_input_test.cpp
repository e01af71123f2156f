// Scripts that end early: whole sessions of both programs cut after every
// answer, so that standard input ends at every kind of read (each question,
// the browser, help paging, screen paging, the recovery dialogue, the plot
// question). Each cut run ends at once with status 0: it writes what the
// whole session wrote up to that read and one line end, and every output
// file it leaves is complete and closed (a NetCDF file reads back).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kHelp[] =
    "GENERAL_INFO\nwelcome 1\nwelcome 2\nwelcome 3\nwelcome 4\nwelcome 5\n"
    "welcome 6\nwelcome 7\nEND.\n"
    "NO_FILES_OPEN\nno files\nEND.\n"
    "NO_DIRECTORY\nno directory\nEND.\n"
    "DATES_STAT\nEight digits.\nEND.\n"
    "VIEW_SCREEN_HELP\nINIT is the identifier.\nEND.\n"
    "STATION_FILE\nsave the plot\nEND.\n";

std::vector<archive_writer::Level> levels() {
  using L = archive_writer::Level;
  return {L{1, 8300, 1611, 50, -20, 180, 30},
          L{2, 7000, 3100, -50, -120, 200, 80},
          L{2, 5000, 5700, -200, -300, 230, 150},
          L{16, 4500, 6400, -250, -350, 210, 120},
          L{2, 3000, 9400, -450, -500, 250, 300}};
}

archive_writer::Sounding at(long wban, int d, int h) {
  archive_writer::Sounding s;
  s.year = 1995;
  s.month = 1;
  s.day = d;
  s.hour = h;
  s.wban = wban;
  s.levels = levels();
  return s;
}

// One session: the answers, one per line, and where it runs.
struct Session {
  const char* name;
  std::vector<std::string> answers;
  std::string page_length = "500";
  bool both_editions = false;
};

// Welcome, dates, 0z and 12z, synoptic sort, by station number, no list
// file, DEN and LBF, ZIR above 100 mb, all levels, m/s.
const std::vector<std::string> kRequest = {
    "",  "1995010100", "1995010200", "1", "0", "0", "n", "2", "72469",
    "72562", "0", "y", "0", "1"};

std::vector<std::string> operator+(std::vector<std::string> a,
                                   const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string joined(const std::vector<std::string>& answers, size_t n) {
  std::string input;
  for (size_t i = 0; i < n; ++i) input += answers[i] + "\n";
  return input;
}

// The output files a run left, by name, as they read back: a NetCDF file
// as ncdump lists it (or its failure), any other file as it is.
std::map<std::string, std::string> output_files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    const std::string path = e.path().string();
    const std::string name = path.substr(dir.size());
    if (name.size() > 4 && name.substr(name.size() - 4) == ".cdf") {
      const RunResult r = run_program("/usr/bin/ncdump", {path}, "");
      files[name] = "status " + std::to_string(r.status) + "\n" + r.out + r.err;
    } else if (name.find("gmeta") == std::string::npos) {
      files[name] = read_file(path);
    }
  }
  return files;
}

// One ZIR block with as many lines as its summary line announces, the last
// one ended.
bool whole_zir_block(const std::string& text) {
  long lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  const size_t third = text.find('\n', text.find('\n') + 1);
  long announced = -1;
  if (third != std::string::npos)
    std::sscanf(text.c_str() + third + 1, "%*d %*d %*d %*d %ld", &announced);
  return !text.empty() && text.back() == '\n' && announced == lines;
}

class EndOfInput : public ::testing::Test {
 protected:
  // Runs the session whole, then cut after each answer, in a fresh working
  // directory each time.
  void sweep(const Session& s) {
    for (const std::string& bin : {rawinq_bin(), rawinq_na_bin()}) {
      if (bin == rawinq_na_bin() && !s.both_editions) continue;
      const std::string who = std::string(s.name) + " " + bin;
      const Run whole = run(bin, s, s.answers.size());
      // A whole session ends with the count of its last request.
      ASSERT_LT(whole.r.status, 128) << who << "\n" << whole.r.out;
      ASSERT_EQ(whole.r.err, "") << who;
      size_t last_end = 0;
      for (size_t k = 0; k < s.answers.size(); ++k) {
        const Run cut = run(bin, s, k);
        const std::string& out = cut.r.out;
        const std::string at = who + ", input ending after answer " +
                               std::to_string(k) + " of " +
                               std::to_string(s.answers.size());
        EXPECT_EQ(cut.r.status, 0) << at;
        EXPECT_EQ(cut.r.err, "") << at;
        ASSERT_FALSE(out.empty()) << at;
        // From the prompt of the read that found no input to the end.
        EXPECT_LT(cut.r.seconds_after_output(out.size() - 2), 1.0) << at;
        EXPECT_EQ(out.back(), '\n') << at;
        // What the whole session wrote up to the read that found no input.
        const std::string before = out.substr(0, out.size() - 1);
        EXPECT_EQ(whole.r.out.substr(0, before.size()), before) << at;
        EXPECT_GT(before.size(), last_end) << at << ": not a later read";
        last_end = before.size();
        // Every file left behind is the whole session's file; the plot
        // data file, rewritten for each sounding, holds one whole block.
        for (const auto& [name, text] : cut.files) {
          if (name == "raob_soundings.zonder") {
            EXPECT_TRUE(whole_zir_block(text)) << at << ":\n" << text;
            continue;
          }
          const auto it = whole.files.find(name);
          ASSERT_NE(it, whole.files.end()) << at << ": " << name;
          EXPECT_EQ(text, it->second) << at << ": " << name;
        }
      }
    }
  }

  struct Run {
    RunResult r;
    std::map<std::string, std::string> files;
  };

  Run run(const std::string& bin, const Session& s, size_t answers) {
    TempDir work;
    make_dir(work / "out");
    make_dir(work / "bin");
    for (const auto& d : dirs_to_make) make_dir(work / d);
    // A stand-in for the metafile translator: it shows and saves nothing.
    write_file(work / "bin/ctrans", "#!/bin/sh\nexit 0\n");
    chmod((work / "bin/ctrans").c_str(), 0755);
    write_file(work / "stations.txt", "72469\n72562\n");
    RunOptions o;
    o.cwd = work.path();
    o.timeout_seconds = 20;
    o.extra_env = {"PATH=" + (work / "bin") + ":/usr/bin:/bin"};
    Run run;
    run.r = run_program(bin, {db.path() + "/" + edition(bin), sup.path(),
                              s.page_length},
                        joined(s.answers, answers), o);
    run.files = output_files(work.path() + "/");
    return run;
  }

  static std::string edition(const std::string& bin) {
    return bin == rawinq_na_bin() ? "na" : "global";
  }

  void SetUp() override {
    write_support_files(sup.path(), kHelp,
                        catalogue({kDenEntry, kLbfEntry, kAbqEntry}));
    for (bool na : {false, true}) {
      const std::string d = db / (na ? "na" : "global");
      archive_writer::write_station_year(
          d, 1995, 23062, {at(23062, 1, 0), at(23062, 1, 12), at(23062, 2, 0)},
          2, na);
      archive_writer::write_station_year(d, 1995, 24023, {at(24023, 1, 0)}, 2,
                                         na);
    }
  }

  TempDir sup, db;
  std::vector<std::string> dirs_to_make;
};

TEST_F(EndOfInput, RequestToFilesAndItsRepetition) {
  sweep({"ZIR files",
         kRequest + std::vector<std::string>{"0", "1", "out", "3", "y", "",
                                             "", "", "", "", "", "", "",
                                             "n", "n"},
         "500", true});
}

TEST_F(EndOfInput, ScreenPaging) {
  sweep({"screen paging",
         kRequest + std::vector<std::string>{"0", "0", "", "", "", "", "c",
                                             "y", "", "", "", "", "", "",
                                             "", "a"},
         "5", true});
}

TEST_F(EndOfInput, HelpPagingAndTheBrowser) {
  sweep({"help and browser",
         {"HELP", "", "", "STAT", "Y", "19950101", "4", "72469", "", "y",
          "72562", "", "N", "HELP", "EXIT", "1995010100", "1995010200", "1",
          "0", "0", "n", "1", "72469", "0", "y", "0", "1", "0", "1", "out",
          "3", "n", "n"},
         "3"});
}

TEST_F(EndOfInput, RecoveryDialogueAfterAnOutputFileWasWritten) {
  // The second day's file cannot be created: a directory has its name.
  dirs_to_make = {"out/1995010200.txt", "out2"};
  sweep({"recovery",
         kRequest + std::vector<std::string>{"0", "1", "out", "3", "HELP", "",
                                             "out2", "n", "n"}});
}

TEST_F(EndOfInput, NetcdfRequestAndItsRepetition) {
  sweep({"NetCDF",
         {"", "1995010100", "1995010212", "0", "0", "0", "n", "1", "72469",
          "2", "y", "0", "0", "out", "0", "y", "", "", "", "1", "", "2", "n",
          "n"}});
}

TEST_F(EndOfInput, PlotQuestion) {
  sweep({"skew-T",
         {"", "1995010100", "1995010112", "0", "0", "0", "N", "1", "72469",
          "3", "0", "HELP", "Y", "N", "N", "N"}});
}

TEST_F(EndOfInput, NoDatabaseFilesAndStationListAndRegionAccess) {
  sweep({"other questions",
         {"", "1995010100", "1995010200", "1", "0", "0", "n", "1", "72365",
          "0", "y", "0", "1", "0", "1", "out", "3", "HELP", "y",
          "1995010100", "1995010200", "1", "0", "0", "y", "stations.txt",
          "0", "y", "0", "1", "0", "1", "out", "3", "n", "y", "", "", "1",
          "1", "30.00", "50.00", "-110.00", "-90.00", "0", "y", "0", "1", "0",
          "0", "n", "n"},
         "500", true});
}

TEST_F(EndOfInput, InputThatCannotBeReadIsAFailureNotAnEnd) {
  // Standard input is a directory: reading it fails, which is not the end
  // of a script.
  for (const std::string& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run_program(
        "/bin/sh",
        {"-c", "exec \"$0\" \"$1\" \"$2\" 500 < /", bin,
         db.path() + "/" + edition(bin), sup.path()},
        "");
    EXPECT_EQ(r.status, 1) << bin;
    EXPECT_EQ(r.err, "Read error: " + std::string(std::strerror(EISDIR)) + "\n")
        << bin;
  }
}

}  // namespace
