// Synoptic retrieval over archives built in temporary directories.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "retrieval_fixture.h"

namespace {

using namespace retrieval_test;
using Strings = std::vector<std::string>;

// The count line is closed by puts of the blanks and a line end, so an
// empty line follows it.
const std::string k16(16, ' ');
const std::string k20(20, ' ');

class TimeSeries : public RetrievalTest {
 protected:
  long run(const std::string& b, const std::string& e, short stim,
           short timesort = 0, short outloc = 0, const std::string& in = "") {
    FeedStdin feed(in);
    CaptureStdout cap;
    const long n = time_series(dialogue_state(), b, e, stim, 0, 1, 0, timesort,
                               outloc, pname);
    out = cap.text();
    return n;
  }
};

TEST_F(TimeSeries, EachHourVisitsEveryStationInSelectionOrder) {
  put(1995, kA, {sounding(1995, 1, 1, 0, kA), sounding(1995, 1, 1, 12, kA)});
  put(1995, kB, {sounding(1995, 1, 1, 0, kB), sounding(1995, 1, 1, 12, kB)});
  EXPECT_EQ(run("1995010100", "1995010123", 0), 4);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010100", "22222@1995010100",
                     "11111@1995010112", "22222@1995010112"}));
  // On the screen: the opening and reading lines, no per-sounding lines,
  // no count of soundings written.
  const std::string head =
      "\n\n STATUS:  opening database files ...\r"
      " STATUS:  reading database file 1 of 2\r"
      " STATUS:  reading database file 2 of 2\r";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_EQ(count_of(out, "processing"), 0);
  EXPECT_EQ(count_of(out, "number of soundings"), 0);
}

TEST_F(TimeSeries, HourChoiceAndFirstAndLastHour) {
  put(1995, kA,
      {sounding(1995, 1, 1, 0, kA), sounding(1995, 1, 1, 12, kA),
       sounding(1995, 1, 2, 0, kA), sounding(1995, 1, 2, 12, kA)});
  dialogue_state().Usr_Stn_Count = 1;
  EXPECT_EQ(run("1995010112", "1995010200", 0), 2);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010112", "11111@1995010200"}));
  EXPECT_EQ(run("1995010112", "1995010200", 2), 1);
  EXPECT_EQ(zir_soundings(out), (Strings{"11111@1995010200"}));
  EXPECT_EQ(run("1995010100", "1995010212", 3), 2);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010112", "11111@1995010212"}));
}

TEST_F(TimeSeries, RecordsOfSkippedHoursArePassedOver) {
  put(1995, kA,
      {sounding(1995, 1, 1, 0, kA), sounding(1995, 1, 1, 6, kA),
       sounding(1995, 1, 1, 12, kA), sounding(1995, 1, 1, 18, kA)});
  dialogue_state().Usr_Stn_Count = 1;
  EXPECT_EQ(run("1995010100", "1995010123", 1), 2);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010100", "11111@1995010112"}));
}

TEST_F(TimeSeries, YearsAndMonthsFollowOneAnother) {
  put(1995, kA, {sounding(1995, 12, 31, 12, kA), sounding(1995, 6, 1, 0, kA)});
  put(1996, kA, {sounding(1996, 1, 1, 0, kA), sounding(1996, 3, 5, 0, kA)});
  put(1996, kB, {sounding(1996, 1, 1, 0, kB)});
  EXPECT_EQ(run("1995060100", "1996030423", 0), 4);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995060100", "11111@1995123112",
                     "11111@1996010100", "22222@1996010100"}));
  // 1995 has one file, 1996 two.
  EXPECT_EQ(count_of(out, " STATUS:  reading database file 1 of 1\r"), 7);
  EXPECT_EQ(count_of(out, " STATUS:  reading database file 2 of 2\r"), 3);
}

TEST_F(TimeSeries, DroppedSoundingsAreNotCounted) {
  put(1995, kA, {sounding(1995, 1, 1, 0, kA, 4)});
  dialogue_state().Usr_Stn_Count = 1;
  to_files(0);
  EXPECT_EQ(run("1995010100", "1995010123", 0, 0, 1), 0);
  EXPECT_EQ(count_of(out, "number of soundings written"), 0);
  EXPECT_NE(out.find(" STATUS:  No data was available to meet your "
                     "request.\n\n"),
            std::string::npos);
  // The file was begun for the sounding and is closed empty.
  EXPECT_EQ(output_files(), (Strings{"1995010100.txt"}));
  EXPECT_EQ(read_file(dir / "out/1995010100.txt"), "");
}

