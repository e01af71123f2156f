// Redirection of the process's standard output and standard input for unit
// tests of code that talks to the terminal.
#pragma once

#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace testing_support {

// Everything written to standard output between construction and text() (or
// destruction) goes to a temporary file instead.
class CaptureStdout {
 public:
  CaptureStdout() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    if (file_ == nullptr) throw std::runtime_error("tmpfile failed");
    saved_ = dup(STDOUT_FILENO);
    if (saved_ < 0 || dup2(fileno(file_), STDOUT_FILENO) < 0)
      throw std::runtime_error("dup2 failed");
  }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;
  ~CaptureStdout() {
    restore();
    if (file_) std::fclose(file_);
  }

  // Ends the capture and returns what was written.
  std::string text() {
    restore();
    std::string out;
    std::rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
  }

  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// Standard input reads the given text until the object goes away.
class FeedStdin {
 public:
  explicit FeedStdin(const std::string& input) {
    file_ = std::tmpfile();
    if (file_ == nullptr) throw std::runtime_error("tmpfile failed");
    std::fwrite(input.data(), 1, input.size(), file_);
    std::fflush(file_);
    std::rewind(file_);
    saved_ = dup(STDIN_FILENO);
    if (saved_ < 0 || dup2(fileno(file_), STDIN_FILENO) < 0)
      throw std::runtime_error("dup2 failed");
    // Drop whatever stdin had buffered; reading starts at the new file's
    // start.
    __fpurge(stdin);
    std::clearerr(stdin);
  }
  FeedStdin(const FeedStdin&) = delete;
  FeedStdin& operator=(const FeedStdin&) = delete;
  ~FeedStdin() {
    __fpurge(stdin);
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    std::clearerr(stdin);
    std::fclose(file_);
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

}  // namespace testing_support
