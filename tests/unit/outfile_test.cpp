// Output file names, opening and closing output, the directory recovery
// dialogue, screen paging and write errors of the output line layer.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/output.h"
#include "rawinq/output_session.h"
#include "rawinq/program_exit.h"
#include "rawinq/staged_file.h"
#include "request_texts.h"
#include "run_in_child.h"
#include "test_support.h"

namespace {

// The dialogue's output session of the request under test (each test runs
// in a child process of its own).
std::optional<OutputSession> session;
short session_format = -1;

// Starts a session of the dialogue when first is set (a new request) and
// opens the output file of the sounding at date of Stn_His[indx].
void open_outfile(long date, long bdate, std::string& pname, short indx,
                  short oformat, short sortype, short first) {
  if (first || !session || session_format != oformat) {
    session.reset();
    session.emplace(dialogue_session_config(dialogue_state(),
                                            format_by_choice(oformat), 1, pname,
                                            dialogue_state().Sort_Type == 1));
    session_format = oformat;
  }
  session->open_unit(date, bdate, &dialogue_state().Stn_His[indx],
                     sortype == 0);
}

// A session writing to the screen, as for destination 0.
void screen_session() {
  static std::string no_dir;
  session.reset();
  session.emplace(dialogue_session_config(dialogue_state(), format_by_choice(0),
                                          0, no_dir, false));
}

void emit_line(const std::string& text) { session->put_line(text, true); }
void emit_uncounted_line(const std::string& text) {
  session->put_line(text, false);
}
void close_outfile(short) { session->close_unit(); }
bool output_open() { return session && session->unit_open(); }
// Ends the run with status as the dialogue's retrieval does: the open
// file is kept only when the status is 0.
[[noreturn]] void end_run(int status) {
  try {
    end_program(status);
  } catch (const ProgramExit& e) {
    if (session) session->close_at_end(e.status == 0);
    throw;
  }
}
// As the dialogue does when the program ends early.
int close_at_exit() {
  if (session && !session->close_quietly())
    note_close_failure_at_exit(errno != 0 ? errno : EIO);
  return close_output_at_exit();
}

std::string output_file_name(long date, long bdate, short indx, short oformat,
                             short sortype) {
  return ::output_file_name(*format_by_choice(oformat), date, bdate,
                            &dialogue_state().Stn_His[indx], sortype == 0,
                            dialogue_state().Sort_Type == 1);
}

using request_texts::kDirectoryQuestion;
using testing_support::file_exists;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

std::string status_line(const std::string& path) {
  return " STATUS:  Writing output file: " + path + "        \n";
}

const std::string kRecoveryMenu =
    "\n  Enter     HELP for more information\n"
    "            <return> to choose another directory\n"
    "            EXIT to quit\n"
    "     Your choice? ";

std::string recovery_error(const std::string& path) {
  return "\n\n\n ERROR: unable to write files to: " + path + "\n\a" +
         kRecoveryMenu;
}

class OutputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&dialogue_state().Stn_His[3], 0,
                sizeof dialogue_state().Stn_His[3]);
    std::strcpy(dialogue_state().Stn_His[3].init, "DEN");
    dialogue_state().Stn_His[3].wmo = 72469;
    dialogue_state().Stn_His[3].wban = 23062;
    saved_sort_ = dialogue_state().Sort_Type;
  }
  void TearDown() override {
    session.reset();
    close_output_at_exit();
    dialogue_state().Sort_Type = saved_sort_;
  }
  short saved_sort_ = 0;
};

