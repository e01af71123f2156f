// Numbers in fixed columns of text lines, as the importers read them.
#pragma once

#include <string_view>
#include <vector>

namespace archive_writer {

// The characters of columns first..last (1-based, inclusive) of a line; the
// part beyond the line's end is left out.
inline std::string_view columns(std::string_view line, std::size_t first,
                                std::size_t last) {
  if (first > line.size()) return {};
  return line.substr(first - 1, last - first + 1);
}

inline std::string_view trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A whole number, blanks around it allowed; false when the text is blank or
// no number (or more than 9 digits).
inline bool whole_number(std::string_view s, long& value) {
  // The common case first: blanks, an optional minus and digits, then at
  // most blanks.
  std::size_t k = 0;
  const std::size_t n = s.size();
  while (k < n && s[k] == ' ') ++k;
  const bool minus = k < n && s[k] == '-';
  if (minus) ++k;
  const std::size_t first = k;
  long quick = 0;
  while (k < n && s[k] >= '0' && s[k] <= '9' && k - first < 9)
    quick = quick * 10 + (s[k++] - '0');
  if (k > first && k == n) {
    value = minus ? -quick : quick;
    return true;
  }
  s = trimmed(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 9) return false;
  long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = negative ? -v : v;
  return true;
}

// A decimal number with at most `decimals` figures after the point, in
// units of 10^-decimals (" -52.3" -> -523 for 1 decimal); false when blank
// or no such number.
inline bool scaled_number(std::string_view s, int decimals, long& value) {
  s = trimmed(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  long v = 0;
  int digits = 0, after = -1;
  for (char c : s) {
    if (c == '.' && after < 0) {
      after = 0;
      continue;
    }
    if (c < '0' || c > '9' || ++digits > 9) return false;
    if (after >= 0 && ++after > decimals) return false;
    v = v * 10 + (c - '0');
  }
  if (digits == 0) return false;
  for (int k = after < 0 ? 0 : after; k < decimals; ++k) v *= 10;
  value = negative ? -v : v;
  return true;
}

// The words of a line, separated by blanks and tabs, appended to `words`
// (views or strings) after it is emptied.
template <typename Word>
void split_words(std::string_view line, std::vector<Word>& words) {
  words.clear();
  std::size_t k = 0;
  while (k < line.size()) {
    while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
    const std::size_t start = k;
    while (k < line.size() && line[k] != ' ' && line[k] != '\t') ++k;
    if (k > start) words.emplace_back(line.substr(start, k - start));
  }
}

}  // namespace archive_writer
