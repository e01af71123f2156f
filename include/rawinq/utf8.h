// UTF-8 as the catalogue's and the archive's texts may hold it, or not:
// texts written out in UTF-8 documents (web pages, SVG, JSON) keep every
// well-formed sequence and show any other byte as the Latin-1 character
// it would be, so that an old catalogue in Latin-1 reads right.
#pragma once

#include <cstddef>
#include <string>

namespace rawinq {

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), 0 when
// none begins there (a stray continuation byte, an overlong form, a
// surrogate, past U+10FFFF, or cut off by the end).
inline std::size_t utf8_length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned long cp = 0;
  if (c >= 0xc2 && c <= 0xdf) n = 2, cp = c & 0x1f;
  else if (c >= 0xe0 && c <= 0xef) n = 3, cp = c & 0x0f;
  else if (c >= 0xf0 && c <= 0xf4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3f);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10ffff)) ||
      (cp >= 0xd800 && cp <= 0xdfff))
    return 0;
  return n;
}

// Appends the byte c as the Latin-1 character it is, in UTF-8.
inline void append_latin1(std::string& out, unsigned char c) {
  out += static_cast<char>(0xc0 | (c >> 6));
  out += static_cast<char>(0x80 | (c & 0x3f));
}

}  // namespace rawinq
