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

// Appends text to out in UTF-8: each well-formed sequence of two bytes or
// more as it is, every other byte that is not UTF-8 as its Latin-1
// character, and each ASCII character c as ascii(out, c) writes it (an
// escape, or c itself).
template <typename Ascii>
void append_utf8(std::string& out, const std::string& text, Ascii ascii) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_length(text, i);
    if (n == 0) {
      append_latin1(out, static_cast<unsigned char>(text[i++]));
    } else if (n > 1) {
      out.append(text, i, n);
      i += n;
    } else {
      ascii(out, text[i++]);
    }
  }
}

// Appends text to out as the content or an attribute value of an HTML or
// XML document in UTF-8: & < > " ' as references, control characters other
// than newline and tab as U+FFFD.
inline void append_markup(std::string& out, const std::string& text) {
  append_utf8(out, text, [](std::string& o, char ch) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': o += "&amp;"; break;
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      case '"': o += "&quot;"; break;
      case '\'': o += "&#39;"; break;
      default:
        if ((c < 0x20 || c == 0x7f) && c != '\n' && c != '\t')
          o += "&#xfffd;";
        else
          o += ch;
    }
  });
}

}  // namespace rawinq
