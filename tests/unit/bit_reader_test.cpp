// The bit reader: fields across byte boundaries, missing codes, reads and
// skips past the end.
#include "rawinq/bit_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "rawinq/records.h"

namespace {

struct Read {
  int width;          // 0: skip `skip` bytes instead
  unsigned long want;
  unsigned long byte;  // byte_position() after the step
  bool overrun;        // the flag after the step
  unsigned long skip = 0;
};

struct Case {
  const char* name;
  std::vector<unsigned char> bytes;
  std::vector<Read> reads;
};

TEST(BitReader, FieldsInOrder) {
  const Case cases[] = {
      {"twelve then four bits across two bytes",
       {0xAB, 0xCD},
       {{12, 0xABC, 1, false}, {4, 0xD, 2, false}}},
      {"byte-aligned fields are big-endian",
       {0x00, 0x00, 0x12, 0x34, 0xFE, 0xDC, 0xBA},
       {{32, 4660, 4, false}, {24, 0xFEDCBA, 7, false}}},
      {"a field ending inside a byte keeps the byte",
       {0xB6},
       {{3, 5, 0, false}, {5, 0x16, 1, false}}},
      {"seventeen bits from bit zero span three bytes",
       {0x01, 0x80, 0x01},
       {{7, 0, 0, false}, {17, 0x18001, 3, false}}},
      {"a read past the end yields zero bits and is flagged",
       {0xFF, 0xFF},
       {{12, 0xFFF, 1, false}, {12, 0xF00, 3, true}}},
      {"a skip stops at the end",
       {0, 0, 0, 0},
       {{0, 0, 4, false, 4}, {0, 0, 4, true, 1}, {8, 0, 5, true}}},
      {"a 32-bit field from the middle of a byte",
       {0x0F, 0xFF, 0xFF, 0xFF, 0xF0},
       {{4, 0, 0, false}, {32, 0xFFFFFFFF, 4, false}, {4, 0, 5, false}}},
      {"no bytes at all",
       {},
       {{8, 0, 1, true}}},
  };
  for (const Case& c : cases) {
    BitReader in(c.bytes.data(), c.bytes.size());
    int step = 0;
    for (const Read& r : c.reads) {
      if (r.width == 0) {
        in.skip_bytes(r.skip);
      } else {
        EXPECT_EQ(in.raw(r.width), r.want) << c.name << ", step " << step;
      }
      EXPECT_EQ(in.byte_position(), r.byte) << c.name << ", step " << step;
      EXPECT_EQ(in.overrun(), r.overrun) << c.name << ", step " << step;
      ++step;
    }
  }
}

TEST(BitReader, AllOnesIsTheMissingCode) {
  const unsigned char ones[] = {0xFF, 0xFF, 0xFF};
  BitReader a(ones, sizeof ones);
  EXPECT_EQ(a.value(17, kMissingValue), kMissingValue);
  const unsigned char one_clear[] = {0xFF, 0xBF, 0xFF};
  BitReader b(one_clear, sizeof one_clear);
  EXPECT_EQ(b.value(17, kMissingValue), 0x1FF7F);
  BitReader c(ones, sizeof ones);
  EXPECT_EQ(c.value(4, kMissingValue), kMissingValue);
  EXPECT_EQ(c.value(12, kMissingValue), kMissingValue);
  EXPECT_EQ(c.value(8, -1), -1);
}

}  // namespace
