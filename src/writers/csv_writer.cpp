// CSV rows of levels and of per-sounding indices.
#include "rawinq/csv_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "rawinq/derived_fields.h"
#include "rawinq/heights.h"
#include "rawinq/level_types.h"

namespace {

// Appends ",value" with the given decimals, or "," alone when missing (not
// a finite number).
void add(std::string& row, double v, int decimals, char separator = ',') {
  row += separator;
  if (!std::isfinite(v)) return;
  // to_chars writes what printf's "%.*f" writes, without its format
  // parsing; a value too long for the buffer is left out, as before.
  char buf[40];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::fixed,
                    decimals);
  if (r.ec == std::errc()) row.append(buf, r.ptr);
}

// Puts ",v" of a stored integer (with one decimal for tenths), or ","
// alone when missing, at p (room for 24 characters); exact, as the archive
// holds it. Returns the end of what was put.
char* put_stored(char* p, long v, bool tenths) {
  *p++ = ',';
  if (is_missing(v)) return p;
  if (v < 0) *p++ = '-';
  const unsigned long u = v < 0 ? 0ul - static_cast<unsigned long>(v)
                                : static_cast<unsigned long>(v);
  if (!tenths) return std::to_chars(p, p + 21, u).ptr;
  p = std::to_chars(p, p + 21, u / 10).ptr;
  *p++ = '.';
  *p++ = static_cast<char>('0' + u % 10);
  return p;
}

// Appends ",value" with at most four decimals, trailing zeros left out.
void add_trimmed(std::string& row, double v, char separator) {
  const std::size_t from = row.size() + 1;
  add(row, v, 4, separator);
  if (row.find('.', from) == std::string::npos) return;
  while (row.back() == '0') row.pop_back();
  if (row.back() == '.') row.pop_back();
}

}  // namespace

std::string csv_text(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (const char c : s) (q += c) += c == '"' ? "\"" : "";
  return q + '"';
}

std::string iso8601_time(const HEADER_TYPE& h) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:00:00Z", h.year, h.month,
                h.day, h.hour);
  return buf;
}

bool release_minutes(const HEADER_TYPE& h, long& minutes) {
  if (is_missing(h.reltime) || h.reltime < 0) return false;
  const long hh = h.reltime / 100, mm = h.reltime % 100;
  if (hh > 23 || mm > 59) return false;
  constexpr long kDay = 24 * 60;
  minutes = hh * 60 + mm - h.hour * 60L;
  if (minutes > kDay / 2) minutes -= kDay;
  if (minutes < -kDay / 2) minutes += kDay;
  return true;
}

std::string iso8601_release_time(const HEADER_TYPE& h) {
  long minutes = 0;
  if (!release_minutes(h, minutes) || h.month < 1 || h.month > 12) return "";
  int year = h.year, month = h.month, day = h.day;
  long at = h.hour * 60L + minutes;  // minutes from the day's start
  const auto month_days = [](int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
  };
  if (at < 0) {
    at += 24 * 60;
    if (--day < 1) {
      if (--month < 1) {
        month = 12;
        --year;
      }
      day = month_days(year, month);
    }
  } else if (at >= 24 * 60) {
    at -= 24 * 60;
    if (++day > month_days(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02ld:%02ld:00Z", year, month,
                day, at / 60, at % 60);
  return buf;
}

std::string station_name(const STATREC& station) {
  std::string name(station.name, strnlen(station.name, sizeof station.name));
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

std::string station_columns(const STATREC& station, const StationIdTable* ids,
                            char separator) {
  std::string row = station_id_of(ids, station);
  row += separator;
  row += separator == ',' ? csv_text(station_name(station)) : station_name(station);
  add_trimmed(row, station.lat, separator);
  add_trimmed(row, station.lon, separator);
  add(row, rawinq::heights::station_elevation(station.elev), 0, separator);
  return row;
}

std::string csv_sounding_key(const Sounding& sounding, const STATREC& station,
                             const StationIdTable* ids) {
  // International sites carry WMO + 900000 in place of a WBAN number;
  // a station without a WMO number has 99999.
  std::string key = is_missing(station.wmo) ? std::string() : std::to_string(station.wmo);
  key += ',';
  if (station.wban <= 900000) key += std::to_string(station.wban);
  key += ',';
  key += station_columns(station, ids, ',');
  key += ',';
  key += iso8601_time(sounding.header);
  key += ',';
  key += iso8601_release_time(sounding.header);
  return key;
}

std::string CsvWriter::levels_header() const {
  std::string h =
      "station_wmo,station_wban,station_id,station_name,latitude_deg,"
      "longitude_deg,elevation_m,time,release_time,level_type,pressure_hPa,"
      "height_m,"
      "temperature_C,dewpoint_C,wind_direction_deg,";
  h += options_.knots ? "wind_speed_kt" : "wind_speed_m_s";
  if (options_.derived)
    for (const LevelField& f : kLevelFields) (h += ',') += f.csv_name;
  return h + '\n';
}

std::string CsvWriter::indices_header() const {
  std::string h =
      "station_wmo,station_wban,station_id,station_name,latitude_deg,"
      "longitude_deg,elevation_m,time,release_time";
  for (const IndexField& f : kIndexFields) (h += ',') += f.csv_name;
  return h + '\n';
}

long CsvWriter::write(const Sounding& sounding, const STATREC& station,
                      std::string& levels, std::string* indices) const {
  const double elevation = rawinq::heights::station_elevation(station.elev);
  analysis_levels(sounding, options_.level_selection, elevation, order_);
  if (order_.empty()) return 0;
  const std::string key = csv_sounding_key(sounding, station, options_.station_ids);
  long rows = 0;
  for (const AnalysisLevel& a : order_) {
    const DATA_TYPE& l = *a.level;
    std::string& row = levels;
    row += key;
    row += ',';
    row += level_type_word(a.type);
    char buf[6 * 24];
    char* p = put_stored(buf, l.pr, true);
    p = put_stored(p, l.ht, false);
    p = put_stored(p, l.tp, true);
    p = put_stored(p, l.dp, true);
    p = put_stored(p, l.wd, false);
    p = options_.knots ? put_stored(p, speed_in_exact_knots(l.ws), false)
                       : put_stored(p, l.ws, true);
    row.append(buf, static_cast<std::size_t>(p - buf));
    if (options_.derived) {
      const auto q = rawinq::indices::level_quantities(l);
      for (const LevelField& f : kLevelFields) add(row, f.value(q), f.decimals);
    }
    row += '\n';
    ++rows;
  }
  if (indices && rows > 0) {
    const auto ix = rawinq::indices::compute_indices(sounding, elevation);
    *indices += key;
    for (const IndexField& f : kIndexFields) add(*indices, f.value(ix), f.decimals);
    *indices += '\n';
  }
  return rows;
}
