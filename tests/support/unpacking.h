// For the tests that read archive records: big-endian numbers out of a
// byte string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dialogue_fixture.h"

namespace testing_support {

// The decoder needs no tables built at start-up.
inline void prepare_unpacking() {}

// The n-byte big-endian number at byte `at` of b.
inline unsigned long be(const std::vector<std::uint8_t>& b, std::size_t at,
                        int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | b.at(at + i);
  return v;
}

}  // namespace testing_support
