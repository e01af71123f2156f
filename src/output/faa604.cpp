// The FAA604 coded format: each sounding as the coded messages TTAA
// (surface, mandatory levels, tropopause, maximum wind), TTBB (surface,
// significant temperature levels, the 31313 section) and PPBB (winds by
// height bands of 10000 feet).
//
// While a sounding is written its pressures are held in whole mb; the
// stored tenths are put back when the writer returns, however it returns.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "rawinq/globals.h"
#include "rawinq/output.h"

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

// The group formatters, called by position.
constexpr std::array<FaaFormatter, 4> pfunct = {fpress, fhgt, ftemp, fwind};
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
long level_count() {
  const long size = static_cast<long>(Snd_Data.size());
  if (Snd_Hdr.levels < 0) return 0;
  return Snd_Hdr.levels < size ? Snd_Hdr.levels : size;
}

// First level at or after `from` whose type is `frame`, or -1.
long find_level(long from, long frame) {
  const long n = level_count();
  for (long i = from < 0 ? 0 : from; i < n; ++i)
    if (Snd_Data[i].fr == frame) return i;
  return -1;
}

// The decimal text of value left-padded with '0' to width characters (the
// padding goes before a minus sign, as zero_pad does).
std::string padded(long value, std::size_t width) {
  char digits[24];
  const std::size_t n = static_cast<std::size_t>(
      std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  std::string text;
  text.reserve(n < width ? width : n);
  if (n < width) text.append(width - n, '0');
  text.append(digits, n);
  return text;
}

// The lines of the sounding being written. Without paging they are
// gathered and written together when the sounding is done; with paging
// each goes out at once, counted or not.
struct Lines {
  std::string text;
  int count = 0;
};
Lines pending;

void put_line(const std::string& line, bool counted) {
  if (Screen_Scroll == 1) {
    if (counted)
      emit_line(line);
    else
      emit_uncounted_line(line);
    return;
  }
  pending.text += line;
  pending.text += '\n';
  ++pending.count;
}

void flush_lines() {
  // Emptied however the write ends (a write error ends the program by an
  // exception).
  struct Empty {
    ~Empty() {
      pending.text.clear();
      pending.count = 0;
    }
  } empty;
  if (pending.count > 0) emit_lines(pending.text, pending.count);
}

// The mandatory pressure (whole mb) an indicator stands for.
long indicator_pressure(short indicator) {
  if (indicator == 0) return 1000;
  const long p = indicator * 10L;
  return p == 920 ? 925 : p;
}

// Puts the level pressures into whole mb and back again on scope exit.
class WholeMillibars {
 public:
  WholeMillibars() : saved_(static_cast<std::size_t>(level_count())) {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      saved_[i] = Snd_Data[i].pr;
      if (!missing(Snd_Data[i].pr)) Snd_Data[i].pr /= 10;
    }
  }
  ~WholeMillibars() {
    for (std::size_t i = 0; i < saved_.size() && i < Snd_Data.size(); ++i)
      Snd_Data[i].pr = saved_[i];
  }
  WholeMillibars(const WholeMillibars&) = delete;
  WholeMillibars& operator=(const WholeMillibars&) = delete;

 private:
  std::vector<long> saved_;
};

// One message line being filled: it is written when it holds ten groups.
class MessageLine {
 public:
  MessageLine(std::string start, int groups)
      : text_(std::move(start)), groups_(groups) {}
  void add(const std::string& group) {
    text_ += group;
    if (++groups_ == kGroupsPerLine) {
      put_line(text_, true);
      text_.clear();
      groups_ = 0;
    }
  }
  // Writes what the line holds, even nothing.
  void finish() const { put_line(text_, true); }

 private:
  std::string text_;
  int groups_;
};

// Appends the groups of one level, formatter by formatter; stops at the
// first formatter that forms no group and then returns false.
template <std::size_t N>
bool add_level(MessageLine& line, const std::array<std::size_t, N>& set,
               short indicator, long& cursor, long frame) {
  for (std::size_t pos : set) {
    std::string group;
    if (!pfunct[pos](indicator, cursor, frame, group)) return false;
    line.add(group);
  }
  return true;
}

