#include "line_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace archive_writer {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;

bool ends_with(const std::string& s, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// zlib's message without the "<fd:N>: " it puts before it.
std::string without_prefix(const char* message) {
  const std::string text = message;
  const std::size_t at = text.rfind(">: ");
  return text.compare(0, 1, "<") == 0 && at != std::string::npos
             ? text.substr(at + 3)
             : text;
}

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ > 2) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

// One kind of input: read() fills up to n bytes and returns how many, 0 at
// the end of the current member; next_member() moves to the next member of
// an archive (false when there is none).
struct LineSource::Reader {
  virtual ~Reader() = default;
  virtual std::size_t read(char* to, std::size_t n) = 0;
  virtual bool next_member(std::string& /*name*/) { return false; }
};

namespace {

class PlainReader : public LineSource::Reader {
 public:
  // `check` is called when a signal cuts a read short (a pipe or a
  // terminal that waits).
  PlainReader(int fd, const std::string& name,
              const std::function<void()>& check)
      : fd_(fd), name_(name), check_(check) {}
  std::size_t read(char* to, std::size_t n) override {
    for (;;) {
      const ssize_t got = ::read(fd_.get(), to, n);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR)
        throw InputError(name_ + ": cannot read: " + std::strerror(errno));
      if (check_) check_();
    }
  }

 private:
  Descriptor fd_;
  std::string name_;
  const std::function<void()>& check_;
};

class GzipReader : public LineSource::Reader {
 public:
  GzipReader(int fd, const std::string& name) : name_(name) {
    Descriptor owned(fd);
    file_ = gzdopen(fd, "rb");
    if (file_ == nullptr) throw InputError(name + ": cannot read");
    owned.release();
    gzbuffer(file_, 1 << 17);
  }
  ~GzipReader() override { gzclose(file_); }
  GzipReader(const GzipReader&) = delete;
  GzipReader& operator=(const GzipReader&) = delete;
  std::size_t read(char* to, std::size_t n) override {
    const int got = gzread(file_, to, static_cast<unsigned>(n));
    // A file cut short reads as far as it goes and then notes
    // "unexpected end of file" (Z_BUF_ERROR) without failing.
    int code = Z_OK;
    const char* why = gzerror(file_, &code);
    if (got < 0 || (code != Z_OK && code != Z_STREAM_END))
      throw InputError(name_ + ": not a whole gzip file: " + without_prefix(why));
    return static_cast<std::size_t>(got);
  }

 private:
  gzFile file_ = nullptr;
  std::string name_;
};

class ZipReader : public LineSource::Reader {
 public:
  ZipReader(int fd, const std::string& name) : name_(name) {
    Descriptor owned(fd);
    int error = 0;
    archive_ = zip_fdopen(fd, ZIP_RDONLY, &error);
    if (archive_ == nullptr) {
      zip_error_t e;
      zip_error_init_with_code(&e, error);
      const std::string why = zip_error_strerror(&e);
      zip_error_fini(&e);
      throw InputError(name + ": not a zip archive: " + why);
    }
    owned.release();
    count_ = zip_get_num_entries(archive_, 0);
  }
  ~ZipReader() override {
    if (member_ != nullptr) zip_fclose(member_);
    zip_discard(archive_);
  }
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  std::size_t read(char* to, std::size_t n) override {
    if (member_ == nullptr) return 0;
    const zip_int64_t got = zip_fread(member_, to, n);
    // A member cut short or damaged fails its check sum or its
    // decompression here.
    if (got < 0)
      throw InputError(member_name_ + ": not a whole zip member: " +
                       zip_file_strerror(member_));
    return static_cast<std::size_t>(got);
  }
  // The members in their order in the archive; directories are passed by.
  bool next_member(std::string& name) override {
    if (member_ != nullptr) zip_fclose(member_);
    member_ = nullptr;
    while (next_ < count_) {
      const zip_int64_t k = next_++;
      const char* member = zip_get_name(archive_, static_cast<zip_uint64_t>(k), 0);
      if (member == nullptr || ends_with(member, "/")) continue;
      member_ = zip_fopen_index(archive_, static_cast<zip_uint64_t>(k), 0);
      if (member_ == nullptr)
        throw InputError(name_ + ": cannot read its member " + member + ": " +
                         zip_strerror(archive_));
      name = name_ + ":" + member;
      member_name_ = name;
      return true;
    }
    return false;
  }

 private:
  zip_t* archive_ = nullptr;
  zip_file_t* member_ = nullptr;
  zip_int64_t count_ = 0;
  zip_int64_t next_ = 0;
  std::string name_;
  std::string member_name_;
};

}  // namespace

