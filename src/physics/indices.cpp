// Per-sounding derived quantities; definitions in rawinq/indices.h.
#include "rawinq/indices.h"

#include "rawinq/heights.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>
#include <utility>

namespace rawinq::indices {
namespace {

using thermo::Lcl;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Largest step in ln p between the points of a parcel's ascent.
constexpr double kMaxLogStep = 0.02;
// Depths of the mixed layer and of the layer searched for the most unstable
// parcel, hPa.
constexpr double kMixedLayerDepth = 100.0;
constexpr double kMostUnstableDepth = 300.0;

constexpr double kPi = 3.14159265358979323846;

// A dew point above the temperature counts as the temperature; a missing
// one stays missing.
double capped(double td, double t) { return td > t ? t : td; }

double pressure_hpa(long pr) {
  return is_missing(pr) || pr <= 0 ? kNaN : pr / 10.0;
}
double kelvin(long tenths_c) {
  return is_missing(tenths_c) ? kNaN : tenths_c / 10.0 + thermo::kZeroCelsius;
}

// A quantity linear in its coordinate between points, NaN outside them.
class Piecewise {
 public:
  void add(double x, double y) { points_.emplace_back(x, y); }
  void sort() {
    std::stable_sort(points_.begin(), points_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    points_.erase(std::unique(points_.begin(), points_.end(),
                              [](const auto& a, const auto& b) {
                                return a.first == b.first;
                              }),
                  points_.end());
  }
  double at(double x) const {
    if (points_.empty() || !(x >= points_.front().first) ||
        !(x <= points_.back().first))
      return kNaN;
    auto hi = std::lower_bound(
        points_.begin(), points_.end(), x,
        [](const auto& p, double v) { return p.first < v; });
    if (hi->first == x) return hi->second;
    auto lo = hi - 1;
    const double f = (x - lo->first) / (hi->first - lo->first);
    return lo->second + f * (hi->second - lo->second);
  }
  bool empty() const { return points_.empty(); }
  const std::vector<std::pair<double, double>>& points() const { return points_; }

 private:
  std::vector<std::pair<double, double>> points_;
};

struct Start {
  double p, t, td;
};

// The environment: temperature and dew point against ln p, from the
// surface up.
class Environment {
 public:
  explicit Environment(const Sounding& s) {
    // The surface: the surface level with a temperature, else the level of
    // highest pressure that has one.
    for (const DATA_TYPE& l : s.levels) {
      const double p = pressure_hpa(l.pr), t = kelvin(l.tp);
      if (std::isnan(p) || std::isnan(t)) continue;
      if (l.fr == kLevelSurface) {
        surface_ = {p, t, kelvin(l.dp)};
        break;
      }
      if (std::isnan(surface_.p) || p > surface_.p) surface_ = {p, t, kelvin(l.dp)};
    }
    if (std::isnan(surface_.p)) return;
    surface_.td = capped(surface_.td, surface_.t);
    for (const DATA_TYPE& l : s.levels) {
      const double p = pressure_hpa(l.pr), t = kelvin(l.tp), td = kelvin(l.dp);
      if (std::isnan(p) || std::isnan(t) || p > surface_.p) continue;
      temperature_.add(std::log(p), t);
      if (!std::isnan(td)) dewpoint_.add(std::log(p), capped(td, t));
    }
    temperature_.sort();
    dewpoint_.sort();
    for (auto it = temperature_.points().rbegin();
         it != temperature_.points().rend(); ++it)
      level_pressures_.push_back(std::exp(it->first));
  }

  bool valid() const { return !temperature_.empty(); }
  const Start& surface() const { return surface_; }
  double top_pressure() const { return std::exp(temperature_.points().front().first); }

