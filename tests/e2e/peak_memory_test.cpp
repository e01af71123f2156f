// Peak memory does not grow with the size of a request: a request of one
// station for one month and a request of every station of the sample
// archive for all its years (some 26000 soundings) peak within 10% of each
// other, for each output format and file structure. The program's tables
// are fixed, records are read one at a time and every output file is closed
// before the next is begun, so nothing should grow with the soundings
// written; 10% leaves room for the allocator's and the libraries' own
// buffers while catching anything kept per sounding or per file (even
// 100 bytes per file would add some 2.6 MB, a fifth of the peak).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "igra2_text.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Peak {
  long kb = -1;
  int status = -1;
  size_t files = 0;
};

// Runs rawinq over the sample archive through the probe, in a fresh
// working directory (in memory when the system has a memory file system)
// with an empty out/.
Peak peak_of(const std::string& answers) {
  TempDir work("/dev/shm");
  make_dir(work / "out");
  RunOptions o;
  o.cwd = work.path();
  o.timeout_seconds = 300;
  const RunResult r = run_program(
      PEAK_MEMORY_PROBE_BIN,
      {rawinq_bin(), source_dir() + "/data/sample-archive/",
       source_dir() + "/data/support/", "500"},
      answers, o);
  Peak p;
  std::sscanf(r.err.c_str(), "peak_rss_kb %ld\nstatus %d", &p.kb, &p.status);
  p.files = dir_entries(work / "out").size();
  return p;
}

// The answers up to the output format: one station (DEN) for January 1995
// at 0z and 12z, or all global data for 1995 to 2003 at all hours.
const std::string kSmall =
    "\n1995010100\n1995013112\n1\n0\n0\nn\n1\n72469\n";
const std::string kLarge = "\n1995010100\n2003123123\n0\n3\n";

// What a run should show: its exit status (the count of soundings in the
// last file) and the number of files in out/.
struct Outcome {
  int status;
  size_t files;
};

void expect_flat(const std::string& what, const std::string& output,
                 Outcome small_outcome, Outcome large_outcome) {
  if (kMemoryChecker) GTEST_SKIP() << "peak memory under a checker";
  const Peak small = peak_of(kSmall + output);
  const Peak large = peak_of(kLarge + output);
  ASSERT_GT(small.kb, 0) << what;
  ASSERT_GT(large.kb, 0) << what;
  EXPECT_EQ(small.status, small_outcome.status) << what;
  EXPECT_EQ(large.status, large_outcome.status) << what;
  EXPECT_EQ(small.files, small_outcome.files) << what;
  EXPECT_EQ(large.files, large_outcome.files) << what;
  EXPECT_LE(large.kb, small.kb + small.kb / 10)
      << what << ": " << small.kb << " kB for one station and month, "
      << large.kb << " kB for the whole archive";
}

// The sample archive holds 62 soundings of DEN at 0z and 12z in January
// 1995 and 25995 in all; the status keeps the count's low 8 bits.
const Outcome kSmallInOneFile = {62, 1};
const Outcome kLargeInOneFile = {25995 & 0xFF, 1};

TEST(PeakMemory, ZirInOneFileInBothOrders) {
  // ZIR above 100 mb, all levels, m/s; synoptic or climatological order;
  // all data in one file.
  expect_flat("synoptic", "0\ny\n0\n1\n0\n1\nout\n0\nn\nn\n",
              kSmallInOneFile, kLargeInOneFile);
  expect_flat("climatological", "0\ny\n0\n1\n1\n1\nout\n0\nn\nn\n",
              kSmallInOneFile, kLargeInOneFile);
}

TEST(PeakMemory, OneFilePerSounding) {
  // FAA604 in synoptic order: every sounding its own coded-message file.
  expect_flat("FAA604", "1\n0\n0\n1\nout\n5\nn\nn\n", {1, 62},
              {1, 25995});
}

TEST(PeakMemory, NetcdfInOneFile) {
  expect_flat("NetCDF", "2\ny\n0\n0\nout\n0\nn\nn\n", kSmallInOneFile,
              kLargeInOneFile);
}

// Peak resident memory (kB) of rawinq-pack packing an IGRA2 file of
// `soundings` soundings of 40 levels each.
long pack_peak_kb(int soundings) {
  using testing_support::igra_header;
  using testing_support::igra_level;
  TempDir dir("/dev/shm");
  std::string text;
  for (int k = 0; k < soundings; ++k) {
    text += igra_header("USM00072469", 1950 + k / 720, 1 + k / 60 % 12,
                        1 + k / 2 % 28, k % 2 * 12, 9999, 40);
    for (int l = 0; l < 40; ++l)
      text += igra_level(l == 0 ? "21" : "20", 100000 - l * 2000, l * 300,
                         150 - l * 10, 500, 30, l * 9, 50 + l);
  }
  write_file(dir / "in.txt", text);
  RunOptions o;
  o.timeout_seconds = 120;
  const RunResult r =
      run_program(PEAK_MEMORY_PROBE_BIN,
                  {binary_dir() + "/rawinq-pack", "--from", "igra2", dir / "db", dir / "in.txt"},
                  "", o);
  long kb = -1;
  int status = -1;
  std::sscanf(r.err.c_str() + r.err.find("peak_rss_kb"),
              "peak_rss_kb %ld\nstatus %d", &kb, &status);
  EXPECT_EQ(status, 0) << r.err.substr(0, 2000);
  return kb;
}

// Records are spooled to a temporary file as they are read: packing 25
// times more soundings (some 60 MB of text) keeps the peak within 2 MB,
// where holding the input or its records would add tens of MB.
TEST(PeakMemory, RawinqPackDoesNotGrowWithItsInput) {
  if (kMemoryChecker) GTEST_SKIP() << "peak memory under a checker";
  const long small = pack_peak_kb(1000);
  const long large = pack_peak_kb(25000);
  ASSERT_GT(small, 0);
  EXPECT_LT(large, small + 2048) << small << " kB, then " << large << " kB";
}


}  // namespace
