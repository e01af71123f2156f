// TEMP messages (WMO FM 35): parts TTAA (surface, standard pressure
// levels, tropopause, maximum wind), TTBB (significant temperature levels,
// winds by pressure after 21212, radiosonde and release time after 31313)
// and PPBB (winds by height), in the standard encoding and in the forms of
// the program's coded-message output (the maximum wind with a temperature
// group, "sss//" and "hhmm/" after 31313, winds of every standard level).
// The parts of one station, day and hour make one sounding.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "import.h"
#include "text_fields.h"

namespace archive_writer {
namespace {

constexpr unsigned kSurface = 1, kMandatory = 2, kTropopause = 4,
                   kMaxWind = 8, kSigTemperature = 16, kSigWind = 32;

// Standard pressure levels of TTAA: indicator, pressure (mb) and the
// height of the standard atmosphere, which chooses among the heights the
// code's last figures can stand for; `metres` levels give the height's
// last three figures in metres, the others in decametres.
struct StandardLevel {
  const char* indicator;
  long mb;
  long typical_height;
  bool metres;
};
constexpr StandardLevel kStandardLevels[] = {
    {"00", 1000, 111, true},   {"92", 925, 762, true},
    {"85", 850, 1457, true},   {"70", 700, 3012, true},
    {"50", 500, 5574, false},  {"40", 400, 7185, false},
    {"30", 300, 9164, false},  {"25", 250, 10363, false},
    {"20", 200, 11784, false}, {"15", 150, 13608, false},
    {"10", 100, 16180, false}};
// Id, the last figure of TTAA's date group: the last standard level (mb)
// with a wind group.
struct WindIndicator {
  char code;
  long mb;
};
constexpr WindIndicator kWindIndicators[] = {
    {'0', 1000}, {'9', 925}, {'8', 850}, {'7', 700}, {'6', 600}, {'5', 500},
    {'4', 400},  {'3', 300}, {'2', 200}, {'1', 100}};
// Heights of 1000 mb below the sea are coded as 500 + their depth.
constexpr long kBelowSeaCode = 500;

// Groups that start the sections of the parts.
struct Section {
  const char* prefix;
  enum Kind { kTropopause, kMaxWind } kind;
};
constexpr Section kSections[] = {
    {"88", Section::kTropopause}, {"77", Section::kMaxWind},
    {"66", Section::kMaxWind}};
constexpr const char* kNoLevelGroups[] = {"88999", "77999", "66999"};

// TTBB sections after the levels: winds by pressure, radiosonde and
// release time; the others (clouds, regional groups) are passed by.
constexpr const char* kWindsByPressure = "21212";
constexpr const char* kSondeSection = "31313";
constexpr const char* kOtherSections[] = {"41414", "51515", "52525",
                                          "53535", "54545", "55555",
                                          "56565", "57575", "58585", "59595"};

// Decoded radiosonde types of the stored codes 1 to 8.
constexpr long kSondeTypes[8] = {45, 46, 49, 51, 37, 52, 61, 63};

constexpr long kBandFeet = 10000;
constexpr long kUnitFeet = 1000;

// Parts whose layout is read; those of the levels above 100 mb are passed
// by.
enum class Part { kTTAA, kTTBB, kPPBB, kAbove };
struct PartName {
  const char* name;
  Part part;
};
constexpr PartName kParts[] = {{"TTAA", Part::kTTAA}, {"TTBB", Part::kTTBB},
                               {"PPBB", Part::kPPBB}, {"TTCC", Part::kAbove},
                               {"TTDD", Part::kAbove}, {"PPDD", Part::kAbove}};
constexpr std::size_t kMaxGroups = 4000;
// Soundings waiting for more of their parts; the oldest is finished when
// there are more.
constexpr std::size_t kMaxPending = 256;

struct Group {
  std::string text;  // five characters of digits and '/'
  long line;
};

bool is_group(std::string_view w) {
  if (w.size() != 5) return false;
  for (char c : w)
    if (c != '/' && (c < '0' || c > '9')) return false;
  return true;
}

bool starts(const std::string& g, const char* prefix) {
  return g.compare(0, 2, prefix) == 0;
}

// Digits [from, from + n) of a group; false when one of them is '/'.
bool digits(const std::string& g, std::size_t from, std::size_t n, long& v) {
  v = 0;
  for (std::size_t k = from; k < from + n; ++k) {
    if (g[k] < '0' || g[k] > '9') return false;
    v = v * 10 + (g[k] - '0');
  }
  return true;
}

struct PendingSounding {
  long wmo = 0;
  int year = 0, month = 0, day = 0, hour = 0;
  std::string where;
  bool have[3] = {false, false, false};
  Level surface;
  bool any_surface = false;
  std::vector<Level> pressure_levels;  // in the order read
  std::vector<Level> height_winds;     // PPBB, by height
  long sondtype = kMissing;
  long reltime = kMissing;
};

class TempReader {
 public:
  TempReader(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
             long year_month)
      : in_(in), sink_(sink), wban_(wban), year_(static_cast<int>(year_month / 100)),
        month_(static_cast<int>(year_month % 100)) {}

