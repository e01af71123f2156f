// The lines of an input file read in pieces, so that memory does not grow
// with its size: a plain file, an open descriptor, a gzip-compressed file
// (name ending in .gz) or the members of a zip archive (.zip), read without
// unpacking them to disk.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "rawinq/import.h"

namespace archive_writer {

// A fault of an input, its message naming the file and line
// ("name:line: what").
using InputError = rawinq::ImportError;

// The bounds of a compressed input's unpacked text: a text that grows past
// `ratio` times the compressed file (and past 1 MiB), or past `bytes`, is
// refused as a fault, so that a small file cannot keep a run busy for
// hours.
struct UnpackLimits {
  unsigned long long ratio = 200;
  unsigned long long bytes = 8ULL << 30;
};

class LineSource {
 public:
  // Throws InputError when the file cannot be opened or is no regular file.
  explicit LineSource(const std::string& path, UnpackLimits limits = {});
  // Plain text read from a descriptor the caller opened (standard input,
  // a pipe), known by name in messages; the descriptor is the caller's.
  LineSource(int fd, const std::string& name);
  // Reads the lines of an input held in memory (fuzzing, tests).
  LineSource(std::string_view bytes, const std::string& name);
  ~LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // The next line without its line end ("\n" or "\r\n"); the view holds
  // until the next call. False at the end of the input.
  bool next(std::string_view& line);
  // Binary inputs read as bytes instead of lines (not both): the next
  // piece of the current file or zip member, valid until the next call;
  // false at its end. next_file() then moves to the archive's next member
  // (false when there is none).
  bool next_piece(std::string_view& piece);
  bool next_file();
  // The file (or "archive.zip:member") and the number of the last line.
  const std::string& name() const { return name_; }
  long line() const { return line_; }
  // "name:line: what".
  std::string where() const;
  [[noreturn]] void fail(const std::string& what) const;
  // Bytes read so far (of the uncompressed text).
  unsigned long long bytes() const { return bytes_; }
  // Called before each piece of the file is read: throws to end the
  // reading (an interruption).
  void set_check(std::function<void()> check) { check_ = std::move(check); }

  // The longest line read; longer ones are a fault.
  static constexpr std::size_t kMaxLine = 1 << 16;

  struct Reader;

 private:
  bool fill();

  std::unique_ptr<Reader> reader_;
  std::string name_;
  long line_ = 0;
  unsigned long long bytes_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
  std::size_t end_ = 0;
  bool eof_ = false;
  std::string_view memory_;  // the input held in memory, if any
  std::function<void()> check_;
  UnpackLimits limits_;
  unsigned long long packed_size_ = 0;  // of a compressed file, else 0
  unsigned long long unpacked_ = 0;
};

}  // namespace archive_writer
