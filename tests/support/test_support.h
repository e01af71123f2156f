// Helpers shared by the unit and end-to-end tests.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Whether the tests run under the address checker, which keeps freed blocks
// in quarantine and maps shadow memory beside every block: the memory a
// run takes, and the address space it needs, then measure the checker.
inline constexpr bool kAddressChecker = RAWINQ_ADDRESS_CHECKER != 0;

// Whether they run under the thread checker, which reserves shadow memory
// for the whole address space and keeps a history of every access: the
// same measures then measure the checker too.
inline constexpr bool kThreadChecker = RAWINQ_THREAD_CHECKER != 0;

// Either checker: peak memory and address-space limits are not the
// program's own.
inline constexpr bool kMemoryChecker = kAddressChecker || kThreadChecker;

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  // Under `parent` instead (for instance a memory file system, for tests
  // that create thousands of files); under the system's temporary
  // directory when parent is not a directory.
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

// Makes path the working directory until the object goes away.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::string saved_;
};

void write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);
// Everything in f from its start; f is closed.
std::string read_and_close(std::FILE* f);
bool file_exists(const std::string& path);
void make_dir(const std::string& path);  // with parents
// Names of the entries of a directory, sorted.
std::vector<std::string> dir_entries(const std::string& path);
// Number of non-overlapping occurrences of what in text.
int count_of(const std::string& text, const std::string& what);

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status, or 128 + signal
  int killed_by = 0;  // the signal that ended the process, 0 when it exited
  double seconds = 0;  // from the start to the end of the process
  // When each piece of standard output arrived: (size of out after it,
  // seconds from the start).
  std::vector<std::pair<size_t, double>> out_arrivals;
  // Seconds from the arrival of byte `at` of standard output to the end of
  // the process.
  double seconds_after_output(size_t at) const;
};

struct RunOptions {
  std::string cwd;                    // working directory ("" = inherit)
  long nofile_limit = -1;             // RLIMIT_NOFILE for the child, -1 = as is
  double timeout_seconds = 60;        // killed after this
  std::vector<std::string> extra_env; // "NAME=value" added to the environment
  // RLIMIT_FSIZE for the child, -1 = as is; SIGXFSZ is then ignored, so a
  // write past the limit fails with EFBIG as on a full file system.
  long file_size_limit = -1;
  // RLIMIT_AS for the child in bytes, -1 = as is.
  long address_space_limit = -1;
  // Standard output goes to this file (for instance /dev/full) instead of
  // being collected; "" = collected.
  std::string stdout_path;
  // A signal sent to the program (0 = none): `signal_after_seconds` after
  // its start, or once its standard output holds `signal_after_output` when
  // that is not empty.
  int signal_number = 0;
  double signal_after_seconds = 0;
  std::string signal_after_output;
  // Standard input stays open after `input`, without more of it, so that
  // the program waits at its next question.
  bool keep_input_open = false;
};

// Runs a program with arguments, feeding `input` to its standard input
// (which is then closed) and collecting its output.
RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const std::string& input,
                      const RunOptions& options = RunOptions());

// Lines of the station catalogue for the stations the end-to-end requests
// use.
extern const char kDenEntry[];
extern const char kLbfEntry[];
extern const char kAbqEntry[];

// A station catalogue file: the count of entries, then the entries.
std::string catalogue(const std::vector<std::string>& entries);

// Writes the files a program reads at start-up into dir (made if need be):
// the help file, the station catalogue and the international one.
void write_support_files(const std::string& dir, const std::string& help,
                         const std::string& stations,
                         const std::string& international = "0\n");

// A working directory for whole runs of a program: the support files in
// sup/, the database to be written in db/.
class RunDir : public TempDir {
 public:
  RunDir(const std::string& help, const std::string& stations);
  // Runs program in this directory with db/ and sup/ as its first two
  // arguments, then more_args.
  RunResult run(const std::string& program, const std::string& input,
                const std::vector<std::string>& more_args = {}) const;
};

// Standard output of a command run by /bin/sh.
std::string shell_output(const std::string& command);

// Paths of the built programs and of the project's own files.
std::string rawinq_bin();
std::string rawinq_na_bin();
std::string source_dir();
std::string binary_dir();

}  // namespace testing_support
