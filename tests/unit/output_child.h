// Runs a piece of the output layer in a forked child with scripted standard
// input, the way the program's entry point would: a ProgramExit ends the
// child with its status after the open output is closed. Standard output
// and standard error are captured.
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
  int status = -1;
};

inline ChildRun run_in_child(const std::string& input,
                             const std::function<void()>& body) {
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
    int status = 0;
    try {
      body();
    } catch (const ProgramExit& e) {
      close_output_at_exit();
      status = e.status;
      if (e.end_of_input) std::putchar('\n');
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