  void read() {
    std::string_view line;
    std::vector<std::string_view> words;
    while (in_.next(line)) {
      split_words(line, words);
      for (std::size_t i = 0; i < words.size(); ++i) {
        std::string_view w = words[i];
        // The station number written before a part's name belongs to it.
        if (i == 0 && words.size() > 1 && is_group(w) && part_of(words[1]))
          continue;
        if (const PartName* p = part_of(w)) {
          end_message();
          part_ = p->part;
          open_ = true;
          part_line_ = in_.line();
          continue;
        }
        const bool last = !w.empty() && w.back() == '=';
        if (last) w.remove_suffix(1);
        if (is_group(w)) {
          if (!open_) in_.fail("a group outside any message: " + std::string(w));
          if (groups_.size() >= kMaxGroups)
            in_.fail("a message of more than " + std::to_string(kMaxGroups) +
                     " groups");
          groups_.push_back({std::string(w), in_.line()});
        } else if (!w.empty() && open_ && w != "NIL") {
          // A word that is no group ends the message (headings, the
          // station's identifier lines of the coded-message output).
          end_message();
        } else if (w == "NIL") {
          nil_ = true;
        }
        if (last) end_message();
      }
    }
    end_message();
    while (!pending_.empty()) emit_oldest();
  }

 private:
  static const PartName* part_of(std::string_view w) {
    for (const PartName& p : kParts)
      if (w == p.name) return &p;
    return nullptr;
  }

  [[noreturn]] void fail_at(long line, const std::string& what) const {
    throw InputError(in_.name() + ":" + std::to_string(line) + ": " + what);
  }

  // Reads the message gathered, then forgets it.
  void end_message() {
    if (!open_) return;
    open_ = false;
    struct Clear {
      TempReader& r;
      ~Clear() {
        r.groups_.clear();
        r.nil_ = false;
      }
    } clear{*this};
    if (part_ == Part::kAbove) {
      if (!warned_above_)
        sink_.warning(in_.name() + ":" + std::to_string(part_line_) +
                      ": parts TTCC, TTDD and PPDD (above 100 mb) are left out");
      warned_above_ = true;
      return;
    }
    if (nil_ && groups_.size() <= 2) {
      sink_.skipped(in_.name() + ":" + std::to_string(part_line_), "NIL message");
      return;
    }
    if (groups_.size() < 2)
      fail_at(part_line_, "a message without its date and station groups");
    pos_ = 0;
    // YYGGI(d) or YYGGa4, then IIiii.
    const Group& date = groups_[0];
    long yy = 0, gg = 0, wmo = 0;
    if (!digits(date.text, 0, 2, yy) || !digits(date.text, 2, 2, gg))
      fail_at(date.line, "not a day and hour group: " + date.text);
    knots_ = yy > 50;
    const long day = knots_ ? yy - 50 : yy;
    if (day < 1 || day > 31 || gg > 23)
      fail_at(date.line, "not a day and hour group: " + date.text);
    if (!digits(groups_[1].text, 0, 5, wmo) || wmo == 0)
      fail_at(groups_[1].line, "not a WMO station number: " + groups_[1].text);
    wind_indicator_ = date.text[4];
    pos_ = 2;
    // A day before the last one starts the next month.
    if (last_day_ > 0 && day < last_day_ && ++month_ > 12) {
      month_ = 1;
      ++year_;
    }
    last_day_ = day;
    PendingSounding& s = pending_for(wmo, static_cast<int>(day),
                                     static_cast<int>(gg),
                                     static_cast<int>(part_));
    switch (part_) {
      case Part::kTTAA:
        read_ttaa(s);
        break;
      case Part::kTTBB:
        read_ttbb(s);
        break;
      case Part::kPPBB:
        read_ppbb(s);
        break;
      case Part::kAbove:
        break;
    }
  }

