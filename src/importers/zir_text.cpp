#include "zir_text.h"

#include <cmath>
#include <functional>
#include <iterator>
#include <sstream>

#include "import.h"
#include "line_source.h"
#include "text_fields.h"

namespace archive_writer {
namespace {

constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
// Decoded radiosonde types of the stored codes 1 to 8.
constexpr long kSondeTypes[8] = {45, 46, 49, 51, 37, 52, 61, 63};
// Level type of the text -> stored type flag.
struct LevelFlag {
  long fr;
  unsigned flag;
};
constexpr LevelFlag kFlags[6] = {{9, 1}, {4, 2}, {7, 4}, {8, 8}, {5, 16}, {6, 32}};

class Reader {
 public:
  // Messages name the line as "name:N", or as "line N" when `numbered` is
  // false.
  Reader(LineSource& in, bool named) : in_(in), named_(named) {}

  void read(const std::function<void(ZirSounding&)>& sounding,
            std::vector<std::string>& warnings,
            const std::function<void()>& after_block) {
    std::vector<std::string> w;
    while (next(w)) {
      ZirSounding z = block(w, warnings);
      sounding(z);
      after_block();
    }
  }

 private:
  std::string where() const { return where_of(line_); }
  [[noreturn]] void fail(const std::string& what) const {
    throw ZirError(where() + ": " + what);
  }

  // The next line that is not blank, split into words; false at the end.
  bool next(std::vector<std::string>& words) {
    std::string_view text;
    while (in_.next(text)) {
      line_ = static_cast<int>(in_.line());
      split_words(text, words);
      if (!words.empty()) return true;
    }
    return false;
  }

