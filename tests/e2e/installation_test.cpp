// The programs as installed by `cmake --install`, and their --help and
// --version: the installed layout, the installed programs finding the
// installed plotter and data, and the options that only stand alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

const std::string kClearScreen = "\033[2J";

TEST(ProgramOptions, VersionAloneWritesNameAndVersion) {
  for (const auto& [bin, name] :
       {std::pair{rawinq_bin(), "rawinq"}, {rawinq_na_bin(), "rawinq_na"}}) {
    const RunResult r = run_program(bin, {"--version"}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(name) + " " + RAWINQ_VERSION_TEXT + "\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(ProgramOptions, HelpAloneWritesUsageOfEachEdition) {
  const RunResult g = run_program(rawinq_bin(), {"--help"}, "");
  EXPECT_EQ(g.status, 0);
  EXPECT_EQ(g.err, "");
  EXPECT_EQ(g.out.rfind(
                "usage: rawinq [DATABASE_DIR [SUPPORT_DIR [PAGE_LENGTH]]]\n"
                "       rawinq --help | --version\n",
                0),
            0u)
      << g.out;
  for (const char* text :
       {"  DATABASE_DIR  ", "  SUPPORT_DIR   ", "  PAGE_LENGTH   ",
        "raobhelp.txt", "stat2000.txt and international_sites.txt",
        "looked up in the\n                working directory",
        "with no argument in \"[]/\"", "rawinq(1)"}) {
    EXPECT_NE(g.out.find(text), std::string::npos) << text;
  }
  // The build-tree program has no installed data beside it.
  EXPECT_EQ(g.out.find("Installed"), std::string::npos);

  const RunResult na = run_program(rawinq_na_bin(), {"--help"}, "");
  EXPECT_EQ(na.status, 0);
  EXPECT_EQ(na.out.rfind("usage: rawinq_na [DATABASE_DIR", 0), 0u);
  EXPECT_NE(na.out.find("catalogue stat2000.txt;"), std::string::npos);
  EXPECT_EQ(na.out.find("international_sites.txt"), std::string::npos);
  EXPECT_NE(na.out.find("Raob95"), std::string::npos);
}

TEST(ProgramOptions, WithOtherArgumentsTheyAreDirectories) {
  // "--help" before a support directory is a database directory: the
  // dialogue starts, finds no year there and ends.
  TempDir dir;
  const RunResult r = run_program(
      rawinq_bin(), {"--help", source_dir() + "/data/support"}, "\n", 
      [&] { RunOptions o; o.cwd = dir.path(); return o; }());
  EXPECT_EQ(r.out.rfind(kClearScreen, 0), 0u);
  EXPECT_EQ(r.out.find("usage:"), std::string::npos);
  // With no argument at all the support files are looked up in "[]/".
  const RunResult none = run_program(rawinq_bin(), {}, "\n");
  EXPECT_NE(none.out.find("raobhelp.txt was not found in: []/"),
            std::string::npos);
  // Two options are two arguments, not an option.
  const RunResult two = run_program(rawinq_bin(), {"--version", "--help"}, "\n");
  EXPECT_EQ(two.out.rfind(kClearScreen, 0), 0u);
}

// An installation into a fresh prefix, removed afterwards.
class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new TempDir;
    const std::string log = shell_output(
        std::string("'") + CMAKE_COMMAND_PATH + "' --install '" +
        binary_dir() + "' --prefix '" + prefix_->path() + "' 2>&1; echo rc=$?");
    install_log_ = new std::string(log);
  }
  static void TearDownTestSuite() {
    delete prefix_;
    delete install_log_;
  }
  static std::string at(const std::string& rel) { return *prefix_ / rel; }

  static TempDir* prefix_;
  static std::string* install_log_;
};
TempDir* Installed::prefix_ = nullptr;
std::string* Installed::install_log_ = nullptr;

