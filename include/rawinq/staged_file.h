// The life of an output file: it is written under a temporary name in the
// directory of the file it becomes and renamed into place when complete, so
// that a reader, or a second run writing the same name, only ever sees a
// whole file (the last one finished wins). A file that is not completed
// (the run failed or was interrupted) is removed, and the name keeps what it
// held before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

class StagedFile {
 public:
  // Makes the temporary file: given its path, creates it (failing with
  // EEXIST when the name is taken, so that another is tried); false with
  // errno set on failure.
  using Create = std::function<bool(const std::string& temporary)>;

  StagedFile() = default;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile() { discard(); }

  // Begins the file that is to appear at `path`. A symbolic link is written
  // through: the temporary file goes beside the link's target, which is
  // what is replaced; but a link of another user in a sticky directory
  // that everyone may write to is not followed (EACCES, with refusal()).
  // False, with errno set, when the name is something other than a regular
  // file, a file that cannot be written or that no one may write to (a
  // read-only file is kept), or when no temporary file can be made in its
  // directory.
  bool begin(const std::string& path, const Create& create);
  // Why the last begin failed, in words of its own where the system's
  // reason (errno) would mislead: a link it may not follow, a name that is
  // not a regular file; "" otherwise.
  const char* refusal() const { return refusal_; }

  bool active() const { return !temporary_.empty(); }
  const std::string& temporary_path() const { return temporary_; }

  // Puts the finished file in place; false with errno set when the rename
  // failed (the temporary file is then removed).
  bool commit();
  // Removes the temporary file; nothing when there is none.
  void discard();

 private:
  std::string target_;
  std::string temporary_;
  int mode_ = -1;  // the permission bits of the file replaced, -1: none
  const char* refusal_ = "";
};

// Removes the temporary file of every output file still being written.
// Runs by itself when the process exits (also when a library ends it).
void discard_unfinished_outputs();

// The paths of the output files one request created, kept in a filter of
// fixed size, so that a request of a million files needs no more memory
// than one of a single file. The filter can answer "yes" for a path it never
// saw; such an answer is confirmed by the file's change time, which is not
// older than the request for a file the request wrote.
class RequestFiles {
 public:
  explicit RequestFiles(std::size_t bits = std::size_t{1} << 21);

  // A new request starts now: no path is its own yet.
  void begin();
  void add(const std::string& path);
  // Whether path is a file this request wrote that is still there.
  bool created(const std::string& path) const;

 private:
  std::size_t probe(const std::string& path, int k) const;

  std::vector<std::uint64_t> words_;
  std::size_t bits_;
  struct timespec start_ {};
};
