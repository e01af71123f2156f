// Where the programs find what is installed with them: the plotter in
// <bindir>/../libexec/rawinq, the support files and the sample archive in
// <bindir>/../share/rawinq (the relative paths are set at build time).
#pragma once

#include <string>

// Directory of the running program, from /proc/self/exe ("" when unknown).
std::string program_directory();

// The plotter that the skew-T output starts: the one installed beside the
// programs of program_dir when it is an executable file there that can be
// trusted, else the path fixed at build time (the build directory's copy).
// It is trusted when the file and every directory above it up to the
// installation prefix belong to root or to the user and no one else may
// write to them; `refused` then names the one not trusted and why.
struct PlotterChoice {
  std::string path;
  std::string refused;
};
PlotterChoice choose_plotter(const std::string& program_dir);
std::string plotter_path(const std::string& program_dir);
// The same for the running program; a refused plotter is named on
// standard error.
std::string plotter_path();

// The installed data directory (support/ and sample-archive/) beside the
// programs of program_dir; "" when there is none.
std::string installed_data_dir(const std::string& program_dir);

// Version of the programs.
const char* program_version();
