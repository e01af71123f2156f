// Text listings of soundings (TEXT:LIST) as the University of Wyoming
// publishes them: a table of levels in columns of 7 characters under a
// row of column names, then the station information block with the
// station number and the observation time. Several listings may follow
// one another; the HTML around them is passed by.
//
// The comma-separated listing (TEXT:CSV) has a header row naming its
// columns ("time", "pressure_hPa", "geopotential height_m",
// "temperature_C", "dew point temperature_C", "wind direction_degree",
// "wind speed_m/s", and others not read) and a row a level, each with the
// time it was measured (YYYY-MM-DD HH:MM:SS). It does not name its station:
// that comes from the caller. The sounding's nominal time is the standard
// time (a whole multiple of 3 hours) nearest the first level's, and that
// level's hour and minute are the release time.
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "import.h"
#include "rawinq/dates.h"
#include "text_fields.h"

namespace archive_writer {
namespace {

constexpr std::size_t kWidth = 7;
constexpr unsigned kSurface = 1, kMandatory = 2, kSigTemperature = 16,
                   kSigWind = 32;
constexpr std::size_t kMaxLevels = 65535;

// The columns read: name in the heading row, the level's value and the
// number of decimals it is held in (tenths of mb and of deg C, metres,
// degrees; the speed in knots is turned into tenths of m/s, 1 kt =
// 0.514444 m/s).
struct ListColumn {
  const char* name;
  long Level::*member;
  int decimals;
};
constexpr ListColumn kColumns[] = {{"PRES", &Level::pr, 1},
                                   {"HGHT", &Level::ht, 0},
                                   {"TEMP", &Level::tp, 1},
                                   {"DWPT", &Level::dp, 1},
                                   {"DRCT", &Level::wd, 0},
                                   {"SKNT", &Level::ws, 0}};
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

// Standard pressures (tenths of mb): their levels are mandatory levels.
constexpr long kStandard[] = {10000, 9250, 8500, 7000, 5000, 4000, 3000, 2500,
                              2000,  1500, 1000, 700,  500,  300,  200,  100};

// Lines of the station information block.
constexpr const char* kStationNumber = "Station number:";
constexpr const char* kObservationTime = "Observation time:";

// The columns of the comma-separated listing read, by their names (the
// speed in m/s).
constexpr ListColumn kCsvColumns[] = {{"pressure_hPa", &Level::pr, 1},
                                     {"geopotential height_m", &Level::ht, 0},
                                     {"temperature_C", &Level::tp, 1},
                                     {"dew point temperature_C", &Level::dp, 1},
                                     {"wind direction_degree", &Level::wd, 0},
                                     {"wind speed_m/s", &Level::ws, 1}};
constexpr std::size_t kCsvColumnCount = sizeof kCsvColumns / sizeof kCsvColumns[0];
constexpr std::string_view kCsvHeading = "time,";

// A decimal number rounded to units of 10^-decimals; false when it is
// none or does not fit.
bool rounded_number(std::string_view s, int decimals, long& value) {
  s = trimmed(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return false;
  const double scaled = std::round(v * std::pow(10.0, decimals));
  if (!(std::fabs(scaled) < 1e9)) return false;
  value = static_cast<long>(scaled);
  return true;
}


class WyomingReader {
 public:
  WyomingReader(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
                long csv_wmo)
      : in_(in), sink_(sink), wban_(wban), csv_wmo_(csv_wmo) {}

  void read() {
    std::string_view line;
    while (in_.next(line)) {
      if (line.substr(0, kCsvHeading.size()) == kCsvHeading) {
        finish();
        csv_heading(line);
        continue;
      }
      if (state_ == kCsv) {
        if (csv_level(line)) continue;
        finish();
      }
      if (is_heading(line)) {
        finish();
        heading(line);
        continue;
      }
      if (state_ == kLevels) {
        if (!line.empty() && line[0] == '-') continue;
        if (!units_) {  // the row of units under the names
          units_ = true;
          continue;
        }
        if (level(line)) continue;
        // The table ends at a blank line or the HTML after it; any other
        // line there is a fault rather than the silent end of the levels.
        const std::string_view t = trimmed(line);
        if (!t.empty() && t[0] != '<' && t.find("Station") == std::string_view::npos)
          in_.fail("not a row of the level table: " + std::string(t.substr(0, 40)));
        state_ = kInfo;
      }
      if (state_ == kInfo) info(line);
    }
    finish();
  }

 private:
  enum State { kIdle, kLevels, kInfo, kCsv };

  // The fields of a comma-separated row.
  static void split_fields(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    while (true) {
      const std::size_t comma = line.find(',');
      out.push_back(line.substr(0, comma));
      if (comma == std::string_view::npos) break;
      line.remove_prefix(comma + 1);
    }
  }

  void csv_heading(std::string_view line) {
    if (csv_wmo_ <= 0)
      in_.fail("a comma-separated listing does not name its station: give its "
               "WMO number with --wmo");
    state_ = kCsv;
    where_ = in_.where();
    current_ = Imported{};
    wmo_ = csv_wmo_;
    have_time_ = false;
    split_fields(line, fields_);
    csv_count_ = fields_.size();
    for (std::size_t c = 0; c < kCsvColumnCount; ++c) {
      csv_field_[c] = csv_count_;
      for (std::size_t f = 0; f < fields_.size(); ++f)
        if (trimmed(fields_[f]) == kCsvColumns[c].name) csv_field_[c] = f;
    }
    if (csv_field_[0] == csv_count_)
      in_.fail("the listing has no column pressure_hPa");
  }

  // A row of the comma-separated listing; false when the line is none (a
  // blank line or the HTML after the rows).
  bool csv_level(std::string_view line) {
    const std::string_view t = trimmed(line);
    if (t.empty() || t[0] == '<') return false;
    split_fields(line, fields_);
    if (fields_.size() != csv_count_)
      in_.fail("a row of " + std::to_string(fields_.size()) + " fields under a heading of " +
               std::to_string(csv_count_));
    if (!have_time_) first_time(fields_[0]);
    Level l;
    for (std::size_t c = 0; c < kCsvColumnCount; ++c) {
      long v = kMissing;
      if (csv_field_[c] < csv_count_) {
        const std::string_view text = trimmed(fields_[csv_field_[c]]);
        if (!text.empty() && !rounded_number(text, kCsvColumns[c].decimals, v))
          in_.fail(std::string("not a number in column ") + kCsvColumns[c].name + ": " +
                   std::string(text.substr(0, 20)));
      }
      l.*kCsvColumns[c].member = v;
    }
    if (l.pr == kMissing) in_.fail("a row without a pressure");
    add_level(l);
    return true;
  }

  void add_level(const Level& l) {
    std::vector<Level>& levels = current_.sounding.levels;
    if (levels.size() >= kMaxLevels)
      in_.fail("more than " + std::to_string(kMaxLevels) + " levels");
    levels.push_back(l);
  }

  // The nominal time and the release time from the first row's time.
  void first_time(std::string_view v) {
    v = trimmed(v);
    long y = 0, mo = 0, d = 0, h = 0, mi = 0;
    if (v.size() < 16 || v[4] != '-' || v[7] != '-' || (v[10] != ' ' && v[10] != 'T') ||
        v[13] != ':' || !whole_number(v.substr(0, 4), y) ||
        !whole_number(v.substr(5, 2), mo) || !whole_number(v.substr(8, 2), d) ||
        !whole_number(v.substr(11, 2), h) || !whole_number(v.substr(14, 2), mi) ||
        mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59)
      in_.fail("not a time (YYYY-MM-DD HH:MM:SS): " + std::string(v.substr(0, 20)));
    const long minute = h * 60 + mi;
    const long nominal = (minute + 90) / 180 * 180;  // the nearest 3 hours
    const long ymdh =
        rawinq::hour_of_days(rawinq::days_from_civil(y, mo, d) + nominal / 1440, 0);
    Sounding& s = current_.sounding;
    s.year = static_cast<int>(ymdh / 1000000);
    s.month = static_cast<int>(ymdh / 10000 % 100);
    s.day = static_cast<int>(ymdh / 100 % 100);
    s.hour = static_cast<int>(nominal % 1440 / 60);
    s.reltime = h * 100 + mi;
    have_time_ = true;
  }

  static bool is_heading(std::string_view line) {
    const std::string_view t = trimmed(line);
    return t.substr(0, 4) == "PRES" && t.find("HGHT") != std::string_view::npos;
  }

  void heading(std::string_view line) {
    state_ = kLevels;
    units_ = false;
    where_ = in_.where();
    current_ = Imported{};
    wmo_ = 0;
    have_time_ = false;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      const std::size_t at = line.find(kColumns[c].name);
      if (at == std::string_view::npos)
        in_.fail(std::string("the listing has no column ") + kColumns[c].name);
      field_[c] = at / kWidth;
    }
  }

  // A row of the table; false when the line is none.
  bool level(std::string_view line) {
    Level l;
    if (!scaled_number(columns(line, 1, kWidth), 1, l.pr)) return false;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      const std::string_view text =
          columns(line, field_[c] * kWidth + 1, field_[c] * kWidth + kWidth);
      long v = 0;
      if (trimmed(text).empty()) {
        l.*kColumns[c].member = kMissing;
      } else if (scaled_number(text, kColumns[c].decimals, v)) {
        l.*kColumns[c].member = v;
      } else {
        in_.fail(std::string("not a number in column ") + kColumns[c].name +
                 ": " + std::string(trimmed(text)));
      }
    }
    if (l.ws != kMissing) {
      const long knots = l.ws;
      l.ws = exact_knots_to_tenths(knots);
      if (l.ws < 0) in_.fail("not a wind speed: " + std::to_string(knots) + " kt");
    }
    add_level(l);
    return true;
  }

