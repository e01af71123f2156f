// The sounding decoder: a pure function from a packed record's bytes to a
// Sounding value.
#pragma once

#include "rawinq/sounding.h"

// What the decoder made of a record.
enum class SoundingCheck {
  written,             // decoded whole and handed to a writer
  decoded,             // decoded whole
  few_levels,          // 4 levels or fewer left: dropped
  past_bytes_read,     // its blocks run past the bytes given
  past_record_length,  // its level blocks run past its own length
  bad_date,            // month, day or hour out of range
};

struct DecodeOptions {
  // The coded format ends at the 100 mb surface: only the levels up to the
  // last one at 100 mb or below are kept.
  bool cut_at_100mb = false;
};

// Decodes the record at bytes (len valid bytes from its start) into out,
// which is overwritten whole (its storage is reused). Returns decoded when
// the sounding is kept, else why it is not; out then holds what was read.
SoundingCheck decode_sounding(const unsigned char* bytes, unsigned long len,
                              const DecodeOptions& options, Sounding& out);

// The height in metres of a stored 17-bit height code that is not missing:
// the integer part of ((code - 400) / 0.98 + 0.5).
long decoded_height_metres(long code);
