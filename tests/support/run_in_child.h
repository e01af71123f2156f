// Runs a piece of the program in a forked child with scripted standard
// input; the child's standard output and standard error are captured.
// For unit tests only: it ends the child the way the program's entry point
// does.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "rawinq/output.h"
#include "rawinq/program_exit.h"
#include "test_support.h"

struct ChildRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status, 128 when the child did not exit
};

// The child's exit status is what body returns; an exception that escapes
// body ends the child with 125.
inline ChildRun run_child_for_status(const std::string& input,
                                     const std::function<int()>& body) {
  testing_support::TempDir io;
  testing_support::write_file(io / "in", input);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    int fd = open((io / "in").c_str(), O_RDONLY);
    dup2(fd, 0);
    fd = open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    fd = open((io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    int status = 125;
    try {
      status = body();
    } catch (...) {
    }
    std::fflush(nullptr);
    _exit(status);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ChildRun r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128;
  r.out = testing_support::read_file(io / "out");
  r.err = testing_support::read_file(io / "err");
  return r;
}

// A ProgramExit out of body ends the child as the program ends: open output
// closed, a line end after end of input, and the exit status; a body that
// returns ends it with 0.
inline ChildRun run_in_child(const std::string& input,
                             const std::function<void()>& body) {
  return run_child_for_status(input, [&] {
    try {
      body();
    } catch (const ProgramExit& e) {
      close_output_at_exit();
      if (e.end_of_input) std::putchar('\n');
      return e.status;
    }
    return 0;
  });
}
