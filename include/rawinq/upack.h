// Reading bit fields of 1 to 32 bits, most significant bit first.
#pragma once

// One step of a field read: the part of the field held by one byte.
struct UnpackT {
  unsigned char mask;   // applied to the current byte
  unsigned char flag;   // 0 OR as is, 1 shift left, 2 shift right, then OR
  unsigned char bits;   // bits still to read after this step (flag 1)
  unsigned char next;   // bit position after this step; 7: next byte
  unsigned long shift;  // shift count of flags 1 and 2
  const UnpackT* flink;  // step for the rest of the field, or null
};

// The read cursor: the byte that holds the next unread bit.
extern const unsigned char* Ibuff_Ptr;
// One past the last readable byte of the buffer Ibuff_Ptr walks. A read at or
// beyond it yields zero bits and sets Unpack_Overrun; it never touches memory
// outside the buffer. Null means no limit is set (only for callers that
// have checked the bounds themselves).
extern const unsigned char* Ibuff_End;
extern bool Unpack_Overrun;

// Points the cursor at buf[0] with the readable end at buf + len and clears
// Unpack_Overrun.
void set_unpack_buffer(const unsigned char* buf, unsigned long len);

// Moves the cursor on by n whole bytes; a move past the readable end stops
// at the end and sets Unpack_Overrun.
void skip_unpack_bytes(unsigned long n);

void BuildUnpackTable();
short UnpackData(unsigned long* Out, short Num, short Size, short currbit);
unsigned long expon(unsigned long base, unsigned long exponent);
