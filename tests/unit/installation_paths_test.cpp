// Where the programs look for what is installed with them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "rawinq/installation.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(InstallationPaths, PlotterBesideTheProgramsWhenExecutableElseBuildTree) {
  TempDir dir;
  make_dir(dir / "usr/bin");
  const std::string bin = dir / "usr/bin";
  const std::string installed = dir / "usr/libexec/rawinq/drovane";
  // None installed: the build directory's copy.
  EXPECT_EQ(plotter_path(bin), CONFIGURED_PLOTTER);
  EXPECT_EQ(plotter_path(""), CONFIGURED_PLOTTER);
  // A directory of that name, or a file that cannot be run, is not it.
  make_dir(installed);
  EXPECT_EQ(plotter_path(bin), CONFIGURED_PLOTTER);
  rmdir(installed.c_str());
  write_file(installed, "#!/bin/sh\n");
  chmod(installed.c_str(), 0644);
  EXPECT_EQ(plotter_path(bin), CONFIGURED_PLOTTER);
  chmod(installed.c_str(), 0755);
  EXPECT_EQ(plotter_path(bin), installed);
  // The build-tree test program itself has none beside it.
  EXPECT_EQ(plotter_path(), CONFIGURED_PLOTTER);
}

TEST(InstallationPaths, DataDirectoryOnlyWhenItsSupportFilesAreThere) {
  TempDir dir;
  make_dir(dir / "bin");
  EXPECT_EQ(installed_data_dir(dir / "bin"), "");
  make_dir(dir / "share/rawinq/support");
  EXPECT_EQ(installed_data_dir(dir / "bin"), dir / "share/rawinq");
  EXPECT_EQ(installed_data_dir(program_directory()), "");
  EXPECT_EQ(program_directory(), binary_dir() + "/tests");
}

}  // namespace