  PendingSounding& pending_for(long wmo, int day, int hour, int part) {
    for (PendingSounding& p : pending_)
      if (p.wmo == wmo && p.year == year_ && p.month == month_ && p.day == day &&
          p.hour == hour) {
        if (!p.have[part]) {
          p.have[part] = true;
          return p;
        }
        // A second message of the part: a second sounding.
        break;
      }
    if (pending_.size() >= kMaxPending) emit_oldest();
    pending_.emplace_back();
    PendingSounding& p = pending_.back();
    p.wmo = wmo;
    p.year = year_;
    p.month = month_;
    p.day = day;
    p.hour = hour;
    p.where = in_.name() + ":" + std::to_string(part_line_);
    p.have[part] = true;
    return p;
  }

  bool more() const { return pos_ < groups_.size(); }
  const Group& peek() const { return groups_[pos_]; }
  const Group& take(const char* what) {
    if (!more())
      fail_at(groups_.back().line, std::string("the message ends before its ") + what);
    return groups_[pos_++];
  }

  // PPP of a surface or significant level: hundreds of mb, 1000 added
  // below 100.
  long level_pressure(const Group& g, std::size_t from) {
    long p = 0;
    if (!digits(g.text, from, 3, p)) return kMissing;
    return (p < 100 ? p + 1000 : p) * 10;
  }

  // TTTDD: the temperature's tenths figure is even above 0 deg C and odd
  // below; the depression in tenths up to 5.5, in whole degrees + 50
  // from 56.
  void temperature(const Group& g, Level& l) {
    long ttt = 0, dd = 0;
    if (!digits(g.text, 0, 3, ttt)) return;
    l.tp = ttt % 2 == 0 ? ttt : -ttt;
    if (!digits(g.text, 3, 2, dd)) return;
    const long depression = dd <= 55 ? dd : (dd - 50) * 10;
    l.dp = l.tp - depression;
  }

  // dddff: direction to 5 degrees; 500 added to the direction, or its
  // last figure raised by 1 in the coded-message output, for each 100
  // of the speed.
  void wind(const Group& g, Level& l) {
    long ddd = 0, ff = 0;
    if (!digits(g.text, 0, 3, ddd) || !digits(g.text, 3, 2, ff)) return;
    if (ddd >= 500) {
      ddd -= 500;
      ff += 100;
    }
    ff += 100 * (ddd % 5);
    ddd -= ddd % 5;
    if (ddd > 360) fail_at(g.line, "not a wind group: " + g.text);
    l.wd = ddd;
    if (knots_) {
      l.ws = exact_knots_to_tenths(ff);
    } else {
      l.ws = ff * 10;
    }
  }

  static bool is_section_start(const std::string& g) {
    for (const Section& s : kSections)
      if (starts(g, s.prefix)) return true;
    return false;
  }

