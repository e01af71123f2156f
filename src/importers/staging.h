// The files of one run put in place together. Each is written under a
// temporary name created exclusively (mkstemp) in the folder of the file
// it becomes; commit() puts them all in place in the order they were
// added, or, when one cannot be, takes back those already placed, so that
// after a failure every name holds what it held before. Temporary files
// left when the object goes (a fault, an interruption) are removed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace archive_writer {

class Staging {
 public:
  Staging() = default;
  ~Staging();
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // How a staged file is put in place: over a file of that name, or only
  // while the name is still free (else commit fails with "exists").
  enum class Place { kReplace, kOnlyNew };

  // Makes the temporary file of `final`; returns its number. The mode is
  // set as given (the umask applies when `apply_umask`); throws
  // std::runtime_error with the system's reason.
  std::size_t add(const std::string& final, Place place, mode_t mode,
                  bool apply_umask);
  // Gives the file the owner and group given; throws when it cannot.
  void keep_owner(std::size_t k, uid_t uid, gid_t gid);
  void write(std::size_t k, const void* data, std::size_t n);
  // Closes the temporary file, all written.
  void close(std::size_t k);
  // A directory made for the files: removed again (when empty) unless the
  // files are committed.
  void made_directory(const std::string& path) { directories_.push_back(path); }

  // Puts every file in place, all or none; throws std::runtime_error
  // naming the file and the system's reason.
  void commit();

  const std::string& final_path(std::size_t k) const { return items_[k].final; }
  const std::string& temporary_path(std::size_t k) const {
    return items_[k].temporary;
  }

 private:
  struct Item {
    std::string final;
    std::string temporary;
    Place place;
    int fd = -1;
    // After commit: whether the name had a file before, now held by the
    // temporary name (exchanged), or whether it was free.
    bool placed = false;
    bool exchanged = false;
  };
  void undo(Item& item) noexcept;

  std::vector<Item> items_;
  std::vector<std::string> directories_;
  bool committed_ = false;
};

// An advisory lock (flock) on a folder, held while the object lives, so
// that two runs never merge into the same files at once. A folder that is
// not there is made (with the folders above it), and removed again (when empty, under the lock) unless
// keep() is called. A folder locked by another process is waited for:
// `waiting` is called first with the other process's number (0 when it
// cannot be found). The wait ends with EINTR when a signal arrives:
// `check` is then called (to end the run) and the wait goes on if it
// returns.
class FolderLock {
 public:
  FolderLock(const std::string& folder,
             const std::function<void(long holder)>& waiting,
             const std::function<void()>& check);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  // Whether `folder` is the one locked (a second lock of one folder by one
  // process would wait for ever).
  bool same_folder(const std::string& folder) const;
  void keep() { made_.clear(); }

 private:
  int fd_ = -1;
  std::vector<std::string> made_;  // outermost first
};

// A temporary file name made exclusively beside `final` ("NAME.tmpXXXXXX");
// returns the open descriptor (mode 0600) and sets `temporary`. -1 with
// errno set on failure.
int make_temporary(const std::string& final, std::string& temporary);

}  // namespace archive_writer