  void info(std::string_view line) {
    const std::size_t number_at = line.find(kStationNumber);
    if (number_at != std::string_view::npos) {
      const std::string_view v =
          line.substr(number_at + std::string_view(kStationNumber).size());
      if (!whole_number(v, wmo_) || wmo_ <= 0 || wmo_ > 99999)
        in_.fail("not a station number: " + std::string(trimmed(v)));
    }
    const std::size_t time_at = line.find(kObservationTime);
    if (time_at != std::string_view::npos) {
      // YYMMDD/HHMM
      const std::string_view v = trimmed(
          line.substr(time_at + std::string_view(kObservationTime).size()));
      long yy = 0, mm = 0, dd = 0, hh = 0;
      if (v.size() != 11 || v[6] != '/' || !whole_number(v.substr(0, 2), yy) ||
          !whole_number(v.substr(2, 2), mm) || !whole_number(v.substr(4, 2), dd) ||
          !whole_number(v.substr(7, 2), hh) || yy < 0)
        in_.fail("not an observation time (YYMMDD/HHMM): " + std::string(v));
      Sounding& s = current_.sounding;
      s.year = full_year(static_cast<int>(yy));
      s.month = static_cast<int>(mm);
      s.day = static_cast<int>(dd);
      s.hour = static_cast<int>(hh);
      have_time_ = true;
    }
  }

