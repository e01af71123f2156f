// The leading decimal number of a line of text or an answer (blanks, an
// optional sign, digits), as sscanf("%ld") would take it, with overflow
// detected instead of wrapped.
#pragma once

#include <string>

struct LeadingNumber {
  bool found = false;     // a number was there
  bool overflow = false;  // it does not fit a long
  long value = 0;
};
LeadingNumber leading_number(const std::string& text);