// True when the sounding has a mandatory level at 925 mb.
bool has_mandatory_925() {
  const long n = level_count();
  for (long i = 0; i < n; ++i)
    if (Snd_Data[i].fr == kLevelMandatory && Snd_Data[i].pr == 925) return true;
  return false;
}

// Hundreds figure of the last mandatory level with a complete wind.
long wind_indicator() {
  long lpress = 0;
  const long n = level_count();
  for (long i = 0; i < n; ++i) {
    const DATA_TYPE& l = Snd_Data[i];
    if (l.fr == kLevelMandatory && !missing(l.wd) && !missing(l.ws))
      lpress = (l.pr / 100) % 10;
  }
  return lpress;
}

// True when the mandatory step of `indicator` lies below the ground (its
// pressure greater than the surface's) and no mandatory level at its
// pressure follows `from` before a lower pressure: the step is then written
// as missing and the walk goes on above it.
bool below_ground_without_level(short indicator, long from) {
  if (indicator == kSurfaceIndicator) return false;
  const long p = indicator_pressure(indicator);
  const long surface = Snd_Data[0].pr;
  if (missing(surface) || p <= surface) return false;
  const long n = level_count();
  for (long i = from < 0 ? 0 : from; i < n; ++i) {
    const DATA_TYPE& l = Snd_Data[i];
    if (missing(l.pr)) continue;
    if (l.pr < p) break;
    if (l.fr == kLevelMandatory && l.pr == p) return false;
  }
  return true;
}

void write_ttaa(const std::string& init, const std::string& station) {
  put_line(init + "MAN" + init, true);
  const long date = Snd_Hdr.day * 1000L + Snd_Hdr.hour * 10L +
                    wind_indicator() + 50000L;
  MessageLine line(station + " TTAA  " + padded(date, 5) + " " + station + " ",
                   4);

  long cursor = 0;
  add_level(line, kPressureSet, kSurfaceIndicator, cursor, kLevelSurface);

  const bool mand_925 = has_mandatory_925();
  cursor = 1;
  for (short indicator : mand) {
    if (indicator == kIndicator925 && !mand_925) continue;
    if (below_ground_without_level(indicator, cursor)) {
      line.add(padded(indicator, 2) + "/// ");
      line.add("///// ");
      line.add("///// ");
      continue;
    }
    if (!add_level(line, kMandatorySet, indicator, cursor, kLevelMandatory)) break;
    ++cursor;
  }

  for (const SpecialLevel& special : kSpecialLevels) {
    cursor = 1;
    if (find_level(cursor, special.frame) < 0)
      line.add(special.absent);
    else
      add_level(line, kPressureSet, 0, cursor, special.frame);
  }
  line.finish();
}

long ttbb_date() { return Snd_Hdr.day * 100L + Snd_Hdr.hour + 5000L; }

void write_ttbb(const std::string& init, const std::string& station) {
  put_line(init + "SGL" + init, true);
  MessageLine line(
      station + " TTBB  " + padded(ttbb_date(), 4) + "/ " + station + " ", 4);

  long cursor = 0;
  add_level(line, kSignificantSet, seq[0], cursor, kLevelSurface);

  long written = 0;
  std::size_t k = 1;
  for (++cursor;
       add_level(line, kSignificantSet, seq[k], cursor, kLevelSigTemperature);
       ++cursor) {
    ++written;
    if (seq[++k] < 0) k = 1;
  }

  if (Snd_Hdr.year > kLastTTBBYearWithout31313 && !missing(Snd_Hdr.sondtype) &&
      !missing(Snd_Hdr.reltime)) {
    for (long frame : k31313Frames) {
      std::string group;
      fpress(0, cursor, frame, group);
      line.add(group);
    }
  }
  if (written > 0) line.finish();
}

// Height of a level in feet.
double feet(const DATA_TYPE& l) {
  return static_cast<double>(l.ht) * kFeetPerMetre;
}

