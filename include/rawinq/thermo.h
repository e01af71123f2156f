// Thermodynamic functions of moist air: the one place where the constants,
// the saturation vapour pressure formula and the parcel laws are defined.
// Every writer of derived quantities, the sounding indices and the plots use
// these functions and nothing else.
//
// Units: pressure in hPa, temperature in kelvin, mixing ratio in kg/kg,
// vapour pressure in hPa, relative humidity in percent. A missing input is
// a quiet NaN and gives NaN; so does an input outside a formula's domain
// (a vapour pressure at or above the total pressure, a non-positive
// pressure or temperature).
#pragma once

namespace rawinq::thermo {

// Gas constant of dry air, J kg-1 K-1: the molar gas constant
// 8.314462618 J mol-1 K-1 (CODATA 2018) over the molar mass of dry air
// 28.96546 g mol-1.
inline constexpr double kRd = 287.04749;
// Specific heat of dry air at constant pressure, J kg-1 K-1: 7/2 Rd, that of
// an ideal diatomic gas. Hence kappa = Rd / cp = 2/7.
inline constexpr double kCp = 1004.6662;
inline constexpr double kKappa = kRd / kCp;
// Ratio of the molar masses of water (18.015268 g mol-1) and dry air.
inline constexpr double kEpsilon = 0.6219569;
// Standard gravity, m s-2.
inline constexpr double kG = 9.80665;
// Latent heat of vaporisation at 0 degC, J kg-1 (Bolton 1980).
inline constexpr double kLv = 2.501e6;
// 0 degC in kelvin.
inline constexpr double kZeroCelsius = 273.15;
// Reference pressure of potential temperatures, hPa.
inline constexpr double kP0 = 1000.0;

// Saturation vapour pressure over liquid water, hPa, of a temperature in
// kelvin. Bolton (1980, eq. 10), within 0.1 % of the Wexler values from
// -30 to 35 degC:
//   es = 6.112 exp(17.67 t / (t + 243.5)),  t in degC.
double saturation_vapour_pressure(double t_k);

// Dew point, K, of a vapour pressure e in hPa: the inverse of the formula
// above, t = 243.5 ln(e/6.112) / (17.67 - ln(e/6.112)).
double dewpoint_from_vapour_pressure(double e_hpa);

// Mixing ratio, kg/kg, of a vapour pressure e at pressure p:
//   r = epsilon e / (p - e)                (Wallace and Hobbs 2006, eq. 3.59)
double mixing_ratio(double p_hpa, double e_hpa);

// Vapour pressure, hPa, of a mixing ratio r at pressure p (the inverse):
//   e = p r / (epsilon + r).
double vapour_pressure(double p_hpa, double r);

// Saturation mixing ratio, kg/kg: mixing_ratio(p, es(T)).
double saturation_mixing_ratio(double p_hpa, double t_k);

// Mixing ratio, kg/kg, of air at pressure p with dew point td:
// mixing_ratio(p, es(td)).
double mixing_ratio_from_dewpoint(double p_hpa, double td_k);

// Relative humidity over water, percent: 100 es(td) / es(T).
double relative_humidity(double t_k, double td_k);

// Potential temperature, K (Poisson's equation):
//   theta = T (P0 / p)^kappa.
double potential_temperature(double p_hpa, double t_k);

// Temperature, K, reached at p by dry-adiabatic (constant theta) motion
// from temperature t0 at p0:  T = t0 (p / p0)^kappa.
double dry_adiabat_temperature(double p0_hpa, double t0_k, double p_hpa);

// Virtual temperature, K, of air with mixing ratio r
// (Wallace and Hobbs 2006, eq. 3.60, without approximation):
//   Tv = T (r + epsilon) / (epsilon (1 + r)).
double virtual_temperature(double t_k, double r);

// Virtual potential temperature, K: the virtual temperature's theta,
//   theta_v = theta (r + epsilon) / (epsilon (1 + r)).
double virtual_potential_temperature(double p_hpa, double t_k, double r);

// Temperature at the lifting condensation level, K, of air with temperature
// T and dew point td (Bolton 1980, eq. 15):
//   TL = 1 / (1 / (td - 56) + ln(T / td) / 800) + 56.
double lcl_temperature(double t_k, double td_k);

struct Lcl {
  double pressure_hpa;
  double temperature_k;
};

// Lifting condensation level of air at p with T and td: its temperature by
// Bolton (1980, eq. 15) and its pressure on the dry adiabat through (p, T):
//   pL = p (TL / T)^(1 / kappa).
// A dew point above the temperature counts as saturated (pL = p, TL = T).
Lcl lcl(double p_hpa, double t_k, double td_k);

// Equivalent potential temperature, K, of air at p with T and td
// (Bolton 1980, eqs. 39 and 15, the form Davies-Jones (2009) found the most
// accurate of the non-iterative ones):
//   r in kg/kg, e = es(td), TL = lcl_temperature(T, td),
//   theta_DL = T (P0 / (p - e))^kappa (T / TL)^(0.28 r),
//   theta_e  = theta_DL exp((3036 / TL - 1.78) r (1 + 0.448 r)).
double equivalent_potential_temperature(double p_hpa, double t_k, double td_k);

// Temperature, K, reached at p by a saturated parcel that leaves p0 at t0
// and follows the pseudo-adiabat (all condensate falls out):
//   dT/dp = (1/p) (Rd T + Lv rs) / (cp + Lv^2 rs epsilon / (Rd T^2))
// (Bakhshaii and Stull 2013, eq. 8; rs = saturation_mixing_ratio(p, T)),
// integrated in ln p by fourth-order Runge-Kutta with steps of at most
// 0.02 in ln p (about 20 hPa at 1000 hPa, 2 hPa at 100 hPa;
// the result then agrees with that of steps ten times smaller within
// 1e-5 K). Works upwards and downwards.
double moist_adiabat_temperature(double p0_hpa, double t0_k, double p_hpa);

// Temperature, K, on the saturation mixing-ratio line r (kg/kg) at p:
// the T with saturation_mixing_ratio(p, T) = r,
//   T = dewpoint_from_vapour_pressure(vapour_pressure(p, r)).
double mixing_ratio_line_temperature(double r, double p_hpa);

// Temperature, K, at p of a parcel lifted (or lowered) from p0 with
// temperature t0 and dew point td0: dry-adiabatic to its LCL, then
// pseudo-adiabatic (moist_adiabat_temperature from the LCL).
double lifted_parcel_temperature(double p0_hpa, double t0_k, double td0_k,
                                 double p_hpa);

// Wet-bulb temperature, K, of air at p with T and td by Normand's rule:
// lifted dry-adiabatically to its LCL, then brought back down to p along
// the pseudo-adiabat (Wallace and Hobbs 2006, section 3.5.6):
//   Tw = moist_adiabat_temperature(pL, TL, p).
double wet_bulb_temperature(double p_hpa, double t_k, double td_k);

}  // namespace rawinq::thermo
