// Fuzz entry point: a decoded sounding of any values (levels of any type,
// pressures, temperatures and winds of any size, missing anywhere) through
// the indices, the parcel traces and the CSV writer with its derived
// columns. Each level takes 20 bytes: its type, a byte whose low six bits
// mark missing values, then six 24-bit signed values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "rawinq/csv_writer.h"
#include "rawinq/indices.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  constexpr long kTypes[] = {0, 4, 5, 6, 7, 8, 9};
  constexpr std::size_t kLevelBytes = 20;
  Sounding s;
  s.header.year = 1995;
  s.header.month = 7;
  s.header.day = 4;
  for (std::size_t at = 0; at + kLevelBytes <= size; at += kLevelBytes) {
    long v[6];
    for (int k = 0; k < 6; ++k) {
      const std::uint8_t* b = data + at + 2 + 3 * k;
      long x = static_cast<long>(b[0]) | static_cast<long>(b[1]) << 8 |
               static_cast<long>(b[2]) << 16;
      if (x & 0x800000) x -= 0x1000000;
      v[k] = data[at + 1] >> k & 1 ? kMissingValue : x;
    }
    s.levels.push_back({kTypes[data[at] % 7], v[0], v[1], v[2], v[3], v[4], v[5]});
  }
  s.header.levels = static_cast<long>(s.levels.size());

  const rawinq::indices::SoundingIndices ix = rawinq::indices::compute_indices(s, std::nan(""));
  for (auto kind : {rawinq::indices::ParcelKind::kSurfaceBased,
                    rawinq::indices::ParcelKind::kMixedLayer,
                    rawinq::indices::ParcelKind::kMostUnstable})
    rawinq::indices::parcel_trace(s, kind);
  STATREC station{};
  station.wmo = 72469;
  station.wban = 23062;
  std::string levels, indices;
  CsvWriter({0, false, true, nullptr}).write(s, station, levels, &indices);
  (void)ix;
  return 0;
}
