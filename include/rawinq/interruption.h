// Interruption by SIGINT, SIGTERM or SIGHUP. The signal is noted, and the
// program ends at the next point where nothing is half done: before the
// next sounding is read, or at the next answer it would wait for. It then
// ends as at end of input, but every output file not yet complete is
// removed, and the status is 128 + the signal's number.
#pragma once

#include <signal.h>

// The signals that interrupt a run.
constexpr int kInterruptionSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Makes handler the handler of the three signals (with the sigaction
// flags given), each blocking the others while it runs. A signal ignored
// by whoever started the program (nohup, a background job) stays ignored.
inline void install_interruption_handler(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int s : kInterruptionSignals) sigaddset(&action.sa_mask, s);
  action.sa_flags = flags;
  for (int s : kInterruptionSignals) {
    struct sigaction before {};
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
      continue;
    sigaction(s, &action, nullptr);
  }
}

// Installs the program's handlers of the three signals. With
// end_blocked_output, what is still to go to standard output once a signal
// came is dropped when it is not a regular file, so that a write blocked on
// a pipe or terminal no one reads ends (for a program whose standard output
// is its product, not a dialogue).
void catch_interruptions(bool end_blocked_output = false);

// The signal that interrupted the program; 0 when none did.
int interruption_signal();

// Ends the program (ProgramExit, status 128 + the signal's number) when a
// signal has interrupted it.
void stop_if_interrupted();
