// Reading one ZIR sounding block.
#include "zir_block.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace drovane {
namespace {

constexpr long kMissingTenths = 99999;
constexpr long kMissingWholeMb = 32767;
// No real surface pressure reaches 1100 mb; a larger number can only be
// tenths of mb.
constexpr long kHighestWholeMb = 1100;

// Walks one line of text, field by field.
class LineReader {
 public:
  LineReader(const std::string& line, int number, const char* what)
      : line_(line), number_(number), what_(what) {}

  long integer(const char* field) {
    skip_blanks();
    const size_t start = pos_;
    if (pos_ < line_.size() && (line_[pos_] == '-' || line_[pos_] == '+'))
      ++pos_;
    const size_t digits = pos_;
    while (pos_ < line_.size() && is_digit(line_[pos_])) ++pos_;
    if (pos_ == digits) fail(std::string("no number for ") + field);
    errno = 0;
    const long value = std::strtol(line_.substr(start, pos_ - start).c_str(),
                                   nullptr, 10);
    if (errno == ERANGE) fail(std::string("number too large for ") + field);
    return value;
  }

  // A decimal number of digits with at most one point, no exponent (a
  // hemisphere letter 'E' follows longitudes directly).
  double decimal(const char* field) {
    skip_blanks();
    const size_t start = pos_;
    if (pos_ < line_.size() && (line_[pos_] == '-' || line_[pos_] == '+'))
      ++pos_;
    size_t count = 0;
    bool point = false;
    while (pos_ < line_.size() &&
           (is_digit(line_[pos_]) || (line_[pos_] == '.' && !point))) {
      if (line_[pos_] == '.') point = true; else ++count;
      ++pos_;
    }
    if (count == 0) fail(std::string("no number for ") + field);
    return std::strtod(line_.substr(start, pos_ - start).c_str(), nullptr);
  }

  // One of the given letters, right where the reader stands.
  char letter(const char* allowed, const char* field) {
    if (pos_ < line_.size()) {
      for (const char* a = allowed; *a; ++a) {
        if (line_[pos_] == *a) return line_[pos_++];
      }
    }
    fail(std::string("no hemisphere letter for ") + field);
  }

  std::string word() {
    skip_blanks();
    const size_t start = pos_;
    while (pos_ < line_.size() && !is_blank(line_[pos_])) ++pos_;
    return line_.substr(start, pos_ - start);
  }

  bool at_end() {
    skip_blanks();
    return pos_ == line_.size();
  }
  void expect_end() {
    if (!at_end()) fail("unexpected text \"" + line_.substr(pos_) + "\"");
  }
  void move_to(size_t column) { pos_ = column < line_.size() ? column : line_.size(); }

  [[noreturn]] void fail(const std::string& why) const {
    throw ZirError("line " + std::to_string(number_) + " (" + what_ +
                   "): " + why);
  }

 private:
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  static bool is_blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
  }
  void skip_blanks() {
    while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
  }

  const std::string& line_;
  size_t pos_ = 0;
  int number_;
  const char* what_;
};

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

void expect_type(LineReader& r, long type) {
  if (r.integer("line type") != type)
    r.fail("line type " + std::to_string(type) + " expected");
}

bool blank(const std::string& line) {
  for (char c : line)
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  return true;
}

// The lines of the stream, counted, with one line of look-ahead.
class Lines {
 public:
  explicit Lines(std::istream& in) : in_(in) {}