TEST_F(OutputFiles, NamesFollowSortFormatAndFileStructure) {
  const long bdate = 1995010100, date = 1995010112;
  struct Row {
    short sort, oformat, sortype;
    const char* name;
  } rows[] = {
      {0, 0, 0, "1995010100.txt"},
      {1, 0, 0, "1995010100.txt"},
      {0, 0, 1, "1995010112.txt"},
      {0, 0, 5, "1995010112.txt"},
      {1, 0, 1, "72469_DEN_1995010112.txt"},
      {1, 0, 2, "72469_DEN_1995010112.txt"},
      {0, 1, 0, "JA019512.skt"},
      {1, 1, 2, "JA019512.skt"},
      {0, 2, 0, "1995010100.cdf"},
      {1, 4, 0, "1995010100.cdf"},
      {0, 2, 3, "1995010112.cdf"},
      {0, 4, 4, "1995010112.cdf"},
      {1, 2, 1, "72469_DEN_1995010112.cdf"},
      {1, 4, 2, "72469_DEN_1995010112.cdf"},
      {0, 3, 5, "raob_soundings.zonder"},
      {1, 3, 2, "raob_soundings.zonder"},
  };
  for (const Row& r : rows) {
    dialogue_state().Sort_Type = r.sort;
    EXPECT_EQ(output_file_name(date, bdate, 3, r.oformat, r.sortype), r.name)
        << "dialogue_state().Sort_Type " << r.sort << " oformat " << r.oformat
        << " sortype " << r.sortype;
  }
}

TEST_F(OutputFiles, CodedMessageNamesUseMonthCodes) {
  dialogue_state().Sort_Type = 0;
  EXPECT_EQ(output_file_name(2005030700, 0, 3, 1, 3), "MA070500.skt");
  EXPECT_EQ(output_file_name(2001050918, 0, 3, 1, 0), "MY090118.skt");
  EXPECT_EQ(output_file_name(1999072306, 0, 3, 1, 5), "JL239906.skt");
  EXPECT_EQ(output_file_name(2000123100, 0, 3, 1, 1), "DE310000.skt");
  // A month no code exists for still gives a name of the same shape.
  EXPECT_EQ(output_file_name(2000133100, 0, 3, 1, 1).size(), 12u);
}

