// A decoded sounding as one value: the header and exactly the levels the
// record carries (header.levels == levels.size()). The decoder makes it from
// a record's bytes; writers, the analysis functions and the plots take it by
// const reference together with the station's catalogue entry.
#pragma once

#include <cmath>
#include <vector>

#include "rawinq/records.h"

struct Sounding {
  HEADER_TYPE header{};
  std::vector<DATA_TYPE> levels;
};

inline bool is_missing(long v) { return v == kMissingValue; }

// A wind speed in tenths of m/s as whole knots, rounded as every text
// output writes it (0.1925 knots to a tenth of m/s); missing stays missing.
inline long speed_in_knots(long ws) {
  if (is_missing(ws)) return ws;
  return static_cast<long>(static_cast<double>(ws) * 0.1925 + 0.5);
}

// A wind speed in tenths of m/s as whole knots of the exact factor (1 kt =
// 0.514444 m/s), rounded to the nearest, for outputs that are not read with
// the ZIR factor; missing stays missing.
inline long speed_in_exact_knots(long ws) {
  if (is_missing(ws)) return ws;
  return std::lround(static_cast<double>(ws) / 5.14444);
}
