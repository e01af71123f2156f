// Runs a long series of small cases in one forked child, each under its own
// time limit, so that a sweep of thousands of damaged inputs costs one fork
// and a case that crashes or hangs is named instead of taking the test
// binary down with it.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "test_support.h"

namespace testing_support {

struct SweepResult {
  bool completed = false;  // every case ran and the child ended normally
  std::string how_it_ended;  // otherwise: which case, which signal
  std::string problems;      // what the cases reported, one per line
  int problem_count = 0;
};

// run_case(i) for i = 0 .. cases - 1, in a child whose standard input is
// empty and whose standard output is thrown away (a case captures what it
// needs). A case returns "" when it saw nothing wrong, else what it saw; an
// exception out of a case is reported as a problem of that case. A case
// that runs longer than case_seconds is ended by SIGALRM.
inline SweepResult run_sweep(int cases,
                             const std::function<std::string(int)>& run_case,
                             unsigned case_seconds = 5) {
  TempDir io;
  const std::string progress = io / "progress";
  const std::string report = io / "report";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    int fd = open("/dev/null", O_RDWR);
    dup2(fd, 0);
    dup2(fd, 1);
    close(fd);
    const int prog = open(progress.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::FILE* rep = std::fopen(report.c_str(), "w");
    int count = 0;
    for (int i = 0; i < cases; ++i) {
      char at[16];
      const int n = std::snprintf(at, sizeof at, "%-11d\n", i);
      if (pwrite(prog, at, static_cast<size_t>(n), 0) < 0) _exit(124);
      alarm(case_seconds);
      std::string problem;
      try {
        problem = run_case(i);
      } catch (const std::exception& e) {
        problem = std::string("exception: ") + e.what();
      } catch (...) {
        problem = "unknown exception";
      }
      alarm(0);
      if (!problem.empty()) {
        // The first problems in full; the count of all of them.
        if (++count <= 20) std::fprintf(rep, "case %d: %s\n", i, problem.c_str());
      }
    }
    std::fprintf(rep, "#%d\n", count);
    std::fclose(rep);
    _exit(0);
  }
  SweepResult r;
  int wstatus = 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(600);
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::string text = file_exists(report) ? read_file(report) : "";
  const size_t hash = text.rfind('#');
  if (hash != std::string::npos) {
    r.problem_count = std::atoi(text.c_str() + hash + 1);
    text.erase(hash);
  }
  r.problems = text;
  r.completed = WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0 &&
                hash != std::string::npos;
  if (!r.completed) {
    const std::string at = file_exists(progress) ? read_file(progress) : "?";
    r.how_it_ended = "case " + at.substr(0, at.find(' ')) + " ended the run: " +
                     (WIFSIGNALED(wstatus)
                          ? std::string(strsignal(WTERMSIG(wstatus))) +
                                (WTERMSIG(wstatus) == SIGALRM
                                     ? " (over the time limit)"
                                     : "")
                          : "exit status " +
                                std::to_string(WEXITSTATUS(wstatus)));
  }
  return r;
}

}  // namespace testing_support
