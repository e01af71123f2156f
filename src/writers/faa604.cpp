// The FAA604 coded format: each sounding as the coded messages TTAA
// (surface, mandatory levels, tropopause, maximum wind), TTBB (surface,
// significant temperature levels, the 31313 section) and PPBB (winds by
// height bands of 10000 feet).
//
// The writer works on a copy of the sounding whose pressures are in whole
// mb.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "rawinq/faa604.h"
#include "rawinq/formats.h"

namespace {


// Frames of fpress that form the 31313 section instead of a level's group.
constexpr long kFrame31313 = 0;
constexpr long kFrameSondeType = 1;
constexpr long kFrameReleaseTime = 2;

// TTAA pressure indicators in walk order; the surface indicator closes the
// table, so a mandatory level left after the 100 mb step is walked with it
// (and fails its pressure check when it carries temperature or wind).
constexpr std::array<short, 12> mand = {0,  92, 85, 70, 50, 40,
                                        30, 25, 20, 15, 10, 99};
constexpr short kIndicator925 = 92;
constexpr short kSurfaceIndicator = mand[11];

// TTBB sequence indicators; -1 marks the end, after which 11 comes again.
constexpr std::array<short, 11> seq = {0, 11, 22, 33, 44, 55, 66, 77, 88, 99, -1};

// The positions of the group formers (kGroupFormers).
enum : std::size_t { kPress, kHeight, kTemp, kWind };

// The groups that make up one level in each place of a message.
constexpr std::array<std::size_t, 3> kPressureSet = {kPress, kTemp, kWind};
constexpr std::array<std::size_t, 3> kMandatorySet = {kHeight, kTemp, kWind};
constexpr std::array<std::size_t, 2> kSignificantSet = {kPress, kTemp};

// Tropopause and maximum wind after the mandatory walk: the group written
// when the sounding has no such level.
struct SpecialLevel {
  long frame;
  const char* absent;
};
constexpr std::array<SpecialLevel, 2> kSpecialLevels = {
    {{kLevelTropopause, "88999 "}, {kLevelMaxWind, "77999 "}}};

constexpr std::array<long, 3> k31313Frames = {kFrame31313, kFrameSondeType,
                                              kFrameReleaseTime};

constexpr int kGroupsPerLine = 10;
constexpr int kHeightBands = 8;
constexpr double kFeetPerMetre = 3.29;
constexpr double kBandFeet = 10000.0;
constexpr int kLevelsPerRun = 3;
constexpr long kLastTTBBYearWithout31313 = 1990;

bool missing(long v) { return v == kMissingValue; }

// Number of valid levels, never more than the table holds.
long level_count(const Sounding& s) {
  const long size = static_cast<long>(s.levels.size());
  if (s.header.levels < 0) return 0;
  return s.header.levels < size ? s.header.levels : size;
}

// First level at or after `from` whose type is `frame`, or -1.
long find_level(const Sounding& s, long from, long frame) {
  const long n = level_count(s);
  for (long i = from < 0 ? 0 : from; i < n; ++i)
    if (s.levels[i].fr == frame) return i;
  return -1;
}

// The decimal text of value left-padded with '0' to width characters (the
// padding goes before a minus sign, as zero_pad does).
void append_padded(std::string& text, long value, std::size_t width) {
  char digits[24];
  const std::size_t n = static_cast<std::size_t>(
      std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  if (n < width) text.append(width - n, '0');
  text.append(digits, n);
}

// One group being formed, in a buffer of its own: the writer forms some 40
// groups a sounding, and strings for each cost more than the digits.
// Room for two numbers of any value and the group's letters.
class Group {
 public:
  void clear() { size_ = 0; }
  void put(char c) { text_[size_++] = c; }
  void put(const char* text, std::size_t n) {
    std::memcpy(text_ + size_, text, n);
    size_ += n;
  }
  // As append_padded: value's decimal text left-padded with '0' to width.
  void put_padded(long value, std::size_t width) {
    if (value >= 0 && width <= 5 && value < kPowers[width]) {
      auto u = static_cast<unsigned>(value);
      for (std::size_t k = width; k > 0; --k) {
        text_[size_ + k - 1] = static_cast<char>('0' + u % 10);
        u /= 10;
      }
      size_ += width;
      return;
    }
    char digits[24];
    const std::size_t n = static_cast<std::size_t>(
        std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    for (std::size_t k = n; k < width; ++k) put('0');
    put(digits, n);
  }
  const char* data() const { return text_; }
  std::size_t size() const { return size_; }

 private:
  static constexpr long kPowers[6] = {1, 10, 100, 1000, 10000, 100000};
  char text_[64];
  std::size_t size_ = 0;
};

// The group formers behind fpress, fhgt, ftemp and fwind (same arguments,
// the group put into a Group), called by position.
using GroupFormer = bool (*)(const Sounding& s, short seq, long& indx,
                             long frame, Group& g);
bool press_group(const Sounding& s, short seq, long& pindx, long frame,
                 Group& g);
bool height_group(const Sounding& s, short seq, long& hindx, long frame,
                  Group& g);
bool temp_group(const Sounding& s, short seq, long& tindx, long frame,
                Group& g);
bool wind_group(const Sounding& s, short seq, long& windx, long frame,
                Group& g);
constexpr std::array<GroupFormer, 4> kGroupFormers = {
    press_group, height_group, temp_group, wind_group};

std::string padded(long value, std::size_t width) {
  std::string text;
  append_padded(text, value, width);
  return text;
}

// The lines of the sounding being written. Without paging they are
// gathered and written together when the sounding is done; with paging
// each goes out at once, counted or not.
class Lines {
 public:
  // text: the writer's buffer, kept from sounding to sounding.
  Lines(OutputUnit& out, std::string& text) : out_(out), text_(text) {
    text_.clear();
  }
  void put(const std::string& line, bool counted) {
    if (out_.paging()) {
      out_.put_line(line, counted);
      return;
    }
    text_ += line;
    text_ += '\n';
    ++count_;
  }
  void flush() {
    if (count_ > 0) out_.put_lines(text_, count_);
    text_.clear();
    count_ = 0;
  }

 private:
  OutputUnit& out_;
  std::string& text_;
  int count_ = 0;
};

// The mandatory pressure (whole mb) an indicator stands for.
long indicator_pressure(short indicator) {
  if (indicator == 0) return 1000;
  const long p = indicator * 10L;
  return p == 920 ? 925 : p;
}

// One message line being filled: it is written when it holds ten groups.
class MessageLine {
 public:
  MessageLine(Lines& lines, std::string start, int groups)
      : lines_(lines), text_(std::move(start)), groups_(groups) {}
  void add(const Group& group) { add(group.data(), group.size()); }
  void add(const std::string& group) { add(group.data(), group.size()); }
  void add(const char* group) { add(group, std::strlen(group)); }
  void add(const char* group, std::size_t n) {
    text_.append(group, n);
    if (++groups_ == kGroupsPerLine) {
      lines_.put(text_, true);
      text_.clear();
      groups_ = 0;
    }
  }
  // Writes what the line holds, even nothing.
  void finish() const { lines_.put(text_, true); }

 private:
  Lines& lines_;
  std::string text_;
  int groups_;
};

// Appends the groups of one level, formatter by formatter; stops at the
// first formatter that forms no group and then returns false.
template <std::size_t N>
bool add_level(const Sounding& s, MessageLine& line,
               const std::array<std::size_t, N>& set, short indicator,
               long& cursor, long frame) {
  Group group;
  for (std::size_t pos : set) {
    group.clear();
    if (!kGroupFormers[pos](s, indicator, cursor, frame, group)) return false;
    line.add(group);
  }
  return true;
}

// True when the sounding has a mandatory level at 925 mb.
bool has_mandatory_925(const Sounding& s) {
  const long n = level_count(s);
  for (long i = 0; i < n; ++i)
    if (s.levels[i].fr == kLevelMandatory && s.levels[i].pr == 925) return true;
  return false;
}

// Hundreds figure of the last mandatory level with a complete wind.
long wind_indicator(const Sounding& s) {
  long lpress = 0;
  const long n = level_count(s);
  for (long i = 0; i < n; ++i) {
    const DATA_TYPE& l = s.levels[i];
    if (l.fr == kLevelMandatory && !missing(l.wd) && !missing(l.ws))
      lpress = (l.pr / 100) % 10;
  }
  return lpress;
}

// True when the mandatory step of `indicator` lies below the ground (its
// pressure greater than the surface's) and no mandatory level at its
// pressure follows `from` before a lower pressure: the step is then written
// as missing and the walk goes on above it.
bool below_ground_without_level(const Sounding& s, short indicator,
                                long from) {
  if (indicator == kSurfaceIndicator || level_count(s) == 0) return false;
  const long p = indicator_pressure(indicator);
  const long surface = s.levels[0].pr;
  if (missing(surface) || p <= surface) return false;
  const long n = level_count(s);
  for (long i = from < 0 ? 0 : from; i < n; ++i) {
    const DATA_TYPE& l = s.levels[i];
    if (missing(l.pr)) continue;
    if (l.pr < p) break;
    if (l.fr == kLevelMandatory && l.pr == p) return false;
  }
  return true;
}

void write_ttaa(const Sounding& s, Lines& lines, const std::string& init,
                const std::string& station) {
  lines.put(init + "MAN" + init, true);
  const long date = s.header.day * 1000L + s.header.hour * 10L +
                    wind_indicator(s) + 50000L;
  MessageLine line(lines, station + " TTAA  " + padded(date, 5) + " " + station + " ",
                   4);

  long cursor = 0;
  add_level(s, line, kPressureSet, kSurfaceIndicator, cursor, kLevelSurface);

  const bool mand_925 = has_mandatory_925(s);
  cursor = 1;
  for (short indicator : mand) {
    if (indicator == kIndicator925 && !mand_925) continue;
    if (below_ground_without_level(s, indicator, cursor)) {
      line.add(padded(indicator, 2) + "/// ");
      line.add("///// ");
      line.add("///// ");
      continue;
    }
    if (!add_level(s, line, kMandatorySet, indicator, cursor, kLevelMandatory)) break;
    ++cursor;
  }

  for (const SpecialLevel& special : kSpecialLevels) {
    cursor = 1;
    if (find_level(s, cursor, special.frame) < 0)
      line.add(special.absent);
    else
      add_level(s, line, kPressureSet, 0, cursor, special.frame);
  }
  line.finish();
}

long ttbb_date(const Sounding& s) {
  return s.header.day * 100L + s.header.hour + 5000L;
}

void write_ttbb(const Sounding& s, Lines& lines, const std::string& init,
                const std::string& station) {
  lines.put(init + "SGL" + init, true);
  MessageLine line(
      lines, station + " TTBB  " + padded(ttbb_date(s), 4) + "/ " + station + " ", 4);

  long cursor = 0;
  add_level(s, line, kSignificantSet, seq[0], cursor, kLevelSurface);

  long written = 0;
  std::size_t k = 1;
  for (++cursor;
       add_level(s, line, kSignificantSet, seq[k], cursor, kLevelSigTemperature);
       ++cursor) {
    ++written;
    if (seq[++k] < 0) k = 1;
  }

  if (s.header.year > kLastTTBBYearWithout31313 && !missing(s.header.sondtype) &&
      !missing(s.header.reltime)) {
    for (long frame : k31313Frames) {
      Group group;
      press_group(s, 0, cursor, frame, group);
      line.add(group);
    }
  }
  if (written > 0) line.finish();
}

// Height of a level in feet.
double feet(const DATA_TYPE& l) {
  return static_cast<double>(l.ht) * kFeetPerMetre;
}

void write_ppbb(const Sounding& s, Lines& lines, const std::string& station) {
  MessageLine line(lines, "PPBB  " + padded(ttbb_date(s) * 10, 5) + " " + station + " ",
                   3);
  const long n = level_count(s);
  long cursor = 0;
  bool any_wind_level = false;
  std::vector<long> iwinds;  // the wind levels of a band
  iwinds.reserve(static_cast<std::size_t>(n) + 1);
  for (int band = 0; band < kHeightBands; ++band) {
    const double top = (band + 1) * kBandFeet;
    iwinds.clear();
    if (band == 0) iwinds.push_back(0);  // the surface
    for (long i = cursor; i < n; ++i) {
      const DATA_TYPE& l = s.levels[i];
      if (l.fr == kLevelSigWind && !missing(l.ht) && feet(l) < top) {
        iwinds.push_back(i);
        any_wind_level = true;
      }
    }
    for (std::size_t start = 0; start < iwinds.size(); start += kLevelsPerRun) {
      const std::size_t end =
          start + kLevelsPerRun < iwinds.size() ? start + kLevelsPerRun
                                                : iwinds.size();
      std::string heights = "9" + std::to_string(band);
      for (std::size_t r = start; r < end; ++r) {
        const DATA_TYPE& l = s.levels[iwinds[r]];
        if (l.fr == kLevelSurface) {
          heights += "0";
        } else {
          heights += std::to_string(
              static_cast<long>((feet(l) - band * kBandFeet) / 1000.0));
        }
      }
      heights.append(kLevelsPerRun - (end - start), '/');
      line.add(heights + " ");
      for (std::size_t r = start; r < end; ++r) {
        long at = iwinds[r];
        Group group;
        wind_group(s, 0, at, s.levels[at].fr, group);
        line.add(group);
      }
      cursor = iwinds[end - 1] + 1;
    }
  }
  if (any_wind_level) line.finish();
}

}  // namespace

void zero_pad(std::size_t slen, std::string& text) {
  if (text.size() < slen) text.insert(0, slen - text.size(), '0');
}

namespace {

bool press_group(const Sounding& s, short seq, long& pindx, long frame,
                 Group& g) {
  switch (frame) {
    case kFrame31313:
      g.put("31313 ", 6);
      return true;
    case kFrameSondeType:
      g.put_padded(s.header.sondtype, 3);
      g.put("// ", 3);
      return true;
    case kFrameReleaseTime:
      g.put_padded(s.header.reltime, 4);
      g.put("/=", 2);
      return true;
    default:
      break;
  }
  const long i = find_level(s, pindx, frame);
  if (i < 0) return false;
  pindx = i;
  const DATA_TYPE& l = s.levels[i];
  if (missing(l.pr)) {
    g.put("///// ", 6);
    return true;
  }
  if (frame == kLevelTropopause)
    g.put("88", 2);
  else if (frame == kLevelMaxWind)
    g.put("77", 2);
  else
    g.put_padded(seq, 2);
  g.put_padded(l.pr > 999 ? l.pr - 1000 : l.pr, 3);
  g.put(' ');
  return true;
}

bool height_group(const Sounding& s, short seq, long& hindx, long frame,
                  Group& g) {
  const long i = find_level(s, hindx, frame);
  if (i < 0) return false;
  hindx = i;
  const DATA_TYPE& l = s.levels[i];
  if (seq == 0)
    g.put("00", 2);
  else
    g.put_padded(l.pr / 10, 2);
  if (missing(l.ht)) {
    g.put("/// ", 4);
  } else {
    const long h = l.ht;
    long code;
    if (l.pr == 1000 && h < 0)
      code = 500 - h;
    else if (l.pr > 699)
      code = h % 1000;
    else if (h <= 9999)
      code = h / 10;
    else
      code = (h % 10000) / 10;
    g.put_padded(code, 3);
    g.put(' ');
  }
  return true;
}

bool temp_group(const Sounding& s, short seq, long& tindx, long frame,
                Group& g) {
  const long i = find_level(s, tindx, frame);
  if (i < 0) return false;
  tindx = i;
  const DATA_TYPE& l = s.levels[i];
  if (missing(l.tp)) {
    g.put("///// ", 6);
    return true;
  }
  if (frame == kLevelMandatory && l.pr != indicator_pressure(seq)) return false;
  // The tenths digit is even at or above 0 degrees and odd below.
  const long t = l.tp;
  long ttt;
  if (t >= 0)
    ttt = t % 2 != 0 ? t + 1 : t;
  else
    ttt = t % 2 == 0 ? -t + 1 : -t;
  g.put_padded(ttt, 3);
  long d = 100;  // no depression
  if (!missing(l.dp)) {
    d = t - l.dp;
    if (d > 55) d = d / 10 + 50;
  }
  if (d <= 99)
    g.put_padded(d, 2);
  else
    g.put("//", 2);
  g.put(' ');
  return true;
}

bool wind_group(const Sounding& s, short seq, long& windx, long frame,
                Group& g) {
  const long i = find_level(s, windx, frame);
  if (i < 0) return false;
  windx = i;
  const DATA_TYPE& l = s.levels[i];
  if (missing(l.wd) || missing(l.ws)) {
    g.put("///// ", 6);
    return true;
  }
  if (frame == kLevelMandatory && l.pr != indicator_pressure(seq)) return false;
  long knots = static_cast<long>(static_cast<double>(l.ws) * 0.1925 + 0.5);
  long direction = l.wd / 5 * 5;
  if (knots >= 100) {
    direction += 1;
    knots %= 100;
  }
  g.put_padded(direction, 3);
  g.put_padded(knots, 2);
  g.put(' ');
  return true;
}

// A former's group as a string; a group not formed leaves cgrp as it was.
short formed(GroupFormer former, const Sounding& s, short seq, long& indx,
             long frame, std::string& cgrp) {
  Group g;
  if (!former(s, seq, indx, frame, g)) return 0;
  cgrp.assign(g.data(), g.size());
  return 1;
}

}  // namespace

short fpress(const Sounding& s, short seq, long& pindx, long frame,
             std::string& cgrp) {
  return formed(press_group, s, seq, pindx, frame, cgrp);
}
short fhgt(const Sounding& s, short seq, long& hindx, long frame,
           std::string& cgrp) {
  return formed(height_group, s, seq, hindx, frame, cgrp);
}
short ftemp(const Sounding& s, short seq, long& tindx, long frame,
            std::string& cgrp) {
  return formed(temp_group, s, seq, tindx, frame, cgrp);
}
short fwind(const Sounding& s, short seq, long& windx, long frame,
            std::string& cgrp) {
  return formed(wind_group, s, seq, windx, frame, cgrp);
}

namespace {

class Faa604Writer final : public SoundingWriter {
 public:
  // The messages begin at the surface: a sounding whose first level is
  // another gives no group.
  bool yields_output(const Sounding& s, const WriteOptions&) const override {
    return !s.levels.empty() && s.levels[0].fr == kLevelSurface;
  }
  void write(OutputUnit& out, const Sounding& sounding, const STATREC& stn,
             const WriteOptions& options) override {
    // The pressures in whole mb, as the groups are formed from them.
    whole_.header = sounding.header;
    whole_.levels.assign(sounding.levels.begin(), sounding.levels.end());
    whole_.header.levels = static_cast<long>(whole_.levels.size());
    for (DATA_TYPE& l : whole_.levels)
      if (!missing(l.pr)) l.pr /= 10;
    const Sounding& s = whole_;
    Lines lines(out, text_);
    if (yields_output(s, options)) {
      const std::string init(
          stn.init, std::find(stn.init, stn.init + sizeof stn.init, '\0'));
      const std::string station = padded(stn.wmo, 5);
      write_ttaa(s, lines, init, station);
      if (options.levels != 1) write_ttbb(s, lines, init, station);
      if (options.levels == 0) write_ppbb(s, lines, station);
    }
    lines.put("", false);
    lines.flush();
  }

 private:
  Sounding whole_;
  std::string text_;  // the lines of the sounding
};

}  // namespace

std::unique_ptr<SoundingWriter> make_faa604_writer() {
  return std::make_unique<Faa604Writer>();
}
