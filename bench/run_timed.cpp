// run_timed: runs a program once and prints, on one line, its wall time
// and its user and system CPU seconds (microseconds, from wait4), its peak
// resident memory in kB and its exit status:
//
//   run_timed [--nofile N] [--stdout FILE] PROGRAM [ARGS...]
//   -> wall_s user_s sys_s maxrss_kb status
//
// --nofile sets the program's descriptor limit (RLIMIT_NOFILE, soft and
// hard); its standard output goes to FILE (/dev/null by default), its
// standard error is left as it is.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

int usage() {
  std::fprintf(stderr,
               "usage: run_timed [--nofile N] [--stdout FILE] PROGRAM [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long nofile = -1;
  std::string out = "/dev/null";
  int a = 1;
  for (; a + 1 < argc; a += 2) {
    const std::string opt = argv[a];
    if (opt == "--nofile") {
      char* end = nullptr;
      nofile = std::strtol(argv[a + 1], &end, 10);
      if (end == argv[a + 1] || *end != '\0' || nofile < 8) return usage();
    } else if (opt == "--stdout") {
      out = argv[a + 1];
    } else {
      break;
    }
  }
  if (a >= argc) return usage();

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("run_timed: fork");
    return 2;
  }
  if (pid == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
    close(fd);
    if (nofile > 0) {
      const rlimit rl{static_cast<rlim_t>(nofile), static_cast<rlim_t>(nofile)};
      if (setrlimit(RLIMIT_NOFILE, &rl) != 0) _exit(126);
    }
    execv(argv[a], argv + a);
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  while (wait4(pid, &status, 0, &ru) < 0) {
    if (errno != EINTR) {
      std::perror("run_timed: wait4");
      return 2;
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  const int code = WIFEXITED(status) ? WEXITSTATUS(status)
                                     : 128 + WTERMSIG(status);
  std::printf("%.6f %.6f %.6f %ld %d\n", wall, seconds(ru.ru_utime),
              seconds(ru.ru_stime), ru.ru_maxrss, code);
  return 0;
}
