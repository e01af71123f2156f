// Lines of a ZIR block laid out with the writer's own format strings, for
// the tests that build a listing to compare with or a plotter's input.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace zir_lines {

// printf into a string of at most 159 characters.
inline std::string fmt(const char* f, ...) {
  char buf[160];
  va_list ap;
  va_start(ap, f);
  std::vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

inline std::string date_line(int hour, int day, const char* mon, int year) {
  return fmt("%7d %6d %6d %8s %7d\n", 254, hour, day, mon, year);
}
// A longitude under 100 has a blank before it.
inline std::string station_line(long wban, long wmo, double lat, char clat,
                                double lon, char clon, int elev, long reltime) {
  return fmt(lon >= 100.0 ? "%7d %6ld %6ld %6.2f%c%5.2f%c %5d %6ld\n"
                          : "%7d %6ld %6ld %6.2f%c% 6.2f%c %5d %6ld\n",
             1, wban, wmo, lat, clat, lon, clon, elev, reltime);
}
inline std::string summary_line(long top, long maxw, long trop, long lines,
                                long fifth = 7, long sixth = 1) {
  return fmt("%7d %6ld %6ld %6ld %6ld %6ld %6ld\n", 2, top, maxw, trop, lines,
             fifth, sixth);
}
inline std::string ident_line(const char* init, long sondtype,
                              const char* units) {
  return fmt("%7d %13s %20ld %6s\n", 3, init, sondtype, units);
}
inline std::string level_line(long fr, long pr, long ht, long tp, long dp,
                              long wd, long ws) {
  return fmt("%7ld %6ld %6ld %6ld %6ld %6ld %6ld\n", fr, pr, ht, tp, dp, wd,
             ws);
}

}  // namespace zir_lines