  void finish() {
    if (state_ == kIdle) return;
    const bool csv = state_ == kCsv;
    state_ = kIdle;
    Sounding& s = current_.sounding;
    if (csv && s.levels.empty()) throw InputError(where_ + ": a listing without levels");
    if (wmo_ == 0 || !have_time_)
      throw InputError(where_ + ": a listing without its station number and "
                                "observation time");
    // The first level with a temperature is the surface; levels below it
    // are standard levels under the ground.
    bool surface = false;
    for (Level& l : s.levels) {
      bool standard = false;
      for (long p : kStandard) standard = standard || l.pr == p;
      if (!surface && l.tp != kMissing) {
        l.flag = kSurface;
        surface = true;
      } else if (standard) {
        l.flag = kMandatory;
      } else {
        l.flag = l.tp != kMissing ? kSigTemperature : kSigWind;
      }
    }
    archive_order(s);
    current_.station = file_station(wmo_, wban_);
    s.wban = current_.station > 900000 ? wmo_ : current_.station;
    current_.where = where_;
    sink_.sounding(current_);
  }

  LineSource& in_;
  ImportSink& sink_;
  const WbanOfWmo& wban_;
  State state_ = kIdle;
  bool units_ = false;
  std::size_t field_[kColumnCount] = {};
  Imported current_;
  std::string where_;
  long wmo_ = 0;
  bool have_time_ = false;
  long csv_wmo_ = 0;
  std::vector<std::string_view> fields_;
  std::size_t csv_count_ = 0;
  std::size_t csv_field_[kCsvColumnCount] = {};
};

}  // namespace

void read_wyoming(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
                  long csv_wmo) {
  WyomingReader(in, sink, wban, csv_wmo).read();
}

}  // namespace archive_writer