  void read_ttaa(PendingSounding& s) {
    // 99PPP TTTDD dddff: the surface.
    if (more() && starts(peek().text, "99")) {
      Level l;
      l.flag = kSurface;
      l.pr = level_pressure(take("surface"), 2);
      if (more()) temperature(take("surface temperature"), l);
      if (more()) wind(take("surface wind"), l);
      merge_surface(s, l);
    }
    // The standard levels in order; a level may stop after its height.
    // Levels of this pressure (mb) and more have a wind group; none when
    // the indicator is '/'.
    long wind_from = 100000;
    for (const WindIndicator& w : kWindIndicators)
      if (w.code == wind_indicator_) wind_from = w.mb;
    for (const StandardLevel& sl : kStandardLevels) {
      if (!more() || is_section_start(peek().text)) break;
      if (!starts(peek().text, sl.indicator)) {
        long pp = 0;
        if (!digits(peek().text, 0, 2, pp))
          fail_at(peek().line, "not a standard level group: " + peek().text);
        continue;  // a level left out
      }
      const Group& h = take("height");
      // The coded-message output stops after the height group of a level
      // other than the indicator's (its first figures then name the
      // indicator, not the level): such a level is left out.
      if (!more() || tail_only(pos_)) {
        sink_.warning(in_.name() + ":" + std::to_string(h.line) +
                      ": the height group " + h.text +
                      " has no temperature group; its level is left out");
        break;
      }
      Level l;
      l.flag = kMandatory;
      l.pr = sl.mb * 10;
      long hhh = 0;
      if (digits(h.text, 2, 3, hhh)) l.ht = standard_height(sl, hhh);
      temperature(take("temperature"), l);
      // The wind group, where the indicator says there is one, and in the
      // coded-message output's form also beyond it.
      if (more() && (sl.mb >= wind_from || !next_is_level(peek().text, sl)))
        wind(take("wind"), l);
      s.pressure_levels.push_back(l);
    }
    // 88PPP TTTDD dddff tropopauses, 77PPP or 66PPP dddff (4vbvb) maximum
    // winds, with a temperature group before the wind in the coded-message
    // output.
    while (more()) {
      const Group& g = take("section");
      bool none = false;
      for (const char* n : kNoLevelGroups) none = none || g.text == n;
      if (none) continue;
      if (starts(g.text, "88")) {
        Level l;
        l.flag = kTropopause;
        l.pr = special_pressure(g);
        temperature(take("tropopause temperature"), l);
        wind(take("tropopause wind"), l);
        s.pressure_levels.push_back(l);
      } else if (starts(g.text, "77") || starts(g.text, "66")) {
        Level l;
        l.flag = kMaxWind;
        l.pr = special_pressure(g);
        // Two groups to the end, the second no wind shear group: the
        // temperature and wind of the coded-message output.
        std::size_t rest = 0;
        while (pos_ + rest < groups_.size() &&
               groups_[pos_ + rest].text != kSondeSection &&
               groups_[pos_ + rest].text != "51515")
          ++rest;
        const bool with_temperature =
            rest == 2 && groups_[pos_ + 1].text[0] != '4' &&
            valid_wind(groups_[pos_ + 1].text);
        const Group& first = take("maximum wind");
        if (with_temperature) {
          temperature(first, l);
          wind(take("maximum wind"), l);
        } else {
          wind(first, l);
          if (more() && peek().text[0] == '4') take("wind shear");
        }
        s.pressure_levels.push_back(l);
      } else if (g.text == kSondeSection || g.text == "51515") {
        break;  // regional sections of part A are passed by
      } else {
        fail_at(g.line, "not a tropopause or maximum wind group: " + g.text);
      }
    }
  }

  // True when a wind group reads as a wind ('/' for missing).
  static bool valid_wind(const std::string& g) {
    long ddd = 0, ff = 0;
    if (!digits(g, 0, 3, ddd) || !digits(g, 3, 2, ff)) return g == "/////";
    if (ddd >= 500) ddd -= 500;
    return ddd - ddd % 5 <= 360;
  }