  double temperature(double p) const { return temperature_.at(std::log(p)); }
  double dewpoint(double p) const { return dewpoint_.at(std::log(p)); }
  double mixing_ratio(double p) const {
    const double r = thermo::mixing_ratio_from_dewpoint(p, dewpoint(p));
    return std::isnan(r) ? 0.0 : r;
  }
  // ln p once for both profiles: the same values as temperature(p) and
  // mixing_ratio(p).
  double virtual_temperature(double p) const {
    const double x = std::log(p);
    const double r = thermo::mixing_ratio_from_dewpoint(p, dewpoint_.at(x));
    return thermo::virtual_temperature(temperature_.at(x),
                                       std::isnan(r) ? 0.0 : r);
  }
  // Pressures of the levels with a temperature, highest first (made once:
  // every parcel's ascent breaks at them).
  const std::vector<double>& level_pressures() const { return level_pressures_; }
  const Piecewise& dewpoints() const { return dewpoint_; }

 private:
  Start surface_{kNaN, kNaN, kNaN};
  Piecewise temperature_;  // against ln p
  Piecewise dewpoint_;
  std::vector<double> level_pressures_;
};

// The start of a parcel of the given kind, NaN where it cannot be formed.
Start parcel_start(const Environment& env, ParcelKind kind) {
  const Start none{kNaN, kNaN, kNaN};
  if (!env.valid()) return none;
  const Start& sfc = env.surface();
  switch (kind) {
    case ParcelKind::kSurfaceBased:
      return std::isnan(sfc.td) ? none : sfc;
    case ParcelKind::kMixedLayer: {
      // Pressure-weighted means of theta and mixing ratio over the layer,
      // by the trapezoid rule on the levels inside it and its top.
      const double top = sfc.p - kMixedLayerDepth;
      std::vector<double> ps;
      for (double p : env.level_pressures())
        if (p > top) ps.push_back(p);
      ps.push_back(top);
      double theta_sum = 0.0, r_sum = 0.0;
      for (size_t i = 0; i + 1 < ps.size(); ++i) {
        const double dp = ps[i] - ps[i + 1];
        const double th0 = thermo::potential_temperature(ps[i], env.temperature(ps[i]));
        const double th1 = thermo::potential_temperature(ps[i + 1], env.temperature(ps[i + 1]));
        const double r0 = thermo::mixing_ratio_from_dewpoint(ps[i], env.dewpoint(ps[i]));
        const double r1 = thermo::mixing_ratio_from_dewpoint(ps[i + 1], env.dewpoint(ps[i + 1]));
        theta_sum += (th0 + th1) / 2 * dp;
        r_sum += (r0 + r1) / 2 * dp;
      }
      const double theta = theta_sum / kMixedLayerDepth;
      const double r = r_sum / kMixedLayerDepth;
      if (std::isnan(theta) || std::isnan(r)) return none;
      const double t = thermo::dry_adiabat_temperature(thermo::kP0, theta, sfc.p);
      const double td = thermo::dewpoint_from_vapour_pressure(thermo::vapour_pressure(sfc.p, r));
      return {sfc.p, t, capped(td, t)};
    }
    case ParcelKind::kMostUnstable: {
      Start best = none;
      double best_theta_e = -1.0;
      for (const auto& [x, td] : env.dewpoints().points()) {
        const double p = std::exp(x);
        if (p < sfc.p - kMostUnstableDepth) continue;
        const double t = env.temperature(p);
        const double theta_e = thermo::equivalent_potential_temperature(p, t, td);
        if (theta_e > best_theta_e) {
          best_theta_e = theta_e;
          best = {p, t, td};
        }
      }
      return best;
    }
  }
  return none;
}

std::vector<TracePoint> ascend(const Environment& env, const Start& s) {
  std::vector<TracePoint> out;
  const Lcl base = thermo::lcl(s.p, s.t, s.td);
  if (std::isnan(base.pressure_hpa)) return out;
  const double top = env.top_pressure();
  if (!(top < s.p)) return out;
  // Break points: the start, the LCL and the environment's levels above it.
  std::vector<double> breaks{s.p};
  for (double p : env.level_pressures())
    if (p < s.p) breaks.push_back(p);
  if (base.pressure_hpa < s.p && base.pressure_hpa > top) breaks.push_back(base.pressure_hpa);
  std::sort(breaks.begin(), breaks.end(), std::greater<double>());
  breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());

