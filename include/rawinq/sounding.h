// A decoded sounding as one value: the header and exactly the levels the
// record carries (header.levels == levels.size()). The decoder makes it from
// a record's bytes; writers, the analysis functions and the plots take it by
// const reference together with the station's catalogue entry.
#pragma once

#include <vector>

#include "rawinq/records.h"

struct Sounding {
  HEADER_TYPE header{};
  std::vector<DATA_TYPE> levels;
};

inline bool is_missing(long v) { return v == kMissingValue; }
