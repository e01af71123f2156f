// Climatological retrieval over archives built in temporary directories.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "retrieval_fixture.h"

namespace {

using namespace retrieval_test;
using Strings = std::vector<std::string>;

const std::string k20(20, ' ');

class StationSeries : public RetrievalTest {
 protected:
  long run(const std::string& b, const std::string& e, short stim,
           short statsort = 0, short outloc = 0, const std::string& in = "") {
    FeedStdin feed(in);
    CaptureStdout cap;
    const long n = station_series(dialogue_state(), b, e, stim, 0, 1, 0,
                                  statsort, outloc, pname);
    out = cap.text();
    return n;
  }
};

TEST_F(StationSeries, EachStationThroughAllYearsBeforeTheNext) {
  put(1995, kA, {sounding(1995, 1, 1, 0, kA), sounding(1995, 7, 1, 12, kA)});
  put(1996, kA, {sounding(1996, 1, 1, 0, kA)});
  put(1995, kB, {sounding(1995, 1, 1, 0, kB)});
  put(1996, kB, {sounding(1996, 1, 1, 0, kB), sounding(1996, 2, 1, 0, kB)});
  EXPECT_EQ(run("1995010100", "1996123123", 0), 6);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010100", "11111@1995070112",
                     "11111@1996010100", "22222@1995010100",
                     "22222@1996010100", "22222@1996020100"}));
  // On the screen: a line end first, and no status lines at all.
  EXPECT_EQ(out[0], '\n');
  EXPECT_EQ(count_of(out, "STATUS"), 0);
}

TEST_F(StationSeries, FirstAndLastDayHourLimitsAndHourChoice) {
  put(1995, kA,
      {sounding(1995, 1, 1, 0, kA), sounding(1995, 1, 1, 12, kA),
       sounding(1995, 1, 2, 0, kA), sounding(1995, 1, 2, 6, kA),
       sounding(1995, 1, 2, 12, kA), sounding(1995, 1, 3, 12, kA),
       sounding(1995, 1, 3, 18, kA)});
  dialogue_state().Usr_Stn_Count = 1;
  EXPECT_EQ(run("1995010112", "1995010312", 0), 5);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010112", "11111@1995010200",
                     "11111@1995010206", "11111@1995010212",
                     "11111@1995010312"}));
  EXPECT_EQ(run("1995010112", "1995010312", 1), 4);
  EXPECT_EQ(run("1995010112", "1995010312", 2), 1);
  EXPECT_EQ(zir_soundings(out), (Strings{"11111@1995010200"}));
  EXPECT_EQ(run("1995010100", "1995010323", 3), 3);
}

TEST_F(StationSeries, NewFileTriggersOfEachStructure) {
  put(1995, kA, {sounding(1995, 1, 1, 0, kA), sounding(1995, 1, 1, 12, kA)});
  put(1995, kB, {sounding(1995, 1, 1, 0, kB)});
  const int expected[3] = {1, 2, 3};
  for (short statsort = 0; statsort <= 2; ++statsort) {
    for (const auto& name : output_files()) {
      std::remove((dir / ("out/" + name)).c_str());
    }
    to_files(1);
    const long last = run("1995010100", "1995123123", 0, statsort, 1);
    EXPECT_EQ(count_of(out, " STATUS:  Writing output file: "),
              expected[statsort])
        << statsort;
    EXPECT_EQ(count_of(out, " STATUS:  number of soundings written: "),
              expected[statsort]);
    const long last_count[3] = {3, 1, 1};
    EXPECT_EQ(last, last_count[statsort]) << statsort;
  }
  // One file per station: A's file holds both of its soundings; the count
  // of A's file is given just before B's file is opened.
  for (const auto& name : output_files()) {
    std::remove((dir / ("out/" + name)).c_str());
  }
  to_files(1);
  run("1995010100", "1995123123", 0, 1, 1);
  EXPECT_EQ(output_files(), (Strings{"72001_K000_1995010100.txt",
                                     "72002_K001_1995010100.txt"}));
  EXPECT_EQ(zir_soundings(read_file(dir / "out/72001_K000_1995010100.txt")),
            (Strings{"11111@1995010100", "11111@1995010112"}));
  EXPECT_NE(out.find(" STATUS:  processing station: 72001 date: 1995010112\r"
                     " STATUS:  number of soundings written: 2" +
                     k20 + "\n\n STATUS:  Writing output file: "),
            std::string::npos);
  const std::string tail =
      " STATUS:  processing station: 72002 date: 1995010100\r"
      " STATUS:  number of soundings written: 1" +
      k20 + "\n\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(StationSeries, StationShownByTheChosenNumberType) {
  put(1995, kB, {sounding(1995, 1, 1, 0, kB)});
  to_files(1);
  dialogue_state().Stn_Type = 1;
  EXPECT_EQ(run("1995010100", "1995010100", 0, 0, 1), 1);
  EXPECT_EQ(count_of(out, " STATUS:  processing station: 22222 date: "
                          "1995010100\r"),
            1);
}