  const double r0 = thermo::mixing_ratio_from_dewpoint(s.p, s.td);
  double moist_p = base.pressure_hpa, moist_t = base.temperature_k;
  auto add = [&](double p) {
    double t, r;
    if (p >= base.pressure_hpa) {
      t = thermo::dry_adiabat_temperature(s.p, s.t, p);
      r = r0;
    } else {
      t = thermo::moist_adiabat_temperature(moist_p, moist_t, p);
      moist_p = p;
      moist_t = t;
      r = thermo::saturation_mixing_ratio(p, t);
    }
    out.push_back({p, t, thermo::virtual_temperature(t, r), env.virtual_temperature(p)});
  };
  add(breaks.front());
  for (size_t i = 0; i + 1 < breaks.size(); ++i) {
    const double span = std::log(breaks[i] / breaks[i + 1]);
    const int n = std::max(1, static_cast<int>(std::ceil(span / kMaxLogStep)));
    for (int k = 1; k < n; ++k) add(breaks[i] * std::exp(-span * k / n));
    add(breaks[i + 1]);
  }
  return out;
}

double buoyancy(const TracePoint& t) {
  return t.virtual_temperature_k - t.environment_virtual_temperature_k;
}

// ln p where the buoyancy changes sign between two points.
double crossing(const TracePoint& a, const TracePoint& b) {
  const double ba = buoyancy(a), bb = buoyancy(b);
  const double xa = std::log(a.pressure_hpa), xb = std::log(b.pressure_hpa);
  return xa + (xb - xa) * ba / (ba - bb);
}

// Integral of the positive (sign > 0) or negative part of the buoyancy over
// d(ln p) between ln p = lo and hi (lo < hi), buoyancy linear between points.
double area(const std::vector<TracePoint>& tr, double lo, double hi, int sign) {
  double sum = 0.0;
  for (size_t i = 0; i + 1 < tr.size(); ++i) {
    const double x1 = std::log(tr[i + 1].pressure_hpa), x0 = std::log(tr[i].pressure_hpa);
    const double a = std::max(lo, x1), b = std::min(hi, x0);
    if (!(a < b)) continue;
    const double b1 = buoyancy(tr[i + 1]), b0 = buoyancy(tr[i]);
    const auto at = [&](double x) { return b1 + (b0 - b1) * (x - x1) / (x0 - x1); };
    double ya = sign * at(a), yb = sign * at(b);
    if (ya <= 0 && yb <= 0) continue;
    if (ya >= 0 && yb >= 0) {
      sum += (ya + yb) / 2 * (b - a);
    } else {
      const double w = (b - a) * std::max(ya, yb) / std::fabs(ya - yb);
      sum += std::max(ya, yb) / 2 * w;
    }
  }
  return sign * sum;
}

Parcel analyse(const Environment& env, const Start& s) {
  Parcel out{s.p, s.t, s.td, {kNaN, kNaN}, kNaN, kNaN, kNaN, kNaN};
  if (std::isnan(s.p)) return out;
  out.lcl = thermo::lcl(s.p, s.t, s.td);
  const std::vector<TracePoint> tr = ascend(env, s);
  if (tr.empty()) return out;
  out.cape_j_kg = 0.0;
  // The LFC: at the LCL when buoyant there, else the first crossing to
  // positive buoyancy above it.
  size_t i = 0;
  while (i < tr.size() && tr[i].pressure_hpa > out.lcl.pressure_hpa) ++i;
  double x_lfc = kNaN;
  if (i < tr.size() && buoyancy(tr[i]) > 0) {
    x_lfc = std::log(tr[i].pressure_hpa);
  } else {
    for (; i + 1 < tr.size(); ++i)
      if (buoyancy(tr[i]) <= 0 && buoyancy(tr[i + 1]) > 0) {
        x_lfc = crossing(tr[i], tr[i + 1]);
        break;
      }
  }
  if (std::isnan(x_lfc)) return out;
  // The EL: the highest crossing to non-positive buoyancy above the LFC;
  // none while the parcel is buoyant at the top.
  double x_el = std::log(tr.back().pressure_hpa);
  if (buoyancy(tr.back()) <= 0) {
    for (size_t k = tr.size() - 1; k > 0; --k)
      if (buoyancy(tr[k]) <= 0 && buoyancy(tr[k - 1]) > 0) {
        x_el = crossing(tr[k - 1], tr[k]);
        break;
      }
    out.el_pressure_hpa = std::exp(x_el);
  }
  out.lfc_pressure_hpa = std::exp(x_lfc);
  out.cape_j_kg = thermo::kRd * area(tr, x_el, x_lfc, +1);
  out.cin_j_kg = thermo::kRd * area(tr, x_lfc, std::log(s.p), -1) + 0.0;  // never -0
  return out;
}

// Temperature at 500 hPa of a parcel lifted from a start, minus the
// environment's.
double lifted_difference(const Environment& env, const Start& s) {
  const double t500 = env.temperature(500.0);
  if (!(s.p > 500.0)) return kNaN;
  return t500 - thermo::lifted_parcel_temperature(s.p, s.t, s.td, 500.0);
}

// Specific humidity integrated over pressure from the surface to the highest
// dew point, the dew point linear in ln p between levels (steps of at most
// kMaxLogStep, trapezoid rule).
double precipitable_water(const Environment& env) {
  const auto& pts = env.dewpoints().points();
  if (pts.empty()) return kNaN;
  const auto q = [](double p, double td) {
    const double r = thermo::mixing_ratio_from_dewpoint(p, td);
    return r / (1 + r);
  };
  double sum = 0.0;
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    const double x0 = pts[i].first, x1 = pts[i + 1].first;
    const int n = std::max(1, static_cast<int>(std::ceil((x1 - x0) / kMaxLogStep)));
    for (int k = 0; k < n; ++k) {
      const double xa = x0 + (x1 - x0) * k / n;
      const double xb = k + 1 == n ? x1 : x0 + (x1 - x0) * (k + 1) / n;
      const double pa = std::exp(xa), pb = std::exp(xb);
      const double qa = q(pa, env.dewpoints().at(xa)), qb = q(pb, env.dewpoints().at(xb));
      sum += (qa + qb) / 2 * (pb - pa) * 100.0;  // hPa to Pa
    }
  }
  return sum / thermo::kG;  // kg m-2, that is mm of water
}

// The sounding against height: every level at its reported or computed
// height (rawinq/heights.h), heights above ground from the surface level's,
// winds linear in height, height linear in ln p.
class HeightProfile {
 public:
  HeightProfile(const Sounding& s, double station_elevation_m) {
    const std::vector<double> z = heights::level_heights(s, station_elevation_m);
    for (size_t i = 0; i < s.levels.size(); ++i) {
      const DATA_TYPE& l = s.levels[i];
      if (l.fr == kLevelSurface && std::isnan(ground_)) ground_ = z[i];
      if (std::isnan(z[i])) continue;
      const double p = pressure_hpa(l.pr);
      if (!std::isnan(p)) height_.add(std::log(p), z[i]);
      if (is_missing(l.wd) || is_missing(l.ws)) continue;
      const double a = l.wd * kPi / 180.0, speed = l.ws / 10.0;
      u_.add(z[i], -speed * std::sin(a));
      v_.add(z[i], -speed * std::cos(a));
    }
    u_.sort();
    v_.sort();
    height_.sort();
    // Without a surface level, the lowest wind stands for the ground.
    if (std::isnan(ground_) && !u_.empty()) ground_ = u_.points().front().first;
  }