void write_ppbb(const std::string& station) {
  MessageLine line("PPBB  " + padded(ttbb_date() * 10, 5) + " " + station + " ",
                   3);
  const long n = level_count();
  long cursor = 0;
  bool any_wind_level = false;
  for (int band = 0; band < kHeightBands; ++band) {
    const double top = (band + 1) * kBandFeet;
    std::vector<long> iwinds;
    if (band == 0) iwinds.push_back(0);  // the surface
    for (long i = cursor; i < n; ++i) {
      const DATA_TYPE& l = Snd_Data[i];
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
        const DATA_TYPE& l = Snd_Data[iwinds[r]];
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
        std::string group;
        fwind(0, at, Snd_Data[at].fr, group);
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

short fpress(short seq, long& pindx, long frame, std::string& cgrp) {
  switch (frame) {
    case kFrame31313:
      cgrp = "31313 ";
      return 1;
    case kFrameSondeType:
      cgrp = padded(Snd_Hdr.sondtype, 3) + "// ";
      return 1;
    case kFrameReleaseTime:
      cgrp = padded(Snd_Hdr.reltime, 4) + "/=";
      return 1;
    default:
      break;
  }
  const long i = find_level(pindx, frame);
  if (i < 0) return 0;
  pindx = i;
  const DATA_TYPE& l = Snd_Data[i];
  if (missing(l.pr)) {
    cgrp = "///// ";
    return 1;
  }
  std::string ii = frame == kLevelTropopause ? "88"
                   : frame == kLevelMaxWind  ? "77"
                                        : padded(seq, 2);
  cgrp = ii + padded(l.pr > 999 ? l.pr - 1000 : l.pr, 3) + " ";
  return 1;
}

short fhgt(short seq, long& hindx, long frame, std::string& cgrp) {
  const long i = find_level(hindx, frame);
  if (i < 0) return 0;
  hindx = i;
  const DATA_TYPE& l = Snd_Data[i];
  std::string pp = seq == 0 ? "00" : padded(l.pr / 10, 2);
  std::string hhh = "///";
  if (!missing(l.ht)) {
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
    hhh = padded(code, 3);
  }
  cgrp = pp + hhh + " ";
  return 1;
}

short ftemp(short seq, long& tindx, long frame, std::string& cgrp) {
  const long i = find_level(tindx, frame);
  if (i < 0) return 0;
  tindx = i;
  const DATA_TYPE& l = Snd_Data[i];
  if (missing(l.tp)) {
    cgrp = "///// ";
    return 1;
  }
  if (frame == kLevelMandatory && l.pr != indicator_pressure(seq)) return 0;
  // The tenths digit is even at or above 0 degrees and odd below.
  const long t = l.tp;
  long ttt;
  if (t >= 0)
    ttt = t % 2 != 0 ? t + 1 : t;
  else
    ttt = t % 2 == 0 ? -t + 1 : -t;
  std::string dd = "//";
  if (!missing(l.dp)) {
    long d = t - l.dp;
    if (d > 55) d = d / 10 + 50;
    if (d <= 99) dd = padded(d, 2);
  }
  cgrp = padded(ttt, 3) + dd + " ";
  return 1;
}

short fwind(short seq, long& windx, long frame, std::string& cgrp) {
  const long i = find_level(windx, frame);
  if (i < 0) return 0;
  windx = i;
  const DATA_TYPE& l = Snd_Data[i];
  if (missing(l.wd) || missing(l.ws)) {
    cgrp = "///// ";
    return 1;
  }
  if (frame == kLevelMandatory && l.pr != indicator_pressure(seq)) return 0;
  long knots = static_cast<long>(static_cast<double>(l.ws) * 0.1925 + 0.5);
  long direction = l.wd / 5 * 5;
  if (knots >= 100) {
    direction += 1;
    knots %= 100;
  }
  cgrp = padded(direction, 3) + padded(knots, 2) + " ";
  return 1;
}

void faa_format(short ltype, short ind) {
  // Nothing left over from a sounding whose writing was cut short.
  pending.text.clear();
  pending.count = 0;
  const WholeMillibars whole_mb;
  const bool known_station = ind >= 0 && ind < kMaxStations;
  if (known_station && level_count() > 0 && Snd_Data[0].fr == kLevelSurface) {
    const STATREC& stn = Stn_His[ind];
    const std::string init(stn.init,
                           std::find(stn.init, stn.init + sizeof stn.init, '\0'));
    const std::string station = padded(stn.wmo, 5);
    write_ttaa(init, station);
    if (ltype != 1) write_ttbb(init, station);
    if (ltype == 0) write_ppbb(station);
  }
  put_line("", false);
  flush_lines();
}
