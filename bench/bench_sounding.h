// The synthetic soundings of the benchmark archive: a standard atmosphere
// with pseudo-random departures, some 35 levels of every type. Shared by
// the archive generator and the micro-benchmarks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive_writer.h"

namespace bench {

using archive_writer::kMissing;
using archive_writer::Level;
using archive_writer::Sounding;

constexpr long kMandatory[21] = {10000, 9250, 8500, 7000, 5000, 4000, 3000,
                                 2500,  2000, 1500, 1000, 700,  500,  300,
                                 200,   100,  70,   50,   30,   20,   10};
constexpr unsigned kSurface = 1, kMand = 2, kTrop = 4, kMaxWind = 8,
                   kSigT = 16, kSigW = 32;

// A small fast generator (xorshift); numbers in [0, 1).
class Random {
 public:
  explicit Random(std::uint64_t seed) : s_(seed * 2654435761u + 88172645463325252ull) {}
  double uniform() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 7;
    s_ ^= s_ << 17;
    return static_cast<double>(s_ >> 11) / 9007199254740992.0;
  }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

 private:
  std::uint64_t s_;
};

inline long rounded(double v) { return static_cast<long>(std::lround(v)); }

inline int days_in_month(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return days[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Standard-atmosphere height (m) of a pressure (tenths of mb), shifted by
// the surface temperature departure.
inline double height_of(long p, double dt) {
  const double mb = static_cast<double>(p) / 10.0;
  const double t0 = 288.15 + dt;
  if (mb >= 226.32) return t0 / 0.0065 * (1.0 - std::pow(mb / 1013.25, 0.190263));
  return 11000.0 + 29.2717 * 216.65 * std::log(226.32 / mb);
}

inline double temperature_at(double z, double dt) {  // kelvin
  if (z < 11000.0) return 288.15 + dt - 0.0065 * z;
  if (z < 20000.0) return 216.65 + dt * 0.2;
  return 216.65 + dt * 0.2 + 0.001 * (z - 20000.0);
}

inline Level level_at(unsigned flag, long p, double dt, double jet, Random& r,
               bool thermo) {
  Level l;
  l.flag = flag;
  l.pr = p;
  const double z = height_of(p, dt);
  l.ht = std::max(0l, rounded(z));
  if (thermo) {
    const double t = temperature_at(z, dt) + r.uniform(-1.5, 1.5);
    l.tp = rounded((t - 273.15) * 10.0);
    if (p >= 3000) l.dp = l.tp - rounded(r.uniform(5.0, 150.0));
  }
  const double speed = 3.0 + jet * std::exp(-std::pow((z - 11000.0) / 6000.0, 2));
  l.wd = rounded(r.uniform(200.0, 320.0)) % 360;
  l.ws = rounded(speed * 10.0);
  return l;
}

inline Sounding sounding_at(long wban, int year, int month, int day, int hour,
                     Random& r) {
  Sounding s;
  s.year = year;
  s.month = month;
  s.day = day;
  s.hour = hour;
  s.wban = wban;
  s.reltime = hour == 0 ? 2315 : 1115;
  s.sondtype = static_cast<long>(wban % 8) + 1;
  s.source = 1;
  s.tropind = 1;
  const double dt = 15.0 * std::cos((month - 7) * 0.5236) - 5.0 +
                    r.uniform(-3.0, 3.0);
  const double jet = r.uniform(15.0, 60.0);
  const long p_sfc = 9900 + rounded(r.uniform(0.0, 240.0));
  const long p_top = r.uniform() < 0.7 ? 10 : rounded(r.uniform(15.0, 90.0));

  std::vector<Level> levels;
  levels.push_back(level_at(kSurface, p_sfc, dt, jet, r, true));
  levels.back().ht = 100;
  for (long p : kMandatory)
    if (p < p_sfc - 10 && p >= p_top)
      levels.push_back(level_at(kMand, p, dt, jet, r, true));
  // Significant levels between the mandatory ones, never at their pressure.
  auto free_pressure = [&](long p) {
    for (const Level& l : levels)
      if (std::labs(l.pr - p) < 10) return false;
    return p < p_sfc - 10 && p > p_top;
  };
  const long p_trop = 2000 + rounded(r.uniform(0.0, 900.0)) * 1 + 3;
  if (free_pressure(p_trop)) levels.push_back(level_at(kTrop, p_trop, dt, jet, r, true));
  const long p_jet = 2600 + rounded(r.uniform(0.0, 1200.0)) + 7;
  if (free_pressure(p_jet)) levels.push_back(level_at(kMaxWind, p_jet, dt, jet, r, true));
  for (int k = 0; k < 6; ++k) {
    const long p = rounded(r.uniform(static_cast<double>(p_top), static_cast<double>(p_sfc)));
    if (free_pressure(p)) levels.push_back(level_at(kSigT, p, dt, jet, r, true));
  }
  for (int k = 0; k < 8; ++k) {
    const long p = rounded(r.uniform(static_cast<double>(p_top), static_cast<double>(p_sfc)));
    if (free_pressure(p)) levels.push_back(level_at(kSigW, p, dt, jet, r, false));
  }
  std::stable_sort(levels.begin(), levels.end(),
                   [](const Level& x, const Level& y) { return x.pr > y.pr; });
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const long n = static_cast<long>(i) + 1;
    if (levels[i].flag == kTrop) s.troplv = n;
    if (levels[i].flag == kMaxWind) s.maxwind = n;
    if (levels[i].dp != kMissing) s.top_hyd = n;
  }
  s.levels = std::move(levels);
  return s;
}

}  // namespace bench
