// Interruption by a signal: noted by the handler, acted on by the program.
#include "rawinq/interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "rawinq/program_exit.h"

namespace {

volatile std::sig_atomic_t caught = 0;

// Notes the first signal. A read of standard input under way, or to come,
// must not wait for a line that no one will type: standard input is made
// to read as empty, so the read ends and the program sees the signal.
extern "C" void on_interruption(int signal_number) {
  if (caught == 0) caught = signal_number;
  const int saved = errno;
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    close(STDIN_FILENO);
  } else if (fd != STDIN_FILENO) {
    dup2(fd, STDIN_FILENO);
    close(fd);
  }
  errno = saved;
}

}  // namespace

void catch_interruptions() {
  // Other calls go on as if nothing happened; only reads of standard input
  // are cut short, by the handler.
  install_interruption_handler(on_interruption, SA_RESTART);
}

int interruption_signal() { return caught; }

void stop_if_interrupted() {
  if (caught != 0) throw ProgramExit{128 + caught, true};
}