TEST_F(TimeSeries, PlotDataFileOfADroppedLastSoundingIsClosed) {
  // The plot hand-off closes the files of the soundings it plots; the file
  // begun for a sounding that is then dropped must not stay open.
  put(1995, kA, {sounding(1995, 1, 1, 0, kA, 4)});
  dialogue_state().Usr_Stn_Count = 1;
  to_files(0);
  {
    testing_support::WorkingDirectory in_dir(dir.path());
    FeedStdin feed("");
    CaptureStdout cap;
    EXPECT_EQ(time_series(dialogue_state(), "1995010100", "1995010123", 0, 0, 1,
                          3, 5, 1, pname),
              0);
    out = cap.text();
  }
  EXPECT_TRUE(testing_support::file_exists(dir / "raob_soundings.zonder"));
}

TEST_F(TimeSeries, OneFilePerMonthOpensOnlyMonthsWithData) {
  put(1995, kA, {sounding(1995, 1, 3, 0, kA), sounding(1995, 3, 1, 12, kA)});
  dialogue_state().Usr_Stn_Count = 1;
  to_files(0);
  EXPECT_EQ(run("1995010100", "1995033123", 0, 2, 1), 1);
  EXPECT_EQ(output_files(), (Strings{"1995010300.txt", "1995030112.txt"}));
  // The count of the first file comes just before the second is opened;
  // the last count closes the run.
  EXPECT_NE(out.find(" STATUS:  processing date: 1995030112 station: 72001\r"
                     " STATUS:  number of soundings written: 1" +
                     k16 + "\n\n STATUS:  Writing output file: " + pname +
                     "1995030112.txt"),
            std::string::npos);
  const std::string last = " STATUS:  number of soundings written: 1" + k20 +
                           "\n\n";
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
  EXPECT_EQ(zir_soundings(read_file(dir / "out/1995010300.txt")),
            (Strings{"11111@1995010300"}));
  // Every hour of the walk shows its date while writing files.
  EXPECT_EQ(count_of(out, " STATUS:  processing date: 1995020517\r"), 1);
}

TEST_F(TimeSeries, NewFileTriggersOfEachStructure) {
  put(1995, kA,
      {sounding(1995, 1, 1, 0, kA), sounding(1995, 1, 1, 12, kA),
       sounding(1995, 1, 2, 0, kA), sounding(1995, 2, 1, 0, kA)});
  put(1995, kB, {sounding(1995, 1, 1, 0, kB), sounding(1995, 1, 2, 0, kB)});
  put(1996, kA, {sounding(1996, 1, 1, 0, kA)});
  // Structure: expected number of output files begun.
  const int expected[6] = {1, 2, 3, 4, 5, 7};
  for (short timesort = 0; timesort <= 5; ++timesort) {
    for (const auto& name : output_files()) {
      std::remove((dir / ("out/" + name)).c_str());
    }
    to_files(0);
    const long last = run("1995010100", "1996123123", 0, timesort, 1);
    if (timesort == 0) {
      EXPECT_EQ(output_files(), (Strings{"1995010100.txt"}));
      EXPECT_EQ(last, 7);
    }
    EXPECT_EQ(count_of(out, " STATUS:  Writing output file: "),
              expected[timesort])
        << timesort;
    // Counts of the files before the last, then the last one's.
    EXPECT_EQ(count_of(out, " STATUS:  number of soundings written: "),
              expected[timesort])
        << timesort;
    EXPECT_EQ(count_of(out, "written: " + std::to_string(last) + k20 + "\n\n"),
              1)
        << timesort;
  }
}