  // Height above ground at pressure p, NaN outside the levels with heights.
  double agl(double p) const { return height_.at(std::log(p)) - ground_; }
  // The pressure at a height above ground (height monotonic in ln p).
  double pressure_at(double z_agl) const {
    const double z = z_agl + ground_;
    const auto& pts = height_.points();  // by ln p, so by falling height
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
      const double z0 = pts[i + 1].second, z1 = pts[i].second;  // z0 below
      if (z0 <= z && z <= z1 && z1 > z0)
        return std::exp(pts[i + 1].first + (z - z0) / (z1 - z0) * (pts[i].first - pts[i + 1].first));
    }
    return kNaN;
  }
  // The wind at a height above ground, NaN components outside the winds.
  std::pair<double, double> wind(double z_agl) const {
    return {u_.at(ground_ + z_agl), v_.at(ground_ + z_agl)};
  }
  // Magnitude of the wind difference between two heights above ground.
  double shear(double z0, double z1) const {
    const auto [u0, v0] = wind(z0);
    const auto [u1, v1] = wind(z1);
    return std::hypot(u1 - u0, v1 - v0);
  }
  // Mean wind over a layer: the mean over height, by the trapezoid rule in
  // steps of at most 100 m.
  std::pair<double, double> mean_wind(double z0, double z1) const {
    const int n = std::max(1, static_cast<int>(std::ceil((z1 - z0) / 100.0)));
    double su = 0.0, sv = 0.0;
    for (int k = 0; k <= n; ++k) {
      const auto [u, v] = wind(z0 + (z1 - z0) * k / n);
      const double w = k == 0 || k == n ? 0.5 : 1.0;
      su += w * u;
      sv += w * v;
    }
    return {su / n, sv / n};
  }
  // Storm-relative helicity between two heights above ground for the
  // storm motion (cx, cy): the layer's ends and every wind level inside.
  double helicity(double z0, double z1, double cx, double cy) const {
    std::vector<std::pair<double, double>> w{wind(z0)};
    for (const auto& [z, u] : u_.points())
      if (z > ground_ + z0 && z < ground_ + z1) w.push_back(wind(z - ground_));
    w.push_back(wind(z1));
    double sum = 0.0;
    for (size_t k = 0; k + 1 < w.size(); ++k)
      sum += (w[k + 1].first - cx) * (w[k].second - cy) -
             (w[k].first - cx) * (w[k + 1].second - cy);
    return sum;
  }

