// Files installed with the programs, found from the program's own directory
// so that an installation works under any prefix.
#include "rawinq/installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// program_dir joined with a relative path, its leading ".." taken off the
// directory ("/usr/bin" and "../share/rawinq" give "/usr/share/rawinq").
std::string beside(const std::string& program_dir, const std::string& relative) {
  if (program_dir.empty()) return "";
  std::string dir = program_dir;
  std::string rest = relative;
  while (rest.compare(0, 3, "../") == 0) {
    const std::size_t slash = dir.rfind('/');
    if (slash == std::string::npos || dir == "/") break;
    dir = slash == 0 ? "/" : dir.substr(0, slash);
    rest.erase(0, 3);
  }
  return dir == "/" ? "/" + rest : dir + "/" + rest;
}

}  // namespace

std::string program_directory() {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "";
    if (static_cast<std::size_t>(n) < buf.size()) {
      const std::string path(buf.data(), static_cast<std::size_t>(n));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) return "";
      return slash == 0 ? "/" : path.substr(0, slash);
    }
    buf.resize(buf.size() * 2);  // the name may have been cut: try again
  }
}

std::string plotter_path(const std::string& program_dir) {
  const std::string installed = beside(program_dir, RAWINQ_PLOTTER_BESIDE);
  struct stat st {};
  if (!installed.empty() && stat(installed.c_str(), &st) == 0 &&
      S_ISREG(st.st_mode) && access(installed.c_str(), X_OK) == 0) {
    return installed;
  }
  return RAWINQ_PLOTTER_PATH;
}

std::string plotter_path() { return plotter_path(program_directory()); }

std::string installed_data_dir(const std::string& program_dir) {
  const std::string dir = beside(program_dir, RAWINQ_DATA_BESIDE);
  struct stat st {};
  if (dir.empty() || stat((dir + "/support").c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    return "";
  }
  return dir;
}

const char* program_version() { return RAWINQ_VERSION; }
