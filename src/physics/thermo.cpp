// Thermodynamic functions of moist air; formulas and sources are given with
// each declaration in rawinq/thermo.h.
#include "rawinq/thermo.h"

#include <cmath>
#include <limits>

namespace rawinq::thermo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Bolton's (1980) coefficients of the saturation vapour pressure.
constexpr double kEs0 = 6.112;   // hPa at 0 degC
constexpr double kEsA = 17.67;
constexpr double kEsB = 243.5;   // degC

// Largest step in ln p of the pseudo-adiabat integration.
constexpr double kMaxLogStep = 0.02;

bool usable(double x) { return std::isfinite(x) && x > 0.0; }

// dT/d(ln p) on the pseudo-adiabat at (p, T).
double pseudoadiabatic_slope(double p_hpa, double t_k) {
  const double rs = saturation_mixing_ratio(p_hpa, t_k);
  return (kRd * t_k + kLv * rs) /
         (kCp + kLv * kLv * rs * kEpsilon / (kRd * t_k * t_k));
}

}  // namespace

double saturation_vapour_pressure(double t_k) {
  if (!usable(t_k)) return kNaN;
  const double t_c = t_k - kZeroCelsius;
  return kEs0 * std::exp(kEsA * t_c / (t_c + kEsB));
}

double dewpoint_from_vapour_pressure(double e_hpa) {
  if (!usable(e_hpa)) return kNaN;
  const double x = std::log(e_hpa / kEs0);
  return kEsB * x / (kEsA - x) + kZeroCelsius;
}

double mixing_ratio(double p_hpa, double e_hpa) {
  if (!usable(p_hpa) || !(e_hpa >= 0.0) || !(e_hpa < p_hpa)) return kNaN;
  return kEpsilon * e_hpa / (p_hpa - e_hpa);
}

double vapour_pressure(double p_hpa, double r) {
  if (!usable(p_hpa) || !(r >= 0.0) || !std::isfinite(r)) return kNaN;
  return p_hpa * r / (kEpsilon + r);
}

double saturation_mixing_ratio(double p_hpa, double t_k) {
  return mixing_ratio(p_hpa, saturation_vapour_pressure(t_k));
}

double mixing_ratio_from_dewpoint(double p_hpa, double td_k) {
  return mixing_ratio(p_hpa, saturation_vapour_pressure(td_k));
}

double relative_humidity(double t_k, double td_k) {
  return 100.0 * saturation_vapour_pressure(td_k) /
         saturation_vapour_pressure(t_k);
}

double potential_temperature(double p_hpa, double t_k) {
  if (!usable(p_hpa) || !usable(t_k)) return kNaN;
  return t_k * std::pow(kP0 / p_hpa, kKappa);
}

double dry_adiabat_temperature(double p0_hpa, double t0_k, double p_hpa) {
  if (!usable(p0_hpa) || !usable(t0_k) || !usable(p_hpa)) return kNaN;
  return t0_k * std::pow(p_hpa / p0_hpa, kKappa);
}

double virtual_temperature(double t_k, double r) {
  if (!usable(t_k) || !(r >= 0.0)) return kNaN;
  return t_k * (r + kEpsilon) / (kEpsilon * (1.0 + r));
}

double virtual_potential_temperature(double p_hpa, double t_k, double r) {
  return virtual_temperature(potential_temperature(p_hpa, t_k), r);
}

double lcl_temperature(double t_k, double td_k) {
  if (!usable(t_k) || !(td_k > 56.0)) return kNaN;
  if (td_k >= t_k) return t_k;
  return 1.0 / (1.0 / (td_k - 56.0) + std::log(t_k / td_k) / 800.0) + 56.0;
}

Lcl lcl(double p_hpa, double t_k, double td_k) {
  const double tl = lcl_temperature(t_k, td_k);
  if (!usable(p_hpa) || std::isnan(tl)) return {kNaN, kNaN};
  return {p_hpa * std::pow(tl / t_k, 1.0 / kKappa), tl};
}

double equivalent_potential_temperature(double p_hpa, double t_k,
                                        double td_k) {
  const double e = saturation_vapour_pressure(td_k > t_k ? t_k : td_k);
  const double r = mixing_ratio(p_hpa, e);
  const double tl = lcl_temperature(t_k, td_k);
  if (std::isnan(r) || std::isnan(tl)) return kNaN;
  const double theta_dl =
      t_k * std::pow(kP0 / (p_hpa - e), kKappa) * std::pow(t_k / tl, 0.28 * r);
  return theta_dl * std::exp((3036.0 / tl - 1.78) * r * (1.0 + 0.448 * r));
}

double moist_adiabat_temperature(double p0_hpa, double t0_k, double p_hpa) {
  if (!usable(p0_hpa) || !usable(t0_k) || !usable(p_hpa)) return kNaN;
  const double span = std::log(p_hpa / p0_hpa);
  const double steps = std::ceil(std::fabs(span) / kMaxLogStep);
  if (steps == 0.0) return t0_k;
  const double h = span / steps;
  double x = std::log(p0_hpa);
  double t = t0_k;
  for (double i = 0; i < steps; i += 1.0) {
    // The midpoint's pressure serves k2 and k3 (one exp, not two).
    const double p_mid = std::exp(x + h / 2);
    const double k1 = pseudoadiabatic_slope(std::exp(x), t);
    const double k2 = pseudoadiabatic_slope(p_mid, t + h / 2 * k1);
    const double k3 = pseudoadiabatic_slope(p_mid, t + h / 2 * k2);
    const double k4 = pseudoadiabatic_slope(std::exp(x + h), t + h * k3);
    t += h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
    x += h;
    if (!usable(t)) return kNaN;
  }
  return t;
}

double mixing_ratio_line_temperature(double r, double p_hpa) {
  return dewpoint_from_vapour_pressure(vapour_pressure(p_hpa, r));
}

double lifted_parcel_temperature(double p0_hpa, double t0_k, double td0_k,
                                 double p_hpa) {
  const Lcl base = lcl(p0_hpa, t0_k, td0_k);
  if (std::isnan(base.pressure_hpa) || !usable(p_hpa)) return kNaN;
  if (p_hpa >= base.pressure_hpa)
    return dry_adiabat_temperature(p0_hpa, t0_k, p_hpa);
  return moist_adiabat_temperature(base.pressure_hpa, base.temperature_k,
                                   p_hpa);
}

double wet_bulb_temperature(double p_hpa, double t_k, double td_k) {
  const Lcl base = lcl(p_hpa, t_k, td_k);
  if (std::isnan(base.pressure_hpa) || !usable(p_hpa)) return kNaN;
  return moist_adiabat_temperature(base.pressure_hpa, base.temperature_k, p_hpa);
}

}  // namespace rawinq::thermo