 private:
  double ground_ = kNaN;
  Piecewise height_;  // height against ln p
  Piecewise u_, v_;   // wind components against height
};

constexpr double kBunkersDeviation = 7.5;  // m/s

// Right and left movers (u, v), NaN when the winds do not span 0-6 km.
std::pair<std::pair<double, double>, std::pair<double, double>> bunkers(
    const HeightProfile& h) {
  const auto [mu, mv] = h.mean_wind(0.0, 6000.0);
  const auto [lu, lv] = h.mean_wind(0.0, 500.0);
  const auto [tu, tv] = h.mean_wind(5500.0, 6000.0);
  const double su = tu - lu, sv = tv - lv, s = std::hypot(su, sv);
  if (!(s > 0.0)) return {{kNaN, kNaN}, {kNaN, kNaN}};
  const double du = kBunkersDeviation * sv / s, dv = -kBunkersDeviation * su / s;
  return {{mu + du, mv + dv}, {mu - du, mv - dv}};
}

// The effective inflow layer (base, top), NaN when there is none.
std::pair<double, double> effective_inflow_layer(const Environment& env,
                                                 const Parcel& most_unstable) {
  const std::pair<double, double> none{kNaN, kNaN};
  // No level's parcel can pass where the most unstable one does not.
  if (!(most_unstable.cape_j_kg >= 100.0)) return none;
  const auto passes = [&](double p) {
    const Parcel pcl = analyse(env, {p, env.temperature(p), env.dewpoint(p)});
    return pcl.cape_j_kg >= 100.0 && pcl.cin_j_kg >= -250.0;
  };
  double base = kNaN, top = kNaN;
  const double lowest = env.surface().p;
  const auto& pts = env.dewpoints().points();  // by rising pressure
  for (auto pt = pts.rbegin(); pt != pts.rend(); ++pt) {
    const double p = std::exp(pt->first);
    if (p > lowest) continue;
    if (std::isnan(base)) {
      if (p < lowest - kMostUnstableDepth) break;
      if (passes(p)) base = top = p;
    } else if (passes(p)) {
      top = p;
    } else {
      break;
    }
  }
  return {base, top};
}

