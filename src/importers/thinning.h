// Thinning of high-resolution soundings to the levels one archive record
// holds, the way significant levels are chosen for TEMP messages: every
// level of the surface, a standard pressure, the tropopause or a maximum
// wind is kept; of the others, levels are added until linear
// interpolation in ln p between the levels kept departs from every level
// left out by no more than the limits: temperature 1 K at pressures above
// 300 hPa and 2 K at 300 hPa and above it, relative humidity 15 %, wind
// direction 10 degrees and speed 5 m/s. When that is still too many
// levels, every limit is widened by the same factor, step by step, until
// they fit; when the record has room for more, they are narrowed the same
// way, so that the sounding keeps as much of the flight as one record
// holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace archive_writer {

// One level in SI-like units; NaN for a value not measured.
struct ThinLevel {
  double p_hpa;        // pressure, > 0
  double t_c;          // temperature, deg C
  double td_c;         // dew point, deg C
  double dir_deg;      // wind direction
  double speed_ms;     // wind speed
  bool keep = false;   // kept whatever the limits
};

struct ThinLimits {
  double t_low = 1.0;    // K, pressures above 300 hPa
  double t_high = 2.0;   // K, at and above 300 hPa
  double rh = 15.0;      // % relative humidity
  double dir = 10.0;     // degrees
  double speed = 5.0;    // m/s
  double factor = 1.0;   // how far they were widened
  std::string text() const;
};

struct ThinResult {
  std::vector<std::size_t> kept;  // indices into the levels, ascending
  ThinLimits limits;              // the limits the kept levels hold to
};

// Relative humidity (%) over water of a temperature and dew point (deg C);
// NaN when either is.
double relative_humidity(double t_c, double td_c);

// The levels of `levels` (in the order of the ascent: pressure falling) to
// keep so that at most `max_levels` are kept. Throws std::length_error when
// the levels that must be kept are already more.
ThinResult thin_levels(const std::vector<ThinLevel>& levels,
                       std::size_t max_levels);

// The levels that one archive record holds at most.
std::size_t record_level_limit();

}  // namespace archive_writer
