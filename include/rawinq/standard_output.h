// The tools' last word: output that did not reach standard output (a full
// device, a reader that went away) is a failure, never a success.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

// Writes out what is still buffered for standard output. Returns status
// when all of it was written; else writes "Write error" with the system's
// reason on standard error and returns status, or 1 when that was 0.
inline int checked_exit_status(int status) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int reason = !flushed && errno != 0 ? errno : EIO;
  std::cout.flush();
  if (flushed && !std::ferror(stdout) && !std::cout.fail()) return status;
  std::fprintf(stderr, "Write error: %s\n", std::strerror(reason));
  return status == 0 ? 1 : status;
}
