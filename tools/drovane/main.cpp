// drovane FILE: draws each sounding of the ZIR blocks in FILE as a skew-T
// log-p diagram into the metafile "gmeta" of the working directory, one
// frame per sounding in the order of the file.
//
// The drawing is done by NCL (found on PATH) into a metafile of a name of
// its own, which replaces gmeta only once the last frame is complete. An earlier
// gmeta is removed first, so that a failed run never leaves the diagram of
// another sounding behind. Exit status 0 when gmeta was written, 1 when the
// input cannot be read or the drawing failed, 2 on a wrong command line.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ncl_script.h"
#include "skewt_plot.h"
#include "zir_block.h"

namespace {

const char kMetafile[] = "gmeta";

// A private directory for the NCL program and its messages, removed with
// its files.
class WorkDir {
 public:
  WorkDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    // The paths go into NCL string literals, which cannot hold '"'.
    if (base.find('"') != std::string::npos || base[0] != '/') base = "/tmp";
    std::string pattern = base + "/drovane.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
      throw std::runtime_error("cannot create a directory in " + base + ": " +
                               std::strerror(errno));
    }
    path_ = buf.data();
  }
  ~WorkDir() {
    for (const std::string& f : files_) unlink((path_ + "/" + f).c_str());
    rmdir(path_.c_str());
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  // Path of a file in the directory, removed with it.
  std::string file(const std::string& name) {
    files_.push_back(name);
    return path_ + "/" + name;
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

bool non_empty_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs NCL on the script with standard input from /dev/null and both output
// streams into the log; returns its wait status, or -1 when it could not be
// started.
int run_ncl(const std::string& script, const std::string& log) {
  std::cout.flush();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execlp("ncl", "ncl", "-Q", "-n", script.c_str(), static_cast<char*>(nullptr));
    std::fprintf(stderr, "cannot start ncl: %s\n", std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

int draw(const std::string& input) {
  if (unlink(kMetafile) != 0 && errno != ENOENT) {
    std::cerr << "drovane: cannot replace " << kMetafile << ": "
              << std::strerror(errno) << "\n";
    return 1;
  }
  struct stat st;
  if (stat(input.c_str(), &st) != 0) {
    std::cerr << "drovane: " << input << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  if (S_ISDIR(st.st_mode)) {
    std::cerr << "drovane: " << input << ": is a directory\n";
    return 1;
  }
  std::ifstream in(input);
  if (!in) {
    std::cerr << "drovane: " << input << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  std::vector<drovane::SkewtPlot> plots;
  try {
    for (const drovane::ZirBlock& block : drovane::parse_zir_blocks(in))
      plots.push_back(drovane::build_skewt_plot(block));
  } catch (const drovane::ZirError& e) {
    std::cerr << "drovane: " << input << ": not a sounding block: " << e.what()
              << "\n";
    return 1;
  }

  WorkDir work;
  const std::string script = work.file("skewt.ncl");
  const std::string log = work.file("ncl.log");
  const std::string done = work.file("done");
  const std::string workstation = "drovane_" + std::to_string(getpid());
  const std::string drawn = workstation + ".ncgm";
  {
    std::ofstream out(script);
    out << drovane::ncl_script(plots, workstation, done);
    if (!out.flush()) {
      std::cerr << "drovane: cannot write " << script << "\n";
      return 1;
    }
  }
  const int status = run_ncl(script, log);
  const std::string messages = read_all(log);
  const bool ok = status >= 0 && WIFEXITED(status) &&
                  WEXITSTATUS(status) == 0 && non_empty_file(done) &&
                  messages.find("fatal:") == std::string::npos &&
                  non_empty_file(drawn);
  if (!ok || std::rename(drawn.c_str(), kMetafile) != 0) {
    const int err = errno;
    unlink(drawn.c_str());
    std::cerr << "drovane: the diagram could not be drawn";
    if (ok) std::cerr << " (" << kMetafile << ": " << std::strerror(err) << ")";
    std::cerr << "\n" << messages;
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: drovane FILE\n"
                 "  draws each sounding of the ZIR blocks in FILE into the "
                 "metafile gmeta, one frame each\n";
    return 2;
  }
  try {
    return draw(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "drovane: " << e.what() << "\n";
    return 1;
  }
}
