// Opening a file named by the user or the installation for reading: without
// waiting (a FIFO would wait for a writer that never comes) and only when it
// is a regular file (a device such as /dev/zero never ends, a directory
// holds no text).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "rawinq/file_handle.h"

struct OpenedFile {
  FileHandle file;
  int error = 0;             // errno of a failed open (EISDIR for a directory)
  bool not_regular = false;  // a FIFO, a device, a socket

  // The file is not there: the case the messages of a missing file are for.
  bool missing() const { return !file && !not_regular && error == ENOENT; }
  // Why the file could not be opened, as the system says it.
  std::string reason() const {
    return not_regular ? "not a regular file" : std::strerror(error);
  }
};

// Opens path for reading in the given fopen mode ("r" or "rb").
inline OpenedFile open_regular_file(const std::string& path,
                                    const char* mode = "r") {
  OpenedFile result;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    result.error = errno;
    close(fd);
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) result.error = EISDIR;
    else result.not_regular = true;
    close(fd);
    return result;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, mode);
  if (f == nullptr) {
    result.error = errno;
    close(fd);
    return result;
  }
  result.file = FileHandle(f);
  return result;
}
