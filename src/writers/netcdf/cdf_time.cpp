// Calendar date and time to seconds since 1970-01-01 00:00:00 (GMT).
#include "rawinq/cdf.h"

namespace {

const int ndays_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int ndays_leap_month[12] = {31, 29, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
const long nsec_year = 31536000;
const long nsec_leap_year = 31622400;
const int base_yr = 1970;

}  // namespace

int leap_yr(int iyr) {
  if (iyr % 400 == 0) return 0;
  if (iyr % 100 != 0 && iyr % 4 == 0) return 0;
  return -1;
}

double time2sec(int iyr, int imo, int idy, int ihr, int imn, int isc) {
  const int* days = leap_yr(iyr) == 0 ? ndays_leap_month : ndays_month;
  double count = 0.0;
  if (iyr >= base_yr) {
    for (int y = base_yr; y < iyr; ++y)
      count += leap_yr(y) == 0 ? nsec_leap_year : nsec_year;
    for (int m = 1; m < imo; ++m) count += days[m - 1] * 86400L;
    for (int d = 1; d < idy; ++d) count += 86400;
    for (int h = 0; h < ihr; ++h) count += 3600;
    for (int n = 0; n < imn; ++n) count += 60;
    count += isc;
    return count;
  }
  for (int y = iyr + 1; y < base_yr; ++y)
    count += leap_yr(y) == 0 ? nsec_leap_year : nsec_year;
  for (int m = imo + 1; m <= 12; ++m) count += days[m - 1] * 86400L;
  for (int d = idy + 1; d <= days[imo - 1]; ++d) count += 86400;
  for (int h = ihr + 1; h <= 23; ++h) count += 3600;
  for (int n = imn + 1; n <= 59; ++n) count += 60;
  count += 60 - isc;
  return 0.0 - count;
}
