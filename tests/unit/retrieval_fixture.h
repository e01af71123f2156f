// Shared pieces of the database-file and retrieval tests: a small
// catalogue of selected stations, soundings to archive, and reading back
// what a retrieval listed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "rawinq/retrieval.h"
#include "stdio_redirect.h"
#include "test_support.h"
#include "unpacking.h"

namespace retrieval_test {

using testing_support::CaptureStdout;
using testing_support::count_of;
using testing_support::FeedStdin;
using testing_support::read_file;
using testing_support::write_file;

// The warning for a database file that cannot be read.
inline std::string unreadable(const std::string& path) {
  return " WARNING:  unable to read database file: " + path + "\n";
}

// One selected catalogue entry.
struct Entry {
  long wban;
  long wmo;
  long bdate;
  long edate;
};

// Fills Stn_His/Stn_Index with the entries (in order) and User_Stations
// with the given rows {wmo, wban}.
inline void select_stations(const std::vector<Entry>& entries,
                            const std::vector<std::vector<long>>& rows) {
  dialogue_state().Stn_His_Num = static_cast<short>(entries.size());
  dialogue_state().Stn_Count = static_cast<short>(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    STATREC e{};
    std::snprintf(e.init, sizeof e.init, "K%03u", static_cast<unsigned>(i % 1000));
    e.wban = entries[i].wban;
    e.wmo = entries[i].wmo;
    e.bdate = entries[i].bdate;
    e.edate = entries[i].edate;
    e.lat = 40.0f;
    e.lon = -100.0f;
    e.Clat = 'N';
    e.Clon = 'W';
    std::snprintf(e.name, sizeof e.name, "%-29s", "TEST STATION");
    std::snprintf(e.state, sizeof e.state, "CO");
    std::snprintf(e.country, sizeof e.country, "US");
    dialogue_state().Stn_His[i] = e;
    dialogue_state().Stn_Index[i] = static_cast<short>(i);
  }
  dialogue_state().Usr_Stn_Count = static_cast<short>(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    dialogue_state().User_Stations[i][0] = rows[i][0];
    dialogue_state().User_Stations[i][1] = rows[i][1];
  }
}

// Leaves the catalogue and selection tables empty for the tests that follow.
inline void clear_selection() {
  for (STATREC& e : dialogue_state().Stn_His) e = STATREC{};
  dialogue_state().Stn_His_Num = 0;
  dialogue_state().Stn_Count = 0;
  dialogue_state().Usr_Stn_Count = 0;
  dialogue_state().Stn_Type = 0;
}

// A sounding of `nlev` levels (more than four are written, four or fewer
// are dropped by the decoder). The first level's pressure carries `tag` so
// that a test can tell soundings apart in the output.
inline archive_writer::Sounding sounding(int year, int month, int day,
                                         int hour, long wban, int nlev = 6,
                                         long tag = 10000) {
  archive_writer::Sounding s;
  s.year = year;
  s.month = month;
  s.day = day;
  s.hour = hour;
  s.wban = wban % 100000;
  const long pressures[] = {tag, 8500, 7000, 5000, 3000, 2000, 1000, 500};
  for (int i = 0; i < nlev && i < 8; ++i) {
    archive_writer::Level l;
    l.flag = i == 0 ? 1 : 2;
    l.pr = pressures[i];
    l.ht = 100 + 1500 * i;
    l.tp = 200 - 100 * i;
    l.dp = 100 - 100 * i;
    l.wd = 270;
    l.ws = 50;
    s.levels.push_back(l);
  }
  return s;
}

// The soundings of a ZIR listing, in order, as "wban@YYYYMMDDHH" taken from
// each block's date line (254) and station line (1).
inline std::vector<std::string> zir_soundings(const std::string& text) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR",
                                        "MAY", "JUN", "JUL", "AUG",
                                        "SEP", "OCT", "NOV", "DEC"};
  std::vector<std::string> found;
  long hour = -1, day = 0, month = 0, year = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    // Status lines end in a carriage return and are overwritten.
    const size_t cr = line.rfind('\r');
    if (cr != std::string::npos) line.erase(0, cr + 1);
    int type = 0;
    if (std::sscanf(line.c_str(), "%d", &type) != 1) continue;
    char mon[8] = {0};
    if (type == 254 && std::sscanf(line.c_str(), "%*d %ld %ld %3s %ld", &hour,
                                   &day, mon, &year) == 4) {
      month = 0;
      for (int m = 0; m < 12; ++m) {
        if (std::string(mon) == kMonths[m]) month = m + 1;
      }
    } else if (type == 1 && hour >= 0) {
      long wban = 0;
      if (std::sscanf(line.c_str(), "%*d %ld", &wban) == 1) {
        char date[32];
        std::snprintf(date, sizeof date, "%04ld%02ld%02ld%02ld", year, month,
                      day, hour);
        found.push_back(std::to_string(wban) + "@" + date);
      }
      hour = -1;
    }
  }
  return found;
}

constexpr long kA = 11111, kB = 22222, kC = 33333;
constexpr long kWmoA = 72001, kWmoB = 72002, kWmoC = 72003;

// A database directory, an output directory and stations A, B and C
// selected (in that order) with one catalogue entry each.
class RetrievalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::prepare_unpacking();
    dialogue_state().Data_Loc = dir.path() + "/db/";
    testing_support::make_dir(dir / "db");
    testing_support::make_dir(dir / "out");
    pname = dir.path() + "/out/";
    dialogue_state().Max_Lines = 100000;  // no paging pauses on the screen
    dialogue_state().Stn_Type = 0;
    dialogue_state().Original_ZIR_Format = 0;
    select_stations({{kA, kWmoA, 19400101, 20201231},
                     {kB, kWmoB, 19400101, 20201231},
                     {kC, kWmoC, 19400101, 20201231}},
                    {{kWmoA, kA}, {kWmoB, kB}});
  }
  void TearDown() override {
    dialogue_state().Data_Loc.clear();
    dialogue_state().Max_Lines = 20;
    dialogue_state().Sort_Type = 1;
    dialogue_state().Screen_Scroll = 0;
    dialogue_state().Screen_Lines = 0;
    clear_selection();
  }
  std::string put(int year, long wban,
                  const std::vector<archive_writer::Sounding>& s) {
    return archive_writer::write_station_year(dialogue_state().Data_Loc, year,
                                              wban, s);
  }
  // Selects station C as the third station as well.
  void select_c_too() {
    dialogue_state().Usr_Stn_Count = 3;
    dialogue_state().User_Stations[2][0] = kWmoC;
    dialogue_state().User_Stations[2][1] = kC;
  }
  // The sort order of the requests that follow (the output goes to files
  // when the retrieval is told so).
  void to_files(short sort_type) { dialogue_state().Sort_Type = sort_type; }
  std::vector<std::string> output_files() const {
    return testing_support::dir_entries(dir / "out");
  }

  testing_support::TempDir dir;
  std::string pname;
  std::string out;  // what the last run wrote on standard output
};

}  // namespace retrieval_test
