// The README's scripted extraction, answer for answer (keep the two in
// step), over the sample archive and the shipped support files: what a new
// user tries first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

// The answers of the README example, one per line.
const std::vector<std::string> kReadmeAnswers = {
    "",  "1995010100", "1995013112", "1", "0", "0", "N", "1", "72469", "0",
    "Y", "0",          "0",          "0", "1", "out", "3", "N", "N"};

TEST(ReadmeExample, ExtractsJanuary1995ForDenverIntoDailyFiles) {
  TempDir dir;
  make_dir(dir / "out");
  std::string input;
  for (const std::string& a : kReadmeAnswers) input += a + "\n";
  RunOptions o;
  o.cwd = dir.path();
  const RunResult r =
      run_program(rawinq_bin(),
                  {source_dir() + "/data/sample-archive",
                   source_dir() + "/data/support"},
                  input, o);
  // The last file (31 January) holds the 00 and 12 UTC soundings.
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

}  // namespace