// Downdraft CAPE (see the header), NaN without humidity in the lowest
// 400 hPa.
double downdraft_cape(const Environment& env) {
  const double sfc = env.surface().p, lowest = sfc - 400.0;
  const auto theta_e = [&](double p) {
    return thermo::equivalent_potential_temperature(p, env.temperature(p), env.dewpoint(p));
  };
  double best = kNaN, source = kNaN;
  for (const auto& pt : env.dewpoints().points()) {
    const double p = std::exp(pt.first);
    if (p > sfc || p - 100.0 < lowest) continue;
    double sum = 0.0;
    for (int k = 0; k <= 10; ++k) sum += (k == 0 || k == 10 ? 0.5 : 1.0) * theta_e(p - 10.0 * k);
    const double mean = sum / 10.0;
    if (std::isnan(mean)) continue;
    if (std::isnan(best) || mean < best) {
      best = mean;
      source = p - 50.0;
    }
  }
  if (std::isnan(source)) return kNaN;
  const double tw = thermo::wet_bulb_temperature(source, env.temperature(source), env.dewpoint(source));
  if (std::isnan(tw)) return kNaN;
  // Down in steps of at most kMaxLogStep in ln p, the trapezoid rule.
  const double span = std::log(sfc / source);
  const int n = std::max(1, static_cast<int>(std::ceil(span / kMaxLogStep)));
  double sum = 0.0, prev = 0.0, t = tw, p_prev = source;
  for (int k = 0; k <= n; ++k) {
    const double p = source * std::exp(span * k / n);
    if (k > 0) t = thermo::moist_adiabat_temperature(p_prev, t, p);
    const double diff = env.virtual_temperature(p) -
                        thermo::virtual_temperature(t, thermo::saturation_mixing_ratio(p, t));
    if (k > 0) sum += (prev + diff) / 2 * span / n;
    prev = diff;
    p_prev = p;
  }
  return thermo::kRd * sum;
}

// Height above ground of the first 0 degC crossing going up from the
// surface of f(p) (temperature or wet-bulb temperature, K), f linear in
// ln p between the environment's levels.
double zero_crossing(const Environment& env, const HeightProfile& h,
                     const std::function<double(double)>& f) {
  const std::vector<double> ps = env.level_pressures();
  if (ps.empty()) return kNaN;
  double p0 = ps.front(), f0 = f(p0);
  if (std::isnan(f0)) return kNaN;
  if (f0 <= thermo::kZeroCelsius) return 0.0;
  for (size_t i = 1; i < ps.size(); ++i) {
    const double p1 = ps[i], f1 = f(p1);
    if (std::isnan(f1)) return kNaN;
    if (f1 <= thermo::kZeroCelsius) {
      const double x = std::log(p0) + (std::log(p1) - std::log(p0)) *
                                          (f0 - thermo::kZeroCelsius) / (f0 - f1);
      return h.agl(std::exp(x));
    }
    p0 = p1;
    f0 = f1;
  }
  return kNaN;
}

