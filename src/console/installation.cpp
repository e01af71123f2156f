// Files installed with the programs, found from the program's own directory
// so that an installation works under any prefix.
#include "rawinq/installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

namespace {

// Why path cannot be trusted to hold what its owner put there: it belongs
// to someone other than root and the user, or others may write to it.
// "" when it can be trusted.
std::string untrusted(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
  if (st.st_uid != 0 && st.st_uid != geteuid())
    return path + " belongs to another user";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return path + " is writable by others";
  return "";
}

// The directory above path ("/" above "/x").
std::string parent_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

PlotterChoice choose_plotter(const std::string& program_dir) {
  PlotterChoice choice{RAWINQ_PLOTTER_PATH, ""};
  const std::string installed = beside(program_dir, RAWINQ_PLOTTER_BESIDE);
  struct stat st {};
  if (installed.empty() || stat(installed.c_str(), &st) != 0 ||
      !S_ISREG(st.st_mode) || access(installed.c_str(), X_OK) != 0) {
    return choice;
  }
  // The installation prefix: the directory the relative path starts from.
  std::string prefix = program_dir;
  for (std::string rest = RAWINQ_PLOTTER_BESIDE; rest.compare(0, 3, "../") == 0;
       rest.erase(0, 3))
    prefix = parent_of(prefix);
  // Anyone who can change the file, or any directory on its way from the
  // prefix, could make the programs run code of theirs.
  for (std::string path = installed;; path = parent_of(path)) {
    const std::string why = untrusted(path);
    if (!why.empty()) {
      choice.refused = installed + " (" + why + ")";
      return choice;
    }
    if (path == prefix || path == "/" || path == ".") break;
  }
  choice.path = installed;
  return choice;
}

std::string plotter_path(const std::string& program_dir) {
  return choose_plotter(program_dir).path;
}

std::string plotter_path() {
  const PlotterChoice choice = choose_plotter(program_directory());
  if (!choice.refused.empty())
    std::fprintf(stderr, "not starting the plotter %s: starting %s instead\n",
                 choice.refused.c_str(), choice.path.c_str());
  return choice.path;
}

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
