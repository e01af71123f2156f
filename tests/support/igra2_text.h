// IGRA2 sounding records in their fixed columns, for the tests that build
// IGRA2 files.
#pragma once

#include <cstdio>
#include <string>

namespace testing_support {

// The header record of a sounding of `levels` level records.
inline std::string igra_header(const char* id, int year, int month, int day,
                               int hour, int release, int levels) {
  char t[100];
  std::snprintf(t, sizeof t,
                "#%-11s %4d %02d %02d %02d %04d %4d ncdc6310 ncdc6310  397700 "
                "-1048700\n",
                id, year, month, day, hour, release, levels);
  return t;
}

// A level record: type (major and minor figure), pressure in Pa, height in
// m, temperature, relative humidity and dew-point depression in tenths,
// direction in degrees, speed in tenths of m/s; `flag` after the pressure,
// height and temperature.
inline std::string igra_level(const char* type, long pa, long gph, long t,
                              long rh, long dpd, long wd, long ws,
                              char flag = ' ') {
  char x[80];
  std::snprintf(x, sizeof x, "%s %5d %6ld%c%5ld%c%5ld%c%5ld %5ld %5ld %5ld\n",
                type, 0, pa, flag, gph, flag, t, flag, rh, dpd, wd, ws);
  return x;
}

}  // namespace testing_support
