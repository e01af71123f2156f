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
  for (const char* d : {"usr", "usr/bin"}) chmod((dir / d).c_str(), 0755);
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
  for (const char* d : {"usr/libexec", "usr/libexec/rawinq"})
    chmod((dir / d).c_str(), 0755);
  chmod(installed.c_str(), 0644);
  EXPECT_EQ(plotter_path(bin), CONFIGURED_PLOTTER);
  chmod(installed.c_str(), 0755);
  EXPECT_EQ(plotter_path(bin), installed);
  // The build-tree test program itself has none beside it.
  EXPECT_EQ(plotter_path(), CONFIGURED_PLOTTER);
}

// A plotter beside the programs that someone else could have put there or
// could change is not run: the build-time path is, and the one refused is
// named with the reason. Root may change anything; another owner is made
// with chown, which needs root, and the bits for "others may write" bind
// whoever runs the test.
TEST(InstallationPaths, PlotterBesideTheProgramsOnlyWhenNoOneElseCanChangeIt) {
  const struct Case {
    const char* path;  // under the prefix; "" is the prefix itself
    mode_t mode;       // 0: left as it is
    uid_t owner;       // 0: left as it is
    const char* why;   // "" when the plotter is trusted
  } cases[] = {
      {"", 0, 0, ""},
      {"libexec/rawinq/drovane", 0775, 0, "libexec/rawinq/drovane is writable by others"},
      {"libexec/rawinq/drovane", 0757, 0, "libexec/rawinq/drovane is writable by others"},
      {"libexec/rawinq", 0777, 0, "libexec/rawinq is writable by others"},
      {"libexec", 0775, 0, "libexec is writable by others"},
      // A build directory made right in a world-writable directory.
      {"", 01777, 0, "prefix is writable by others"},
      {"libexec/rawinq/drovane", 0, 4242, "libexec/rawinq/drovane belongs to another user"},
      {"libexec", 0, 4242, "libexec belongs to another user"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string prefix = dir / "prefix";
    make_dir(prefix + "/bin");
    make_dir(prefix + "/libexec/rawinq");
    const std::string plotter = prefix + "/libexec/rawinq/drovane";
    write_file(plotter, "#!/bin/sh\n");
    for (const std::string& p : {prefix, prefix + "/bin", prefix + "/libexec",
                                 prefix + "/libexec/rawinq", plotter})
      chmod(p.c_str(), 0755);
    const std::string target = *c.path ? prefix + "/" + c.path : prefix;
    if (c.mode != 0) chmod(target.c_str(), c.mode);
    if (c.owner != 0 && chown(target.c_str(), c.owner, static_cast<gid_t>(-1)) != 0)
      continue;  // only root gives files away
    const PlotterChoice choice = choose_plotter(prefix + "/bin");
    if (*c.why == '\0') {
      EXPECT_EQ(choice.path, plotter);
      EXPECT_EQ(choice.refused, "");
      continue;
    }
    std::string why = c.why;
    if (why.rfind("prefix ", 0) == 0) why = prefix + why.substr(6);
    else why = prefix + "/" + why;
    EXPECT_EQ(choice.path, CONFIGURED_PLOTTER) << c.why;
    EXPECT_EQ(choice.refused, plotter + " (" + why + ")");
  }
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
