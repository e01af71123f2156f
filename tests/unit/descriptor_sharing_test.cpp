// The synoptic driver under a descriptor limit too low to hold every station
// file of a year open: the files beyond the limit share one descriptor and
// every station is still read.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "retrieval_fixture.h"
#include "test_support.h"

namespace {

using retrieval_test::count_of;
using retrieval_test::read_file;
using retrieval_test::sounding;
using retrieval_test::unreadable;
using retrieval_test::zir_soundings;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::TempDir;

class DescriptorSharing : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::make_dir(dir / "out");
    for (long w = 10001; w <= 10005; ++w) {
      paths.push_back(archive_writer::write_station_year(
          dir / "db", 1995, w,
          {sounding(1995, 1, 1, 0, w), sounding(1995, 1, 2, 12, w)}));
    }
  }
  RunResult probe(long nofile, bool trace) {
    RunOptions opt;
    opt.nofile_limit = nofile;
    return testing_support::run_program(
        DESCRIPTOR_PROBE_BIN,
        {dir / "db", dir / "out", "5", trace ? "1" : "0"}, "", opt);
  }
  // The first descriptor the probe finds free when started.
  long first_free() {
    const RunResult r = probe(-1, false);
    long fd = -1;
    std::sscanf(r.err.c_str(), "free fd %ld", &fd);
    return fd;
  }
  TempDir dir;
  std::vector<std::string> paths;
};

const std::vector<std::string> kAllTen = {
    "10001@1995010100", "10002@1995010100", "10003@1995010100",
    "10004@1995010100", "10005@1995010100", "10001@1995010212",
    "10002@1995010212", "10003@1995010212", "10004@1995010212",
    "10005@1995010212"};

TEST_F(DescriptorSharing, AllFilesOpenWhenDescriptorsSuffice) {
  const RunResult r = probe(-1, true);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("result 10\n"), std::string::npos);
  for (const auto& p : paths) {
    EXPECT_EQ(count_of(r.out, "2 attempt to open file: \n" + p + " \n\n"), 1);
  }
}

TEST_F(DescriptorSharing, ThreeDescriptorsServeFiveStationFiles) {
  const long fd = first_free();
  ASSERT_GE(fd, 3);
  // Three station files, the reserve and then the output file.
  const RunResult r = probe(fd + 4, true);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("result 10\n"), std::string::npos) << r.out;
  EXPECT_EQ(count_of(r.out, "WARNING"), 0) << r.out;
  EXPECT_EQ(zir_soundings(read_file(dir / "out/1995010100.txt")), kAllTen);
  // The first two files keep their own descriptors; the third and the two
  // that could not be opened take turns with the third descriptor.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(count_of(r.out, "2 attempt to open file: \n" + paths[i] +
                                  " \n\n"),
              1)
        << i;
  }
  for (int i = 2; i < 5; ++i) {
    EXPECT_GT(count_of(r.out, "2 attempt to open file: \n" + paths[i] +
                                  " \n\n"),
              2)
        << i;
  }
}

TEST_F(DescriptorSharing, OneDescriptorServesEveryFile) {
  const long fd = first_free();
  ASSERT_GE(fd, 3);
  const RunResult r = probe(fd + 2, false);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("result 10\n"), std::string::npos) << r.out;
  EXPECT_EQ(zir_soundings(read_file(dir / "out/1995010100.txt")), kAllTen);
}

// More station files than slots with a read-ahead of their own under the
// old budget of 512 (every slot now keeps one), most of them taking turns
// with one descriptor: a shared slot that finds its next record in its own
// chunk reads it from there without the descriptor, and every sounding is
// still written once, in the same order as with every file open.
TEST(DescriptorSharingMany, SixHundredStationFilesUnderSixtyFourDescriptors) {
  TempDir dir;
  testing_support::make_dir(dir / "open");
  testing_support::make_dir(dir / "shared");
  constexpr long kStations = 600;
  for (long w = 10001; w <= 10000 + kStations; ++w)
    archive_writer::write_station_year(
        dir / "db", 1995, w,
        {sounding(1995, 1, 1, 0, w), sounding(1995, 1, 1, 12, w),
         sounding(1995, 1, 2, 0, w)});
  const auto run = [&](long nofile, const std::string& out) {
    RunOptions opt;
    opt.nofile_limit = nofile;
    return testing_support::run_program(
        DESCRIPTOR_PROBE_BIN,
        {dir / "db", dir / out, std::to_string(kStations), "0"}, "", opt);
  };
  const RunResult open = run(-1, "open");
  const RunResult shared = run(64, "shared");
  ASSERT_EQ(open.status, 0) << open.err;
  ASSERT_EQ(shared.status, 0) << shared.err;
  EXPECT_NE(shared.out.find("result 1800\n"), std::string::npos) << shared.out;
  EXPECT_EQ(count_of(shared.out, "WARNING"), 0);
  const std::string text = read_file(dir / "shared/1995010100.txt");
  const std::vector<std::string> soundings = zir_soundings(text);
  ASSERT_EQ(soundings.size(), 3u * kStations);
  EXPECT_EQ(soundings[kStations - 1], "10600@1995010100");
  EXPECT_EQ(soundings[2 * kStations - 1], "10600@1995010112");
  EXPECT_EQ(text, read_file(dir / "open/1995010100.txt"));
}

TEST_F(DescriptorSharing, FileThatCannotBeReopenedIsReportedOncePerMonth) {
  const long fd = first_free();
  ASSERT_GE(fd, 3);
  // The fifth station's file becomes a socket: its first open fails for
  // want of a descriptor, every reopen in its turn fails for good.
  std::remove(paths[4].c_str());
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(paths[4].size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, paths[4].c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const RunResult r = probe(fd + 4, false);
  close(sock);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("result 8\n"), std::string::npos) << r.out;
  EXPECT_EQ(count_of(r.out, "WARNING"), 1) << r.out;
  EXPECT_EQ(count_of(r.out, unreadable(paths[4])), 1);
}

}  // namespace