  // True when the groups from `from` on are only the tropopause and
  // maximum wind groups that end part A, each wind a wind.
  bool tail_only(std::size_t from) const {
    std::size_t k = from;
    auto at = [&](std::size_t i) -> const std::string& { return groups_[i].text; };
    const std::size_t n = groups_.size();
    // 88999 or 88PPP TTTDD dddff, repeated
    bool any = false;
    while (k < n && starts(at(k), "88")) {
      any = true;
      if (at(k) == "88999") {
        ++k;
        continue;
      }
      if (k + 2 >= n || !valid_wind(at(k + 2))) return false;
      k += 3;
    }
    // 77999 / 66999, or 77PPP (TTTDD) dddff (4vbvb)
    while (k < n && (starts(at(k), "77") || starts(at(k), "66"))) {
      any = true;
      if (at(k) == "77999" || at(k) == "66999") {
        ++k;
        continue;
      }
      if (k + 2 < n && valid_wind(at(k + 2)) &&
          (k + 3 == n || starts(at(k + 3), "77") || starts(at(k + 3), "66"))) {
        k += 3;
      } else if (k + 1 < n && valid_wind(at(k + 1))) {
        k += 2;
        if (k < n && at(k)[0] == '4') ++k;
      } else {
        return false;
      }
    }
    return any && (k == n || at(k) == kSondeSection || at(k) == "51515");
  }

  long special_pressure(const Group& g) {
    long p = 0;
    if (!digits(g.text, 2, 3, p)) fail_at(g.line, "no pressure in " + g.text);
    return p * 10;
  }

  // True when g starts a standard level after sl.
  static bool next_is_level(const std::string& g, const StandardLevel& sl) {
    if (is_section_start(g)) return true;
    bool after = false;
    for (const StandardLevel& o : kStandardLevels) {
      if (after && starts(g, o.indicator)) return true;
      if (&o == &sl) after = true;
    }
    return false;
  }

  static long standard_height(const StandardLevel& sl, long hhh) {
    if (sl.mb == 1000 && hhh >= kBelowSeaCode) return kBelowSeaCode - hhh;
    const long unit = sl.metres ? 1 : 10;
    const long cycle = sl.metres ? 1000 : 10000;
    // The height with these last figures nearest the standard one.
    long best = hhh * unit;
    for (long h = hhh * unit; h < 40000; h += cycle)
      if (std::labs(h - sl.typical_height) < std::labs(best - sl.typical_height))
        best = h;
    return best;
  }

  void merge_surface(PendingSounding& s, const Level& l) {
    if (!s.any_surface) {
      s.surface = l;
      s.any_surface = true;
      return;
    }
    for (long Level::*m : {&Level::pr, &Level::ht, &Level::tp, &Level::dp,
                           &Level::wd, &Level::ws})
      if (s.surface.*m == kMissing) s.surface.*m = l.*m;
  }

  void read_ttbb(PendingSounding& s) {
    // nnPPP TTTDD: 00 the surface, then the significant levels.
    while (more()) {
      const Group& g = peek();
      if (g.text == kWindsByPressure || g.text == kSondeSection) break;
      bool other = false;
      for (const char* o : kOtherSections) other = other || g.text == o;
      if (other) break;
      long nn = 0;
      if (!digits(g.text, 0, 2, nn) || nn % 11 != 0)
        fail_at(g.line, "not a significant level group: " + g.text);
      take("level");
      Level l;
      l.flag = nn == 0 ? kSurface : kSigTemperature;
      l.pr = level_pressure(g, 2);
      temperature(take("temperature"), l);
      if (nn == 0)
        merge_surface(s, l);
      else
        s.pressure_levels.push_back(l);
    }
    while (more()) {
      const Group& g = take("section");
      if (g.text == kWindsByPressure) {
        // nnPPP dddff
        while (more() && peek().text != kSondeSection) {
          long nn = 0;
          const Group& p = peek();
          if (!digits(p.text, 0, 2, nn) || nn % 11 != 0) break;
          take("wind level");
          Level l;
          l.flag = kSigWind;
          l.pr = level_pressure(p, 2);
          wind(take("wind"), l);
          s.pressure_levels.push_back(l);
        }
      } else if (g.text == kSondeSection) {
        // srrarasasa, then 8GGgg, or "sss//" and "hhmm/" in the
        // coded-message output.
        const Group& sonde = take("radiosonde group");
        long rara = 0;
        if (digits(sonde.text, 1, 2, rara)) s.sondtype = stored_sonde_type(rara, sonde);
        if (more()) {
          const Group& t = take("release time");
          long hhmm = 0;
          if (t.text[4] == '/' && digits(t.text, 0, 4, hhmm))
            s.reltime = hhmm;
          else if (t.text[0] == '8' && digits(t.text, 1, 4, hhmm))
            s.reltime = hhmm;
        }
      } else {
        // Other sections (clouds, regional groups) are passed by.
        bool other = false;
        for (const char* o : kOtherSections) other = other || g.text == o;
        if (!other) continue;
        pos_ = groups_.size();
      }
    }
  }