// The shear term of the composites: zero below zero_below, the shear over
// 20 m/s up to cap.
double shear_term(double shear, double zero_below, double cap) {
  if (std::isnan(shear)) return kNaN;
  return shear < zero_below ? 0.0 : std::min(shear, cap) / 20.0;
}
double lcl_term(double lcl_m) {
  if (std::isnan(lcl_m)) return kNaN;
  if (lcl_m < 1000.0) return 1.0;
  if (lcl_m > 2000.0) return 0.0;
  return (2000.0 - lcl_m) / 1000.0;
}
// CAPE times the other terms: zero CAPE gives zero whatever the CIN (which
// a parcel without an LFC does not have).
double composite(double cape, double rest, double cin_term) {
  if (cape == 0.0 && !std::isnan(rest)) return 0.0;
  return cape * rest * cin_term;
}

void severe_weather(const Environment& env, const HeightProfile& h,
                    SoundingIndices& out) {
  const auto [right, left] = bunkers(h);
  out.bunkers_right_u_m_s = right.first;
  out.bunkers_right_v_m_s = right.second;
  out.bunkers_left_u_m_s = left.first;
  out.bunkers_left_v_m_s = left.second;
  const double cx = right.first, cy = right.second;
  out.srh_0_1km_m2_s2 = h.helicity(0.0, 1000.0, cx, cy);
  out.srh_0_3km_m2_s2 = h.helicity(0.0, 3000.0, cx, cy);
  if (!env.valid()) return;

  out.lcl_height_m = h.agl(out.surface_based.lcl.pressure_hpa);
  const double ml_lcl_m = h.agl(out.mixed_layer.lcl.pressure_hpa);
  const double sfc_t = env.surface().t;
  const double p3 = h.pressure_at(3000.0);
  out.lapse_rate_0_3km_k_km = (sfc_t - env.temperature(p3)) / 3.0;
  out.lapse_rate_700_500_k_km = (env.temperature(700.0) - env.temperature(500.0)) /
                                ((h.agl(500.0) - h.agl(700.0)) / 1000.0);
  out.freezing_level_m = zero_crossing(env, h, [&](double p) { return env.temperature(p); });
  out.wet_bulb_zero_m = zero_crossing(env, h, [&](double p) {
    return thermo::wet_bulb_temperature(p, env.temperature(p), env.dewpoint(p));
  });
  out.dcape_j_kg = downdraft_cape(env);

  const Parcel& mu = out.most_unstable;
  if (std::isnan(mu.cape_j_kg) || std::isnan(cx)) {
    // Without the most unstable parcel or a storm motion nothing
    // effective can be said.
  } else {
    const auto [base, top] = effective_inflow_layer(env, mu);
    out.effective_inflow_base_hpa = base;
    out.effective_inflow_top_hpa = top;
    if (std::isnan(base)) {
      out.effective_srh_m2_s2 = 0.0;
      out.effective_bulk_shear_m_s = 0.0;
    } else {
      const double zb = h.agl(base), zt = h.agl(top);
      out.effective_srh_m2_s2 = h.helicity(zb, zt, cx, cy);
      // A parcel still buoyant at the top has its EL there.
      const double el = std::isnan(mu.el_pressure_hpa) ? env.top_pressure() : mu.el_pressure_hpa;
      out.effective_bulk_shear_m_s = h.shear(zb, zb + (h.agl(el) - zb) / 2);
    }
  }

  const Parcel& sb = out.surface_based;
  const Parcel& ml = out.mixed_layer;
  out.stp_fixed = significant_tornado_fixed(sb.cape_j_kg, out.lcl_height_m,
                                            out.srh_0_1km_m2_s2, out.bulk_shear_0_6km_m_s);
  out.stp_effective = significant_tornado_effective(
      ml.cape_j_kg, ml_lcl_m, out.effective_srh_m2_s2, out.effective_bulk_shear_m_s,
      ml.cin_j_kg);
  out.scp = supercell_composite(mu.cape_j_kg, out.effective_srh_m2_s2,
                                out.effective_bulk_shear_m_s, mu.cin_j_kg);
}

}  // namespace

