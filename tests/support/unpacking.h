// For the tests that read archive records: the unpacking tables, and
// big-endian numbers out of a byte string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rawinq/globals.h"
#include "rawinq/upack.h"

namespace testing_support {

// Builds the unpacking tables and the all-ones values of 0 to 32 bits, as
// the program does at start-up.
inline void prepare_unpacking() {
  BuildUnpackTable();
  for (unsigned long w = 0; w <= 32; ++w) Missing[w] = expon(2, w) - 1;
}

// The n-byte big-endian number at byte `at` of b.
inline unsigned long be(const std::vector<std::uint8_t>& b, std::size_t at,
                        int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | b.at(at + i);
  return v;
}

}  // namespace testing_support