  long stored_sonde_type(long decoded, const Group& g) {
    for (long k = 0; k < 8; ++k)
      if (kSondeTypes[k] == decoded) return k + 1;
    if (decoded == 0 || (decoded >= 9 && decoded <= 14)) return decoded;
    sink_.warning(in_.name() + ":" + std::to_string(g.line) +
                  ": the radiosonde type " + std::to_string(decoded) +
                  " has no stored code; it is stored as missing");
    return kMissing;
  }

  void read_ppbb(PendingSounding& s) {
    // 9tuuu: heights of up to three winds, t tens of thousands and u
    // thousands of feet; u of 0 in band 0 is the surface.
    while (more()) {
      const Group& g = take("height group");
      long band = 0;
      if (g.text[0] != '9' || !digits(g.text, 1, 1, band))
        fail_at(g.line, "not a height group: " + g.text);
      for (std::size_t k = 2; k < 5; ++k) {
        if (g.text[k] == '/') continue;
        const long feet = band * kBandFeet + (g.text[k] - '0') * kUnitFeet;
        Level l;
        l.flag = kSigWind;
        wind(take("wind"), l);
        if (feet == 0) {
          l.flag = kSurface;
          merge_surface(s, l);
          continue;
        }
        l.ht = feet_to_metres(feet);
        s.height_winds.push_back(l);
      }
    }
  }

  void emit_oldest() {
    PendingSounding p = std::move(pending_.front());
    pending_.pop_front();
    Imported out;
    out.where = p.where;
    out.station = file_station(p.wmo, wban_);
    Sounding& s = out.sounding;
    s.year = p.year;
    s.month = p.month;
    s.day = p.day;
    s.hour = p.hour;
    s.wban = out.station > 900000 ? p.wmo : out.station;
    s.sondtype = p.sondtype;
    s.reltime = p.reltime;
    if (p.any_surface) s.levels.push_back(p.surface);
    std::stable_sort(p.pressure_levels.begin(), p.pressure_levels.end(),
                     [](const Level& a, const Level& b) { return a.pr > b.pr; });
    // The winds by height go among the levels by height, where these are
    // known.
    std::size_t w = 0;
    for (const Level& l : p.pressure_levels) {
      while (w < p.height_winds.size() && l.ht != kMissing &&
             p.height_winds[w].ht < l.ht)
        s.levels.push_back(p.height_winds[w++]);
      s.levels.push_back(l);
    }
    for (; w < p.height_winds.size(); ++w) s.levels.push_back(p.height_winds[w]);
    archive_order(s);
    for (std::size_t i = 0; i < s.levels.size(); ++i) {
      const long n = static_cast<long>(i) + 1;
      if (s.levels[i].flag == kTropopause && s.troplv == kMissing) s.troplv = n;
      if (s.levels[i].flag == kMaxWind && s.maxwind == kMissing) s.maxwind = n;
    }
    sink_.sounding(out);
  }

  LineSource& in_;
  ImportSink& sink_;
  const WbanOfWmo& wban_;
  int year_, month_;
  int last_day_ = 0;
  bool open_ = false;
  bool nil_ = false;
  bool warned_above_ = false;
  Part part_ = Part::kTTAA;
  long part_line_ = 0;
  std::vector<Group> groups_;
  std::size_t pos_ = 0;
  bool knots_ = true;
  char wind_indicator_ = '/';
  std::deque<PendingSounding> pending_;
};

}  // namespace

void read_temp(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
               long year_month) {
  TempReader(in, sink, wban, year_month).read();
}

}  // namespace archive_writer