  bool next(std::string& line) {
    if (held_) {
      held_ = false;
      line = held_line_;
    } else {
      if (!std::getline(in_, line)) return false;
      if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    ++number_;
    return true;
  }
  // Gives the line last read back, to be read again.
  void put_back(const std::string& line) {
    held_ = true;
    held_line_ = line;
    --number_;
  }
  // Number of the line last read (0 before the first).
  int number() const { return number_; }

 private:
  std::istream& in_;
  int number_ = 0;
  bool held_ = false;
  std::string held_line_;
};

ZirBlock read_block(Lines& lines) {
  ZirBlock b;
  std::string line;
  static const char* const kHeaderNames[] = {"date", "station", "summary",
                                             "identification"};
  for (int h = 0; h < 4; ++h) {
    if (!lines.next(line)) {
      throw ZirError(lines.number() == 0
                         ? std::string("empty file")
                         : "the block ends before its " +
                               std::string(kHeaderNames[h]) + " line");
    }
    const int number = lines.number();
    LineReader r(line, number, kHeaderNames[h]);
    switch (h) {
      case 0:
        expect_type(r, 254);
        b.hour = r.integer("hour");
        b.day = r.integer("day");
        {
          // The month name may be blank for a month outside 1 to 12.
          const std::string first = r.word();
          const std::string second = r.word();
          r.expect_end();
          if (!second.empty()) b.month = first;
          LineReader year(second.empty() ? first : second, number, "date");
          b.year = year.integer("year");
          year.expect_end();
        }
        break;
      case 1:
        expect_type(r, 1);
        b.wban = r.integer("WBAN number");
        b.wmo = r.integer("WMO number");
        b.lat = r.decimal("latitude");
        b.clat = r.letter("NS", "latitude");
        b.lon = r.decimal("longitude");
        b.clon = r.letter("EW", "longitude");
        b.elev = r.integer("elevation");
        b.reltime = r.integer("release time");
        r.expect_end();
        break;
      case 2:
        expect_type(r, 2);
        b.top_hyd = r.integer("top humidity level");
        b.maxwind = r.integer("maximum wind level");
        b.troplv = r.integer("tropopause level");
        b.line_count = r.integer("line count");
        b.tropind = r.integer("tropopause indicator");
        b.source = r.integer("source");
        r.expect_end();
        if (b.line_count < 4) r.fail("a block has at least 4 lines");
        break;
      default: {
        expect_type(r, 3);
        // The initials are right-aligned in the 13 columns after the type.
        if (line.size() < 21) r.fail("line too short");
        b.init = trim(line.substr(8, 13));
        r.move_to(21);
        const std::string first = r.word();
        const std::string second = r.word();
        r.expect_end();
        if (second.empty()) {
          b.wind_units = first;
        } else {
          LineReader sonde(first, number, "identification");
          b.sondtype = sonde.integer("sonde type");
          sonde.expect_end();
          b.has_sondtype = true;
          b.wind_units = second;
        }
        if (b.wind_units != "kt" && b.wind_units != "ms")
          r.fail("wind units \"" + b.wind_units + "\" are neither kt nor ms");
      }
    }
  }
  // Levels are read one by one; the count only bounds the loop, nothing is
  // set aside for it in advance.
  const long expected = b.line_count - 4;
  for (long i = 0; i < expected; ++i) {
    if (!lines.next(line)) {
      throw ZirError("the block ends after " + std::to_string(i) + " of " +
                     std::to_string(expected) + " level lines");
    }
    LineReader r(line, lines.number(), "level");
    ZirLevel l;
    l.fr = r.integer("level type");
    l.pr = r.integer("pressure");
    l.ht = r.integer("height");
    l.tp = r.integer("temperature");
    l.dp = r.integer("dew point");
    l.wd = r.integer("wind direction");
    l.ws = r.integer("wind speed");
    r.expect_end();
    b.levels.push_back(l);
  }
  return b;
}

}  // namespace

ZirBlock parse_zir_block(std::istream& in) {
  Lines lines(in);
  return read_block(lines);
}

std::vector<ZirBlock> parse_zir_blocks(std::istream& in) {
  Lines lines(in);
  std::vector<ZirBlock> blocks;
  blocks.push_back(read_block(lines));
  // Blank lines between and after the blocks are allowed; anything else
  // must be the next block.
  std::string line;
  while (lines.next(line)) {
    if (blank(line)) continue;
    lines.put_back(line);
    blocks.push_back(read_block(lines));
  }
  return blocks;
}

PressureUnit detect_pressure_unit(const ZirBlock& block) {
  bool any_99999 = false;
  for (const ZirLevel& l : block.levels) {
    // 3276.7 mb is no pressure: 32767 there is the whole-mb missing code.
    if (l.pr == kMissingWholeMb) return PressureUnit::whole_mb;
    if (l.pr != kMissingTenths && l.pr > kHighestWholeMb)
      return PressureUnit::tenths_mb;
    for (long v : {l.pr, l.ht, l.tp, l.dp, l.wd, l.ws})
      if (v == kMissingTenths) any_99999 = true;
  }
  for (long v : {block.top_hyd, block.maxwind, block.troplv})
    if (v == kMissingTenths) any_99999 = true;
  return any_99999 ? PressureUnit::tenths_mb : PressureUnit::whole_mb;
}

}  // namespace drovane
