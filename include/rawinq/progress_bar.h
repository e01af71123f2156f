// A progress bar for the front ends' long runs, drawn on one line of a
// terminal: the share done, soundings per second, the time left, and the
// station and date being read. The library only reports how far it is;
// this module does the arithmetic and the drawing.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace progress_bar {

// Whether YYYYMMDDHH is a date and hour of the calendar (no 31 February,
// 29 February of leap years only).
bool real_date(long yyyymmddhh);

// What the line shows, worked out from how far the run is.
struct Figures {
  double share = 0;          // 0 to 1
  double rate = -1;          // soundings per second; < 0 unknown
  double seconds_left = -1;  // < 0 unknown
};
// done of total units of work (station-years, bytes), `soundings` so far,
// `elapsed` seconds since the start.
Figures figures(double done, double total, long soundings, double elapsed);

// The line for a terminal `width` columns wide (never wider than width - 1):
// "[####......]  42%  1234 soundings/s  0:12 left  72469 1995-01-31 12Z".
// `where` is "" or what is being read.
std::string line(const Figures& f, const std::string& where, int width);

// "1995-01-31 12Z".
std::string date_text(long yyyymmddhh);

class Bar {
 public:
  // Draws on `out` only when `on` (the front end's decision: standard error
  // is a terminal and the run is not quiet), at most once an `interval`.
  Bar(std::FILE* out, bool on,
      std::chrono::milliseconds interval = std::chrono::milliseconds(100));
  ~Bar();
  Bar(const Bar&) = delete;
  Bar& operator=(const Bar&) = delete;

  // How far the run is; `station` (0: none) and `date` (YYYYMMDDHH, 0:
  // none) of the sounding being read. A date that is not in the calendar
  // leaves the last real one shown. The first update draws at once, the
  // others once the interval since the last drawing has passed.
  void update(double done, double total, long soundings, long station,
              long date);
  // Clears the line, so that what follows starts on an empty one; the next
  // drawing still waits for the interval.
  void clear();

 private:
  std::FILE* out_;
  bool on_;
  bool shown_ = false, drawn_ = false;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point start_, last_;
  long station_ = 0, date_ = 0;
};

}  // namespace progress_bar
