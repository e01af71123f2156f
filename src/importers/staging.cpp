#include "staging.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace archive_writer {
namespace {

std::string reason(int error) { return std::strerror(error); }

mode_t current_umask() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

// Puts `from` at `to` only while `to` is free: renameat2 with
// RENAME_NOREPLACE, or a hard link and an unlink where the file system
// has no such rename. 0, or -1 with errno set.
int rename_if_free(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

// The process that holds the flock of the file (device, inode), from
// /proc/locks; 0 when none is found.
long lock_holder(dev_t dev, ino_t ino) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream words(line);
    std::string number, kind, how, mode, id;
    long pid = 0;
    if (!(words >> number >> kind) || kind != "FLOCK") continue;
    if (!(words >> how >> mode >> pid >> id)) continue;
    unsigned major_number = 0, minor_number = 0;
    unsigned long long inode = 0;
    if (std::sscanf(id.c_str(), "%x:%x:%llu", &major_number, &minor_number,
                    &inode) == 3 &&
        makedev(major_number, minor_number) == dev && inode == ino && pid > 0 &&
        pid != ::getpid())
      return pid;
  }
  return 0;
}

}  // namespace

FolderLock::FolderLock(const std::string& folder,
                       const std::function<void(long)>& waiting,
                       const std::function<void()>& check) {
  // What the constructor made is undone when it throws (no destructor
  // runs then).
  auto undo = [&] {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    for (auto f = made_.rbegin(); f != made_.rend(); ++f) ::rmdir(f->c_str());
  };
  auto fail = [&](int error) {
    undo();
    throw std::runtime_error("cannot lock " + folder + ": " + reason(error));
  };
  bool waited = false;
  for (;;) {
    // The folder and any missing folders above it, outermost first.
    std::vector<std::string> missing;
    for (std::string f = folder; !f.empty() && ::access(f.c_str(), F_OK) != 0;) {
      missing.push_back(f);
      const std::size_t slash = f.find_last_of('/', f.size() - 2);
      if (slash == std::string::npos || slash == 0) break;
      f.resize(slash);
    }
    for (auto f = missing.rbegin(); f != missing.rend(); ++f) {
      if (::mkdir(f->c_str(), 0777) == 0)
        made_.push_back(*f);
      else if (errno != EEXIST)
        fail(errno);
    }
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) fail(errno);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) fail(errno);
      struct stat st {};
      ::fstat(fd_, &st);
      if (!waited) waiting(lock_holder(st.st_dev, st.st_ino));
      waited = true;
      while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) fail(errno);
        try {
          check();
        } catch (...) {
          undo();
          throw;
        }
      }
    }
    // The holder may have removed the folder it had made: the lock is of
    // the folder now under the name, or taken again.
    if (same_folder(folder)) return;
    ::close(fd_);
    fd_ = -1;
  }
}

FolderLock::~FolderLock() {
  for (auto f = made_.rbegin(); f != made_.rend(); ++f)
    ::rmdir(f->c_str());  // only when empty
  if (fd_ >= 0) ::close(fd_);
}

bool FolderLock::same_folder(const std::string& folder) const {
  struct stat mine {}, other {};
  return ::fstat(fd_, &mine) == 0 && ::stat(folder.c_str(), &other) == 0 &&
         mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

int make_temporary(const std::string& final, std::string& temporary) {
  std::string name = final + ".tmpXXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) temporary = name;
  return fd;
}

Staging::~Staging() {
  for (Item& item : items_) {
    if (item.fd >= 0) ::close(item.fd);
    if (!item.placed && !item.temporary.empty())
      ::unlink(item.temporary.c_str());
  }
  if (!committed_)
    for (auto d = directories_.rbegin(); d != directories_.rend(); ++d)
      ::rmdir(d->c_str());
}

std::size_t Staging::add(const std::string& final, Place place, mode_t mode,
                         bool apply_umask) {
  Item item;
  item.final = final;
  item.place = place;
  item.fd = make_temporary(final, item.temporary);
  if (item.fd < 0)
    throw std::runtime_error("cannot write " + final + ": " + reason(errno));
  items_.push_back(item);
  if (apply_umask) mode &= ~current_umask();
  if (::fchmod(item.fd, mode) != 0)
    throw std::runtime_error("cannot write " + final + ": " + reason(errno));
  return items_.size() - 1;
}

void Staging::keep_owner(std::size_t k, uid_t uid, gid_t gid) {
  struct stat st {};
  if (::fstat(items_[k].fd, &st) == 0 && st.st_uid == uid && st.st_gid == gid)
    return;
  if (::fchown(items_[k].fd, uid, gid) != 0)
    throw std::runtime_error("cannot keep the owner of " + items_[k].final +
                             " (user " + std::to_string(uid) + ", group " +
                             std::to_string(gid) + "): " + reason(errno));
}

void Staging::write(std::size_t k, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(items_[k].fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0)
      throw std::runtime_error("cannot write " + items_[k].final + ": " +
                               reason(put < 0 ? errno : ENOSPC));
    p += put;
    n -= static_cast<std::size_t>(put);
  }
}

void Staging::close(std::size_t k) {
  const int fd = items_[k].fd;
  items_[k].fd = -1;
  if (::fsync(fd) != 0 || ::close(fd) != 0)
    throw std::runtime_error("cannot write " + items_[k].final + ": " +
                             reason(errno));
}

void Staging::commit() {
  for (std::size_t k = 0; k < items_.size(); ++k) {
    Item& item = items_[k];
    int rc = -1;
    struct stat st {};
    if (::lstat(item.final.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      errno = EISDIR;
    } else if (item.place == Place::kOnlyNew) {
      rc = rename_if_free(item.temporary, item.final);
    } else {
      // The file the name holds goes to the temporary name, so that a later
      // failure can put it back.
      rc = ::renameat2(AT_FDCWD, item.temporary.c_str(), AT_FDCWD,
                       item.final.c_str(), RENAME_EXCHANGE);
      if (rc == 0) {
        item.exchanged = true;
      } else if (errno == ENOENT) {
        rc = rename_if_free(item.temporary, item.final);
      } else if (errno == EINVAL || errno == ENOSYS) {
        // No exchange here: the old file is kept under a name of its own.
        std::string backup;
        const int fd = make_temporary(item.final, backup);
        if (fd >= 0) {
          ::close(fd);
          ::unlink(backup.c_str());
          if (::link(item.final.c_str(), backup.c_str()) == 0) {
            rc = ::rename(item.temporary.c_str(), item.final.c_str());
            if (rc == 0) {
              item.temporary = backup;
              item.exchanged = true;
            } else {
              ::unlink(backup.c_str());
            }
          } else if (errno == ENOENT) {
            rc = rename_if_free(item.temporary, item.final);
          }
        }
      }
    }
    if (rc != 0) {
      const int error = errno;
      for (std::size_t j = k; j-- > 0;) undo(items_[j]);
      throw std::runtime_error(
          error == EEXIST ? item.final + " exists (another run made it)"
                          : "cannot write " + item.final + ": " + reason(error));
    }
    item.placed = true;
    if (!item.exchanged) item.temporary.clear();
  }
  committed_ = true;
  for (Item& item : items_)
    if (item.exchanged) ::unlink(item.temporary.c_str());  // the old file
}

void Staging::undo(Item& item) noexcept {
  if (item.exchanged) {
    ::rename(item.temporary.c_str(), item.final.c_str());
  } else {
    ::unlink(item.final.c_str());
  }
  item.temporary.clear();
  item.placed = false;
  item.exchanged = false;
}

}  // namespace archive_writer
