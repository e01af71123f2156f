// Station list files and the selection of stations for a request.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/file_handle.h"
#include "stdio_redirect.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class Selection : public ::testing::Test {
 protected:
  void TearDown() override {
    dialogue_state().Stn_His_Num = 0;
    for (STATREC& e : dialogue_state().Stn_His) e = STATREC{};
    dialogue_state().Stn_Type = 0;
    dialogue_state().Usr_Stn_Count = 0;
    dialogue_state().Stn_Count = 0;
  }

  static void add(long wmo, long wban, float lat, float lon, long bdate,
                  long edate) {
    STATREC& e = dialogue_state().Stn_His[dialogue_state().Stn_His_Num++];
    e = STATREC{};
    e.wmo = wmo;
    e.wban = wban;
    e.lat = lat;
    e.lon = lon;
    e.bdate = bdate;
    e.edate = edate;
  }
  static void typed(short type, const std::vector<long>& numbers) {
    dialogue_state().Stn_Type = type;
    dialogue_state().Usr_Stn_Count = static_cast<short>(numbers.size());
    for (size_t i = 0; i < numbers.size(); ++i)
      dialogue_state().User_Stations[i][type] = numbers[i];
  }
  static std::vector<std::pair<long, long>> rows() {
    std::vector<std::pair<long, long>> r;
    for (int i = 0; i < dialogue_state().Usr_Stn_Count; ++i)
      r.emplace_back(dialogue_state().User_Stations[i][0],
                     dialogue_state().User_Stations[i][1]);
    return r;
  }
  static std::vector<short> index() {
    return std::vector<short>(
        dialogue_state().Stn_Index,
        dialogue_state().Stn_Index + dialogue_state().Stn_Count);
  }
  static void by_number(long b, long e) {
    get_stations(dialogue_state(), 0, 0, 0, 0, 0, b, e);
  }
};

using Rows = std::vector<std::pair<long, long>>;
using Index = std::vector<short>;

TEST_F(Selection, ConsecutiveEntriesOfOneStationGiveOneRow) {
  add(72469, 23062, 39.77f, -104.87f, 19480101, 19891231);
  add(72469, 23062, 39.77f, -104.87f, 19900101, 19951231);
  add(72469, 23062, 39.77f, -104.87f, 19960101, 20991231);
  add(72520, 94823, 40.53f, -80.23f, 19480101, 20991231);
  typed(0, {72469});
  by_number(19800101, 20000101);
  EXPECT_EQ(index(), (Index{0, 1, 2}));
  EXPECT_EQ(rows(), (Rows{{72469, 23062}}));
}

TEST_F(Selection, PeriodOverlapBoundaries) {
  add(1, 101, 0, 0, 19940101, 19941231);  // ends the day before: dropped
  add(2, 102, 0, 0, 19950131, 19960101);  // begins on the last day: passes
  add(3, 103, 0, 0, 19950110, 19950120);  // inside the request: passes
  add(4, 104, 0, 0, 19940101, 19950101);  // ends on the first day: passes
  add(5, 105, 0, 0, 19950201, 19950301);  // begins the day after: dropped
  add(6, 106, 0, 0, 19900101, 20991231);  // encloses the request: passes
  typed(0, {1, 2, 3, 4, 5, 6});
  by_number(19950101, 19950131);
  EXPECT_EQ(index(), (Index{1, 2, 3, 5}));
  EXPECT_EQ(rows(), (Rows{{2, 102}, {3, 103}, {4, 104}, {6, 106}}));
}

TEST_F(Selection, RowsSortedByWmoAndTwiceTypedNumbersTwice) {
  add(72469, 23062, 0, 0, 19900101, 20991231);
  add(72365, 23050, 0, 0, 19900101, 19941231);
  add(72365, 23050, 0, 0, 19950101, 20991231);
  typed(0, {72469, 72365, 72469, 99999});
  by_number(19950101, 19950101);
  // Only the last appended row is compared, so the station typed again
  // later gives a second row; the unknown number gives nothing.
  EXPECT_EQ(index(), (Index{0, 2, 0}));
  EXPECT_EQ(rows(), (Rows{{72365, 23050}, {72469, 23062}, {72469, 23062}}));
}

TEST_F(Selection, WbanNumbersMatchAndSortByWban) {
  add(100, 30000, 0, 0, 19900101, 20991231);
  add(200, 20000, 0, 0, 19900101, 20991231);
  add(300, 10000, 0, 0, 19900101, 20991231);
  typed(1, {20000, 30000, 10000});
  dialogue_state().User_Stations[0][0] =
      300;  // stale WMO column: must not be used to match
  by_number(19950101, 19950102);
  EXPECT_EQ(rows(), (Rows{{300, 10000}, {200, 20000}, {100, 30000}}));
  EXPECT_EQ(index(), (Index{1, 0, 2}));
}

TEST_F(Selection, RegionSortsByWmoEvenWithWbanType) {
  add(300, 10000, 5, 5, 19900101, 20991231);
  add(100, 30000, 5, 5, 19900101, 20991231);
  dialogue_state().Stn_Type = 1;
  get_stations(dialogue_state(), 0, 90, -180, 180, 2, 19950101, 19950102);
  EXPECT_EQ(rows(), (Rows{{100, 30000}, {300, 10000}}));
}

