// Heights for every level; definitions in rawinq/heights.h.
#include "rawinq/heights.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "rawinq/thermo.h"

namespace rawinq::heights {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Elevations outside these bounds are placeholders for an unknown one (the
// lowest land lies some 430 m below sea level).
constexpr double kLowestElevation = -500, kHighestElevation = 9000;

using Point = std::pair<double, double>;  // ln p, value

// Sorts by ln p and keeps the first of equal ln p.
void order(std::vector<Point>& pts) {
  std::stable_sort(pts.begin(), pts.end(),
                   [](const Point& a, const Point& b) { return a.first < b.first; });
  pts.erase(std::unique(pts.begin(), pts.end(),
                        [](const Point& a, const Point& b) { return a.first == b.first; }),
            pts.end());
}

// The virtual temperature profile, linear in ln p between its points and
// constant beyond them.
class VirtualTemperature {
 public:
  explicit VirtualTemperature(const Sounding& s) {
    for (const DATA_TYPE& l : s.levels) {
      if (is_missing(l.pr) || l.pr <= 0 || is_missing(l.tp)) continue;
      const double p = l.pr / 10.0;
      const double t = l.tp / 10.0 + thermo::kZeroCelsius;
      double tv = t;
      if (!is_missing(l.dp)) {
        const double td = std::min(t, l.dp / 10.0 + thermo::kZeroCelsius);
        const double r = thermo::mixing_ratio_from_dewpoint(p, td);
        if (std::isfinite(r)) tv = thermo::virtual_temperature(t, r);
      }
      if (std::isfinite(tv) && tv > 0) pts_.emplace_back(std::log(p), tv);
    }
    order(pts_);
  }
  bool empty() const { return pts_.empty(); }

  // (Rd / g) times the integral of Tv over ln p from x0 to x1 (x0 < x1),
  // exact for Tv linear between the profile's points.
  double thickness(double x0, double x1) const {
    std::vector<double> xs{x0};
    for (const Point& p : pts_)
      if (p.first > x0 && p.first < x1) xs.push_back(p.first);
    xs.push_back(x1);
    double sum = 0.0;
    for (size_t i = 0; i + 1 < xs.size(); ++i)
      sum += (at(xs[i]) + at(xs[i + 1])) / 2 * (xs[i + 1] - xs[i]);
    return thermo::kRd / thermo::kG * sum;
  }

 private:
  double at(double x) const {
    if (x <= pts_.front().first) return pts_.front().second;
    if (x >= pts_.back().first) return pts_.back().second;
    auto hi = std::lower_bound(pts_.begin(), pts_.end(), x,
                               [](const Point& p, double v) { return p.first < v; });
    auto lo = hi - 1;
    const double f = (x - lo->first) / (hi->first - lo->first);
    return lo->second + f * (hi->second - lo->second);
  }
  std::vector<Point> pts_;
};

}  // namespace

double station_elevation(long elev_m) {
  const double z = static_cast<double>(elev_m);
  return z >= kLowestElevation && z <= kHighestElevation ? z : kNaN;
}

std::vector<double> level_heights(const Sounding& s, double station_elevation_m) {
  std::vector<double> out(s.levels.size(), kNaN);
  // The levels with a height: those reported and the surface at the
  // station's elevation.
  std::vector<Point> known;
  bool any_missing = false;
  for (size_t i = 0; i < s.levels.size(); ++i) {
    const DATA_TYPE& l = s.levels[i];
    if (!is_missing(l.ht)) out[i] = static_cast<double>(l.ht);
    if (is_missing(l.pr) || l.pr <= 0) continue;
    if (std::isnan(out[i]) && l.fr == kLevelSurface && std::isfinite(station_elevation_m))
      out[i] = station_elevation_m;
    if (std::isnan(out[i]))
      any_missing = true;
    else
      known.emplace_back(std::log(l.pr / 10.0), out[i]);
  }
  if (!any_missing || known.empty()) return out;
  order(known);
  const VirtualTemperature tv(s);
  for (size_t i = 0; i < s.levels.size(); ++i) {
    const DATA_TYPE& l = s.levels[i];
    if (!std::isnan(out[i]) || is_missing(l.pr) || l.pr <= 0) continue;
    const double x = std::log(l.pr / 10.0);
    auto hi = std::lower_bound(known.begin(), known.end(), x,
                               [](const Point& p, double v) { return p.first < v; });
    if (hi != known.end() && hi->first == x) {
      out[i] = hi->second;
    } else if (hi != known.begin() && hi != known.end()) {
      const auto lo = hi - 1;
      const double f = (x - lo->first) / (hi->first - lo->first);
      out[i] = lo->second + f * (hi->second - lo->second);
    } else if (!tv.empty() && hi == known.begin()) {
      // Above the highest level with a height.
      out[i] = hi->second + tv.thickness(x, hi->first);
    } else if (!tv.empty()) {
      // Below the lowest level with a height.
      const auto lo = hi - 1;
      out[i] = lo->second - tv.thickness(lo->first, x);
    }
  }
  return out;
}

}  // namespace rawinq::heights