TEST_F(OutputFiles, OpeningReplacesTheFileAndAnnouncesIt) {
  TempDir dir;
  const std::string first = dir / "1995010100.txt";
  const std::string second = dir / "1995010200.txt";
  write_file(first, "old contents that must go\n");
  const ChildRun r = run_in_child("", [&] {
    dialogue_state().Sort_Type = 0;
    std::string pname = dir.path() + "/";
    open_outfile(1995010100, 1995010100, pname, 3, 0, 3, 1);
    emit_line("first day");
    open_outfile(1995010200, 1995010100, pname, 3, 0, 3, 0);
    emit_line("second day");
    close_outfile(0);
    std::printf("outbuf %s\n", output_open() ? "left" : "none");
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, status_line(first) + status_line(second) + "outbuf none\n");
  EXPECT_EQ(read_file(first), "first day\n");
  EXPECT_EQ(read_file(second), "second day\n");
}

TEST_F(OutputFiles, FileNameRepeatedInOneRequestNeverReplacesAnEarlierFile) {
  // Two stations at the same hour, one file per sounding: the names of the
  // naming table coincide and the second station's file gets its WMO number.
  TempDir dir;
  std::memset(&dialogue_state().Stn_His[4], 0,
              sizeof dialogue_state().Stn_His[4]);
  std::strcpy(dialogue_state().Stn_His[4].init, "BIS");
  dialogue_state().Stn_His[4].wmo = 72764;
  const std::string plain = dir / "1995010100.txt";
  const std::string second = dir / "1995010100_72764.txt";
  const std::string third = dir / "1995010100_72764_2.txt";
  const ChildRun r = run_in_child("", [&] {
    dialogue_state().Sort_Type = 0;
    std::string pname = dir.path() + "/";
    open_outfile(1995010100, 1995010100, pname, 3, 0, 5, 1);
    emit_line("DEN");
    open_outfile(1995010100, 1995010100, pname, 4, 0, 5, 0);
    emit_line("BIS");
    open_outfile(1995010100, 1995010100, pname, 4, 0, 5, 0);
    emit_line("BIS again");
    close_outfile(0);
    // A new request starts afresh and replaces what an earlier one wrote.
    open_outfile(1995010100, 1995010100, pname, 4, 0, 5, 1);
    emit_line("next request");
    close_outfile(0);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, status_line(plain) + status_line(second) +
                       status_line(third) + status_line(plain));
  EXPECT_EQ(read_file(plain), "next request\n");
  EXPECT_EQ(read_file(second), "BIS\n");
  EXPECT_EQ(read_file(third), "BIS again\n");
}

TEST_F(OutputFiles, ScreenOutputOpensNothing) {
  TempDir dir;
  const ChildRun r = run_in_child("", [&] {
    dialogue_state().Sort_Type = 0;
    std::string pname = dir.path() + "/";
    session.emplace(dialogue_session_config(
        dialogue_state(), format_by_choice(0), 0, pname, false));
    session->open_unit(1995010100, 1995010100, &dialogue_state().Stn_His[3],
                       true);
    std::printf("%s", session->path().empty() ? "screen" : "changed");
  });
  EXPECT_EQ(r.out, "screen");
  EXPECT_FALSE(file_exists(dir / "1995010100.txt"));
}

TEST_F(OutputFiles, PlotDataFileGoesToWorkingDirectoryWithoutStatus) {
  TempDir dir;
  const ChildRun r = run_in_child("", [&] {
    dialogue_state().Sort_Type = 0;
    if (chdir(dir.path().c_str()) != 0) _exit(99);
    std::string pname = "/nonexistent-directory/";
    open_outfile(1995010112, 1995010100, pname, 3, 3, 5, 1);
    emit_line("plot");
    close_outfile(3);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(dir / "raob_soundings.zonder"), "plot\n");
}

// NetCDF files are created with the clobber mode and are complete on disk
// once closed, also when the program ends before the request does.
TEST_F(OutputFiles, NetcdfFileIsCreatedOnDiskAndReadable) {
  TempDir dir;
  const std::string path = dir / "1995010100.cdf";
  write_file(path, "not a netcdf file");
  const ChildRun r = run_in_child("", [&] {
    dialogue_state().Sort_Type = 0;
    std::string pname = dir.path() + "/";
    open_outfile(1995010100, 1995010100, pname, 3, 2, 0, 1);
    if (session->ncid() == -1) _exit(98);
    int dim = -1;
    nc_def_dim(session->ncid(), "recNum", NC_UNLIMITED, &dim);
    close_outfile(2);
    std::printf("cdfid %d\n", session->ncid());
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, status_line(path) + "cdfid -1\n");
  int id = -1, dimid = -1;
  ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR);
  EXPECT_EQ(nc_inq_dimid(id, "recNum", &dimid), NC_NOERR);
  nc_close(id);

  const std::string early = dir / "72469_DEN_1995010112.cdf";
  const ChildRun r2 = run_in_child("", [&] {
    dialogue_state().Sort_Type = 1;
    std::string pname = dir.path() + "/";
    open_outfile(1995010112, 1995010100, pname, 3, 2, 1, 1);
    int dim = -1;
    nc_def_dim(session->ncid(), "recNum", NC_UNLIMITED, &dim);
    end_run(0);  // as the program ends at end of input
  });
  EXPECT_EQ(r2.status, 0) << r2.err;
  ASSERT_EQ(nc_open(early.c_str(), NC_NOWRITE, &id), NC_NOERR);
  EXPECT_EQ(nc_inq_dimid(id, "recNum", &dimid), NC_NOERR);
  nc_close(id);
}

TEST_F(OutputFiles, RecoveryDialogueTakesAnotherDirectory) {
  TempDir dir;
  const std::string bad = dir / "missing/sub/";
  const std::string good = dir / "good";
  testing_support::make_dir(good);
  const ChildRun r = run_in_child("\n  " + good + "  more words\n", [&] {
    dialogue_state().Sort_Type = 0;
    std::string pname = bad;
    open_outfile(1995010112, 1995010100, pname, 3, 0, 5, 1);
    emit_line("kept");
    close_outfile(0);
    std::printf("[%s]", pname.c_str());
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, recovery_error(bad + "1995010112.txt") + kDirectoryQuestion +
                       status_line(good + "/1995010112.txt") + "[" + good +
                       "/]");
  EXPECT_EQ(read_file(good + "/1995010112.txt"), "kept\n");
}

TEST_F(OutputFiles, RecoveryDialogueEmptyDirectoryMeansWorkingDirectory) {
  TempDir dir;
  const ChildRun r = run_in_child("\n\n", [&] {
    dialogue_state().Sort_Type = 0;
    if (chdir(dir.path().c_str()) != 0) _exit(99);
    std::string pname = "/nonexistent-directory/";
    open_outfile(1995010112, 1995010100, pname, 3, 1, 5, 1);
    close_outfile(1);
    std::printf("[%s]", pname.c_str());
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, recovery_error("/nonexistent-directory/JA019512.skt") +
                       kDirectoryQuestion + status_line("JA019512.skt") +
                       "[]");
  EXPECT_TRUE(file_exists(dir / "JA019512.skt"));
}

TEST_F(OutputFiles, RecoveryDialogueEndsOnAnyOtherAnswerOrEndOfInput) {
  for (const char* answer : {"EXIT\n", "no\n"}) {
    const ChildRun r = run_in_child(answer, [&] {
      dialogue_state().Sort_Type = 0;
      std::string pname = "/nonexistent-directory/";
      open_outfile(1995010112, 1995010100, pname, 3, 0, 0, 1);
      std::printf("not reached");
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, recovery_error("/nonexistent-directory/1995010100.txt") +
                         "\n\n Exiting raob database ...");
  }
  const ChildRun eof = run_in_child("", [&] {
    std::string pname = "/nonexistent-directory/";
    open_outfile(1995010112, 1995010100, pname, 3, 0, 0, 1);
    std::printf("not reached");
  });
  EXPECT_EQ(eof.status, 0);
  EXPECT_EQ(eof.out,
            recovery_error("/nonexistent-directory/1995010100.txt") + "\n");
}

// The plot data file is always made in the working directory, so another
// directory cannot cure a failure: the dialogue comes back until EXIT.
TEST_F(OutputFiles, PlotFileFailureRepeatsTheDialogue) {
  TempDir dir;
  const std::string gone = dir / "gone";
  testing_support::make_dir(gone);
  const ChildRun r = run_in_child("\n" + dir.path() + "\nEXIT\n", [&] {
    if (chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0) _exit(99);
    std::string pname;
    open_outfile(1995010112, 1995010100, pname, 3, 3, 5, 1);
  });
  EXPECT_EQ(r.status, 0);
  const std::string error = recovery_error("raob_soundings.zonder");
  EXPECT_EQ(r.out, error + kDirectoryQuestion + error +
                       "\n\n Exiting raob database ...");
}

// Screen paging: a pause after every Max_Lines counted lines.
class Paging : public ::testing::Test {
 protected:
  static ChildRun page(long max_lines, int lines, const std::string& input) {
    return run_in_child(input, [=] {
      screen_session();
      dialogue_state().Max_Lines = max_lines;
      dialogue_state().Screen_Lines = 0;
      dialogue_state().Screen_Scroll = 1;
      for (int i = 1; i <= lines; ++i) emit_line(std::to_string(i));
    });
  }
  static std::string numbered(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i) s += std::to_string(i) + "\n";
    return s;
  }
};

const std::string kPagePrompt =
    " Enter <return> to scroll, 'a' to abort, 'c' to continue:  ";

TEST_F(Paging, ReturnScrollsOnePageAtATime) {
  const ChildRun r = page(20, 45, "\n\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, numbered(1, 20) + kPagePrompt + numbered(21, 40) +
                       kPagePrompt + numbered(41, 45));
}

TEST_F(Paging, EndOfInputAtThePromptEndsTheProgram) {
  const ChildRun r = page(20, 45, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, numbered(1, 20) + kPagePrompt + "\n");
}

TEST_F(Paging, AbortEndsTheProgram) {
  for (const char* answer : {"a\n", "Abort\n"}) {
    const ChildRun r = page(20, 45, answer);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, numbered(1, 20) + kPagePrompt +
                         " Exiting radiosonde database ... ");
  }
}

TEST_F(Paging, ContinueStopsPausing) {
  for (const char* answer : {"c\n", "C\n"}) {
    const ChildRun r = page(20, 70, answer);
    EXPECT_EQ(r.out, numbered(1, 20) + kPagePrompt + numbered(21, 70));
  }
}

TEST_F(Paging, PageLengthZeroOrLessNeverPauses) {
  // No input at all: a pause would end the program at end of input.
  EXPECT_EQ(page(0, 50, "").out, numbered(1, 50));
  EXPECT_EQ(page(-1, 50, "").out, numbered(1, 50));
}

TEST_F(Paging, UncountedLinesAndFileOutputDoNotPause) {
  const ChildRun r = run_in_child("", [] {
    screen_session();
    dialogue_state().Max_Lines = 2;
    dialogue_state().Screen_Lines = 0;
    dialogue_state().Screen_Scroll = 1;
    emit_line("1");
    emit_uncounted_line("u");
    emit_uncounted_line("u");
    dialogue_state().Screen_Scroll = 0;
    emit_line("2");
    emit_line("3");
  });
  EXPECT_EQ(r.out, "1\nu\nu\n2\n3\n");
}

// A failed write or close of the output is an error of the program.
TEST(OutputWriteErrors, FullDeviceEndsWithStatusOne) {
  // The output file may not grow past 4096 bytes (the captured standard
  // output and error stay below that).
  TempDir dir;
  const std::string pname = dir.path() + "/";
  const std::string reason = std::strerror(EFBIG);
  const std::string announce = status_line(dir / "1995010100.txt");
  auto open_outfile = [](long date, long bdate, std::string& d, short indx,
                         short oformat, short sortype, short first) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    ::open_outfile(date, bdate, d, indx, oformat, sortype, first);
  };
  const ChildRun at_line = run_in_child("", [&] {
    std::string d = pname;
    open_outfile(1995010100, 1995010100, d, 3, 0, 0, 1);
    // More than the stream's buffer holds.
    for (int k = 0; k < 40000; ++k) emit_line("lost lost lost lost lost");
    std::printf("not reached");
  });
  EXPECT_EQ(at_line.status, 1);
  EXPECT_EQ(at_line.out, announce);
  EXPECT_EQ(at_line.err, "Write error: " + reason + "\n");

  const ChildRun at_close = run_in_child("", [&] {
    std::string d = pname;
    open_outfile(1995010100, 1995010100, d, 3, 0, 0, 1);
    emit_line(std::string(5000, 'b'));  // held in the stream's buffer
    close_outfile(0);
    std::printf("not reached");
  });
  EXPECT_EQ(at_close.status, 1);
  EXPECT_EQ(at_close.out, announce);
  EXPECT_EQ(at_close.err, "Write error: " + reason + "\n");

  const ChildRun at_exit = run_in_child("", [&] {
    std::string d = pname;
    open_outfile(1995010100, 1995010100, d, 3, 0, 0, 1);
    emit_line(std::string(5000, 'b'));  // held in the stream's buffer
    const int failed = close_at_exit();
    std::printf("%d %s", failed, output_open() ? "open" : "none");
  });
  EXPECT_EQ(at_exit.out, announce + "1 none");
  EXPECT_EQ(at_exit.err, "Write error: " + reason + "\n");
}

// Standard output on a full device: the error flag comes from a flush of
// the dialogue's text long before the writer looks at the stream, and errno
// holds whatever an unrelated call left there. The reason reported is still
// the device's.
TEST(OutputWriteErrors, EarlierErrorOfStandardOutputGivesItsOwnReason) {
  const std::string reason = std::strerror(ENOSPC);
  const ChildRun screen = run_in_child("", [] {
    std::freopen("/dev/full", "w", stdout);
    std::printf("a question ");
    std::fflush(stdout);
    screen_session();
    errno = ENOENT;  // a database file that was not found
    emit_line("a sounding line");
  });
  EXPECT_EQ(screen.status, 1);
  EXPECT_EQ(screen.err, "Write error: " + reason + "\n");

  // Lost terminal output is found at the end, reported once, with the
  // reason of the first failed flush.
  const ChildRun at_end = run_in_child("", [] {
    std::freopen("/dev/full", "w", stdout);
    std::printf("a question ");
    flush_standard_output();
    errno = ENOENT;
    std::printf("more text");
    const bool failed = standard_output_failed();
    const bool again = standard_output_failed();
    std::fprintf(stderr, "%d %d\n", failed, again);
  });
  EXPECT_EQ(at_end.err, "Write error: " + reason + "\n1 1\n");

  const ChildRun fine = run_in_child("", [] {
    std::printf("a question ");
    flush_standard_output();
    std::fprintf(stderr, "%d\n", standard_output_failed());
  });
  EXPECT_EQ(fine.err, "0\n");
}

}  // namespace

namespace {

// The temporary files left in a directory (none once a file is complete
// or given up).
std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& e : testing_support::dir_entries(dir))
    if (e.find(".tmp") != std::string::npos) found.push_back(e);
  return found;
}

// A file is written under a temporary name beside its own and put in place
// when closed: until then the name shows the earlier file whole. A run
// that fails or is interrupted removes the file it was writing and the
// name keeps the earlier file; one that ends normally (end of input, EXIT)
// keeps what it wrote.
TEST_F(OutputFiles, FileReachesItsNameOnlyWhenComplete) {
  TempDir dir;
  const int kClosed = -1;  // the request closes its file
  const struct {
    int status;
    bool kept;
  } rows[] = {{kClosed, true}, {0, true},    {1, false},
              {3, false},      {130, false}, {143, false}};
  for (const auto& row : rows) {
    for (short oformat : {0, 2}) {
      const std::string path =
          dir / (oformat == 2 ? "1995010100.cdf" : "1995010100.txt");
      write_file(path, "earlier\n");
      const ChildRun r = run_in_child("", [&] {
        dialogue_state().Sort_Type = 0;
        std::string pname = dir.path() + "/";
        open_outfile(1995010100, 1995010100, pname, 3, oformat, 0, 1);
        if (oformat == 2)
          ncdimdef(session->ncid(), "recNum", NC_UNLIMITED);
        else
          emit_line("new");
        std::printf("[%s] %zu\n", read_file(path).c_str(),
                    temporaries(dir.path()).size());
        if (row.status != kClosed) end_run(row.status);
        close_outfile(oformat);
      });
      const std::string at =
          std::to_string(row.status) + " " + std::to_string(oformat);
      EXPECT_EQ(r.status, row.status == kClosed ? 0 : row.status) << at;
      EXPECT_EQ(r.out.substr(0, status_line(path).size() + 14),
                status_line(path) + "[earlier\n] 1\n")
          << at;
      EXPECT_TRUE(temporaries(dir.path()).empty()) << at;
      EXPECT_EQ(read_file(path) == "earlier\n", !row.kept) << at;
      if (!row.kept) continue;
      if (oformat == 0) {
        EXPECT_EQ(read_file(path), "new\n") << at;
      } else {
        int id = -1;
        EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR) << at;
        if (id != -1) nc_close(id);
      }
    }
  }
}

