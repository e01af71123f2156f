// Station selection: which catalogue entries and stations a request takes,
// from station numbers or a latitude/longitude box, for the request's
// period.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "rawinq/records.h"

struct StationRow {
  long wmo;
  long wban;
};

// The stations of a request and their catalogue entries.
struct Selection {
  const STATREC* catalogue = nullptr;  // the whole catalogue
  std::size_t catalogue_size = 0;
  std::vector<int> entries;            // selected entries, catalogue indexes
  std::vector<StationRow> stations;    // the stations, in the order visited
  bool wban_numbers = false;           // progress lines name WBAN numbers
};

struct StationCriteria {
  bool by_numbers = true;       // else by the box
  bool wban_numbers = false;    // the numbers are WBAN numbers (else WMO)
  std::vector<long> numbers;    // in the order given
  float blat = 0, elat = 0, blong = 0, elong = 0;  // the box, degrees
  long bdate = 0, edate = 0;    // the period, YYYYMMDD
  // At most this many candidate entries are taken by number (the
  // dialogue's table size); 0: no limit.
  std::size_t max_candidates = 0;
};

// The entries whose period overlaps the request's and their stations, the
// stations sorted by WMO number (by WBAN number when WBAN numbers were
// given), equal keys in catalogue order.
Selection select_stations(const STATREC* catalogue, std::size_t size,
                          const StationCriteria& criteria);