LineSource::LineSource(const std::string& path, UnpackLimits limits)
    : name_(path), buffer_(new char[kBufferSize]), limits_(limits) {
  // Opened without blocking, so that a FIFO is refused rather than waited
  // for.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0)
    throw InputError(path + ": cannot read: " + std::strerror(errno));
  struct stat st{};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw InputError(path + ": not a regular file");
  const int flags = fcntl(fd.get(), F_GETFL);
  fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  if (ends_with(path, ".zip") || ends_with(path, ".gz"))
    packed_size_ = static_cast<unsigned long long>(st.st_size);
  if (ends_with(path, ".zip")) {
    reader_ = std::make_unique<ZipReader>(fd.release(), path);
    if (!reader_->next_member(name_))
      throw InputError(path + ": the zip archive holds no file");
  } else if (ends_with(path, ".gz")) {
    reader_ = std::make_unique<GzipReader>(fd.release(), path);
  } else {
    reader_ = std::make_unique<PlainReader>(fd.release(), path, check_);
  }
}

LineSource::LineSource(int fd, const std::string& name)
    : name_(name), buffer_(new char[kBufferSize]) {
  const int own = dup(fd);
  if (own < 0)
    throw InputError(name + ": cannot read: " + std::strerror(errno));
  reader_ = std::make_unique<PlainReader>(own, name, check_);
}

LineSource::LineSource(std::string_view bytes, const std::string& name)
    : name_(name), memory_(bytes) {}

LineSource::~LineSource() = default;

std::string LineSource::where() const {
  return name_ + ":" + std::to_string(line_);
}

void LineSource::fail(const std::string& what) const {
  throw InputError(where() + ": " + what);
}

bool LineSource::fill() {
  // Keeps the unread part of a line at the front and reads after it.
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == kBufferSize) return false;
  if (check_) check_();
  const std::size_t got = reader_->read(buffer_.get() + end_, kBufferSize - end_);
  end_ += got;
  unpacked_ += got;
  if (packed_size_ > 0) {
    constexpr unsigned long long kAlways = 1 << 20;
    const unsigned long long ratio_bound =
        limits_.ratio == 0 || packed_size_ > ~0ULL / limits_.ratio ? ~0ULL : packed_size_ * limits_.ratio;
    if (unpacked_ > limits_.bytes || (unpacked_ > kAlways && unpacked_ > ratio_bound))
      throw InputError(
          name_ + ": unpacks to more than " +
          (unpacked_ > limits_.bytes
               ? std::to_string(limits_.bytes >> 30) +
                     " GiB (--max-unpacked raises the bound)"
               : std::to_string(limits_.ratio) + " times its " +
                     std::to_string(packed_size_) +
                     " bytes (--max-expansion raises the bound)"));
  }
  return got > 0;
}

bool LineSource::next(std::string_view& line) {
  if (!reader_) {  // in memory
    if (memory_.empty()) return false;
    const std::size_t nl = memory_.find('\n');
    line = memory_.substr(0, nl);
    memory_.remove_prefix(nl == std::string_view::npos ? memory_.size() : nl + 1);
    ++line_;
    bytes_ += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }
  for (;;) {
    const char* from = buffer_.get() + begin_;
    const void* nl = std::memchr(from, '\n', end_ - begin_);
    std::size_t len = 0;
    if (nl != nullptr) {
      len = static_cast<std::size_t>(static_cast<const char*>(nl) - from);
      begin_ += len + 1;
    } else if (!eof_) {
      if (end_ - begin_ >= kMaxLine) {
        ++line_;
        fail("a line longer than " + std::to_string(kMaxLine) + " bytes");
      }
      if (!fill()) eof_ = true;
      continue;
    } else if (begin_ == end_) {
      // The end of this member; on to the next one, if any.
      if (!next_file()) return false;
      continue;
    } else {
      len = end_ - begin_;  // a last line without a line end
      begin_ = end_;
    }
    if (len >= kMaxLine) {
      ++line_;
      fail("a line longer than " + std::to_string(kMaxLine) + " bytes");
    }
    ++line_;
    bytes_ += len + 1;
    line = std::string_view(from, len);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }
}

bool LineSource::next_piece(std::string_view& piece) {
  if (!reader_) {  // in memory: the whole input at once
    if (memory_.empty()) return false;
    piece = memory_;
    bytes_ += memory_.size();
    memory_ = {};
    return true;
  }
  begin_ = end_ = 0;
  if (eof_ || !fill()) {
    eof_ = true;
    return false;
  }
  bytes_ += end_;
  piece = std::string_view(buffer_.get(), end_);
  return true;
}

bool LineSource::next_file() {
  if (!reader_) return false;
  std::string member;
  if (!reader_->next_member(member)) return false;
  name_ = member;
  line_ = 0;
  begin_ = end_ = 0;
  eof_ = false;
  return true;
}

}  // namespace archive_writer