TEST_F(Installed, LaysOutProgramsPlotterDataAndManualPages) {
  ASSERT_NE(install_log_->find("rc=0"), std::string::npos) << *install_log_;
  for (const char* f :
       {"bin/rawinq", "bin/rawinq_na", "bin/rawinq-dump", "bin/rawinq-pack",
        "libexec/rawinq/drovane"}) {
    struct stat st {};
    ASSERT_EQ(stat(at(f).c_str(), &st), 0) << f;
    EXPECT_TRUE(st.st_mode & S_IXUSR) << f;
  }
  for (const char* f :
       {"share/rawinq/support/raobhelp.txt", "share/rawinq/support/stat2000.txt",
        "share/rawinq/support/international_sites.txt",
        "share/rawinq/sample-archive/README.txt",
        "share/rawinq/sample-archive/Raob1995/23062_95.buf",
        "share/rawinq/sample-archive/Raob95/23062_95.buf",
        "share/man/man1/rawinq.1", "share/man/man1/rawinq_na.1",
        "share/man/man1/rawinq-pack.1", "share/man/man1/rawinq-dump.1",
        "share/man/man1/rawinq-extract.1"}) {
    EXPECT_TRUE(file_exists(at(f))) << f;
  }
  // Installed files are those of the source and build trees.
  EXPECT_EQ(read_file(at("share/rawinq/support/stat2000.txt")),
            read_file(source_dir() + "/data/support/stat2000.txt"));
  EXPECT_EQ(read_file(at("share/rawinq/sample-archive/Raob2003/I10868_03.buf")),
            read_file(source_dir() + "/data/sample-archive/Raob2003/I10868_03.buf"));
  // Nothing of the plotter or the developers' tools in bin/; the server,
  // its page's files, manual page and systemd unit where it is built.
  std::vector<std::string> programs{"rawinq", "rawinq-dump", "rawinq-extract",
                                    "rawinq-pack", "rawinq_na"};
  if (RAWINQ_SERVE_BUILT) {
    programs.insert(programs.begin() + 4, "rawinq-serve");
    for (const char* f : {"share/rawinq/web/app.js", "share/rawinq/web/style.css",
                          "share/man/man1/rawinq-serve.1",
                          "lib/systemd/system/rawinq-serve.service"})
      EXPECT_TRUE(file_exists(at(f))) << f;
    // The unit names the configured prefix's program (the package's /usr).
    const std::string unit = read_file(at("lib/systemd/system/rawinq-serve.service"));
    EXPECT_NE(unit.find("/bin/rawinq-serve $RAWINQ_SERVE_OPTIONS ${RAWINQ_ARCHIVE} "
                        "${RAWINQ_SUPPORT}\n"),
              std::string::npos);
    EXPECT_NE(unit.find("\nSuccessExitStatus=143\n"), std::string::npos);
  }
  EXPECT_EQ(dir_entries(at("bin")), programs);
}

TEST_F(Installed, HelpNamesTheInstalledData) {
  const RunResult r = run_program(at("bin/rawinq"), {"--help"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nInstalled support files:  " +
                       at("share/rawinq/support") +
                       "\nInstalled sample archive: " +
                       at("share/rawinq/sample-archive") + "\n"),
            std::string::npos)
      << r.out;
}

TEST_F(Installed, BothEditionsReadTheInstalledSampleArchive) {
  // WMO 72469, 1 January 1995, both hours, ZIR into out/, one file; the
  // North-American edition reads the year directory Raob95.
  const std::string answers =
      "\n1995010100\n1995010112\n1\n0\n0\nN\n1\n72469\n0\nY\n0\n1\n0\n1\nout\n0\nN\nN\n";
  std::string texts[2];
  for (int k = 0; k < 2; ++k) {
    TempDir dir;
    make_dir(dir / "out");
    RunOptions o;
    o.cwd = dir.path();
    const RunResult r = run_program(
        at(k == 0 ? "bin/rawinq" : "bin/rawinq_na"),
        {at("share/rawinq/sample-archive"), at("share/rawinq/support")},
        answers, o);
    EXPECT_EQ(r.status, 2) << r.out;
    const std::vector<std::string> files = dir_entries(dir / "out");
    ASSERT_EQ(files, std::vector<std::string>{"1995010100.txt"});
    texts[k] = read_file(dir / "out/1995010100.txt");
  }
  EXPECT_EQ(count_of(texts[0], "      JAN    1995\n"), 2);
  EXPECT_EQ(texts[0].rfind("    254      0      1      JAN    1995\n"
                           "      1  23062  72469  39.77N104.87W  1611 ",
                           0),
            0u);
  EXPECT_TRUE(texts[1] == texts[0]);
}

TEST_F(Installed, SkewTOutputStartsTheInstalledPlotter) {
  // The installed plotter is replaced by a stand-in that says where it ran
  // from; the translator is a stand-in too.
  TempDir dir;
  const std::string plotter = at("libexec/rawinq/drovane");
  write_file(plotter, "#!/bin/sh\necho \"$0 $*\" >> '" + (dir / "calls") +
                          "'\n: > gmeta\n");
  chmod(plotter.c_str(), 0755);
  make_dir(dir / "bin");
  write_file(dir / "bin/ctrans", "#!/bin/sh\nexit 0\n");
  chmod((dir / "bin/ctrans").c_str(), 0755);
  RunOptions o;
  o.cwd = dir.path();
  o.extra_env = {"PATH=" + (dir / "bin") + ":/usr/bin:/bin"};
  // One sounding (1 January 1995, 00 UTC) to the plot; no PostScript.
  const RunResult r = run_program(
      at("bin/rawinq"),
      {at("share/rawinq/sample-archive"), at("share/rawinq/support")},
      "\n1995010100\n1995010112\n2\n0\n0\nN\n1\n72469\n3\n0\nN\nN\nN\n", o);
  EXPECT_EQ(read_file(dir / "calls"), plotter + " raob_soundings.zonder\n")
      << r.out;
}

}  // namespace
