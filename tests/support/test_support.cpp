#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() : TempDir(fs::temp_directory_path().string()) {}

TempDir::TempDir(const std::string& parent) {
  std::error_code ec;
  const fs::path base =
      fs::is_directory(parent, ec) ? fs::path(parent) : fs::temp_directory_path();
  std::string tmpl = (base / "rawinq-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Directories made unwritable by a test must be removable again.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const {
  return path_ + "/" + name;
}

WorkingDirectory::WorkingDirectory(const std::string& path)
    : saved_(fs::current_path().string()) {
  fs::current_path(path);
}

WorkingDirectory::~WorkingDirectory() {
  std::error_code ec;
  fs::current_path(saved_, ec);
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string read_and_close(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    text.append(buf, n);
  std::fclose(f);
  return text;
}

bool file_exists(const std::string& path) { return fs::exists(path); }

void make_dir(const std::string& path) { fs::create_directories(path); }

std::vector<std::string> dir_entries(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos;
       p = text.find(what, p + what.size()))
    ++n;
  return n;
}

RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const std::string& input, const RunOptions& options) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe))
    throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1],
                   err_pipe[0], err_pipe[1]})
      close(fd);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    // The program starts with the standard streams alone: nothing the test
    // runner left open takes a descriptor of its own (descriptor limits
    // count from 3).
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    if (options.nofile_limit >= 0) {
      struct rlimit rl;
      rl.rlim_cur = rl.rlim_max = static_cast<rlim_t>(options.nofile_limit);
      setrlimit(RLIMIT_NOFILE, &rl);
    }
    if (options.file_size_limit >= 0) {
      struct rlimit rl;
      rl.rlim_cur = rl.rlim_max = static_cast<rlim_t>(options.file_size_limit);
      setrlimit(RLIMIT_FSIZE, &rl);
      signal(SIGXFSZ, SIG_IGN);
    }
    if (options.address_space_limit >= 0) {
      struct rlimit rl;
      rl.rlim_cur = rl.rlim_max =
          static_cast<rlim_t>(options.address_space_limit);
      setrlimit(RLIMIT_AS, &rl);
    }
    if (!options.stdout_path.empty()) {
      const int fd = open(options.stdout_path.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0) _exit(126);
      dup2(fd, 1);
      close(fd);
    }
    for (const auto& e : options.extra_env) putenv(const_cast<char*>(e.c_str()));
    // A signal sent at a random moment may find the program in the leak
    // check that the address checker runs at exit; killed there, the check
    // reports that it lost its thread. Such a run is about what the signal
    // leaves behind, not about leaks (runs signalled at a fixed point and
    // every other run keep the check).
    std::string sanitizer_options;
    if (options.signal_number != 0 && options.signal_after_output.empty()) {
      const char* old = getenv("ASAN_OPTIONS");
      sanitizer_options = std::string(old ? old : "") + ":detect_leaks=0";
      setenv("ASAN_OPTIONS", sanitizer_options.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  signal(SIGPIPE, SIG_IGN);

  RunResult r;
  const auto start = std::chrono::steady_clock::now();
  const auto since_start = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                         start)
        .count();
  };
  size_t written = 0;
  int in_fd = in_pipe[1];
  if (input.empty()) {
    if (!options.keep_input_open) close(in_fd);
    in_fd = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(options.timeout_seconds);
  bool out_open = true, err_open = true;
  bool signal_due = options.signal_number != 0;
  while (out_open || err_open) {
    if (signal_due &&
        (options.signal_after_output.empty()
             ? since_start() >= options.signal_after_seconds
             : r.out.find(options.signal_after_output) != std::string::npos)) {
      kill(pid, options.signal_number);
      signal_due = false;
    }
    struct pollfd fds[3];
    int n = 0;
    int out_i = -1, err_i = -1, in_i = -1;
    if (out_open) { fds[n] = {out_pipe[0], POLLIN, 0}; out_i = n++; }
    if (err_open) { fds[n] = {err_pipe[0], POLLIN, 0}; err_i = n++; }
    if (in_fd >= 0) { fds[n] = {in_fd, POLLOUT, 0}; in_i = n++; }
    int wait_ms = 100;
    if (signal_due && options.signal_after_output.empty())
      wait_ms = std::clamp(
          static_cast<int>((options.signal_after_seconds - since_start()) * 1000),
          0, 100);
    const int rc = poll(fds, static_cast<nfds_t>(n), wait_ms);
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    if (rc <= 0) continue;
    char buf[65536];
    if (out_i >= 0 && (fds[out_i].revents & (POLLIN | POLLHUP))) {
      const ssize_t k = read(out_pipe[0], buf, sizeof buf);
      if (k > 0) {
        r.out.append(buf, static_cast<size_t>(k));
        r.out_arrivals.emplace_back(r.out.size(), since_start());
      } else {
        out_open = false;
      }
    }
    if (err_i >= 0 && (fds[err_i].revents & (POLLIN | POLLHUP))) {
      const ssize_t k = read(err_pipe[0], buf, sizeof buf);
      if (k > 0) r.err.append(buf, static_cast<size_t>(k)); else err_open = false;
    }
    if (in_i >= 0 && (fds[in_i].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t k = (fds[in_i].revents & POLLOUT)
                            ? write(in_fd, input.data() + written,
                                    std::min<size_t>(input.size() - written, 4096))
                            : -1;
      if (k > 0) written += static_cast<size_t>(k);
      if (k <= 0 || written == input.size()) {
        if (!options.keep_input_open) close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0 || options.keep_input_open) close(in_pipe[1]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.seconds = since_start();
  if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  else if (WIFSIGNALED(wstatus)) r.status = 128 + (r.killed_by = WTERMSIG(wstatus));
  return r;
}

double RunResult::seconds_after_output(size_t at) const {
  for (const auto& [size, when] : out_arrivals)
    if (size > at) return seconds - when;
  return seconds;
}

const char kDenEntry[] =
    "DEN 23062 72469 39.75 104.87 1611 19900101 20001231 "
    "DENVER                    CO US\n";
const char kLbfEntry[] =
    "LBF 24023 72562 41.13 100.68  847 19900101 20001231 "
    "NORTH PLATTE              NE US\n";
const char kAbqEntry[] =
    "ABQ 23050 72365 35.05 106.62 1619 19900101 20001231 "
    "ALBUQUERQUE               NM US\n";

std::string catalogue(const std::vector<std::string>& entries) {
  std::string text = std::to_string(entries.size()) + "\n";
  for (const std::string& e : entries) text += e;
  return text;
}

void write_support_files(const std::string& dir, const std::string& help,
                         const std::string& stations,
                         const std::string& international) {
  make_dir(dir);
  write_file(dir + "/raobhelp.txt", help);
  write_file(dir + "/stat2000.txt", stations);
  write_file(dir + "/international_sites.txt", international);
}

RunDir::RunDir(const std::string& help, const std::string& stations) {
  write_support_files(*this / "sup", help, stations);
}

RunResult RunDir::run(const std::string& program, const std::string& input,
                      const std::vector<std::string>& more_args) const {
  RunOptions o;
  o.cwd = path();
  std::vector<std::string> args = {*this / "db", *this / "sup"};
  args.insert(args.end(), more_args.begin(), more_args.end());
  return run_program(program, args, input, o);
}

std::string shell_output(const std::string& command) {
  return run_program("/bin/sh", {"-c", command}, "").out;
}

std::string rawinq_bin() { return RAWINQ_BIN; }
std::string rawinq_na_bin() { return RAWINQ_NA_BIN; }
std::string source_dir() { return RAWINQ_SOURCE_DIR; }
std::string binary_dir() { return RAWINQ_BINARY_DIR; }

}  // namespace testing_support
