// Station-year database files: name forms, opening, the day index, reading
// one record, and the choice of a sounding's catalogue entry.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive_writer.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "rawinq/retrieval.h"
#include "retrieval_fixture.h"
#include "test_support.h"

namespace {

using testing_support::CaptureStdout;
using testing_support::TempDir;

class DatabaseFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dialogue_state().Data_Loc = dir.path() + "/";
    dialogue_state().Max_Lines = 20;
  }
  void TearDown() override {
    files.close_all(files.slot.size());
    dialogue_state().Max_Lines = 20;
    dialogue_state().Data_Loc.clear();
    retrieval_test::clear_selection();
  }
  void put(const std::string& rel, const std::string& bytes = "x") {
    testing_support::make_dir(
        (dir / rel).substr(0, (dir / rel).find_last_of('/')));
    testing_support::write_file(dir / rel, bytes);
  }
  // Opens as the dialogue does: in its archive, tracing when the page
  // length is -1, the messages on standard output.
  void open_infile(short iyr, long wban, short* status, short num,
                   short swap) {
    files.messages = [](const std::string& text) {
      std::fputs(text.c_str(), stdout);
    };
    open_station_file(files, dialogue_state().Data_Loc, iyr, wban, status, num,
                      swap, dialogue_state().Max_Lines == -1, false);
  }
  static std::string database_path(int variant, short iyr, long wban) {
    return ::database_path(dialogue_state().Data_Loc, variant, iyr, wban,
                           false);
  }
  TempDir dir;
  StationFiles files;
};

TEST_F(DatabaseFiles, PathsOfTheThreeNameForms) {
  dialogue_state().Data_Loc = "/d/";
  EXPECT_EQ(database_path(2, 1999, 23062), "/d/Raob1999/23062_99.buf");
  EXPECT_EQ(database_path(1, 1999, 23062), "/d/RAOB1999/23062_99.BUF;1");
  EXPECT_EQ(database_path(0, 1999, 23062), "/d/raob1999/23062_99.buf");
  EXPECT_EQ(database_path(2, 2000, 23062), "/d/Raob2000/23062_00.buf");
  EXPECT_EQ(database_path(2, 2005, 14607), "/d/Raob2005/14607_05.buf");
  // Above 900000 the first digit becomes "I"; 900000 itself keeps it.
  EXPECT_EQ(database_path(2, 1995, 900000), "/d/Raob1995/900000_95.buf");
  EXPECT_EQ(database_path(2, 1995, 900001), "/d/Raob1995/I00001_95.buf");
  EXPECT_EQ(database_path(2, 1995, 901234), "/d/Raob1995/I01234_95.buf");
  // An empty database directory names paths relative to the working one.
  dialogue_state().Data_Loc = "";
  EXPECT_EQ(database_path(2, 1995, 23062), "Raob1995/23062_95.buf");
}

TEST_F(DatabaseFiles, TriesTheNameFormsInOrderAndTracesThem) {
  put("raob1996/23062_96.buf");
  dialogue_state().Max_Lines = -1;
  CaptureStdout cap;
  short status = 0;
  open_infile(1996, 23062, &status, 4, 0);
  const std::string out = cap.text();
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(files.slot[4].infile);
  EXPECT_EQ(files.path[4], dialogue_state().Data_Loc + "raob1996/23062_96.buf");
  EXPECT_EQ(out, "2 attempt to open file: \n" + dialogue_state().Data_Loc +
                     "Raob1996/23062_96.buf \n\n"
                     "1 attempt to open file: \n" +
                     dialogue_state().Data_Loc +
                     "RAOB1996/23062_96.BUF;1 \n\n" +
                     "0 attempt to open file: \n" + dialogue_state().Data_Loc +
                     "raob1996/23062_96.buf \n\n");
}

TEST_F(DatabaseFiles, UpperCaseFormFoundSecondAndNoTraceByDefault) {
  put("RAOB1996/23062_96.BUF;1");
  put("raob1996/23062_96.buf");
  CaptureStdout cap;
  short status = 0;
  open_infile(1996, 23062, &status, 0, 0);
  EXPECT_EQ(cap.text(), "");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(files.path[0],
            dialogue_state().Data_Loc + "RAOB1996/23062_96.BUF;1");
}

TEST_F(DatabaseFiles, NoFileInAnyFormGivesStatusZero) {
  CaptureStdout cap;
  short status = 1;
  open_infile(1996, 23062, &status, 0, 0);
  EXPECT_EQ(cap.text(), "");
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(files.slot[0].infile);
}

TEST_F(DatabaseFiles, SwapOpenClosesTheSharedSlotFirst) {
  put("Raob1995/11111_95.buf");
  put("Raob1995/22222_95.buf");
  short status = 0;
  open_infile(1995, 11111, &status, 0, 0);
  ASSERT_EQ(status, 1);
  status = -1;
  open_infile(1995, 22222, &status, 1, 0);
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(files.slot[0].infile);
  EXPECT_TRUE(files.slot[1].infile);
}