double significant_tornado_fixed(double sb_cape, double sb_lcl_m, double srh_0_1km,
                                 double bulk_shear_0_6km) {
  return composite(sb_cape / 1500.0,
                   lcl_term(sb_lcl_m) * srh_0_1km / 150.0 *
                       shear_term(bulk_shear_0_6km, 12.5, 30.0),
                   1.0);
}

double significant_tornado_effective(double ml_cape, double ml_lcl_m, double effective_srh,
                                     double effective_bulk_shear, double ml_cin) {
  const double cin_term =
      std::isnan(ml_cin) ? kNaN : std::min(1.0, std::max(0.0, (200.0 + ml_cin) / 150.0));
  return composite(ml_cape / 1500.0,
                   lcl_term(ml_lcl_m) * effective_srh / 150.0 *
                       shear_term(effective_bulk_shear, 12.5, 30.0),
                   cin_term);
}

double supercell_composite(double mu_cape, double effective_srh,
                           double effective_bulk_shear, double mu_cin) {
  const double cin_term = std::isnan(mu_cin) ? kNaN : mu_cin > -40.0 ? 1.0 : -40.0 / mu_cin;
  return composite(mu_cape / 1000.0,
                   effective_srh / 50.0 * shear_term(effective_bulk_shear, 10.0, 20.0),
                   cin_term);
}

SoundingIndices compute_indices(const Sounding& sounding, double station_elevation_m) {
  const Environment env(sounding);
  SoundingIndices out{};
  const Start sb = parcel_start(env, ParcelKind::kSurfaceBased);
  out.surface_based = analyse(env, sb);
  const Start ml = parcel_start(env, ParcelKind::kMixedLayer);
  out.mixed_layer = analyse(env, ml);
  // The most unstable parcel is often the surface one.
  const Start mu = parcel_start(env, ParcelKind::kMostUnstable);
  const bool same = mu.p == sb.p && mu.t == sb.t && mu.td == sb.td;
  out.most_unstable = same ? out.surface_based : analyse(env, mu);
  out.precipitable_water_mm = env.valid() ? precipitable_water(env) : kNaN;
  out.lifted_index_k = env.valid() ? lifted_difference(env, ml) : kNaN;
  const double t850 = env.valid() ? env.temperature(850.0) : kNaN;
  const double td850 = env.valid() ? env.dewpoint(850.0) : kNaN;
  const double t700 = env.valid() ? env.temperature(700.0) : kNaN;
  const double td700 = env.valid() ? env.dewpoint(700.0) : kNaN;
  const double t500 = env.valid() ? env.temperature(500.0) : kNaN;
  out.k_index_c = (t850 - t500) + (td850 - thermo::kZeroCelsius) - (t700 - td700);
  out.total_totals_c = t850 + td850 - 2 * t500;
  out.showalter_k = env.valid() ? lifted_difference(env, {850.0, t850, td850}) : kNaN;
  const HeightProfile h(sounding, station_elevation_m);
  out.bulk_shear_0_1km_m_s = h.shear(0.0, 1000.0);
  out.bulk_shear_0_6km_m_s = h.shear(0.0, 6000.0);
  severe_weather(env, h, out);
  return out;
}

LevelQuantities level_quantities(const DATA_TYPE& level) {
  const double p = pressure_hpa(level.pr), t = kelvin(level.tp);
  const double td = capped(kelvin(level.dp), t);
  const double r = thermo::mixing_ratio_from_dewpoint(p, td);
  return {thermo::potential_temperature(p, t),
          thermo::equivalent_potential_temperature(p, t, td),
          thermo::virtual_potential_temperature(p, t, r), 1000.0 * r,
          thermo::relative_humidity(t, td)};
}

std::vector<TracePoint> parcel_trace(const Sounding& sounding, ParcelKind kind) {
  const Environment env(sounding);
  const Start s = parcel_start(env, kind);
  if (std::isnan(s.p)) return {};
  return ascend(env, s);
}

}  // namespace rawinq::indices
