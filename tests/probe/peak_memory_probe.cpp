// Runs a program and reports its peak resident memory.
//   peak_memory_probe PROGRAM [ARGUMENTS...]
// The program inherits standard input and output; when it has ended,
// "peak_rss_kb N" (getrusage RUSAGE_CHILDREN, ru_maxrss) and "status S" go
// to standard error. The probe is a small program of its own because a
// child's peak includes the memory of the process it was forked from.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int wstatus = 0;
  if (waitpid(pid, &wstatus, 0) != pid) return 2;
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  std::fprintf(stderr, "peak_rss_kb %ld\nstatus %d\n", usage.ru_maxrss,
               WIFEXITED(wstatus) ? WEXITSTATUS(wstatus)
                                  : 128 + WTERMSIG(wstatus));
  return 0;
}
