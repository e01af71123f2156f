// Comma-separated output for analysis tools: one row per selected level
// under a header row whose column names carry their units, and with the
// derived quantities a second table of one row per sounding.
#pragma once

#include <ostream>
#include <string>

#include "rawinq/records.h"
#include "rawinq/sounding.h"

struct CsvOptions {
  short level_selection = 0;  // 0 all, 1 mandatory, 2 mandatory and significant
  bool knots = true;          // wind_speed_kt (whole knots) or wind_speed_m_s
  bool derived = false;       // the theta, mixing ratio and humidity columns
};

// Writes soundings as rows of CSV text to `levels` and, when given, their
// indices to `indices`. The header rows are written by the constructor.
// Missing values are empty fields. The streams' states are the caller's to
// check.
class CsvWriter {
 public:
  CsvWriter(std::ostream& levels, std::ostream* indices, CsvOptions options);
  // Writes the sounding's selected levels (nothing when none is selected)
  // and, with an indices stream, its row of indices. Returns the number of
  // level rows written.
  long write(const Sounding& sounding, const STATREC& station);

 private:
  std::ostream& levels_;
  std::ostream* indices_;
  CsvOptions options_;
  std::string row_;  // reused from row to row
};

// The station and time columns shared by both tables:
// "station_wmo,station_wban,time" values of one sounding.
std::string csv_sounding_key(const Sounding& sounding, const STATREC& station);

// The sounding's time as ISO 8601 UTC, "YYYY-MM-DDTHH:00:00Z".
std::string iso8601_time(const HEADER_TYPE& header);
