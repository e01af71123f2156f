#include "thinning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "archive_writer.h"
#include "rawinq/thermo.h"

namespace archive_writer {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int kQuantities = 4;  // temperature, humidity, direction, speed
enum { kT = 0, kRh = 1, kDir = 2, kSpeed = 3 };

// The difference of two directions, in (-180, 180].
double turn(double from, double to) {
  double d = std::fmod(to - from, 360.0);
  if (d > 180) d -= 360;
  if (d <= -180) d += 360;
  return d;
}

// The levels' values of each quantity (NaN: not measured) and ln p.
struct Profile {
  std::vector<double> lnp;
  std::vector<double> v[kQuantities];
  std::vector<bool> high;  // at or above 300 hPa
};

double limit_of(const ThinLimits& l, int q, bool high) {
  switch (q) {
    case kT:
      return (high ? l.t_high : l.t_low) * l.factor;
    case kRh:
      return l.rh * l.factor;
    case kDir:
      return l.dir * l.factor;
    default:
      return l.speed * l.factor;
  }
}

// Adds levels to `chosen` until every level left out lies within the
// limits of the interpolation between its chosen neighbours (those with
// the quantity); false as soon as more than `most` are chosen.
bool choose(const Profile& pr, const ThinLimits& limits, std::size_t most,
            std::vector<bool>& chosen) {
  const std::size_t n = pr.lnp.size();
  std::vector<std::size_t> below[kQuantities], above[kQuantities];
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  for (int q = 0; q < kQuantities; ++q) {
    below[q].assign(n, kNone);
    above[q].assign(n, kNone);
  }
  std::size_t count = static_cast<std::size_t>(
      std::count(chosen.begin(), chosen.end(), true));
  for (;;) {
    if (count > most) return false;
    for (int q = 0; q < kQuantities; ++q) {
      const std::vector<double>& v = pr.v[q];
      std::size_t last = kNone;
      for (std::size_t i = 0; i < n; ++i) {
        below[q][i] = last;
        if (chosen[i] && !std::isnan(v[i])) last = i;
      }
      last = kNone;
      for (std::size_t i = n; i-- > 0;) {
        above[q][i] = last;
        if (chosen[i] && !std::isnan(v[i])) last = i;
      }
    }
    // The worst level of each stretch between chosen levels is added when
    // it lies outside the limits.
    std::vector<std::size_t> added;
    double worst = 1.0;
    std::size_t worst_at = kNone;
    for (std::size_t i = 0; i <= n; ++i) {
      if (i == n || chosen[i]) {
        if (worst_at != kNone) added.push_back(worst_at);
        worst = 1.0;
        worst_at = kNone;
        continue;
      }
      double error = 0;
      for (int q = 0; q < kQuantities; ++q) {
        const double x = pr.v[q][i];
        if (std::isnan(x)) continue;
        const std::size_t a = below[q][i], b = above[q][i];
        if (a == kNone || b == kNone) {
          error = kInfinity;
          break;
        }
        const double span = pr.lnp[b] - pr.lnp[a];
        const double w = span != 0 ? (pr.lnp[i] - pr.lnp[a]) / span : 0.5;
        const double va = pr.v[q][a], vb = pr.v[q][b];
        const double off =
            q == kDir ? std::fabs(turn(va + w * turn(va, vb), x))
                      : std::fabs(x - (va + w * (vb - va)));
        error = std::max(error, off / limit_of(limits, q, pr.high[i]));
      }
      if (error > worst) {
        worst = error;
        worst_at = i;
      }
    }
    if (added.empty()) return true;
    for (std::size_t i : added) chosen[i] = true;
    count += added.size();
  }
}

}  // namespace

std::string ThinLimits::text() const {
  char out[160];
  std::snprintf(out, sizeof out,
                "limits x%.3g: temperature %.3g K below 300 hPa, %.3g K "
                "above, humidity %.3g %%, wind %.3g deg and %.3g m/s",
                factor, t_low * factor, t_high * factor, rh * factor,
                dir * factor, speed * factor);
  return out;
}

double relative_humidity(double t_c, double td_c) {
  if (std::isnan(t_c) || std::isnan(td_c)) return kNaN;
  return 100.0 * rawinq::thermo::saturation_vapour_pressure(td_c + 273.15) /
         rawinq::thermo::saturation_vapour_pressure(t_c + 273.15);
}

ThinResult thin_levels(const std::vector<ThinLevel>& levels,
                       std::size_t max_levels) {
  const std::size_t n = levels.size();
  Profile pr;
  pr.lnp.resize(n);
  pr.high.resize(n);
  for (auto& v : pr.v) v.resize(n);
  std::vector<bool> keep(n, false);
  std::size_t must = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const ThinLevel& l = levels[i];
    pr.lnp[i] = std::log(l.p_hpa);
    pr.high[i] = l.p_hpa <= 300.0;
    pr.v[kT][i] = l.t_c;
    pr.v[kRh][i] = relative_humidity(l.t_c, l.td_c);
    pr.v[kDir][i] = std::isnan(l.speed_ms) ? kNaN : l.dir_deg;
    pr.v[kSpeed][i] = l.speed_ms;
    keep[i] = l.keep;
    must += l.keep;
  }
  // The first and the last level of each quantity bound every
  // interpolation: they are kept too.
  std::vector<bool> start = keep;
  for (int q = 0; q < kQuantities; ++q) {
    const std::vector<double>& v = pr.v[q];
    std::size_t first = 0, last = n;
    while (first < n && std::isnan(v[first])) ++first;
    while (last > first && std::isnan(v[last - 1])) --last;
    if (first < n) start[first] = start[last - 1] = true;
  }
  if (must > max_levels)
    throw std::length_error(std::to_string(must) +
                            " levels of the surface, standard pressures, the "
                            "tropopause and maximum winds, more than the " +
                            std::to_string(max_levels) + " of one record");
  ThinResult result;
  // The narrowest limits whose levels fit: narrower than the published
  // ones while the record has room (so that as much of the flight as it
  // holds is kept), wider only when those give too many levels.
  static constexpr double kFactors[] = {
      0.05, 0.1, 0.15, 0.2, 0.3, 0.5, 0.75, 1,   1.25, 1.5, 2,  2.5, 3,
      4,    5,   6,    8,   10,  15,  20,   30,  50,   100, 1e3, 1e4, 1e6, 1e9};
  for (double factor : kFactors) {
    result.limits.factor = factor;
    std::vector<bool> chosen = start;
    if (!choose(pr, result.limits, max_levels, chosen)) continue;
    for (std::size_t i = 0; i < n; ++i)
      if (chosen[i]) result.kept.push_back(i);
    return result;
  }
  throw std::length_error("no choice of fewer than " +
                          std::to_string(max_levels + 1) + " levels");
}

std::size_t record_level_limit() {
  static const std::size_t limit = [] {
    Sounding s;
    std::size_t low = 0, high = 65535;  // fits, does not fit
    while (high - low > 1) {
      const std::size_t mid = (low + high) / 2;
      s.levels.assign(mid, Level{});
      (pack_record(s).size() <= kMaxRecordSize ? low : high) = mid;
    }
    return low;
  }();
  return limit;
}

}  // namespace archive_writer
