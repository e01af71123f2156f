// rawinq-dump: the listing of a station-year file and every fault it names,
// on files made with the archive writer and then damaged byte by byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "test_support.h"

using namespace testing_support;
using archive_writer::Level;
using archive_writer::Sounding;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string dump_bin() { return binary_dir() + "/rawinq-dump"; }

Sounding sounding(int day, int hour, std::size_t nlev = 6) {
  Sounding s;
  s.year = 1995;
  s.month = 1;
  s.day = day;
  s.hour = hour;
  s.wban = 23062;
  s.reltime = hour == 0 ? 2315 : 1115;
  s.sondtype = 3;
  s.source = 1;
  s.tropind = 2;
  s.top_hyd = 3;
  s.troplv = 5;
  s.maxwind = 4;
  s.levels = {{1, 8370, 1611, 52, -18, 350, 50},
              {2, 7000, 3012, -38, -88, 270, 120},
              {2, 5000, 5600, -178, -258, 260, 250},
              {2, 3000, 9200, -438, -518, 250, 400},
              {2, 2000, 11900, -568, -678, 255, 350},
              {2, 1000, 16300, -598, -798, 270, 100}};
  s.levels.resize(nlev);
  return s;
}

// 1 January 00 and 12 UTC, 2 January 00 UTC. The index takes 34 + 15 + 10
// + 370 x 5 bytes; the records follow from byte 1909.
constexpr std::size_t kFirstRecord = 1909;
constexpr std::size_t kJan1 = 34;       // day entry of 1 January
constexpr std::size_t kJan2 = 34 + 15;  // day entry of 2 January

std::vector<Sounding> three() {
  return {sounding(1, 0), sounding(1, 12), sounding(2, 0)};
}

std::size_t record_size(const Sounding& s) {
  return archive_writer::pack_record(s).size();
}

void put_be(Bytes& b, std::size_t at, unsigned long v, int n) {
  for (int i = n - 1; i >= 0; --i, v >>= 8) b.at(at + i) = v & 0xFF;
}

struct Dumped {
  std::string out;
  int status;
};

Dumped dump(const TempDir& dir, const Bytes& file,
            const std::vector<std::string>& opts = {"-q"}) {
  const std::string path = dir / "23062_95.buf";
  write_file(path, std::string(file.begin(), file.end()));
  std::vector<std::string> args = opts;
  args.push_back(path);
  const RunResult r = run_program(dump_bin(), args, "");
  EXPECT_EQ(r.err, "");
  return {r.out, r.status};
}

class RawinqDump : public ::testing::Test {
 protected:
  Bytes file = archive_writer::pack_station_year(three());
  std::size_t l1 = record_size(sounding(1, 0));
  std::size_t l2 = record_size(sounding(1, 12));
  std::size_t second = kFirstRecord + l1;  // offset of the 12 UTC record
  std::size_t third = kFirstRecord + l1 + l2;
  TempDir dir;
  std::string path = dir / "23062_95.buf";

  std::string summary(int soundings, int days, int faults) const {
    return path + ": " + std::to_string(soundings) + " sounding" +
           (soundings == 1 ? "" : "s") + " on " + std::to_string(days) +
           " day" + (days == 1 ? "" : "s") + ", " + std::to_string(faults) +
           " fault" + (faults == 1 ? "" : "s") + "\n";
  }
  std::string fault(const std::string& where, const std::string& what) const {
    return "FAULT " + where + ": " + what + "\n";
  }
};

TEST_F(RawinqDump, ListsIndexAndDecodedHeadersOfASoundFile) {
  ASSERT_EQ(file.at(kJan1), 2);
  ASSERT_EQ(file.at(kJan1 + 6) * 16777216ul + file.at(kJan1 + 7) * 65536ul +
                file.at(kJan1 + 8) * 256ul + file.at(kJan1 + 9),
            kFirstRecord);
  const Dumped d = dump(dir, file, {});
  EXPECT_EQ(d.status, 0);
  const std::string header =
      "  wban 23062  levels 6  reltime %s  sondtype 49  source 1  tropind 2"
      "  top_hyd 5000  troplv 2000  maxwind 3000\n";
  auto line = [&](const char* hour, std::size_t off, std::size_t len,
                  const char* date, const char* reltime) {
    std::string h = header;
    h.replace(h.find("%s"), 2, reltime);
    return std::string("  ") + hour + "  offset " + std::to_string(off) +
           "  length " + std::to_string(len) + "  " + date + h;
  };
  EXPECT_EQ(d.out,
            path + ": " + std::to_string(file.size()) + " bytes\n" +
                "day index: bytes 34 to 1908\n" +
                "01-01: 2 soundings\n" +
                line("00", kFirstRecord, l1, "1995010100", "2315") +
                line("12", second, l2, "1995010112", "1115") +
                "01-02: 1 sounding\n" +
                line("00", third, record_size(sounding(2, 0)), "1995010200",
                     "2315") +
                summary(3, 2, 0));
}

TEST_F(RawinqDump, QuietListsOnlyTheSummaryAndShortSoundingsAreNoFault) {
  file = archive_writer::pack_station_year({sounding(1, 0, 4)});
  Dumped d = dump(dir, file);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out, summary(1, 1, 0));
  d = dump(dir, file, {});
  EXPECT_NE(d.out.find("  levels 4  "), std::string::npos) << d.out;
  // (the tropopause pointer names a fifth level, which is not there)
  EXPECT_NE(d.out.find("troplv 99999  maxwind 3000  (4 levels or fewer: not "
                       "written)\n"),
            std::string::npos)
      << d.out;
}

