// Output that cannot be written: an output file that grows past the file
// size limit, at once or only when it is closed, a terminal that is a full
// device. The run ends with "Write error" and the system's reason on
// standard error and exit status 1 (a failing NetCDF library call ends it
// with 3); it never reports success. An error that only shows when the
// file is closed counts the same.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const std::string kNoSpace =
    "Write error: " + std::string(std::strerror(ENOSPC)) + "\n";
const std::string kTooLarge =
    "Write error: " + std::string(std::strerror(EFBIG)) + "\n";
const char kContinue[] = "Do you wish to continue accessing this data?";

archive_writer::Sounding den(int day, int hour) {
  archive_writer::Sounding s;
  s.year = 1995;
  s.month = 1;
  s.day = day;
  s.hour = hour;
  s.wban = 23062;
  s.levels = {{1, 8370, 1611, 50, -20, 180, 30},
              {2, 7000, 3012, -40, -90, 270, 120},
              {2, 5000, 5600, -180, -260, 260, 250},
              {2, 3000, 9200, -440, -520, 250, 400},
              {2, 2000, 11900, -570, -680, 255, 350},
              {2, 1000, 16300, -600, -800, 270, 100}};
  return s;
}

// The soundings of a request: the last date and the hours choice.
struct Span {
  const char* end;
  const char* hours;
};
const Span kOneSounding = {"1995010112", "2"};  // 0z only
const Span kAMonth = {"1995013112", "0"};  // 62 soundings, some 30 kB of text

// The answers of a request of DEN from 1 January 1995 00 UTC, all in one
// file in out/ (for the ZIR format, the screen when `screen`).
std::string request(const std::string& format, const Span& span,
                    bool screen = false) {
  const std::string head = "\n1995010100\n" + std::string(span.end) + "\n" +
                           span.hours + "\n0\n0\nn\n1\n72469\n";
  if (format == "zir")
    return head + "0\ny\n0\n1\n0\n" + (screen ? "0\n" : "1\nout\n0\n") +
           "n\nn\n";
  if (format == "faa") return head + "1\n0\n0\n1\nout\n0\nn\nn\n";
  if (format == "netcdf") return head + "2\ny\n0\n0\nout\n0\nn\nn\n";
  return head + "3\n0\nN\nN\nN\n";  // the skew-T plot
}


class WriteErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<archive_writer::Sounding> month;
    for (int d = 1; d <= 31; ++d) {
      month.push_back(den(d, 0));
      month.push_back(den(d, 12));
    }
    for (bool na : {false, true})
      archive_writer::write_station_year(dir / (na ? "db_na" : "db"), 1995,
                                         23062, month, 2, na);
    make_dir(dir / "work/out");
    make_dir(dir / "bin");
    write_file(dir / "bin/ctrans", "#!/bin/sh\nexit 0\n");
    chmod((dir / "bin/ctrans").c_str(), 0755);
  }

  RunResult run(const std::string& bin, const std::string& input,
                RunOptions o = RunOptions()) {
    o.cwd = dir / "work";
    o.extra_env = {"PATH=" + (dir / "bin") + ":/usr/bin:/bin"};
    const std::string db = bin == rawinq_na_bin() ? "db_na" : "db";
    return run_program(bin, {dir / db, dir / "sup", "500"}, input, o);
  }

  // Puts a file of an earlier run at `name` (of work/).
  void earlier_file_at(const std::string& name) {
    write_file(dir / ("work/" + name), "an earlier run's file\n");
  }

  // After a failed run: the earlier file is untouched and no temporary file
  // of the failed one is left.
  void expect_earlier_file_kept(const std::string& name,
                                const std::string& at) {
    EXPECT_EQ(read_file(dir / ("work/" + name)), "an earlier run's file\n")
        << at;
    for (const char* d : {"work", "work/out"})
      for (const std::string& entry : dir_entries(dir / d))
        EXPECT_EQ(entry.find(".tmp"), std::string::npos) << at << " " << entry;
  }

  RunDir dir{"GENERAL_INFO\nwelcome\nEND.\n", catalogue({kDenEntry})};
};

TEST_F(WriteErrors, OutputFileFailingAtItsClose) {
  // The soundings stay in the stream's buffer until the file is closed: the
  // error only shows then. The file of the failed run is not put in place.
  RunOptions o;
  o.file_size_limit = 40;
  struct Case {
    const char* format;
    const char* file;
  };
  for (const Case c : {Case{"zir", "out/1995010100.txt"},
                       Case{"faa", "out/JA019500.skt"}}) {
    for (const Span& end : {kOneSounding, kAMonth}) {
      for (const std::string& bin : {rawinq_bin(), rawinq_na_bin()}) {
        earlier_file_at(c.file);
        const RunResult r = run(bin, request(c.format, end), o);
        const std::string at = std::string(c.format) + " " + end.end + " " + bin;
        EXPECT_EQ(r.status, 1) << at;
        EXPECT_EQ(r.err, kTooLarge) << at;
        EXPECT_EQ(r.out.find(kContinue), std::string::npos) << at;
        expect_earlier_file_kept(c.file, at);
      }
    }
  }
}

TEST_F(WriteErrors, PlotDataFileFailingAtItsClose) {
  RunOptions o;
  o.file_size_limit = 40;
  earlier_file_at("raob_soundings.zonder");
  const RunResult r = run(rawinq_bin(), request("plot", kOneSounding), o);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kTooLarge);
  // Nothing is plotted from a plot data file that was not written.
  EXPECT_EQ(r.out.find("SKEWT PLOT WINDOW"), std::string::npos);
  expect_earlier_file_kept("raob_soundings.zonder", "plot");
}

