// The README's commands, run as a new user runs them after the set-up:
// every block of shell commands (```sh) in turn, from one working
// directory where build/ is the build tree and data/ the project's data, so
// that the README cannot drift from the programs. The blocks marked
// ```console are the set-up, installation and long maintenance runs
// (scripts/, cmake, apt-get), which the scripts run themselves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

// The README's ```sh blocks, in order.
std::vector<std::string> shell_blocks() {
  const std::string text = read_file(source_dir() + "/README.md");
  std::vector<std::string> blocks;
  std::size_t at = 0;
  while ((at = text.find("\n```sh\n", at)) != std::string::npos) {
    at += 7;
    const std::size_t end = text.find("\n```\n", at);
    if (end == std::string::npos) break;
    blocks.push_back(text.substr(at, end + 1 - at));
    at = end;
  }
  return blocks;
}

bool is_dialogue(const std::string& block) {
  return block.find("| build/rawinq ") != std::string::npos;
}

// A block of the Python module's, in a tree that has no module: the
// instrumented trees build none (its own tests run in the plain tree).
bool needs_absent_module(const std::string& block) {
  return (RAWINQ_ADDRESS_CHECKER || RAWINQ_THREAD_CHECKER) &&
         block.find("PYTHONPATH=build/python") != std::string::npos;
}

class Readme : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(symlink(binary_dir().c_str(), (dir / "build").c_str()), 0);
    ASSERT_EQ(symlink((source_dir() + "/data").c_str(), (dir / "data").c_str()),
              0);
  }
  RunResult run_block(const std::string& block) {
    RunOptions o;
    o.cwd = dir.path();
    // The plots need no display; python3 is Debian's, with its
    // python3-xarray and python3-pandas, whatever else is on the PATH.
    o.extra_env = {"DISPLAY=", "PATH=/usr/bin:/bin"};
    return run_program("/bin/sh", {"-c", block}, "", o);
  }
  TempDir dir;
};

// The scripted dialogue: WMO 72469, January 1995, 0z and 12z, ZIR in knots,
// one file per day in out/.
TEST_F(Readme, DialogueExtractsJanuary1995ForDenverIntoDailyFiles) {
  std::string dialogue;
  for (const std::string& b : shell_blocks())
    if (is_dialogue(b)) dialogue = b;
  ASSERT_NE(dialogue, "") << "the README shows no scripted dialogue";
  const RunResult r = run_block(dialogue);
  // The status is the count of the last retrieval's last file: 31 January
  // holds the 00 and 12 UTC soundings.
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> files = dir_entries(dir / "out");
  ASSERT_EQ(files.size(), 31u);
  EXPECT_EQ(files.front(), "1995010100.txt");
  EXPECT_EQ(files.back(), "1995013100.txt");
  const std::string first = read_file(dir / "out/1995010100.txt");
  EXPECT_EQ(first.rfind("    254      0      1      JAN    1995\n"
                        "      1  23062  72469  39.77N104.87W  1611 ",
                        0),
            0u);
  EXPECT_EQ(count_of(first, "      JAN    1995\n"), 2);  // two date lines
  EXPECT_TRUE(r.out.size() > 2 &&
              r.out.compare(r.out.size() - 2, 2, "\b\b") == 0)
      << "the run ends at the request-more question";
}

// Every block in turn, each ending well; then what the common jobs leave.
TEST_F(Readme, EveryCommandRuns) {
  const std::vector<std::string> blocks = shell_blocks();
  ASSERT_GE(blocks.size(), 6u);
  for (const std::string& b : blocks) {
    if (needs_absent_module(b)) continue;
    const RunResult r = run_block(b);
    EXPECT_EQ(r.status, is_dialogue(b) ? 2 : 0) << b << r.err;
  }
  // A month of Denver as CSV.
  const std::vector<std::string> csv = dir_entries(dir / "csv");
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_GT(count_of(read_file(dir / ("csv/" + csv[0])), "\n72469,"), 62 * 10);
  // The IGRA2 file, filed under Denver's WBAN number, read back.
  EXPECT_TRUE(file_exists(dir / "mine/Raob1995/23062_95.buf"));
  EXPECT_EQ(dir_entries(dir / "igra-csv").size(), 1u);
  // The skew-T plot.
  EXPECT_EQ(read_file(dir / "plots/72469_DEN_1995070100.png").substr(1, 3),
            "PNG");
  // The script's own soundings, packed and read back.
  EXPECT_TRUE(file_exists(dir / "own/Raob1995/23062_95.buf"));
}

}  // namespace