TEST_F(RawinqDump, IndexFaults) {
  file.resize(1000);  // the index is cut
  Dumped d = dump(dir, file);
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, fault("day index", "runs past the end of the file") +
                       summary(0, 0, 1));
  // The first 100 days with 40 entries each: the index runs past 20000
  // bytes of a longer file.
  file.assign(30000, 0);
  for (std::size_t day = 0, pos = 34; day < 100; ++day, pos += 5 + 5 * 40)
    file.at(pos) = 40;
  d = dump(dir, file);
  EXPECT_EQ(d.out, fault("day index",
                         "does not fit in the first 20000 bytes of the file") +
                       summary(0, 0, 1));
}

TEST_F(RawinqDump, RecordLimitFaultsEndTheDaysChain) {
  const std::string lost =
      fault("01-01 record 1", "1 later record of the day cannot be reached");
  struct Case {
    unsigned long length;
    std::string what;
  };
  for (const Case& c :
       {Case{40, "record length 40 is below 52"},
        Case{19977, "record length 19977 is above 19976"},
        Case{5000, "record of length 5000 runs past the end of the file (" +
                       std::to_string(file.size() - kFirstRecord) +
                       " bytes left)"}}) {
    Bytes damaged = file;
    put_be(damaged, kFirstRecord + 4, c.length, 3);
    const Dumped d = dump(dir, damaged);
    EXPECT_EQ(d.status, 1);
    EXPECT_EQ(d.out, fault("01-01 record 1", c.what) + lost + summary(3, 2, 2));
  }
  // The first offset of a day beyond the end of the file.
  Bytes damaged = file;
  put_be(damaged, kJan2 + 6, 900000, 4);
  Dumped d = dump(dir, damaged);
  EXPECT_EQ(d.out, fault("01-02 record 1",
                         "offset 900000 lies beyond the end of the file") +
                       summary(3, 2, 1));
  // Cut after the first record of 1 January: the next one cannot be
  // reached, and the record of 2 January lies beyond the end.
  damaged = file;
  damaged.resize(second + 20);
  d = dump(dir, damaged);
  EXPECT_EQ(d.out,
            fault("01-01 record 1",
                  "the next record of the day lies past the end of the file") +
                lost +
                fault("01-02 record 1", "offset " + std::to_string(third) +
                                            " lies beyond the end of the file") +
                summary(3, 2, 3));
}

TEST_F(RawinqDump, DecodingFaults) {
  // More levels declared than the record holds.
  Sounding s = sounding(1, 12);
  s.stored_levels = 40;
  Bytes damaged =
      archive_writer::pack_station_year({sounding(1, 0), s, sounding(2, 0)});
  Dumped d = dump(dir, damaged);
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, fault("01-01 record 2",
                         "its level blocks run past its record length") +
                       summary(3, 2, 1));
  // A month byte out of range; the chain goes on.
  damaged = file;
  damaged.at(kFirstRecord + 21) = 13;
  d = dump(dir, damaged);
  EXPECT_EQ(d.out, fault("01-01 record 1",
                         "date out of range: month 13, day 1, hour 0") +
                       summary(3, 2, 1));
  // A record filed under another day.
  damaged = file;
  damaged.at(third + 22) = 5;
  d = dump(dir, damaged);
  EXPECT_EQ(d.out, fault("01-02 record 1",
                         "the record is dated 01-05 00, the index files it "
                         "under 01-02 00") +
                       summary(3, 2, 1));
}

TEST_F(RawinqDump, ChainFaults) {
  // The first record of 1 January claims 18 UTC in the index and in its
  // date: the 12 UTC record after it is out of order.
  Bytes damaged = file;
  damaged.at(kJan1 + 5) = 18;
  damaged.at(kFirstRecord + 23) = 18;
  Dumped d = dump(dir, damaged);
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, fault("01-01 record 2",
                         "hour 12 follows hour 18: the synoptic retrieval "
                         "passes over it") +
                       summary(3, 2, 1));
  // The index's second entry of 1 January points elsewhere.
  damaged = file;
  put_be(damaged, kJan1 + 11, 2000, 4);
  d = dump(dir, damaged);
  EXPECT_EQ(d.out, fault("01-01 record 2",
                         "index entry holds hour 12 at 2000, the record chain "
                         "gives hour 12 at " + std::to_string(second)) +
                       summary(3, 2, 1));
}

TEST(RawinqDumpFiles, SampleArchiveIsSoundAndUnreadableFilesAreNamed) {
  const std::string dir = source_dir() + "/data/sample-archive/Raob1995";
  std::vector<std::string> args = {"-q"};
  for (const std::string& name : dir_entries(dir)) args.push_back(dir + "/" + name);
  ASSERT_EQ(args.size(), 13u);
  const RunResult r = run_program(dump_bin(), args, "");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count_of(r.out, "\n"), 12);
  EXPECT_EQ(count_of(r.out, " days, 0 faults\n"), 12) << r.out;

  const RunResult missing = run_program(dump_bin(), {"/nonexistent/x.buf"}, "");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err.rfind("rawinq-dump: cannot read /nonexistent/x.buf: ", 0),
            0u);
  const RunResult usage = run_program(dump_bin(), {}, "");
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err.rfind("usage: rawinq-dump", 0), 0u);
  const RunResult version = run_program(dump_bin(), {"--version"}, "");
  EXPECT_EQ(version.out, std::string("rawinq-dump ") + RAWINQ_VERSION_TEXT + "\n");
}

}  // namespace