TEST_F(TimeSeries, StationNumberShownFollowsTheNumberType) {
  put(1995, kB, {sounding(1995, 1, 1, 0, kB)});
  to_files(0);
  dialogue_state().Stn_Type = 1;
  EXPECT_EQ(run("1995010100", "1995010100", 0, 0, 1), 1);
  EXPECT_EQ(count_of(out, " STATUS:  processing date: 1995010100 station: "
                          "22222\r"),
            2);
  // No sounding of station A, whose file is missing: no message for it.
  EXPECT_EQ(count_of(out, "WARNING"), 0);
}

TEST_F(TimeSeries, NoDatabaseFileAtAll) {
  dialogue_state().Data_Loc = dir.path() + "/nothing/";
  EXPECT_EQ(run("1995010100", "1996010100", 0, 0, 0, "\n"), 0);
  EXPECT_EQ(out,
            "\n\n"
            " WARNING:  Unable to open any database files for 1995\n"
            " WARNING:  Unable to open any database files for 1996\n"
            " STATUS:  No data was available to meet your request.\n\n"
            "\tWARNING:  No database files could be opened in: " +
                dialogue_state().Data_Loc +
                "\n\n"
                "\a"
                "\tEnter HELP for more information \n"
                "\tEnter <return> for another database access \n"
                "    Your choice? ");
}

TEST_F(TimeSeries, DamagedFilesAreSkippedWithAWarning) {
  select_c_too();
  // A: only the start of a file; B: an index that runs past 20000 bytes;
  // C: sound.
  const std::string pa = put(1995, kA, {sounding(1995, 1, 1, 0, kA)});
  write_file(pa, read_file(pa).substr(0, 900));
  std::string big(34, 'h');
  for (int i = 0; i < 372; ++i) big += std::string(1, '\xFF') + std::string(4 + 5 * 255, '\0');
  const std::string pb = put(1995, kB, {});
  write_file(pb, big);
  put(1995, kC, {sounding(1995, 1, 1, 0, kC), sounding(1995, 2, 1, 0, kC)});
  EXPECT_EQ(run("1995010100", "1995022823", 0), 2);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"33333@1995010100", "33333@1995020100"}));
  // Once per file and month.
  EXPECT_EQ(count_of(out, unreadable(pa)), 2);
  EXPECT_EQ(count_of(out, unreadable(pb)), 2);
}

TEST_F(TimeSeries, BadRecordEndsItsDaysChain) {
  auto s0 = sounding(1995, 1, 1, 0, kA);
  auto s1 = sounding(1995, 1, 1, 6, kA);
  auto s2 = sounding(1995, 1, 1, 12, kA);
  const std::string path = put(1995, kA, {s0, s1, s2, sounding(1995, 1, 2, 0, kA)});
  std::string bytes = read_file(path);
  // The records follow the index (1 January: 20 bytes, 2 January: 10,
  // 370 empty days of 5); the second record gets a length of 30.
  const unsigned long at =
      34 + 20 + 10 + 5 * 370 + archive_writer::pack_record(s0).size();
  ASSERT_EQ(static_cast<unsigned char>(bytes[at + 23]), 6);
  bytes[at + 4] = 0;
  bytes[at + 5] = 0;
  bytes[at + 6] = 30;
  write_file(path, bytes);
  dialogue_state().Usr_Stn_Count = 1;
  EXPECT_EQ(run("1995010100", "1995010223", 0), 2);
  EXPECT_EQ(zir_soundings(out),
            (Strings{"11111@1995010100", "11111@1995010200"}));
  EXPECT_EQ(count_of(out, unreadable(path)), 1);
}

TEST_F(TimeSeries, OffsetsBeyondTheFileAndHugeCountsDoNotHang) {
  // 1 January claims 255 soundings, the first far beyond the file end.
  std::string bytes(34, 'h');
  bytes += std::string(1, '\xFF') + std::string(4, '\0');
  for (int i = 0; i < 255; ++i) bytes += std::string("\0\x7F\0\0\0", 5);
  for (int i = 1; i < 372; ++i) bytes += std::string(5, '\0');
  const std::string path = put(1995, kA, {});
  write_file(path, bytes);
  dialogue_state().Usr_Stn_Count = 1;
  EXPECT_EQ(run("1995010100", "1995010323", 0), 0);
  EXPECT_EQ(count_of(out, unreadable(path)), 1);
  EXPECT_NE(out.find(" STATUS:  No data was available"), std::string::npos);
}

}  // namespace
