// drovane FILE: draws each sounding of the ZIR blocks in FILE as a skew-T
// log-p diagram into the metafile "gmeta" of the working directory, one
// frame per sounding in the order of the file.
//
// The drawing is done by NCL (found on PATH) into a metafile of a name of
// its own, which replaces gmeta only once the last frame is complete. An earlier
// gmeta is removed first, so that a failed run never leaves the diagram of
// another sounding behind. Exit status 0 when gmeta was written, 1 when the
// input cannot be read or the drawing failed, 2 on a wrong command line.
// SIGINT, SIGTERM or SIGHUP stop NCL and end the run with status 128 + the
// signal's number, leaving nothing behind (no directory, no metafile).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ncl_script.h"
#include "rawinq/interruption.h"
#include "rawinq/regular_file.h"
#include "skewt_plot.h"
#include "zir_block.h"

namespace {

const char kMetafile[] = "gmeta";
// A sounding block is a few kB; no more than this is read.
constexpr std::size_t kMaxInput = 16 << 20;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void on_interruption(int signal_number) {
  if (interrupted == 0) interrupted = signal_number;
}

// The signals waited for while NCL draws: its end, and the interruptions.
sigset_t waited_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGCHLD);
  for (int s : kInterruptionSignals) sigaddset(&set, s);
  return set;
}

// Stops NCL: asked to end, then, after two seconds, killed.
void stop_child(pid_t pid, int* status) {
  kill(pid, SIGTERM);
  for (int k = 0; k < 20; ++k) {
    if (waitpid(pid, status, WNOHANG) == pid) return;
    usleep(100000);
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
  }
}

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
// started or the run was interrupted (NCL is then stopped).
int run_ncl(const std::string& script, const std::string& log) {
  std::cout.flush();
  // The signals stay pending until waited for, so that none is missed
  // between the start of NCL and the wait.
  const sigset_t waited = waited_signals();
  sigset_t before;
  sigprocmask(SIG_BLOCK, &waited, &before);
  if (interrupted != 0) {
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return -1;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return -1;
  }
  if (pid == 0) {
    sigprocmask(SIG_SETMASK, &before, nullptr);
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
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    const int sig = sigwaitinfo(&waited, nullptr);
    if (sig > 0 && sig != SIGCHLD) {
      interrupted = sig;
      stop_child(pid, &status);
      status = -1;
      break;
    }
  }
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return status;
}

// The text of the input file: a regular file, opened without waiting (a
// FIFO would wait for a writer) and read up to kMaxInput bytes.
bool read_input(const std::string& input, std::string& text) {
  const OpenedFile opened = open_regular_file(input);
  if (!opened.file) {
    std::cerr << "drovane: " << input << ": " << opened.reason() << "\n";
    return false;
  }
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, opened.file.get())) > 0) {
    text.append(buf, n);
    if (text.size() > kMaxInput) {
      std::cerr << "drovane: " << input << ": too large for a sounding block\n";
      return false;
    }
  }
  if (std::ferror(opened.file.get())) {
    std::cerr << "drovane: " << input << ": " << std::strerror(errno) << "\n";
    return false;
  }
  return true;
}

int draw(const std::string& input) {
  if (unlink(kMetafile) != 0 && errno != ENOENT) {
    std::cerr << "drovane: cannot replace " << kMetafile << ": "
              << std::strerror(errno) << "\n";
    return 1;
  }
  std::string text;
  if (!read_input(input, text)) return 1;
  std::istringstream in(text);
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
  if (interrupted != 0) {  // the directory goes with `work`
    unlink(drawn.c_str());
    return 128 + interrupted;
  }
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
  install_interruption_handler(on_interruption, SA_RESTART);
  try {
    return draw(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "drovane: " << e.what() << "\n";
    return 1;
  }
}
