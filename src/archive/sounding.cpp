// Decoding of a packed sounding record.
#include "rawinq/archive.h"
#include "rawinq/globals.h"

short io_sounding(const unsigned char*, unsigned long, short, short, short,
                  short, long) {
  return 0;
}
