// Dates and hours as people write them, turned into the archive's hours
// (YYYYMMDDHH, UTC).
#pragma once

#include <stdexcept>
#include <string>

namespace rawinq {

// The first and the last whole hour (YYYYMMDDHH, UTC) a written time
// covers: an hour is itself, a day, month or year every hour of it, and a
// time between two hours the next hour as a first and the one before as a
// last.
struct TimeSpan {
  long first = 0;
  long last = 0;
};

// A text that is no date, or no date of the calendar (the message says
// which and names the text).
struct DateError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// Reads one of
//   YYYYMMDDHH                      the archive's form
//   YYYY-MM-DDTHH[:MM[:SS]][Z|+HH[:MM]|-HH[:MM]]
//                                   ISO 8601; UTC without an offset, an
//                                   offset converted ("T" may be a blank)
//   YYYY-MM-DD or YYYYMMDD          a whole day
//   YYYY-MM                         a whole month
//   YYYY                            a whole year
// for the years 1900 to 2099. Throws DateError.
TimeSpan parse_time_span(const std::string& text);

// Days from 1970-01-01 of a civil date, and the archive's hour YYYYMMDDHH
// of such a day count and an hour of it (the proleptic Gregorian calendar).
long days_from_civil(long y, long m, long d);
long hour_of_days(long days, long hour);

}  // namespace rawinq
