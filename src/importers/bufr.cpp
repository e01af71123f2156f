// WMO BUFR messages of soundings, decoded by ecCodes: the template of
// high-resolution ascents (3 09 052) and the traditional TEMP sequences
// (3 09 007: levels of 3 03 014). Each subset of a message is one
// sounding: its station from the WMO block and station numbers (or a
// five-digit identifier), its nominal date and hour from section 1 (else
// the launch time), its launch time as the release time, and for each
// level the pressure, geopotential height, temperature, dew point and
// wind, with the level type of its vertical sounding significance (0 08 042
// or 0 08 001). Displacements and wind shear are not kept by the archive.
// A sounding of more levels than one record holds is thinned
// (thinning.h).
#include <eccodes.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "import.h"
#include "thinning.h"

namespace archive_writer {
namespace {

constexpr unsigned kSurface = 1, kStandard = 2, kTropopause = 4,
                   kMaxWind = 8, kSigTemperature = 16, kSigWind = 32;
constexpr double kGravity = 9.80665;  // m s-2, geopotential to gpm
// The longest message read: what a 24-bit length gives.
constexpr std::size_t kMaxMessage = (1u << 24) - 1;

// ecCodes' own messages are kept, not printed: the last error becomes part
// of the fault it explains.
thread_local std::string last_log;
extern "C" void keep_log(const codes_context*, int level, const char* text) {
  if (level == CODES_LOG_ERROR || level == CODES_LOG_FATAL)
    last_log = text != nullptr ? text : "";
}
void quiet_codes() {
  static std::once_flag once;
  std::call_once(once, [] {
    codes_context_set_logging_proc(codes_context_get_default(), keep_log);
  });
}

// An ecCodes handle, deleted when it goes.
class Handle {
 public:
  explicit Handle(codes_handle* h) : h_(h) {}
  ~Handle() {
    if (h_ != nullptr) codes_handle_delete(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  codes_handle* get() const { return h_; }

 private:
  codes_handle* h_;
};

// A fault of one message.
struct MessageFault {
  std::string what;
};

std::string codes_reason(int error) {
  std::string why = codes_get_error_message(error);
  if (!last_log.empty()) why += " (" + last_log + ")";
  last_log.clear();
  return why;
}

bool missing(double v) { return v == CODES_MISSING_DOUBLE || std::isnan(v); }

// The values of a key, in the order of the data; empty when the message
// has no such key.
std::vector<double> values(codes_handle* h, const std::string& key) {
  std::size_t n = 0;
  if (codes_get_size(h, key.c_str(), &n) != CODES_SUCCESS || n == 0) return {};
  std::vector<double> out(n);
  const int error = codes_get_double_array(h, key.c_str(), out.data(), &n);
  if (error != CODES_SUCCESS)
    throw MessageFault{"cannot read " + key + ": " + codes_reason(error)};
  out.resize(n);
  return out;
}

// The first value of a key; NaN when it is not there or missing.
double value(codes_handle* h, const std::string& key) {
  const std::vector<double> v = values(h, key);
  return v.empty() || missing(v[0]) ? std::nan("") : v[0];
}

std::string text(codes_handle* h, const std::string& key) {
  char buffer[128] = {};
  std::size_t n = sizeof buffer;
  if (codes_get_string(h, key.c_str(), buffer, &n) != CODES_SUCCESS) return "";
  buffer[sizeof buffer - 1] = '\0';
  std::string s(buffer);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

bool whole(double v, long low, long high) {
  return !std::isnan(v) && v == std::floor(v) && v >= low && v <= high;
}

int days_in_month(long year, long month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30,
                                    31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool valid_date(double y, double m, double d, double h) {
  return whole(y, 1900, 2155) && whole(m, 1, 12) && whole(h, 0, 23) &&
         whole(d, 1, days_in_month(static_cast<long>(y), static_cast<long>(m)));
}

// The archive's level type of a vertical sounding significance: bit n of
// a flag table of `width` bits is the value 2^(width - n). The extended
// table (18 bits): 1 surface, 2 standard level, 3 tropopause, 4 maximum
// wind, 5 significant temperature, 6 significant humidity, 7 significant
// wind; the older one (7 bits): 1 surface, 2 standard, 3 tropopause, 4
// maximum wind, 5 significant temperature, 6 significant wind. A level of
// no such flag (a level of a high-resolution ascent) is a significant
// level of temperature when it has one, else of wind.
unsigned level_type(double significance, bool extended, bool has_temperature,
                    bool& flagged) {
  const int width = extended ? 18 : 7;
  const long all = (1L << width) - 1;
  long v = missing(significance) ? 0 : static_cast<long>(significance);
  if (v < 0 || v >= all) v = 0;  // all bits set: missing
  const auto bit = [&](int n) { return (v >> (width - n)) & 1; };
  flagged = true;
  if (bit(1)) return kSurface;
  if (bit(2)) return kStandard;
  if (bit(3)) return kTropopause;
  if (bit(4)) return kMaxWind;
  flagged = false;
  if (bit(5) || (extended && bit(6))) return kSigTemperature;
  if (bit(extended ? 7 : 6)) return kSigWind;
  return has_temperature ? kSigTemperature : kSigWind;
}

// Rounds a value in range to the archive's units; a value outside
// [low, high] is a fault of the message.
long scaled(double v, double low, double high, double offset, double scale,
            const char* what, std::size_t level) {
  if (missing(v)) return kMissing;
  if (!(v >= low && v <= high)) {
    char out[160];
    std::snprintf(out, sizeof out, "level %zu: %s %g outside %g to %g", level,
                  what, v, low, high);
    throw MessageFault{out};
  }
  return std::lround((v - offset) * scale);
}

// How a subset's levels were thinned (had 0: they were not).
struct Thinning {
  std::size_t had = 0, kept = 0;
  std::string limits;
};

class BufrReader {
 public:
  BufrReader(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
             bool skip_bad)
      : in_(in), sink_(sink), wban_(wban), skip_bad_(skip_bad) {}

  void read() {
    quiet_codes();
    do {
      read_file();
    } while (in_.next_file());
  }

 private:
  // Every message of the current file (or zip member).
  void read_file() {
    const std::string name = in_.name();
    std::string data;
    std::size_t at = 0;  // unread bytes are data[at, size)
    bool end = false;
    long number = 0;
    std::vector<std::string> faults;
    auto more = [&] {
      if (end) return false;
      std::string_view piece;
      if (!in_.next_piece(piece)) {
        end = true;
        return false;
      }
      data.erase(0, at);
      at = 0;
      data.append(piece);
      return true;
    };
    for (;;) {
      // The next "BUFR" (what is before it, a heading, is passed by).
      std::size_t start = data.find("BUFR", at);
      while (start == std::string::npos) {
        at = data.size() > 3 ? data.size() - 3 : at;
        if (!more()) break;
        start = data.find("BUFR", at);
      }
      if (start == std::string::npos) break;
      at = start;
      while (data.size() - at < 8 && more()) {
      }
      ++number;
      const std::string where = name + ": message " + std::to_string(number);
      if (data.size() - at < 8) {
        faults.push_back(where + ": cut short after its first bytes");
        break;
      }
      const auto byte = [&](std::size_t k) {
        return static_cast<unsigned char>(data[at + k]);
      };
      const std::size_t length = (std::size_t{byte(4)} << 16) |
                                 (std::size_t{byte(5)} << 8) | byte(6);
      const unsigned edition = byte(7);
      if (edition < 2 || edition > 4 || length < 32 || length > kMaxMessage) {
        faults.push_back(where + ": not a message ecCodes can read (edition " +
                         std::to_string(edition) + ", " +
                         std::to_string(length) + " bytes)");
        at += 4;  // on to the next "BUFR"
        continue;
      }
      while (data.size() - at < length && more()) {
      }
      if (data.size() - at < length) {
        faults.push_back(where + ": cut short (" +
                         std::to_string(data.size() - at) + " of its " +
                         std::to_string(length) + " bytes)");
        break;
      }
      const std::string_view message(data.data() + at, length);
      at += length;
      try {
        message_soundings(message, where);
      } catch (const MessageFault& f) {
        faults.push_back(where + ": " + f.what);
      }
    }
    if (number == 0) faults.push_back(name + ": no BUFR message");
    if (faults.empty()) return;
    if (!skip_bad_) {
      std::string all;
      for (const std::string& f : faults) all += (all.empty() ? "" : "\n") + f;
      throw InputError(all);
    }
    for (const std::string& f : faults) {
      sink_.warning(f + " (left out)");
      sink_.skipped(f, "a BUFR message with a fault (--skip-bad)");
    }
  }

  // Decodes a message and gives the sink the sounding of each subset;
  // the soundings are made before any is given, so that a fault leaves
  // the whole message out.
  void message_soundings(std::string_view message, const std::string& where) {
    last_log.clear();
    Handle h(codes_handle_new_from_message(nullptr, message.data(),
                                           message.size()));
    if (h.get() == nullptr)
      throw MessageFault{"ecCodes cannot read it" +
                         (last_log.empty() ? std::string() : ": " + last_log)};
    long category = -1;
    codes_get_long(h.get(), "dataCategory", &category);
    if (category != 2)
      throw MessageFault{"not a vertical sounding (data category " +
                         std::to_string(category) + ")"};
    const int error = codes_set_long(h.get(), "unpack", 1);
    if (error != CODES_SUCCESS)
      throw MessageFault{"ecCodes cannot decode it: " + codes_reason(error)};
    long subsets = 1;
    codes_get_long(h.get(), "numberOfSubsets", &subsets);
    if (subsets < 1 || subsets > 100000)
      throw MessageFault{std::to_string(subsets) + " subsets"};
    // The nominal time of the message.
    const double ty = value(h.get(), "typicalYear"),
                 tm = value(h.get(), "typicalMonth"),
                 td = value(h.get(), "typicalDay"),
                 th = value(h.get(), "typicalHour");
    std::vector<Imported> out;
    std::vector<Thinning> thinning;
    for (long k = 1; k <= subsets; ++k) {
      const std::string prefix =
          subsets > 1 ? "/subsetNumber=" + std::to_string(k) + "/" : "";
      const std::string place =
          subsets > 1 ? where + ", subset " + std::to_string(k) : where;
      try {
        thinning_ = Thinning{};
        out.push_back(subset(h.get(), prefix, place));
        thinning.push_back(thinning_);
      } catch (const MessageFault& f) {
        throw MessageFault{(subsets > 1 ? "subset " + std::to_string(k) + ": "
                                        : std::string()) +
                           f.what};
      }
      Sounding& s = out.back().sounding;
      if (valid_date(ty, tm, td, th)) {
        s.year = static_cast<int>(ty);
        s.month = static_cast<int>(tm);
        s.day = static_cast<int>(td);
        s.hour = static_cast<int>(th);
      } else if (s.reltime == kMissing) {
        throw MessageFault{"no date and hour: neither section 1 nor the data "
                           "give one"};
      }
    }
    for (std::size_t k = 0; k < out.size(); ++k) {
      Imported& i = out[k];
      try {
        sink_.sounding(i);
        if (thinning[k].had > 0)
          sink_.thinned(i.where, thinning[k].had, thinning[k].kept,
                        thinning[k].limits);
      } catch (const InputError& e) {
        // What the packer refuses (a date it cannot file, a value it cannot
        // store) is a fault of this message too.
        std::string what = e.what();
        if (what.compare(0, i.where.size(), i.where) == 0)
          what.erase(0, std::min(what.size(), i.where.size() + 2));
        throw MessageFault{what};
      }
    }
  }

  Imported subset(codes_handle* h, const std::string& prefix,
                  const std::string& where) {
    Imported out;
    out.where = where;
    Sounding& s = out.sounding;
    // The station.
    const double block = value(h, prefix + "blockNumber");
    const double number = value(h, prefix + "stationNumber");
    long wmo = 0;
    if (whole(block, 1, 99) && whole(number, 0, 999)) {
      wmo = static_cast<long>(block) * 1000 + static_cast<long>(number);
    } else {
      const std::string id = text(h, prefix + "shipOrMobileLandStationIdentifier");
      if (id.size() == 5 && id.find_first_not_of("0123456789") == std::string::npos)
        wmo = std::stol(id);
      if (wmo == 0)
        throw MessageFault{"no station: no WMO block and station number, and "
                           "no WMO number as its identifier" +
                           (id.empty() ? std::string() : " (" + id + ")")};
    }
    out.station = file_station(wmo, wban_);
    s.wban = out.station > 900000 ? wmo : out.station;
    // The launch time (or the time of the observation): the release time,
    // and the date when section 1 has none.
    const double y = value(h, prefix + "year"), mo = value(h, prefix + "month"),
                 d = value(h, prefix + "day"), hr = value(h, prefix + "hour"),
                 mi = value(h, prefix + "minute");
    if (valid_date(y, mo, d, hr)) {
      s.year = static_cast<int>(y);
      s.month = static_cast<int>(mo);
      s.day = static_cast<int>(d);
      s.hour = static_cast<int>(hr);
      s.reltime = static_cast<long>(hr) * 100 +
                  (whole(mi, 0, 59) ? static_cast<long>(mi) : 0);
    }
    levels(h, prefix, where, s);
    return out;
  }

  void levels(codes_handle* h, const std::string& prefix,
              const std::string& where, Sounding& s) {
    const std::vector<double> t = values(h, prefix + "airTemperature");
    const std::size_t n = t.size();
    if (n == 0) throw MessageFault{"no levels"};
    std::vector<double> p = values(h, prefix + "pressure");
    bool extended = true;
    std::vector<double> sig =
        values(h, prefix + "extendedVerticalSoundingSignificance");
    if (sig.empty()) {
      extended = false;
      sig = values(h, prefix + "verticalSoundingSignificance");
    }
    std::vector<double> z = values(h, prefix + "nonCoordinateGeopotentialHeight");
    if (z.empty()) {
      z = values(h, prefix + "nonCoordinateGeopotential");
      for (double& v : z)
        if (!missing(v)) v /= kGravity;
    }
    const std::vector<double> td = values(h, prefix + "dewpointTemperature");
    const std::vector<double> dir = values(h, prefix + "windDirection");
    const std::vector<double> ff = values(h, prefix + "windSpeed");
    // Every level of the sequences read has each of these once; the
    // pressure and significance of wind shear data come after them.
    if (p.size() < n || sig.size() < n || z.size() != n || td.size() != n ||
        dir.size() != n || ff.size() != n)
      throw MessageFault{
          "levels that do not line up: " + std::to_string(n) +
          " temperatures, " + std::to_string(p.size()) + " pressures, " +
          std::to_string(z.size()) + " heights, " + std::to_string(td.size()) +
          " dew points, " + std::to_string(dir.size()) + " and " +
          std::to_string(ff.size()) + " winds"};
    std::vector<Level> levels;
    std::vector<bool> keep;
    std::size_t unplaced = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t number = i + 1;
      Level l;
      // A level needs a pressure or a height (a wind by height).
      if (missing(p[i]) && missing(z[i])) {
        ++unplaced;
        continue;
      }
      l.pr = scaled(p[i], 1, 110000, 0, 0.1, "pressure (Pa)", number);
      if (l.pr == 0) l.pr = 1;
      l.ht = scaled(z[i], -1000, 60000, 0, 1, "height (gpm)", number);
      l.tp = scaled(t[i], 120, 350, 273.15, 10, "temperature (K)", number);
      l.dp = scaled(td[i], 100, 350, 273.15, 10, "dew point (K)", number);
      l.wd = scaled(dir[i], 0, 360, 0, 1, "wind direction (deg)", number);
      l.ws = scaled(ff[i], 0, 200, 0, 10, "wind speed (m/s)", number);
      bool flagged = false;
      l.flag = level_type(sig[i], extended, l.tp != kMissing, flagged);
      levels.push_back(l);
      keep.push_back(flagged || l.pr == kMissing);
    }
    if (levels.empty()) throw MessageFault{"no level with a pressure or height"};
    if (unplaced > 0)
      sink_.warning(where + ": " + std::to_string(unplaced) +
                    " levels without a pressure or height left out");
    const std::size_t most = record_level_limit();
    if (levels.size() > most) levels = thinned(levels, keep, most);
    s.levels = std::move(levels);
    archive_order(s);
    for (std::size_t i = 0; i < s.levels.size(); ++i) {
      const long k = static_cast<long>(i) + 1;
      if (s.levels[i].flag == kTropopause && s.troplv == kMissing) s.troplv = k;
      if (s.levels[i].flag == kMaxWind && s.maxwind == kMissing) s.maxwind = k;
    }
  }

  // The levels of an ascent too long for one record, thinned to fit.
  std::vector<Level> thinned(const std::vector<Level>& levels,
                             const std::vector<bool>& keep, std::size_t most) {
    const auto real = [](long v, double scale) {
      return v == kMissing ? std::nan("") : static_cast<double>(v) / scale;
    };
    // Levels without a pressure (winds by height) stay; the others are
    // thinned in ln p.
    std::vector<ThinLevel> profile;
    std::vector<std::size_t> at;  // of each profile level in `levels`
    std::size_t loose = 0;
    for (std::size_t i = 0; i < levels.size(); ++i) {
      const Level& l = levels[i];
      if (l.pr == kMissing) {
        ++loose;
        continue;
      }
      at.push_back(i);
      profile.push_back({real(l.pr, 10), real(l.tp, 10), real(l.dp, 10),
                         real(l.wd, 1), real(l.ws, 10), keep[i]});
    }
    if (loose >= most)
      throw MessageFault{"too many levels for one record: " +
                         std::to_string(loose) + " without a pressure"};
    most -= loose;
    ThinResult r;
    try {
      r = thin_levels(profile, most);
    } catch (const std::length_error& e) {
      throw MessageFault{std::string("too many levels for one record: ") +
                         e.what()};
    }
    std::vector<bool> kept(levels.size(), false);
    for (std::size_t i = 0; i < levels.size(); ++i)
      kept[i] = levels[i].pr == kMissing;
    for (std::size_t k : r.kept) kept[at[k]] = true;
    std::vector<Level> out;
    for (std::size_t i = 0; i < levels.size(); ++i)
      if (kept[i]) out.push_back(levels[i]);
    thinning_ = {levels.size(), out.size(), r.limits.text()};
    return out;
  }

  LineSource& in_;
  ImportSink& sink_;
  const WbanOfWmo& wban_;
  bool skip_bad_;
  Thinning thinning_;  // of the subset being read
};

}  // namespace

void read_bufr(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
               bool skip_bad) {
  BufrReader(in, sink, wban, skip_bad).read();
}

}  // namespace archive_writer