TEST_F(Selection, EqualKeysKeepTheirOrder) {
  add(500, 2, 0, 0, 19900101, 20991231);
  add(400, 9, 0, 0, 19900101, 20991231);
  add(500, 1, 0, 0, 19900101, 20991231);
  get_stations(dialogue_state(), -1, 1, -1, 1, 1, 19950101, 19950102);
  EXPECT_EQ(rows(), (Rows{{400, 9}, {500, 2}, {500, 1}}));
}

TEST_F(Selection, BoxBoundsAreInclusive) {
  add(1, 1, 40.0f, -100.0f, 19900101, 20991231);   // on the corner
  add(2, 2, 40.0f, -100.01f, 19900101, 20991231);  // just west
  add(3, 3, 50.0f, -90.0f, 19900101, 20991231);    // on the other corner
  add(4, 4, 50.01f, -95.0f, 19900101, 20991231);   // just north
  add(5, 5, 45.0f, -95.0f, 19900101, 20991231);    // inside
  get_stations(dialogue_state(), 40.0f, 50.0f, -100.0f, -90.0f, 1, 19950101,
               19950102);
  EXPECT_EQ(index(), (Index{0, 2, 4}));

  get_stations(dialogue_state(), 40.0f, 40.0f, -180.0f, 180.0f, 1, 19950101,
               19950102);
  EXPECT_EQ(index(), (Index{0, 1}));
}

TEST_F(Selection, NothingSelectedLeavesZeroCounts) {
  add(1, 1, 0, 0, 19900101, 19901231);
  typed(0, {1});
  by_number(19950101, 19950102);
  EXPECT_EQ(dialogue_state().Stn_Count, 0);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 0);
}

TEST_F(Selection, AtMost2000CandidatesAreKept) {
  for (int i = 0; i < 1500; ++i) add(7, 7, 0, 0, 19900101, 20991231);
  typed(0, {7, 7});
  by_number(19950101, 19950102);
  ASSERT_EQ(dialogue_state().Stn_Count, 2000);
  EXPECT_EQ(dialogue_state().Stn_Index[1499], 1499);
  EXPECT_EQ(dialogue_state().Stn_Index[1500], 0);
  EXPECT_EQ(dialogue_state().Stn_Index[1999], 499);
  // Every candidate is the station appended last: one row.
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 1);
}

class StationList : public Selection {
 protected:
  short read(const std::string& contents, std::string* out = nullptr) {
    const std::string path = dir / "list.txt";
    write_file(path, contents);
    FileHandle f(std::fopen(path.c_str(), "r"));
    CaptureStdout cap;
    const short n = read_station_list(dialogue_state(), f.get());
    const std::string text = cap.text();
    if (out) *out = text;
    return n;
  }
  TempDir dir;
};

TEST_F(StationList, LinesWithoutANumberAreSkipped) {
  dialogue_state().Stn_Type = 0;
  dialogue_state().User_Stations[1][0] = 55555;
  const short n = read("72469\n\nDEN\n  72520 Pittsburgh\n-\n72764");
  EXPECT_EQ(n, 3);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 3);
  EXPECT_EQ(dialogue_state().User_Stations[0][0], 72469);
  EXPECT_EQ(dialogue_state().User_Stations[1][0], 72520);
  EXPECT_EQ(dialogue_state().User_Stations[2][0], 72764);
}

TEST_F(StationList, RestOfALongLineIsNotAnotherStation) {
  dialogue_state().Stn_Type = 1;
  // 33 characters fit one read; the digits after them belong to the same
  // line and must not count as a station.
  const std::string longline = "23062" + std::string(28, ' ') + "94823\n";
  const short n = read(longline + "24011\n");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(dialogue_state().User_Stations[0][1], 23062);
  EXPECT_EQ(dialogue_state().User_Stations[1][1], 24011);
  // A NUL byte in the line does not change where the line ends.
  std::string with_nul = longline;
  with_nul[10] = '\0';
  EXPECT_EQ(read(with_nul + "24011\n"), 2);
  EXPECT_EQ(dialogue_state().User_Stations[1][1], 24011);
}

TEST_F(StationList, At2000StationsTheRestIsLeftWithAWarning) {
  std::string many;
  for (int i = 0; i < 2000; ++i) many += std::to_string(10000 + i) + "\n";
  std::string out;
  EXPECT_EQ(read(many + "\n\n", &out), 2000);
  EXPECT_EQ(out, "");  // exactly 2000 stations: nothing left over
  EXPECT_EQ(read(many + "\n99999\n88888\n", &out), 2000);
  EXPECT_EQ(out, " WARNING:  only the first 2000 stations of the file are used\n");
  EXPECT_EQ(dialogue_state().User_Stations[1999][0], 11999);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 2000);
}

TEST_F(StationList, EmptyFileSelectsNothing) {
  dialogue_state().Usr_Stn_Count = 5;
  EXPECT_EQ(read(""), 0);
  EXPECT_EQ(dialogue_state().Usr_Stn_Count, 0);
}

}  // namespace
