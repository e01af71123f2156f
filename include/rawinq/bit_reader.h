// Reading big-endian bit fields of 1 to 32 bits from a byte buffer, most
// significant bit first. The reader is a value: its bytes, its bit position
// and whether a read went past the end. A read past the end yields zero
// bits for the missing part and sets the overrun flag; nothing outside the
// buffer is ever touched.
#pragma once

#include <cstdint>

class BitReader {
 public:
  BitReader(const unsigned char* bytes, unsigned long len)
      : bytes_(bytes), len_(bytes == nullptr ? 0 : len) {}

  // The next `width` bits (0 to 32) as an unsigned number.
  unsigned long raw(int width) {
    if (width <= 0) return 0;
    if (width > 32) width = 32;
    const unsigned long byte = pos_ >> 3;
    const unsigned shift = static_cast<unsigned>(pos_ & 7);
    std::uint64_t v = 0;
    if (byte + 5 <= len_) {
      for (int k = 0; k < 5; ++k) v = v << 8 | bytes_[byte + k];
    } else {
      for (unsigned long k = 0; k < 5; ++k) {
        v <<= 8;
        if (byte + k < len_) v |= bytes_[byte + k];
      }
      if (pos_ + static_cast<unsigned long>(width) > len_ * 8) overrun_ = true;
    }
    pos_ += static_cast<unsigned long>(width);
    // The 40 bits read hold the field from bit `shift` on.
    return static_cast<unsigned long>((v << (24 + shift)) >> (64 - width));
  }

  // The field, or kMissing when it holds its all-ones missing code.
  long value(int width, long missing) {
    const unsigned long v = raw(width);
    const unsigned long ones =
        width >= 32 ? 0xFFFFFFFFul : (1ul << (width < 0 ? 0 : width)) - 1;
    return v == ones ? missing : static_cast<long>(v);
  }

  // Moves on by n whole bytes; a move past the end stops there and sets
  // the overrun flag.
  void skip_bytes(unsigned long n) {
    const unsigned long end = len_ * 8;
    if (n > (end - (pos_ < end ? pos_ : end)) / 8) {
      pos_ = end;
      overrun_ = true;
      return;
    }
    pos_ += n * 8;
  }

  // The byte that holds the next unread bit.
  unsigned long byte_position() const { return pos_ >> 3; }
  bool overrun() const { return overrun_; }

 private:
  const unsigned char* bytes_;
  unsigned long len_;
  unsigned long pos_ = 0;  // bits from bytes_[0]
  bool overrun_ = false;
};
