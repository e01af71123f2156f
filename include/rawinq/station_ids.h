// The identifiers people know upper-air stations by (ICAO and 3-letter
// codes, IGRA2 ids) from the world table of a support folder, and the one
// identifier the analysis outputs give each station.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "rawinq/records.h"

// A station of the world table.
struct StationIds {
  std::string igra2;               // USM00072469
  long wmo = 0, wban = 0;          // 0: none
  std::vector<std::string> icao;   // KDNR
  std::vector<std::string> codes;  // 3-letter codes, DNR
  std::string name;
  double latitude = 0, longitude = 0, elevation = 0;  // degrees north/east, m
  int first_year = 0, last_year = 0;                  // 0: not known
};

// The identifier of each catalogue entry, looked up by its numbers.
class StationIdTable {
 public:
  StationIdTable() = default;
  explicit StationIdTable(const std::vector<StationIds>& world);
  // The entry's ICAO code, else its 3-letter code (the world table's, else
  // the entry's own letters), else its WMO number, else "W" and its WBAN
  // number.
  std::string id_of(const STATREC& entry) const;
  // The world table's row of the entry (by WMO, else WBAN number), or
  // nullptr.
  const StationIds* row_of(const STATREC& entry) const;

 private:
  std::vector<StationIds> rows_;
  std::unordered_map<long, std::size_t> by_wmo_, by_wban_;
};

// The entry's identifier by the table, or without one (null) by its own
// letters or numbers.
std::string station_id_of(const StationIdTable* ids, const STATREC& entry);
