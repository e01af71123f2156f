// The thermodynamic functions against published worked values: tables of
// saturation vapour pressure, Bolton's (1980) formulas and the documented
// examples of a widely used reference library of meteorological
// calculations. Temperatures within 0.05 K, vapour pressures and mixing
// ratios within 0.5 %.
#include "rawinq/thermo.h"

#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

namespace {

using namespace rawinq::thermo;

constexpr double kC = kZeroCelsius;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Case {
  const char* what;
  std::function<double()> value;
  double expected;
  double tolerance;  // absolute (K, hPa) or, when negative, relative
};

TEST(Thermo, PublishedWorkedValues) {
  const Case cases[] = {
      // Saturation vapour pressure over water (Wexler's values as tabulated
      // in the Smithsonian Meteorological Tables), hPa.
      {"es(0 degC)", [] { return saturation_vapour_pressure(kC); }, 6.112, -0.001},
      {"es(20 degC)", [] { return saturation_vapour_pressure(kC + 20); }, 23.388, -0.001},
      {"es(30 degC)", [] { return saturation_vapour_pressure(kC + 30); }, 42.455, -0.001},
      // Dew point of the tabulated 20 degC vapour pressure.
      {"td(23.388 hPa)", [] { return dewpoint_from_vapour_pressure(23.388); }, kC + 20, 0.05},
      // Saturation mixing ratio at 983 hPa, 25 degC: 20.708 g/kg.
      {"rs(983, 25 degC)", [] { return 1000 * saturation_mixing_ratio(983, kC + 25); }, 20.708, -0.005},
      // Mixing ratio of 15 hPa of vapour at 1000 hPa (epsilon e / (p - e)).
      {"r(1000, 15 hPa)", [] { return 1000 * mixing_ratio(1000, 15); }, 9.4717, -0.005},
      // The mixing-ratio line through the 20.708 g/kg point above.
      {"T on 20.708 g/kg at 983", [] { return mixing_ratio_line_temperature(0.020708, 983); }, kC + 25, 0.05},
      // Relative humidity of 25 degC with dew point 15 degC (tabulated
      // 17.044 / 31.691 hPa).
      {"rh(25, 15 degC)", [] { return relative_humidity(kC + 25, kC + 15); }, 53.78, -0.005},
      // Potential temperature of 273 K at 800 hPa.
      {"theta(800, 273 K)", [] { return potential_temperature(800, 273); }, 290.981, 0.05},
      // Dry adiabat from 1000 hPa, 15 degC, to 925, 850 and 700 hPa.
      {"dry 1000->925", [] { return dry_adiabat_temperature(1000, kC + 15, 925); }, kC + 8.6525, 0.05},
      {"dry 1000->850", [] { return dry_adiabat_temperature(1000, kC + 15, 850); }, kC + 1.9259, 0.05},
      {"dry 1000->700", [] { return dry_adiabat_temperature(1000, kC + 15, 700); }, kC - 12.9179, 0.05},
      // Virtual temperature of 283 K with 12 g/kg.
      {"Tv(283 K, 12 g/kg)", [] { return virtual_temperature(283, 0.012); }, 285.0397, 0.05},
      // Virtual potential temperature at 500 hPa, -15 degC, 1 g/kg.
      {"theta_v(500, -15 degC, 1 g/kg)", [] { return virtual_potential_temperature(500, kC - 15, 0.001); }, 314.879, 0.05},
      // Lifting condensation level, Bolton eq. 15: 943 hPa, 33 / 28 degC
      // gives 26.77 degC at 877.5 hPa; 1000 hPa, 25 / 10 degC gives
      // 6.73 degC at 801.1 hPa.
      {"TL(33, 28 degC)", [] { return lcl(943, kC + 33, kC + 28).temperature_k; }, kC + 26.773, 0.05},
      {"pL(943, 33, 28 degC)", [] { return lcl(943, kC + 33, kC + 28).pressure_hpa; }, 877.56, 0.5},
      {"TL(25, 10 degC)", [] { return lcl(1000, kC + 25, kC + 10).temperature_k; }, kC + 6.73, 0.05},
      {"pL(1000, 25, 10 degC)", [] { return lcl(1000, kC + 25, kC + 10).pressure_hpa; }, 801.14, 0.5},
      // A saturated parcel condenses where it is.
      {"pL saturated", [] { return lcl(850, kC + 5, kC + 5).pressure_hpa; }, 850, 1e-9},
      // Equivalent potential temperature, Bolton eq. 39: 850 hPa,
      // 20 / 18 degC.
      {"theta_e(850, 20, 18 degC)", [] { return equivalent_potential_temperature(850, kC + 20, kC + 18); }, 353.90, 0.05},
      // Pseudo-adiabat from 925 hPa, 5 degC.
      {"moist 925->850", [] { return moist_adiabat_temperature(925, kC + 5, 850); }, kC + 0.9964, 0.05},
      {"moist 925->700", [] { return moist_adiabat_temperature(925, kC + 5, 700); }, kC - 8.8896, 0.05},
      {"moist 925->500", [] { return moist_adiabat_temperature(925, kC + 5, 500); }, kC - 28.3886, 0.05},
      {"moist 925->300", [] { return moist_adiabat_temperature(925, kC + 5, 300); }, kC - 60.1200, 0.05},
      {"moist 925->200", [] { return moist_adiabat_temperature(925, kC + 5, 200); }, kC - 83.3432, 0.05},
      // Downwards along the same pseudo-adiabat.
      {"moist 500->925", [] { return moist_adiabat_temperature(500, kC - 28.3886, 925); }, kC + 5, 0.05},
      // Lifted parcel, 1000 hPa 25 / 10 degC, to 700 hPa: dry to 801 hPa,
      // then saturated.
      {"parcel 1000->900", [] { return lifted_parcel_temperature(1000, kC + 25, kC + 10, 900); }, dry_adiabat_temperature(1000, kC + 25, 900), 1e-9},
      // Missing values and values outside a formula's domain give NaN.
      {"es(NaN)", [] { return std::isnan(saturation_vapour_pressure(kNaN)) ? 1.0 : 0.0; }, 1, 0},
      {"rs where es > p", [] { return std::isnan(saturation_mixing_ratio(50, kC + 40)) ? 1.0 : 0.0; }, 1, 0},
      {"theta_e(NaN dew point)", [] { return std::isnan(equivalent_potential_temperature(850, 290, kNaN)) ? 1.0 : 0.0; }, 1, 0},
      {"moist to NaN pressure", [] { return std::isnan(moist_adiabat_temperature(900, 290, kNaN)) ? 1.0 : 0.0; }, 1, 0},
      {"lcl(NaN)", [] { return std::isnan(lcl(kNaN, 290, 280).pressure_hpa) ? 1.0 : 0.0; }, 1, 0},
  };
  for (const Case& c : cases) {
    const double v = c.value();
    const double tol =
        c.tolerance < 0 ? -c.tolerance * std::fabs(c.expected) : c.tolerance;
    EXPECT_NEAR(v, c.expected, tol) << c.what;
  }
}

}  // namespace
