// IGRA2 sounding files: a header record ('#' in column 1) and the level
// records it counts, in fixed columns.
#include <string>

#include "import.h"
#include "text_fields.h"

namespace archive_writer {
namespace {

struct Column {
  std::size_t first, last;  // 1-based, inclusive
  const char* what;
};

// The header record.
constexpr Column kId{2, 12, "station ID"};
constexpr Column kYear{14, 17, "year"};
constexpr Column kMonth{19, 20, "month"};
constexpr Column kDay{22, 23, "day"};
constexpr Column kHour{25, 26, "hour"};
constexpr Column kRelease{28, 31, "release time"};
constexpr Column kLevels{33, 36, "number of levels"};
constexpr long kHourMissing = 99;
constexpr long kReleaseMissing = 9999;

// The level record's values that go to the archive as they are, and the
// dew-point depression; -9999 is missing, -8888 removed by quality
// assurance. The pressure in Pa is turned into tenths of mb.
struct LevelColumn {
  Column column;
  long Level::*member;
};
constexpr LevelColumn kLevelColumns[] = {
    {{10, 15, "pressure"}, &Level::pr},
    {{17, 21, "geopotential height"}, &Level::ht},
    {{23, 27, "temperature"}, &Level::tp},
    {{41, 45, "wind direction"}, &Level::wd},
    {{47, 51, "wind speed"}, &Level::ws},
};
constexpr Column kDepression{35, 39, "dew-point depression"};
constexpr long kIgraMissing[] = {-9999, -8888};

// Level types: the minor type (column 2) names the surface and the
// tropopause; otherwise the major type (column 1) 1 is a standard pressure
// level, and any other level is a significant temperature level when it
// has a temperature and a significant wind level when not.
struct LevelType {
  char column;  // 1 or 2
  char code;
  unsigned flag;
};
constexpr LevelType kLevelTypes[] = {
    {2, '1', 1}, {2, '2', 4}, {1, '1', 2}};
constexpr unsigned kSigTemperature = 16, kSigWind = 32;
constexpr unsigned kTropopause = 4;

// Station IDs: two letters of the country, the network and eight
// characters of the number. The W network numbers stations by their WBAN
// numbers, the M network by their WMO numbers.
constexpr char kWbanNetwork = 'W';
constexpr char kWmoNetwork = 'M';

class Igra2Reader {
 public:
  Igra2Reader(LineSource& in, ImportSink& sink, const WbanOfWmo& wban)
      : in_(in), sink_(sink), wban_(wban) {}

  void read() {
    std::string_view line;
    while (in_.next(line)) {
      if (!line.empty() && line[0] == '#') {
        finish();
        header(line);
      } else if (!trimmed(line).empty()) {
        if (!open_) in_.fail("a level record before any header record");
        level(line);
      }
    }
    finish();
  }

 private:
  long number(std::string_view line, const Column& c) const {
    long v = 0;
    if (line.size() < c.last || !whole_number(columns(line, c.first, c.last), v))
      in_.fail(std::string("no ") + c.what + " in columns " +
               std::to_string(c.first) + "-" + std::to_string(c.last));
    return v;
  }

  void header(std::string_view line) {
    open_ = true;
    where_ = in_.where();
    expected_ = number(line, kLevels);
    if (expected_ < 0) in_.fail("a negative number of levels");
    Sounding& s = current_.sounding;
    s = Sounding{};
    s.levels.reserve(static_cast<std::size_t>(expected_));
    s.year = static_cast<int>(number(line, kYear));
    s.month = static_cast<int>(number(line, kMonth));
    s.day = static_cast<int>(number(line, kDay));
    long hour = number(line, kHour);
    const long release = number(line, kRelease);
    const long release_hour = release / 100;
    const long release_minutes = release % 100;
    // A release time of no time of day (hour above 23, minutes above 59
    // other than 99) is missing: the archive would keep it as it is.
    if (release != kReleaseMissing && release_hour != kHourMissing &&
        release >= 0 && release_hour <= 23 &&
        (release_minutes <= 59 || release_minutes == 99)) {
      // HH99: the minutes are missing; the hour is kept.
      s.reltime = release % 100 == 99 ? release_hour * 100 : release;
    }
    skip_ = nullptr;
    if (hour == kHourMissing) {
      if (s.reltime == kMissing)
        skip_ = "hour missing and no release time";
      else
        hour = release_hour;
    }
    s.hour = static_cast<int>(hour);

    const std::string_view id = columns(line, kId.first, kId.last);
    long digits = 0;
    const bool numbered =
        id.size() == 11 && whole_number(id.substr(3), digits) && digits > 0 &&
        digits <= 99999;
    if (numbered && id[2] == kWbanNetwork) {
      current_.station = digits;
      s.wban = digits;
    } else if (numbered && id[2] == kWmoNetwork) {
      current_.station = file_station(digits, wban_);
      s.wban = current_.station > 900000 ? digits : current_.station;
    } else if (skip_ == nullptr) {
      skip_ = "station with neither a WMO nor a WBAN number";
    }
  }

  void level(std::string_view line) {
    Sounding& s = current_.sounding;
    if (static_cast<long>(s.levels.size()) >= expected_)
      in_.fail("more level records than the header counts (" +
               std::to_string(expected_) + ")");
    if (line.size() < kLevelColumns[4].column.last)
      in_.fail("a level record of " + std::to_string(line.size()) +
               " characters; it has 51 or more");
    Level l;
    l.flag = 0;
    for (const LevelColumn& c : kLevelColumns) {
      const long v = number(line, c.column);
      l.*c.member = is_missing(v) ? kMissing : v;
    }
    const long depression = number(line, kDepression);
    if (l.pr != kMissing) {
      if (l.pr % 10 != 0)
        sink_.warning(in_.where() + ": the pressure " + std::to_string(l.pr) +
                      " Pa is stored in tenths of mb as " +
                      std::to_string((l.pr + 5) / 10));
      l.pr = (l.pr + 5) / 10;
    }
    if (l.tp != kMissing && !is_missing(depression)) l.dp = l.tp - depression;
    for (const LevelType& t : kLevelTypes)
      if (line[static_cast<std::size_t>(t.column - 1)] == t.code) {
        l.flag = t.flag;
        break;
      }
    if (l.flag == 0) l.flag = l.tp != kMissing ? kSigTemperature : kSigWind;
    if (l.flag == kTropopause && s.troplv == kMissing)
      s.troplv = static_cast<long>(s.levels.size()) + 1;
    s.levels.push_back(l);
  }

  static bool is_missing(long v) {
    for (long m : kIgraMissing)
      if (v == m) return true;
    return false;
  }

  void finish() {
    if (!open_) return;
    open_ = false;
    const Sounding& s = current_.sounding;
    if (static_cast<long>(s.levels.size()) != expected_)
      throw InputError(where_ + ": the header counts " +
                       std::to_string(expected_) + " levels, " +
                       std::to_string(s.levels.size()) + " follow");
    current_.where = where_;
    archive_order(current_.sounding);
    if (skip_ != nullptr)
      sink_.skipped(where_, skip_);
    else
      sink_.sounding(current_);
  }

  LineSource& in_;
  ImportSink& sink_;
  const WbanOfWmo& wban_;
  Imported current_;
  bool open_ = false;
  long expected_ = 0;
  std::string where_;
  const char* skip_ = nullptr;
};

}  // namespace

void read_igra2(LineSource& in, ImportSink& sink, const WbanOfWmo& wban) {
  Igra2Reader(in, sink, wban).read();
}

}  // namespace archive_writer
