// Dates and hours as people write them.
#include "rawinq/dates.h"

#include <regex>

namespace rawinq {

namespace {

bool leap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(long y, long m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30,
                                    31, 31, 30, 31, 30, 31};
  return kDays[m - 1] + (m == 2 && leap(y) ? 1 : 0);
}


long number(const std::ssub_match& m) {
  return m.matched ? std::stol(m.str()) : 0;
}

}  // namespace

// Days from 1970-01-01 of a civil date and back (the proleptic Gregorian
// calendar; H. Hinnant, "chrono-Compatible Low-Level Date Algorithms").
long days_from_civil(long y, long m, long d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

long hour_of_days(long days, long hour) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long doe = days - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long d = doy - (153 * mp + 2) / 5 + 1;
  const long m = mp + (mp < 10 ? 3 : -9);
  const long y = yoe + era * 400 + (m <= 2);
  return ((y * 100 + m) * 100 + d) * 100 + hour;
}

TimeSpan parse_time_span(const std::string& text) {
  static const std::regex kHour(R"((\d{4})(\d{2})(\d{2})(\d{2}))");
  static const std::regex kDay(R"((\d{4})-?(\d{2})-?(\d{2}))");
  static const std::regex kMonth(R"((\d{4})-(\d{2}))");
  static const std::regex kYear(R"((\d{4}))");
  static const std::regex kTime(
      R"((\d{4})-(\d{2})-(\d{2})[T ](\d{2})(?::(\d{2})(?::(\d{2}))?)?)"
      R"(([Zz]|([+-])(\d{2})(?::?(\d{2}))?)?)");
  const auto not_a_date = [&] {
    return DateError(text + " is not a date and hour");
  };
  std::smatch m;
  long y = 0, mo = 1, d = 1, h = 0;
  enum { hour, day, month, year } span = hour;
  long minutes = 0;  // past the hour, UTC
  long offset = 0;   // minutes east of UTC
  if (std::regex_match(text, m, kHour)) {
    y = number(m[1]), mo = number(m[2]), d = number(m[3]), h = number(m[4]);
  } else if (std::regex_match(text, m, kTime)) {
    y = number(m[1]), mo = number(m[2]), d = number(m[3]), h = number(m[4]);
    const long mi = number(m[5]), s = number(m[6]);
    if (mi > 59 || s > 59) throw not_a_date();
    minutes = mi + (s > 0 ? 1 : 0);
    if (m[8].matched) {
      const long oh = number(m[9]), om = number(m[10]);
      if (oh > 23 || om > 59) throw not_a_date();
      offset = (m[8].str() == "-" ? -1 : 1) * (oh * 60 + om);
    }
  } else if (std::regex_match(text, m, kDay)) {
    y = number(m[1]), mo = number(m[2]), d = number(m[3]);
    span = day;
  } else if (std::regex_match(text, m, kMonth)) {
    y = number(m[1]), mo = number(m[2]);
    span = month;
  } else if (std::regex_match(text, m, kYear)) {
    y = number(m[1]);
    span = year;
  } else {
    throw DateError("'" + text +
                    "' is not a date (YYYYMMDDHH, YYYY-MM-DDTHHZ, "
                    "YYYY-MM-DD, YYYY-MM or YYYY)");
  }
  if (y < 1900 || y > 2099 || mo < 1 || mo > 12 || d < 1 ||
      d > days_in_month(y, mo) || h > 23)
    throw not_a_date();

  TimeSpan t;
  switch (span) {
    case year:
      return {y * 1000000 + 10100, y * 1000000 + 123123};
    case month:
      return {(y * 100 + mo) * 10000 + 100,
              (y * 100 + mo) * 10000 + days_in_month(y, mo) * 100 + 23};
    case day:
      return {((y * 100 + mo) * 100 + d) * 100,
              ((y * 100 + mo) * 100 + d) * 100 + 23};
    case hour:
      break;
  }
  // Minutes from 1970 in UTC; a time between two hours covers none whole:
  // its first hour is the next, its last the one before.
  const auto floor_div = [](long a, long b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
  };
  const auto at = [&](long hours) {
    const long days = floor_div(hours, 24);
    return hour_of_days(days, hours - days * 24);
  };
  const long utc = (days_from_civil(y, mo, d) * 24 + h) * 60 + minutes - offset;
  const long hours = floor_div(utc, 60);
  t.last = at(hours);
  t.first = utc == hours * 60 ? t.last : at(hours + 1);
  if (t.first / 1000000 < 1900 || t.last / 1000000 > 2099) throw not_a_date();
  return t;
}

}  // namespace rawinq