TEST_F(WriteErrors, OutputFileGrowingPastTheFileSizeLimit) {
  RunOptions o;
  o.file_size_limit = 2000;
  for (const char* format : {"zir", "faa"}) {
    const RunResult r = run(rawinq_bin(), request(format, kAMonth), o);
    EXPECT_EQ(r.status, 1) << format;
    EXPECT_EQ(r.err, kTooLarge) << format;
    EXPECT_EQ(r.out.find(kContinue), std::string::npos) << format;
  }
  earlier_file_at("out/1995010100.cdf");
  const RunResult r = run(rawinq_bin(), request("netcdf", kAMonth), o);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find(std::strerror(EFBIG)), std::string::npos) << r.err;
  expect_earlier_file_kept("out/1995010100.cdf", "netcdf");
}

TEST_F(WriteErrors, TerminalOnAFullDevice) {
  RunOptions o;
  o.stdout_path = "/dev/full";
  // The soundings listed on the screen are lost: the writer reports the
  // device's reason, not whatever errno held.
  RunResult r = run(rawinq_bin(), request("zir", kAMonth, true), o);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kNoSpace);

  // The output file is written whole, but the dialogue was lost: a run that
  // would end with the count of soundings (62) ends with 1.
  r = run(rawinq_bin(), request("zir", kAMonth), o);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kNoSpace);
  const std::string file = read_file(dir / "work/out/1995010100.txt");
  const RunResult fine = run(rawinq_bin(), request("zir", kAMonth));
  EXPECT_EQ(fine.status, 62);
  EXPECT_EQ(count_of(file, "    254 "), 62);
  EXPECT_EQ(file, read_file(dir / "work/out/1995010100.txt"));

  // Even a run that ends at the first question on end of input.
  r = run(rawinq_bin(), "", o);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kNoSpace);
}

// Runs rawinq with the answers on standard input and standard output into a
// pipe whose reader stops reading, and goes away, once it has seen `until`.
// Returns the exit status (128 + signal when killed); standard error goes
// to err_path.
int run_until_reader_leaves(const std::vector<std::string>& argv,
                            const std::string& cwd, const std::string& answers,
                            const std::string& until,
                            const std::string& err_path) {
  TempDir io;
  write_file(io / "in", answers);
  int out[2];
  if (pipe(out) != 0) return -1;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open((io / "in").c_str(), O_RDONLY);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out[1], 1);
    dup2(err, 2);
    close(out[0]);
    close(out[1]);
    // The test runner may ignore the signal; the program starts as a shell
    // would start it.
    signal(SIGPIPE, SIG_DFL);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  std::string seen;
  char buf[4096];
  ssize_t n;
  while (seen.find(until) == std::string::npos &&
         (n = read(out[0], buf, sizeof buf)) > 0)
    seen.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

TEST_F(WriteErrors, ReaderOfTheTerminalOutputGoesAway) {
  // A script pipes the dialogue into a command that ends as soon as the
  // output file is announced, while the year is still being extracted. The
  // program must not be killed with half a file: the file is written whole
  // and closed, and the lost terminal output is a write error.
  std::vector<archive_writer::Sounding> year;
  for (int m = 1; m <= 12; ++m)
    for (int d = 1; d <= 28; ++d)
      for (int h : {0, 12}) {
        archive_writer::Sounding s = den(d, h);
        s.month = m;
        year.push_back(s);
      }
  archive_writer::write_station_year(dir / "db", 1995, 23062, year);
  const std::string answers = request("zir", {"1995123112", "0"});
  const int status = run_until_reader_leaves(
      {rawinq_bin(), dir / "db", dir / "sup", "500"}, dir / "work", answers,
      " STATUS:  Writing output file: ", dir / "err");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(read_file(dir / "err"),
            "Write error: " + std::string(std::strerror(EPIPE)) + "\n");
  const std::string file = read_file(dir / "work/out/1995010100.txt");
  const RunResult fine = run(rawinq_bin(), answers);
  EXPECT_EQ(fine.status, (12 * 28 * 2) & 0xFF);
  const std::string whole = read_file(dir / "work/out/1995010100.txt");
  EXPECT_EQ(file.size(), whole.size());
  EXPECT_TRUE(file == whole);
}

// Every program and tool whose output cannot be written says so and fails,
// --help and --version included.
TEST(ToolWriteErrors, OutputOnAFullDeviceFails) {
  const std::string dump = binary_dir() + "/rawinq-dump";
  const std::string pack = binary_dir() + "/rawinq-pack";
  const std::string station_year =
      source_dir() + "/data/sample-archive/Raob1995/23062_95.buf";
  const std::string extract = binary_dir() + "/rawinq-extract";
  const std::vector<std::vector<std::string>> runs = {
      {rawinq_bin(), "--help"},    {rawinq_na_bin(), "--help"},
      {rawinq_bin(), "--version"}, {dump, "--help"},
      {dump, "--version"},         {dump, station_year},
      {pack, "--help"},            {pack, "--version"},
      {extract, "--help"},         {extract, "--version"}};
  RunOptions o;
  o.stdout_path = "/dev/full";
  for (const auto& run : runs) {
    const RunResult r = run_program(run[0], {run[1]}, "", o);
    // rawinq-extract fails with 2, as for any failure.
    EXPECT_EQ(r.status, run[0] == extract ? 2 : 1) << run[0] << " " << run[1];
    // The packer and rawinq-extract word it their own way.
    if (run[0] == pack)
      EXPECT_NE(r.err.find("Write error"), std::string::npos) << r.err;
    else if (run[0] == extract)
      EXPECT_EQ(r.err, "rawinq-extract: write error: standard output: " +
                           std::string(std::strerror(ENOSPC)) + "\n");
    else
      EXPECT_EQ(r.err, kNoSpace) << run[0] << " " << run[1];
  }
}

}  // namespace
