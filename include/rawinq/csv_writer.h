// Comma-separated output for analysis tools: one row per selected level
// under a header row whose column names carry their units, and with the
// derived quantities a second table of one row per sounding.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rawinq/analysis_levels.h"

#include "rawinq/records.h"
#include "rawinq/sounding.h"
#include "rawinq/station_ids.h"

struct CsvOptions {
  short level_selection = 0;  // 0 all, 1 mandatory, 2 mandatory and significant
  bool knots = true;          // wind_speed_kt (whole knots) or wind_speed_m_s
  bool derived = false;       // the theta, mixing ratio and humidity columns
  // The stations' identifiers (null: their own letters or numbers); the
  // table outlives the writer.
  const StationIdTable* station_ids = nullptr;
};

// Makes the rows of CSV text of soundings: the selected levels, and with
// the derived quantities a row of indices per sounding. Missing values are
// empty fields. Each row ends with "\n".
class CsvWriter {
 public:
  explicit CsvWriter(CsvOptions options) : options_(std::move(options)) {}
  // The header rows of the two tables.
  std::string levels_header() const;
  std::string indices_header() const;
  // Appends the sounding's selected level rows to levels (nothing when none
  // is selected) and, when indices is given and a level was selected, its
  // row of indices. Returns the number of level rows.
  long write(const Sounding& sounding, const STATREC& station,
             std::string& levels, std::string* indices) const;

 private:
  CsvOptions options_;
  mutable std::vector<AnalysisLevel> order_;
};

// The station and time columns shared by both tables: "station_wmo,
// station_wban,station_id,station_name,latitude_deg,longitude_deg,
// elevation_m,time,release_time" values of one sounding.
std::string csv_sounding_key(const Sounding& sounding, const STATREC& station,
                             const StationIdTable* ids);

// "station_id,station_name,latitude_deg,longitude_deg,elevation_m" of a
// station, or with another separator (a tab) its fields unquoted.
std::string station_columns(const STATREC& station, const StationIdTable* ids,
                            char separator);

// A field as RFC 4180 writes it: quoted when it holds a comma, a quote or
// a line end.
std::string csv_text(const std::string& text);

// The station's name without its trailing blanks.
std::string station_name(const STATREC& station);

// The sounding's time as ISO 8601 UTC, "YYYY-MM-DDTHH:00:00Z".
std::string iso8601_time(const HEADER_TYPE& header);

// The release time (header reltime, hhmm) as minutes from the nominal time,
// on the day that puts it nearest to it (a release at 2315 for 00 UTC is 45
// minutes before); false when it is missing or no time of day.
bool release_minutes(const HEADER_TYPE& header, long& minutes);
// The release time as ISO 8601 UTC, "YYYY-MM-DDTHH:MM:00Z", or "" when
// release_minutes gives none.
std::string iso8601_release_time(const HEADER_TYPE& header);
