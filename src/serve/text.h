// What rawinq-serve writes into its answers: JSON values, HTML with every
// catalogue text escaped, the text listing of a sounding, the pages.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "rawinq/rawinq.h"

namespace rawinq::serve {

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool valid_utf8(const std::string& text);
// A JSON string of text; bytes that are not UTF-8 are taken as Latin-1
// (the catalogues' own encoding).
std::string json_string(const std::string& text);
// A number with the decimals given, or null when it is not finite.
std::string json_number(double v, int decimals);
// text with &, <, >, " and ' as entities; bytes that are not UTF-8 as
// Latin-1.
std::string html_escape(const std::string& text);
// text for a message: printable ASCII kept, other bytes as \xHH, cut at 64
// characters.
std::string printable(const std::string& text);
// YYYYMMDDHH as YYYY-MM-DDTHHZ.
std::string iso_time(long t);
// The days from the day of a to the day of b (YYYYMMDDHH).
long days_between(long a, long b);

// The rows of a sounding's indices table: key (JSON), label, value, unit.
struct IndexRow {
  const char* key;
  const char* label;
  double value;
  const char* unit;
};
std::vector<IndexRow> index_rows(const indices::SoundingIndices& ix);

// The text listing of a sounding in the university pages' form: a table of
// PRES HGHT TEMP DWPT RELH MIXR DRCT SKNT THTA THTE THTV in columns of 7
// characters and the station information block, inside HTML.
std::string listing_text(const StationSounding& s, const std::string& id);

struct SoundingPage {
  std::string base, id;
  const StationListing* listing = nullptr;
  long time = 0, prev = 0, next = 0;  // 0: none
  std::string svg;                    // the skew-T, "" when none was drawn
  StationSounding sounding;
  std::vector<std::string> formats;
};
std::string sounding_page(const SoundingPage& page);

struct PeriodPage {
  std::string base, id, query;  // query: from=...&to=...&hours=...
  const StationListing* listing = nullptr;
  long from = 0, to = 0;
  std::vector<long> times;
  std::string svg;  // the time-height section
  std::vector<std::string> formats;
};
std::string period_page(const PeriodPage& page);

// The station page: the map, the search and the date picker.
std::string index_page(const std::string& base,
                       const std::vector<std::pair<std::string, const StationListing*>>& stations);

}  // namespace rawinq::serve
