// CSV rows of levels and of per-sounding indices.
#include "rawinq/csv_writer.h"

#include <cmath>
#include <cstdio>

#include "rawinq/derived_fields.h"
#include "rawinq/level_types.h"

namespace {

// Appends ",value" with the given decimals, or "," alone when missing.
void add(std::string& row, double v, int decimals) {
  row += ',';
  if (std::isnan(v)) return;
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  if (n > 0 && static_cast<size_t>(n) < sizeof buf) row.append(buf, static_cast<size_t>(n));
}

// A stored integer scaled by 1/divisor; missing gives NaN.
double scaled(long v, double divisor) {
  return is_missing(v) ? std::nan("") : static_cast<double>(v) / divisor;
}

}  // namespace

std::string iso8601_time(const HEADER_TYPE& h) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:00:00Z", h.year, h.month,
                h.day, h.hour);
  return buf;
}

std::string csv_sounding_key(const Sounding& sounding, const STATREC& station) {
  // International sites carry WMO + 900000 in place of a WBAN number.
  std::string key = std::to_string(station.wmo) + ',';
  if (station.wban <= 900000) key += std::to_string(station.wban);
  key += ',';
  key += iso8601_time(sounding.header);
  return key;
}

CsvWriter::CsvWriter(std::ostream& levels, std::ostream* indices,
                     CsvOptions options)
    : levels_(levels), indices_(indices), options_(options) {
  levels_ << "station_wmo,station_wban,time,level_type,pressure_hPa,height_m,"
             "temperature_C,dewpoint_C,wind_direction_deg,"
          << (options_.knots ? "wind_speed_kt" : "wind_speed_m_s");
  if (options_.derived)
    for (const LevelField& f : kLevelFields) levels_ << ',' << f.csv_name;
  levels_ << '\n';
  if (indices_) {
    *indices_ << "station_wmo,station_wban,time";
    for (const IndexField& f : kIndexFields) *indices_ << ',' << f.csv_name;
    *indices_ << '\n';
  }
}

long CsvWriter::write(const Sounding& sounding, const STATREC& station) {
  const std::string key = csv_sounding_key(sounding, station);
  long rows = 0;
  for (const DATA_TYPE& l : sounding.levels) {
    if (!level_selected(l.fr, options_.level_selection)) continue;
    row_ = key;
    row_ += ',';
    row_ += level_type_info(l.fr)->word;
    add(row_, scaled(l.pr, 10), 1);
    add(row_, scaled(l.ht, 1), 0);
    add(row_, scaled(l.tp, 10), 1);
    add(row_, scaled(l.dp, 10), 1);
    add(row_, scaled(l.wd, 1), 0);
    if (options_.knots)
      add(row_, scaled(speed_in_knots(l.ws), 1), 0);
    else
      add(row_, scaled(l.ws, 10), 1);
    if (options_.derived) {
      const auto q = rawinq::indices::level_quantities(l);
      for (const LevelField& f : kLevelFields) add(row_, f.value(q), f.decimals);
    }
    row_ += '\n';
    levels_ << row_;
    ++rows;
  }
  if (indices_ && rows > 0) {
    const auto ix = rawinq::indices::compute_indices(sounding);
    row_ = key;
    for (const IndexField& f : kIndexFields) add(row_, f.value(ix), f.decimals);
    row_ += '\n';
    *indices_ << row_;
  }
  return rows;
}