// A name that is no regular file, or that cannot be written, is refused as
// an open that failed: the recovery dialogue. Nothing is written through
// it, nor put in its place.
TEST_F(OutputFiles, NameThatIsNoWritableFileTakesTheRecoveryPath) {
  TempDir dir;
  // Each case puts its kind of thing at the name of the request's file.
  const std::vector<std::pair<std::string, std::function<void(const std::string&)>>>
      cases = {
          {"fifo", [](const std::string& p) { mkfifo(p.c_str(), 0600); }},
          {"directory", [](const std::string& p) { testing_support::make_dir(p); }},
          {"device", [](const std::string& p) { symlink("/dev/full", p.c_str()); }},
          {"loop", [](const std::string& p) { symlink(p.c_str(), p.c_str()); }},
          // Permission bits bind everyone but the superuser.
          {"readonly", [](const std::string& p) {
             write_file(p, "kept\n");
             chmod(p.c_str(), 0444);
           }},
      };
  for (const auto& c : cases) {
    if (c.first == "readonly" && geteuid() == 0) continue;
    for (short oformat : {0, 2}) {
      const std::string sub = dir / (c.first + std::to_string(oformat));
      testing_support::make_dir(sub);
      const std::string path =
          sub + (oformat == 2 ? "/1995010100.cdf" : "/1995010100.txt");
      c.second(path);
      struct stat before {};
      ASSERT_EQ(lstat(path.c_str(), &before), 0) << path;
      const ChildRun r = run_in_child("EXIT\n", [&] {
        dialogue_state().Sort_Type = 0;
        std::string pname = sub + "/";
        open_outfile(1995010100, 1995010100, pname, 3, oformat, 0, 1);
      });
      EXPECT_EQ(r.out, recovery_error(path) + "\n\n Exiting raob database ...")
          << path;
      struct stat after {};
      ASSERT_EQ(lstat(path.c_str(), &after), 0) << path;
      EXPECT_EQ(after.st_ino, before.st_ino) << path;
      EXPECT_EQ(after.st_mode, before.st_mode) << path;
      EXPECT_TRUE(temporaries(sub).empty()) << path;
    }
  }
}