  long number(const std::string& word) const {
    std::size_t used = 0;
    long v = 0;
    try {
      v = std::stol(word, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != word.size()) fail("not a number: " + word);
    return v;
  }

  void expect_type(const std::vector<std::string>& w, const char* type,
                   std::size_t min_words, std::size_t max_words) const {
    if (w[0] != type)
      fail(std::string("expected a line of type ") + type + ", found " + w[0]);
    if (w.size() < min_words || w.size() > max_words)
      fail(std::string("a line of type ") + type + " has " +
           std::to_string(min_words) +
           (min_words == max_words ? "" : " or " + std::to_string(max_words)) +
           " fields");
  }

  void must_next(std::vector<std::string>& w, const char* what) {
    if (!next(w)) fail(std::string("the text ends before the ") + what);
  }

  ZirSounding block(std::vector<std::string>& w,
                    std::vector<std::string>& warnings) {
    ZirSounding z;
    Sounding& s = z.sounding;
    z.line = line_;
    // 254 hour day MON year
    expect_type(w, "254", 5, 5);
    s.hour = static_cast<int>(in_range(number(w[1]), 0, 23, "hour"));
    s.day = static_cast<int>(in_range(number(w[2]), 1, 31, "day"));
    s.month = 0;
    for (int m = 0; m < 12; ++m)
      if (w[3] == kMonths[m]) s.month = m + 1;
    if (s.month == 0) fail("not a month: " + w[3]);
    s.year = static_cast<int>(in_range(number(w[4]), 1900, 2155, "year"));

    // 1 wban wmo latitude longitude elevation reltime (the two positions
    // run together when the longitude has three digits)
    must_next(w, "station line");
    expect_type(w, "1", 6, 7);
    const long wban = number(w[1]);
    const long wmo = number(w[2]);
    // Both numbers are checked before any sum is made of them.
    if (wban == kMissing ? wmo <= 0 || wmo > 99999 : wban <= 0 || wban > 999999)
      fail("no station file for WBAN " + w[1] + ", WMO " + w[2]);
    z.station = wban == kMissing ? 900000 + wmo : wban;
    s.wban = z.station > 900000 ? z.station - 900000 : z.station;
    s.reltime = number(w.back());

    // 2 top_hyd maxwind troplv lines tropind source
    must_next(w, "summary line");
    expect_type(w, "2", 7, 7);
    const long top_hyd = number(w[1]);
    const long maxwind = number(w[2]);
    const long troplv = number(w[3]);
    const long lines = number(w[4]);
    s.tropind = number(w[5]);
    s.source = number(w[6]);
    if (lines < 5) fail("a block has at least one level line");
    if (lines - 4 > 65535) fail("more level lines than a record holds");
    const int summary_line = line_;

    // 3 identifier [sondtype] units; no radiosonde type up to 1990
    must_next(w, "identification line");
    const bool with_type = s.year > 1990;
    expect_type(w, "3", with_type ? 3 : 2, with_type ? 4 : 3);
    const std::string units = w.back();
    if (units != "kt" && units != "ms")
      fail("wind units are kt or ms, not " + units);
    if (with_type) s.sondtype = stored_sonde_type(number(w[w.size() - 2]));

    for (long i = 0; i < lines - 4; ++i) {
      must_next(w, "level lines the summary line counts");
      if (w[0] == "254")
        fail("a new block starts before the level lines the summary line "
             "counts");
      if (w.size() != 7) fail("a level line has 7 fields");
      Level l;
      l.flag = stored_flag(number(w[0]));
      l.pr = number(w[1]);
      l.ht = number(w[2]);
      l.tp = number(w[3]);
      l.dp = number(w[4]);
      l.wd = number(w[5]);
      l.ws = number(w[6]);
      if (units == "kt" && l.ws != kMissing) {
        const long tenths = knots_to_tenths(l.ws);
        if (tenths < 0) fail("no wind speed gives " + w[6] + " kt");
        l.ws = tenths;
      }
      s.levels.push_back(l);
    }

    s.top_hyd = pointer(s, top_hyd, "highest humidity", summary_line, warnings);
    s.troplv = pointer(s, troplv, "tropopause", summary_line, warnings);
    s.maxwind = pointer(s, maxwind, "maximum wind", summary_line, warnings);
    if (s.levels.size() <= 4)
      warnings.push_back(where_of(z.line) +
                         ": a sounding of 4 levels or fewer is not shown by "
                         "rawinq");
    return z;
  }

  std::string where_of(int line) const {
    return (named_ ? in_.name() + ":" : "line ") + std::to_string(line);
  }

  long in_range(long v, long lo, long hi, const char* what) const {
    if (v < lo || v > hi) fail(std::string(what) + " out of range: " + std::to_string(v));
    return v;
  }

  long stored_sonde_type(long decoded) const {
    if (decoded == kMissing) return kMissing;
    for (long k = 0; k < 8; ++k)
      if (kSondeTypes[k] == decoded) return k + 1;
    if (decoded == 0 || (decoded >= 9 && decoded <= 14)) return decoded;
    fail("no stored radiosonde type reads as " + std::to_string(decoded));
  }

  unsigned stored_flag(long fr) const {
    for (const LevelFlag& f : kFlags)
      if (f.fr == fr) return f.flag;
    fail("not a level type: " + std::to_string(fr));
  }

  // A header pressure as the 1-based number of the first level at that
  // pressure.
  long pointer(const Sounding& s, long pressure, const char* what, int line,
               std::vector<std::string>& warnings) const {
    if (pressure == kMissing) return kMissing;
    for (std::size_t i = 0; i < s.levels.size(); ++i)
      if (s.levels[i].pr == pressure) return static_cast<long>(i) + 1;
    warnings.push_back(where_of(line) + ": the " + what + " pressure " +
                       std::to_string(pressure) +
                       " is no level's pressure; it is stored as missing");
    return kMissing;
  }

  LineSource& in_;
  bool named_;
  int line_ = 0;
};

}  // namespace

long knots_to_tenths(long knots) {
  // Far above any wind (and any stored speed): refused before the
  // arithmetic, which could not hold it.
  constexpr long kFastest = 100000;
  if (knots < 0 || knots > kFastest) return -1;
  // The speed nearest to knots / 0.1925 that gives the knots back.
  const long guess = std::lround(static_cast<double>(knots) / 0.1925);
  for (long d : {0L, -1L, 1L, -2L, 2L}) {
    const long v = guess + d;
    if (v >= 0 &&
        static_cast<long>(static_cast<double>(v) * 0.1925 + 0.5) == knots)
      return v;
  }
  return -1;
}

ZirText read_zir(std::istream& in, const std::string& name) {
  const std::string text((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  LineSource lines(text, name);
  ZirText out;
  try {
    Reader(lines, !name.empty())
        .read([&](ZirSounding& z) { out.soundings.push_back(std::move(z)); },
              out.warnings, [] {});
  } catch (const InputError& e) {
    throw ZirError(e.what());
  }
  return out;
}

void read_zir(LineSource& in, ImportSink& sink) {
  std::vector<std::string> warnings;
  Reader(in, true).read(
      [&](ZirSounding& z) {
        Imported i;
        i.station = z.station;
        i.sounding = std::move(z.sounding);
        i.where = in.name() + ":" + std::to_string(z.line);
        sink.sounding(i);
      },
      warnings,
      [&] {
        for (const std::string& w : warnings) sink.warning(w);
        warnings.clear();
      });
}

}  // namespace archive_writer
