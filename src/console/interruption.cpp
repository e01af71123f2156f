// Interruption by a signal: noted by the handler, acted on by the program.
#include "rawinq/interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "rawinq/program_exit.h"

namespace {

volatile std::sig_atomic_t caught = 0;
volatile std::sig_atomic_t release_output = 0;

// Points descriptor fd at /dev/null, opened with flags.
void to_null(int fd, int flags) {
  const int null = open("/dev/null", flags | O_CLOEXEC);
  if (null < 0) {
    close(fd);
  } else if (null != fd) {
    dup2(null, fd);
    close(null);
  }
}

// Notes the first signal. A read of standard input under way, or to come,
// must not wait for a line that no one will type: standard input is made
// to read as empty, so the read ends and the program sees the signal.
// With release_output, a write to standard output blocked on a pipe or a
// terminal no one reads ends the same way: the write, taken up again after
// the handler, goes to /dev/null (a regular file never blocks and keeps
// what was written).
extern "C" void on_interruption(int signal_number) {
  if (caught == 0) caught = signal_number;
  const int saved = errno;
  to_null(STDIN_FILENO, O_RDONLY);
  struct stat st {};
  if (release_output != 0 && fstat(STDOUT_FILENO, &st) == 0 &&
      !S_ISREG(st.st_mode))
    to_null(STDOUT_FILENO, O_WRONLY);
  errno = saved;
}

}  // namespace

void catch_interruptions(bool end_blocked_output) {
  release_output = end_blocked_output ? 1 : 0;
  // Other calls go on as if nothing happened; only reads of standard input
  // are cut short, by the handler.
  install_interruption_handler(on_interruption, SA_RESTART);
}

int interruption_signal() { return caught; }

void stop_if_interrupted() {
  if (caught != 0) throw ProgramExit{128 + caught, true};
}