TEST_F(DatabaseFiles, OutOfDescriptorsGivesStatusTwoWithoutTryingOtherForms) {
  put("Raob1995/11111_95.buf");
  put("raob1995/11111_95.buf");
  // Lower the descriptor limit to what is in use now, so that the next open
  // fails for want of a descriptor.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int probe = dup(0);
  ASSERT_GE(probe, 0);
  close(probe);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(probe);
  dialogue_state().Max_Lines = -1;
  CaptureStdout cap;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  short status = 0;
  open_infile(1995, 11111, &status, 0, 0);
  const int err = files.open_errno;
  setrlimit(RLIMIT_NOFILE, &saved);
  const std::string out = cap.text();
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(out_of_descriptors(err));
  EXPECT_FALSE(files.slot[0].infile);
  // One attempt only, and no warning: such a file waits for a descriptor.
  EXPECT_EQ(out, "2 attempt to open file: \n" + dialogue_state().Data_Loc +
                     "Raob1995/11111_95.buf \n\n");
}

TEST_F(DatabaseFiles, ExistingFileThatCannotBeOpenedIsReported) {
  // A socket exists on disk but cannot be opened as a file.
  testing_support::make_dir(dir / "Raob1995");
  const std::string path = dir / "Raob1995/11111_95.buf";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  put("raob1995/11111_95.buf");
  CaptureStdout cap;
  short status = 0;
  open_infile(1995, 11111, &status, 0, 0);
  const std::string out = cap.text();
  close(fd);
  EXPECT_EQ(status, 2);
  EXPECT_FALSE(out_of_descriptors(files.open_errno));
  EXPECT_EQ(out, " WARNING:  unable to open database file: " + path + "\n");
}

// A day index built byte by byte: entries of (count, hours/offsets).
std::vector<unsigned char> index_bytes(
    const std::vector<std::vector<std::pair<int, unsigned long>>>& days) {
  std::vector<unsigned char> b(34, 0xEE);
  for (size_t i = 0; i < 372; ++i) {
    const auto& entries = days.at(i);
    b.push_back(static_cast<unsigned char>(entries.size()));
    for (int k = 0; k < 4; ++k) b.push_back(0xAA);
    for (const auto& e : entries) {
      b.push_back(static_cast<unsigned char>(e.first));
      for (int s = 24; s >= 0; s -= 8) {
        b.push_back(static_cast<unsigned char>(e.second >> s));
      }
    }
  }
  return b;
}

TEST_F(DatabaseFiles, DayIndexKeepsTheFirstEntryOfEachDay) {
  // January 1: three soundings (20 bytes); every other day empty (5 bytes),
  // except February 2 with one sounding.
  std::vector<std::vector<std::pair<int, unsigned long>>> days(
      372, std::vector<std::pair<int, unsigned long>>{});
  days[0] = {{6, 0x01020304}, {12, 2}, {18, 3}};
  days[31 + 1] = {{12, 70000}};
  const auto b = index_bytes(days);
  ASSERT_EQ(b.size(), 34u + 20 + 5 + 371 * 5);
  INPUT_FILES months[12];
  ASSERT_TRUE(read_day_index(b.data(), b.size(), 0, 11, months));
  EXPECT_EQ(months[0].cnt[0], 3);
  EXPECT_EQ(months[0].hour[0], 6);
  EXPECT_EQ(months[0].bytenum[0], 0x01020304u);
  EXPECT_EQ(months[0].cnt[1], 0);
  EXPECT_EQ(months[1].cnt[1], 1);
  EXPECT_EQ(months[1].hour[1], 12);
  EXPECT_EQ(months[1].bytenum[1], 70000u);
  // One wanted month goes to the one slot given.
  INPUT_FILES feb;
  ASSERT_TRUE(read_day_index(b.data(), b.size(), 1, 1, &feb));
  EXPECT_EQ(feb.cnt[1], 1);
  EXPECT_EQ(feb.bytenum[1], 70000u);
  EXPECT_EQ(feb.cnt[0], 0);
}

TEST_F(DatabaseFiles, DayIndexThatDoesNotFitIsRefused) {
  std::vector<std::vector<std::pair<int, unsigned long>>> days(
      372, std::vector<std::pair<int, unsigned long>>{{0, 500}});
  const auto b = index_bytes(days);  // 34 + 372 * 10 bytes
  INPUT_FILES months[12];
  ASSERT_TRUE(read_day_index(b.data(), b.size(), 0, 11, months));
  EXPECT_EQ(months[11].cnt[30], 1);
  // One byte short of the last entry: refused, and the counts cleared.
  EXPECT_FALSE(read_day_index(b.data(), b.size() - 1, 0, 11, months));
  for (const auto& m : months) {
    for (short c : m.cnt) EXPECT_EQ(c, 0);
  }
  // Huge counts that point past the bytes read.
  std::vector<unsigned char> huge(34, 0);
  huge.resize(20000, 0xFF);
  EXPECT_FALSE(read_day_index(huge.data(), huge.size(), 0, 0, months));
  // A file shorter than its head.
  EXPECT_FALSE(read_day_index(b.data(), 20, 0, 0, months));
}

