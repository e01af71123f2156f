// Helpers shared by the unit and end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
void make_dir(const std::string& path);  // with parents

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status, or 128 + signal
};

struct RunOptions {
  std::string cwd;                    // working directory ("" = inherit)
  long nofile_limit = -1;             // RLIMIT_NOFILE for the child, -1 = as is
  double timeout_seconds = 60;        // killed after this
  std::vector<std::string> extra_env; // "NAME=value" added to the environment
};

// Runs a program with arguments, feeding `input` to its standard input
// (which is then closed) and collecting its output.
RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const std::string& input,
                      const RunOptions& options = RunOptions());

// Standard output of a command run by /bin/sh.
std::string shell_output(const std::string& command);

// Paths of the built programs and of the project's own files.
std::string rawinq_bin();
std::string rawinq_na_bin();
std::string source_dir();
std::string binary_dir();

}  // namespace testing_support
