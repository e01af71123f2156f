// Starting outside programs (the plotter and the metafile translator). In
// an object file of its own, so that a test program linked with the core
// library can put its own in its place.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rawinq/output.h"

int run_command(const std::string& command) {
  std::fflush(stdout);
  return std::system(command.c_str());
}
