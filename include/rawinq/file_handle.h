// An owning FILE* that closes itself.
#pragma once

#include <cstdio>
#include <utility>

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(std::FILE* f) : f_(f) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : f_(std::exchange(o.f_, nullptr)) {}
  FileHandle& operator=(FileHandle&& o) noexcept {
    if (this != &o) {
      close();
      f_ = std::exchange(o.f_, nullptr);
    }
    return *this;
  }
  ~FileHandle() { close(); }

  std::FILE* get() const { return f_; }
  explicit operator bool() const { return f_ != nullptr; }
  // Gives up ownership of the stream.
  std::FILE* release() { return std::exchange(f_, nullptr); }
  // Closes the stream; returns fclose's result (0 when there was none).
  int close() {
    int rc = 0;
    if (f_) rc = std::fclose(f_);
    f_ = nullptr;
    return rc;
  }

 private:
  std::FILE* f_ = nullptr;
};
