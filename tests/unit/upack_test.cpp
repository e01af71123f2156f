#include "rawinq/upack.h"

#include <gtest/gtest.h>

#include "rawinq/globals.h"
#include "unpacking.h"

namespace {

class Upack : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::prepare_unpacking(); }
};

TEST_F(Upack, TwelveThenFourBitsAcrossTwoBytes) {
  const unsigned char buf[] = {0xAB, 0xCD};
  set_unpack_buffer(buf, sizeof buf);
  unsigned long v = 0;
  short bit = UnpackData(&v, 1, 12, 7);
  EXPECT_EQ(v, 0xABCu);
  EXPECT_EQ(bit, 3);
  EXPECT_EQ(Ibuff_Ptr, buf + 1);
  bit = UnpackData(&v, 1, 4, bit);
  EXPECT_EQ(v, 0xDu);
  EXPECT_EQ(bit, 7);
  EXPECT_EQ(Ibuff_Ptr, buf + 2);
  EXPECT_FALSE(Unpack_Overrun);
}

TEST_F(Upack, ByteAlignedFieldsAreBigEndian) {
  const unsigned char buf[] = {0x00, 0x00, 0x12, 0x34, 0xFE, 0xDC, 0xBA};
  set_unpack_buffer(buf, sizeof buf);
  unsigned long v = 0;
  EXPECT_EQ(UnpackData(&v, 1, 32, 7), 7);
  EXPECT_EQ(v, 4660u);
  EXPECT_EQ(Ibuff_Ptr, buf + 4);
  EXPECT_EQ(UnpackData(&v, 1, 24, 7), 7);
  EXPECT_EQ(v, 0xFEDCBAu);
}

TEST_F(Upack, FieldEndingInsideAByteKeepsTheCursor) {
  const unsigned char buf[] = {0xB6};  // 1011 0110
  set_unpack_buffer(buf, sizeof buf);
  unsigned long v = 0;
  EXPECT_EQ(UnpackData(&v, 1, 3, 7), 4);
  EXPECT_EQ(v, 5u);
  EXPECT_EQ(Ibuff_Ptr, buf);
  EXPECT_EQ(UnpackData(&v, 1, 5, 4), 7);
  EXPECT_EQ(v, 0x16u);
  EXPECT_EQ(Ibuff_Ptr, buf + 1);
}

TEST_F(Upack, SeventeenBitsFromBitZeroSpanThreeBytes) {
  const unsigned char buf[] = {0x01, 0x80, 0x01};
  set_unpack_buffer(buf + 0, sizeof buf);
  unsigned long v = 0;
  EXPECT_EQ(UnpackData(&v, 1, 17, 0), 7);
  EXPECT_EQ(v, (1ul << 16) | 0x8001ul);
  EXPECT_EQ(Ibuff_Ptr, buf + 3);
}

TEST_F(Upack, AllOnesFieldEqualsMissingCode) {
  EXPECT_EQ(Missing[0], 0u);
  EXPECT_EQ(Missing[4], 15u);
  EXPECT_EQ(Missing[12], 4095u);
  EXPECT_EQ(Missing[17], 131071u);
  EXPECT_EQ(Missing[32], 4294967295u);
  const unsigned char ones[] = {0xFF, 0xFF, 0xFF};
  set_unpack_buffer(ones, sizeof ones);
  unsigned long v = 0;
  short bit = UnpackData(&v, 1, 17, 7);
  EXPECT_EQ(v, Missing[17]);
  const unsigned char one_clear[] = {0xFF, 0xBF, 0xFF};
  set_unpack_buffer(one_clear, sizeof one_clear);
  bit = UnpackData(&v, 1, 17, 7);
  EXPECT_NE(v, Missing[17]);
  EXPECT_EQ(bit, 6);
}

TEST_F(Upack, ReadsPastTheBufferEndYieldZeroAndAreFlagged) {
  const unsigned char buf[] = {0xFF, 0xFF};
  set_unpack_buffer(buf, sizeof buf);
  unsigned long v = 0;
  EXPECT_EQ(UnpackData(&v, 1, 12, 7), 3);
  EXPECT_FALSE(Unpack_Overrun);
  UnpackData(&v, 1, 12, 3);  // 4 bits left in the buffer, 8 beyond it
  EXPECT_TRUE(Unpack_Overrun);
  EXPECT_EQ(v, 0xF00u);
  EXPECT_EQ(Ibuff_Ptr, buf + 2);
  skip_unpack_bytes(5);
  EXPECT_EQ(Ibuff_Ptr, buf + 2);
}

TEST_F(Upack, SkipStopsAtTheEnd) {
  const unsigned char buf[4] = {};
  set_unpack_buffer(buf, sizeof buf);
  skip_unpack_bytes(4);
  EXPECT_FALSE(Unpack_Overrun);
  EXPECT_EQ(Ibuff_Ptr, buf + 4);
  skip_unpack_bytes(1);
  EXPECT_TRUE(Unpack_Overrun);
  EXPECT_EQ(Ibuff_Ptr, buf + 4);
}

TEST(Expon, RepeatedMultiplication) {
  EXPECT_EQ(expon(2, 0), 1u);
  EXPECT_EQ(expon(2, 10), 1024u);
  EXPECT_EQ(expon(10, 3), 1000u);
}

}  // namespace
