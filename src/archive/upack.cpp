// Bit-field unpacking driven by a table of steps built once at start-up.
#include "rawinq/upack.h"

const unsigned char* Ibuff_Ptr = nullptr;
const unsigned char* Ibuff_End = nullptr;
bool Unpack_Overrun = false;

namespace {

UnpackT UnpackTable[9][33];
const unsigned char Mask[9] = {0x00, 0x01, 0x03, 0x07, 0x0F,
                               0x1F, 0x3F, 0x7F, 0xFF};

}  // namespace

void set_unpack_buffer(const unsigned char* buf, unsigned long len) {
  Ibuff_Ptr = buf;
  Ibuff_End = buf + len;
  Unpack_Overrun = false;
}

void skip_unpack_bytes(unsigned long n) {
  if (Ibuff_End != nullptr &&
      n > static_cast<unsigned long>(Ibuff_End - Ibuff_Ptr)) {
    Ibuff_Ptr = Ibuff_End;
    Unpack_Overrun = true;
    return;
  }
  Ibuff_Ptr += n;
}

void BuildUnpackTable() {
  for (int c = 0; c <= 7; ++c) {
    for (int n = 0; n <= 32; ++n) {
      UnpackT& e = UnpackTable[c][n];
      e = UnpackT{0, 0, 0, static_cast<unsigned char>(c), 0, nullptr};
      if (n == 0) continue;
      e.mask = Mask[c + 1];
      if (n == c + 1) {  // the field ends at bit 0 of this byte
        e.flag = 0;
        e.next = 7;
      } else if (n <= c) {  // the field ends inside this byte
        e.flag = 2;
        e.shift = static_cast<unsigned long>(c - n + 1);
        e.next = static_cast<unsigned char>(c - n);
      } else {  // the field runs on into the next byte
        e.flag = 1;
        e.shift = static_cast<unsigned long>(n - c - 1);
        e.bits = static_cast<unsigned char>(n - c - 1);
        e.next = 7;
        e.flink = &UnpackTable[7][n - c - 1];
      }
    }
  }
}

short UnpackData(unsigned long* Out, short /*Num*/, short Size,
                 short currbit) {
  unsigned long result = 0;
  const unsigned char* p = Ibuff_Ptr;
  const int width = Size < 0 ? 0 : (Size > 32 ? 32 : Size);
  const UnpackT* step = &UnpackTable[currbit & 7][width];
  short next = static_cast<short>(currbit);
  while (step != nullptr) {
    unsigned char b = 0;
    const bool beyond = Ibuff_End != nullptr && p >= Ibuff_End;
    if (beyond && step->mask != 0) {
      Unpack_Overrun = true;
    } else if (step->mask != 0) {
      b = *p;
    }
    const unsigned long v = static_cast<unsigned long>(b & step->mask);
    switch (step->flag) {
      case 0: result |= v; break;
      case 1: result |= v << step->shift; break;
      default: result |= v >> step->shift; break;
    }
    next = step->next;
    if (step->next == 7 && step->mask != 0 && !beyond) ++p;
    step = step->flink;
  }
  Ibuff_Ptr = p;
  *Out = result;
  return next;
}

unsigned long expon(unsigned long base, unsigned long exponent) {
  unsigned long r = 1;
  for (unsigned long i = 0; i < exponent; ++i) r *= base;
  return r;
}