// A name that is a symbolic link is written through the link: the link
// stays, and the file it leads to (made when missing) is replaced, its
// temporary file beside it.
TEST_F(OutputFiles, SymbolicLinkIsWrittenThrough) {
  TempDir dir;
  testing_support::make_dir(dir / "out");
  testing_support::make_dir(dir / "store");
  for (const bool target_exists : {true, false}) {
    const std::string link = dir / "out/1995010100.txt";
    std::remove(link.c_str());
    std::remove((dir / "store/day.txt").c_str());
    if (target_exists) write_file(dir / "store/day.txt", "earlier\n");
    ASSERT_EQ(symlink("../store/day.txt", link.c_str()), 0);
    const ChildRun r = run_in_child("", [&] {
      dialogue_state().Sort_Type = 0;
      std::string pname = dir / "out/";
      open_outfile(1995010100, 1995010100, pname, 3, 0, 0, 1);
      emit_line("through the link");
      std::printf("%zu\n", temporaries(dir / "store").size());
      close_outfile(0);
    });
    EXPECT_EQ(r.out, status_line(link) + "1\n");
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(dir / "store/day.txt"), "through the link\n");
    EXPECT_TRUE(temporaries(dir / "store").empty());
    EXPECT_TRUE(temporaries(dir / "out").empty());
  }
}

// The filter of a request's files errs for some paths it never saw; a file
// of an earlier run is still replaced, as the file's change time tells.
// A filter of 64 bits filled with 200 paths errs for every path.
TEST(RequestFileRecord, FilterHitIsConfirmedByTheFileChangeTime) {
  TempDir dir;
  const std::string earlier = dir / "earlier.txt";
  const std::string mine = dir / "mine.txt";
  write_file(earlier, "an earlier run\n");
  // Past the clock's granularity, which the file times share.
  usleep(20000);
  RequestFiles files(64);
  files.begin();
  for (int k = 0; k < 200; ++k) files.add(dir / std::to_string(k));
  write_file(mine, "this request\n");
  files.add(mine);
  EXPECT_FALSE(files.created(earlier));
  EXPECT_TRUE(files.created(mine));
  EXPECT_FALSE(files.created(dir / "never-written.txt"));
  // A new request owns none of them.
  files.begin();
  EXPECT_FALSE(files.created(mine));
}

}  // namespace
