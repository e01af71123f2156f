// The dialogue's side of the output: the directory recovery after a failed
// open, the screen pager, write errors and the state of standard output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/output.h"
#include "rawinq/program_exit.h"
#include "rawinq/terminal.h"

namespace {

// A write error has been reported on standard error: it is reported once.
bool write_error_reported = false;
// The reason of the first failed flush of standard output.
int stdout_errno = 0;
// An output file could not be closed completely when the run ended early.
bool close_failed_at_exit = false;

// The system's reason for the error of standard output. `err` is errno as
// the call that found the error left it (0 when unknown): when that call
// only filled the buffer, a new attempt to write the buffer out tells the
// reason.
int stdout_failure_reason(int err) {
  if (err != 0) return err;
  errno = 0;
  std::clearerr(stdout);
  if (std::fflush(stdout) != 0 && errno != 0) return errno;
  if (stdout_errno != 0) return stdout_errno;
  return EIO;
}

}  // namespace

void report_write_error(int err) {
  std::fflush(stdout);
  errno = err;
  std::perror("Write error");
  write_error_reported = true;
}

void write_error(int err) {
  report_write_error(err);
  end_program(1);
}

std::string directory_recovery(DialogueState& st, const std::string& path,
                               std::string& pname) {
  std::printf("\n\n\n ERROR: unable to write files to: %s\n", path.c_str());
  std::putchar(7);
  std::string answer;
  do {
    std::puts("\n  Enter     HELP for more information");
    std::puts("            <return> to choose another directory");
    std::puts("            EXIT to quit");
    std::printf("     Your choice? ");
    answer = read_answer();
  } while (get_help(st, answer, "NO_DIRECTORY"));

  if (!answer.empty()) {
    std::printf("\n\n Exiting raob database ...");
    end_program(0);
  }

  pname.clear();
  do {
    std::puts("\n Where do you want to write the output files?");
    std::printf("  Enter the disk and directory only: ");
    answer = read_answer();
  } while (get_help(st, answer, "OUTPUT_DIRECTORY"));
  pname = first_word(answer);
  if (!pname.empty() && pname.back() != '/') pname += '/';
  return pname;
}

void note_close_failure_at_exit(int err) {
  report_write_error(err);
  close_failed_at_exit = true;
}

int close_output_at_exit() {
  const bool failed = close_failed_at_exit;
  close_failed_at_exit = false;
  return failed ? 1 : 0;
}

void flush_standard_output() {
  errno = 0;
  if (std::fflush(stdout) != 0 && stdout_errno == 0)
    stdout_errno = errno != 0 ? errno : EIO;
}

bool standard_output_failed() {
  flush_standard_output();
  if (stdout_errno == 0 && !std::ferror(stdout)) return false;
  if (!write_error_reported)
    report_write_error(stdout_errno != 0 ? stdout_errno
                                         : stdout_failure_reason(0));
  return true;
}

bool ScreenPager::active() const { return st_.Screen_Scroll == 1; }

void ScreenPager::count_line() {
  if (st_.Screen_Scroll != 1) return;
  ++st_.Screen_Lines;
  if (st_.Max_Lines <= 0 || st_.Screen_Lines != st_.Max_Lines) return;
  std::printf(" Enter <return> to scroll, 'a' to abort, 'c' to continue:  ");
  const std::string answer = read_answer();
  const char c = answer.empty() ? '\0' : answer[0];
  if (c == 'a' || c == 'A') {
    std::printf(" Exiting radiosonde database ... ");
    end_program(0);
  }
  if (c == 'c' || c == 'C') {
    st_.Screen_Scroll = 0;
    return;
  }
  st_.Screen_Lines = 0;
}