TEST_F(StationSeries, DroppedFirstSoundingLeavesItsFileOpenAndEmpty) {
  put(1995, kA, {sounding(1995, 1, 1, 0, kA, 3)});
  put(1995, kB, {sounding(1995, 1, 1, 0, kB)});
  to_files(1);
  EXPECT_EQ(run("1995010100", "1995010123", 0, 1, 1), 1);
  EXPECT_EQ(output_files(), (Strings{"72001_K000_1995010100.txt",
                                     "72002_K001_1995010100.txt"}));
  EXPECT_EQ(read_file(dir / "out/72001_K000_1995010100.txt"), "");
  // The empty file's count is not shown.
  EXPECT_EQ(count_of(out, " STATUS:  number of soundings written: "), 1);

  // Nothing handed on at all, though files were read.
  dialogue_state().Usr_Stn_Count = 1;
  to_files(1);
  EXPECT_EQ(run("1995010100", "1995010123", 0, 0, 1), 0);
  EXPECT_NE(out.find(" STATUS:  No data was available to meet your "
                     "request.\n\n"),
            std::string::npos);
  EXPECT_EQ(count_of(out, "number of soundings written"), 0);
}

TEST_F(StationSeries, NoDatabaseFileAtAll) {
  EXPECT_EQ(run("1995010100", "1996010100", 0, 0, 0, "\n"), -1);
  EXPECT_EQ(out,
            "\n"
            "\tWARNING:  No database files could be opened in: " +
                dialogue_state().Data_Loc +
                "\n\n"
                "\a\a"
                "\tEnter HELP for more information \n"
                "\tEnter <return> for another database access \n"
                "    Your choice? ");
}

TEST_F(StationSeries, DamagedFilesAndRecordsAreSkipped) {
  select_c_too();
  // A: shorter than its index. B: 1 January's first record runs past the
  // end of the file, 2 January is sound. C: sound.
  const std::string pa = put(1995, kA, {sounding(1995, 1, 1, 0, kA)});
  write_file(pa, read_file(pa).substr(0, 300));
  auto b1 = sounding(1995, 1, 1, 0, kB);
  const std::string pb = put(
      1995, kB,
      {b1, sounding(1995, 1, 1, 12, kB), sounding(1995, 1, 2, 0, kB),
       sounding(1995, 2, 2, 0, kB)});
  std::string bytes = read_file(pb);
  const unsigned long at = 34 + 15 + 10 + 10 + 369 * 5;
  ASSERT_EQ(bytes[at + 23], 0);
  ASSERT_EQ(bytes[at + 22], 1);
  bytes[at + 4] = '\x00';
  bytes[at + 5] = '\x4E';  // 19999: above the longest record
  bytes[at + 6] = '\x1F';
  write_file(pb, bytes);
  put(1995, kC, {sounding(1995, 3, 1, 0, kC)});
  EXPECT_EQ(run("1995010100", "1995123123", 0), 3);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"22222@1995010200", "22222@1995020200",
                     "33333@1995030100"}));
  EXPECT_EQ(count_of(out, unreadable(pa)), 1);
  EXPECT_EQ(count_of(out, unreadable(pb)), 1);
}

TEST_F(StationSeries, StationEntryOfTheSoundingsOwnStation) {
  // Station A has two entries with a gap from April to September 1995;
  // B's entry covers the gap. A's soundings in the gap carry A's nearer
  // entry (distances between YYYYMMDD numbers), never B's.
  select_stations({{kB, kWmoB, 19400101, 20201231},
                   {kA, 71111, 19500101, 19950331},
                   {kA, kWmoA, 19951001, 20201231}},
                  {{kWmoA, kA}});
  put(1995, kA, {sounding(1995, 6, 1, 0, kA), sounding(1995, 7, 1, 0, kA)});
  to_files(1);
  EXPECT_EQ(run("1995010100", "1995123123", 0, 2, 1), 1);
  EXPECT_EQ(output_files(), (Strings{"71111_K001_1995060100.txt",
                                     "72001_K002_1995070100.txt"}));
}

}  // namespace
