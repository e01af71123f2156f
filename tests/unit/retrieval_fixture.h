// Shared pieces of the database-file and retrieval tests: capturing what
// the code writes on standard output, feeding standard input, and a small
// catalogue of selected stations.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "rawinq/globals.h"
#include "test_support.h"

namespace retrieval_test {

// Sends file descriptor 1 (and stdout) to a temporary file while alive.
class StdoutCapture {
 public:
  explicit StdoutCapture(const std::string& path) : path_(path) {
    std::fflush(stdout);
    saved_ = dup(1);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    close(fd);
  }
  ~StdoutCapture() { finish(); }
  // Restores standard output and returns everything written meanwhile.
  std::string finish() {
    if (saved_ >= 0) {
      std::fflush(stdout);
      dup2(saved_, 1);
      close(saved_);
      saved_ = -1;
    }
    return testing_support::read_file(path_);
  }

 private:
  std::string path_;
  int saved_ = -1;
};

// Feeds the given text to standard input while alive.
class StdinFeed {
 public:
  StdinFeed(const std::string& path, const std::string& text) {
    testing_support::write_file(path, text);
    saved_ = dup(0);
    const int fd = open(path.c_str(), O_RDONLY);
    dup2(fd, 0);
    close(fd);
    std::clearerr(stdin);
  }
  ~StdinFeed() {
    dup2(saved_, 0);
    close(saved_);
    std::clearerr(stdin);
  }

 private:
  int saved_ = -1;
};

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
  Stn_His_Num = static_cast<short>(entries.size());
  Stn_Count = static_cast<short>(entries.size());
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
    Stn_His[i] = e;
    Stn_Index[i] = static_cast<short>(i);
  }
  Usr_Stn_Count = static_cast<short>(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    User_Stations[i][0] = rows[i][0];
    User_Stations[i][1] = rows[i][1];
  }
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

}  // namespace retrieval_test
