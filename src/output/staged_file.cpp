// Output files under temporary names, renamed into place when complete, and
// the record of the files a request has written.
#include "rawinq/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// Symbolic links followed before a name is taken for a loop, as the system
// does.
constexpr int kMaxLinks = 40;
// Temporary names tried before giving up.
constexpr int kMaxTries = 100;

// The files being written, so that whatever ends the process removes their
// temporary files. Requests of several threads begin and end files at once:
// the list has a lock of its own.
struct Unfinished {
  std::mutex lock;
  std::vector<StagedFile*> files;
};
Unfinished& unfinished() {
  static Unfinished u;
  static const bool registered = [] {
    std::atexit(discard_unfinished_outputs);
    return true;
  }();
  static_cast<void>(registered);
  return u;
}

void forget(StagedFile* f) {
  Unfinished& u = unfinished();
  const std::lock_guard<std::mutex> hold(u.lock);
  u.files.erase(std::remove(u.files.begin(), u.files.end(), f), u.files.end());
}

// The directory part of path with its slash ("" for a bare name).
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Whether the symbolic link at path, of which lstat gave `link`, may be
// followed. As the system decides it for a plain open (protected links),
// a link in a sticky directory that everyone may write to (such as /tmp)
// is followed only when this process or the directory's owner owns it:
// anyone else could have planted it there to send the output onto a file
// of the user's outside the directory.
bool may_follow(const std::string& path, const struct stat& link) {
  if (link.st_uid == geteuid()) return true;
  const std::string dir = directory_of(path);
  struct stat d {};
  if (stat(dir.empty() ? "." : dir.c_str(), &d) != 0) return false;
  const bool shared = (d.st_mode & S_ISVTX) != 0 && (d.st_mode & S_IWOTH) != 0;
  return !shared || d.st_uid == link.st_uid;
}

// The file that writing to path changes: path itself, or the file its
// chain of symbolic links ends at (which need not exist yet). "" with
// errno set when the chain cannot be followed; `refusal` says why when a
// link may not be followed (errno is then EACCES).
std::string link_target(const std::string& path, const char*& refusal) {
  std::string p = path;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    if (!may_follow(p, st)) {
      refusal = "a symbolic link of another user in a directory everyone "
                "may write to (not followed)";
      errno = EACCES;
      return "";
    }
    std::string link(static_cast<std::size_t>(st.st_size) + 1, '\0');
    const ssize_t n = readlink(p.c_str(), link.data(), link.size());
    if (n < 0) return "";
    // A link that grew since lstat is read again with more room.
    if (static_cast<std::size_t>(n) >= link.size()) {
      --hops;
      continue;
    }
    link.resize(static_cast<std::size_t>(n));
    p = (!link.empty() && link[0] == '/') ? link : directory_of(p) + link;
  }
  errno = ELOOP;
  return "";
}

bool is_at_or_after(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

}  // namespace

bool StagedFile::begin(const std::string& path, const Create& create) {
  discard();
  refusal_ = "";
  const std::string target = link_target(path, refusal_);
  if (target.empty()) return false;

  // What is there already must be a regular file this process may write:
  // a name that could not be opened for writing is refused as before.
  struct stat st {};
  const bool exists = stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      refusal_ = "not a regular file";
      errno = ENXIO;
      return false;
    }
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
      return false;
    // A file that no one may write to was made read-only to keep it: it is
    // kept even from a process the system would let replace it (the
    // superuser).
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      errno = EACCES;
      return false;
    }
  }

  const std::string stem = target + ".tmp" + std::to_string(getpid());
  for (int k = 0; k < kMaxTries; ++k) {
    const std::string temporary = k == 0 ? stem : stem + "." + std::to_string(k);
    errno = 0;
    if (create(temporary)) {
      target_ = target;
      temporary_ = temporary;
      // The file replaced keeps its permission bits (from the start, so
      // that a private file is never readable by others on the way).
      mode_ = exists ? static_cast<int>(st.st_mode & 0777) : -1;
      if (mode_ >= 0) chmod(temporary_.c_str(), static_cast<mode_t>(mode_));
      Unfinished& u = unfinished();
      const std::lock_guard<std::mutex> hold(u.lock);
      u.files.push_back(this);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool StagedFile::commit() {
  if (!active()) return true;
  // Again, for a writer that replaced the temporary file with one of its
  // own.
  if (mode_ >= 0) chmod(temporary_.c_str(), static_cast<mode_t>(mode_));
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    discard();
    errno = err;
    return false;
  }
  temporary_.clear();
  forget(this);
  return true;
}

void StagedFile::discard() {
  if (!active()) return;
  const int saved = errno;
  unlink(temporary_.c_str());
  temporary_.clear();
  forget(this);
  errno = saved;
}

void discard_unfinished_outputs() {
  Unfinished& u = unfinished();
  for (;;) {
    StagedFile* f = nullptr;
    {
      const std::lock_guard<std::mutex> hold(u.lock);
      if (u.files.empty()) return;
      f = u.files.back();
    }
    f->discard();
  }
}

RequestFiles::RequestFiles(std::size_t bits)
    : words_((std::max<std::size_t>(bits, 64) + 63) / 64),
      bits_(words_.size() * 64) {}

void RequestFiles::begin() {
  std::fill(words_.begin(), words_.end(), 0);
  // The clock the system stamps files with, so that a file written after
  // this moment is never stamped earlier than it.
  clock_gettime(CLOCK_REALTIME_COARSE, &start_);
}

namespace {

// FNV-1a from a given offset.
std::uint64_t fnv(const std::string& text, std::uint64_t hash) {
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

}  // namespace

// Probe k of path: two FNV-1a hashes with different offsets, combined as
// h1 + k * h2.
std::size_t RequestFiles::probe(const std::string& path, int k) const {
  const std::uint64_t h1 = fnv(path, 0xcbf29ce484222325ULL);
  const std::uint64_t h2 = fnv(path, 0x84222325cbf29ce4ULL) | 1;
  return static_cast<std::size_t>((h1 + static_cast<std::uint64_t>(k) * h2) %
                                  bits_);
}

namespace {
constexpr int kProbes = 4;
}  // namespace

void RequestFiles::add(const std::string& path) {
  for (int k = 0; k < kProbes; ++k) {
    const std::size_t b = probe(path, k);
    words_[b / 64] |= std::uint64_t{1} << (b % 64);
  }
}

bool RequestFiles::created(const std::string& path) const {
  for (int k = 0; k < kProbes; ++k) {
    const std::size_t b = probe(path, k);
    if ((words_[b / 64] & (std::uint64_t{1} << (b % 64))) == 0) return false;
  }
  // The filter may err; a file this request wrote changed after it began.
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && is_at_or_after(st.st_ctim, start_);
}
