// Station selection from the catalogue.
#include "rawinq/selection.h"

#include <algorithm>

Selection select_stations(const STATREC* catalogue, std::size_t size,
                          const StationCriteria& c) {
  // 1. Candidates: catalogue positions, in the order of the numbers given.
  std::vector<int> candidates;
  const auto room = [&] {
    return c.max_candidates == 0 || candidates.size() < c.max_candidates;
  };
  if (c.by_numbers) {
    for (const long wanted : c.numbers) {
      if (!room()) break;
      for (std::size_t j = 0; j < size && room(); ++j) {
        const long have = c.wban_numbers ? catalogue[j].wban : catalogue[j].wmo;
        if (wanted == have) candidates.push_back(static_cast<int>(j));
      }
    }
  } else {
    for (std::size_t j = 0; j < size; ++j) {
      const STATREC& e = catalogue[j];
      if (e.lat >= c.blat && e.lat <= c.elat && e.lon >= c.blong &&
          e.lon <= c.elong)
        candidates.push_back(static_cast<int>(j));
    }
  }

  // 2. Entries whose period overlaps the request, and their stations; only
  // the station appended last is compared.
  Selection sel;
  sel.catalogue = catalogue;
  sel.catalogue_size = size;
  sel.wban_numbers = c.by_numbers && c.wban_numbers;
  for (const int j : candidates) {
    const STATREC& e = catalogue[j];
    const bool overlaps = (e.bdate <= c.bdate && c.bdate <= e.edate) ||
                          (e.bdate <= c.edate && c.edate <= e.edate) ||
                          (c.bdate < e.bdate && e.edate < c.edate);
    if (!overlaps) continue;
    sel.entries.push_back(j);
    if (sel.stations.empty() || sel.stations.back().wban != e.wban)
      sel.stations.push_back(StationRow{e.wmo, e.wban});
  }

  // 3. The stations by WMO number, or by WBAN number when WBAN numbers were
  // given; equal keys keep their order.
  const bool by_wban = c.by_numbers && c.wban_numbers;
  std::stable_sort(sel.stations.begin(), sel.stations.end(),
                   [by_wban](const StationRow& a, const StationRow& b) {
                     return by_wban ? a.wban < b.wban : a.wmo < b.wmo;
                   });
  return sel;
}