TEST_F(DatabaseFiles, RecordReadsCheckLengthAndFileEnd) {
  auto s = retrieval_test::sounding(1995, 1, 1, 0, 11111, 6);
  const std::vector<std::uint8_t> good = archive_writer::pack_record(s);
  const unsigned long len = good.size();
  std::string bytes(100, 'h');
  bytes.append(good.begin(), good.end());
  auto bad_short = good;
  archive_writer::set_record_length(bad_short, 51);
  auto bad_long = good;
  archive_writer::set_record_length(bad_long, 19977);
  auto past_end = good;
  archive_writer::set_record_length(past_end, len + 40);
  const unsigned long at_short = bytes.size();
  bytes.append(bad_short.begin(), bad_short.end());
  const unsigned long at_long = bytes.size();
  bytes.append(bad_long.begin(), bad_long.end());
  const unsigned long at_past = bytes.size();
  bytes.append(past_end.begin(), past_end.end());
  testing_support::write_file(dir / "f.buf", bytes);
  FileHandle f(std::fopen((dir / "f.buf").c_str(), "rb"));
  ASSERT_TRUE(f);
  std::vector<unsigned char> buf(kBufferSize);

  DatabaseRecord r = read_database_record(f.get(), 100, buf.data());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.length, len);
  EXPECT_EQ(r.avail, bytes.size() - 100);
  EXPECT_EQ(buf[23], 0);
  EXPECT_FALSE(read_database_record(f.get(), at_short, buf.data()).ok);
  EXPECT_FALSE(read_database_record(f.get(), at_long, buf.data()).ok);
  EXPECT_FALSE(read_database_record(f.get(), at_past, buf.data()).ok);
  EXPECT_FALSE(read_database_record(f.get(), bytes.size(), buf.data()).ok);
  EXPECT_FALSE(read_database_record(f.get(), 0xFFFFFFFFul, buf.data()).ok);
  EXPECT_FALSE(read_database_record(nullptr, 100, buf.data()).ok);
  // The last 5 bytes of the file hold no length.
  EXPECT_FALSE(
      read_database_record(f.get(), bytes.size() - 5, buf.data()).ok);
}

TEST_F(DatabaseFiles, HourChoices) {
  const std::vector<std::vector<int>> wanted = {
      {}, {0, 12}, {0}, {12}};  // stim 0: every hour
  for (short stim = 0; stim <= 3; ++stim) {
    for (int hr = 0; hr <= 23; ++hr) {
      bool expect = false;
      for (int w : wanted[stim]) expect = expect || w == hr;
      if (stim == 0) expect = true;
      EXPECT_EQ(hour_wanted(stim, hr), expect) << stim << " " << hr;
    }
  }
}

TEST_F(DatabaseFiles, StationEntryCoveringTheDayElseTheNearestOfTheSameStation) {
  retrieval_test::select_stations(
      {{11111, 72001, 19500101, 19891231},   // 0
       {22222, 72002, 19900101, 19991231},   // 1: another station
       {11111, 72001, 19900101, 19941231},   // 2
       {11111, 72001, 19940101, 19961231},   // 3: overlaps 2
       {11111, 72001, 19980101, 20051231}},  // 4
      {{72001, 11111}, {72002, 22222}});
  // The last covering entry wins.
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19940615), 3);
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19700101), 0);
  // In the gap, distances are taken between YYYYMMDD numbers: 19970601
  // lies 9370 after entry 3 and 9500 before entry 4.
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19970601), 3);
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19971001), 4);
  // Before every entry and after every entry.
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19400101), 0);
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 20100101), 4);
  // Never another station's entry.
  EXPECT_EQ(choose_station_entry(dialogue_state(), 22222, 20100101), 1);
  EXPECT_EQ(choose_station_entry(dialogue_state(), 33333, 19950101), -1);
}

TEST_F(DatabaseFiles, StationEntryDistanceToFarCatalogueDates) {
  // A catalogue may hold any dates: a period ending at the smallest long
  // lies farther from a day after it than any real period.
  retrieval_test::select_stations(
      {{11111, 72001, 19950601, LONG_MIN}, {11111, 72001, 19900101, 19941231}},
      {{72001, 11111}});
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19950701), 1);
}

TEST_F(DatabaseFiles, StationEntryTieGoesToTheLaterEntry) {
  retrieval_test::select_stations(
      {{11111, 72001, 19950101, 19950110}, {11111, 72001, 19950130, 19951231}},
      {{72001, 11111}});
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19950120), 1);
  EXPECT_EQ(choose_station_entry(dialogue_state(), 11111, 19950119), 0);
}

}  // namespace
