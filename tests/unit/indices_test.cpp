// Sounding indices on a table of soundings: a capping inversion, a
// saturated layer, a dry desert profile, a parcel that never reaches its
// LFC, and soundings without humidity or levels. Every parcel's CAPE and
// CIN must agree within 1 % with an independent integration of the same
// parcel in steps of 0.1 hPa; the stability indices and the shear are
// worked by hand from their definitions.
#include "rawinq/indices.h"
#include "rawinq/heights.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace rawinq;
using indices::Parcel;
using indices::ParcelKind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kC = thermo::kZeroCelsius;
constexpr long kM = kMissingValue;
constexpr double kDeg = 3.14159265358979323846 / 180;

struct Row {
  long fr;
  double p, z, t, td, wd, ws;  // hPa, m, degC, degC, deg, m/s; NaN missing
};

long code(double v, double scale) {
  return std::isnan(v) ? kM : std::lround(v * scale);
}

Sounding make_sounding(const std::vector<Row>& rows) {
  Sounding s;
  for (const Row& r : rows)
    s.levels.push_back({r.fr, code(r.p, 10), code(r.z, 1), code(r.t, 10),
                        code(r.td, 10), code(r.wd, 1), code(r.ws, 10)});
  s.header.levels = static_cast<long>(s.levels.size());
  return s;
}

// The environment as the test sees it: rows with temperature (and dew
// point), linear in ln p.
struct Env {
  std::vector<double> x, t, xd, td;
  explicit Env(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      if (std::isnan(r.p) || std::isnan(r.t)) continue;
      x.push_back(std::log(r.p));
      t.push_back(r.t + kC);
      if (!std::isnan(r.td)) {
        xd.push_back(std::log(r.p));
        td.push_back(r.td + kC);
      }
    }
  }
  static double interp(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
    for (size_t i = 0; i + 1 < xs.size(); ++i)
      if (x <= xs[i] && x >= xs[i + 1])
        return ys[i] + (ys[i + 1] - ys[i]) * (x - xs[i]) / (xs[i + 1] - xs[i]);
    return kNaN;
  }
  double tv(double p) const {
    double r = thermo::mixing_ratio_from_dewpoint(p, interp(xd, td, std::log(p)));
    if (std::isnan(r)) r = 0;
    return thermo::virtual_temperature(interp(x, t, std::log(p)), r);
  }
  double top() const { return std::exp(x.back()); }
};

struct Reference {
  double cape, cin, lfc, el;
};

// The parcel lifted in steps of 0.1 hPa, buoyancy by the midpoint rule.
Reference fine_integration(const Env& env, const Parcel& parcel) {
  const thermo::Lcl lcl = thermo::lcl(parcel.start_pressure_hpa,
                                      parcel.start_temperature_k,
                                      parcel.start_dewpoint_k);
  const double r0 = thermo::mixing_ratio_from_dewpoint(parcel.start_pressure_hpa,
                                                       parcel.start_dewpoint_k);
  double moist_p = lcl.pressure_hpa, moist_t = lcl.temperature_k;
  auto buoyancy = [&](double p) {
    if (p >= lcl.pressure_hpa) {
      const double t = thermo::dry_adiabat_temperature(
          parcel.start_pressure_hpa, parcel.start_temperature_k, p);
      return thermo::virtual_temperature(t, r0) - env.tv(p);
    }
    moist_t = thermo::moist_adiabat_temperature(moist_p, moist_t, p);
    moist_p = p;
    return thermo::virtual_temperature(moist_t, thermo::saturation_mixing_ratio(p, moist_t)) -
           env.tv(p);
  };
  const double step = 0.1;
  std::vector<double> ps, bs;
  for (double p = parcel.start_pressure_hpa - step / 2; p > env.top(); p -= step) {
    ps.push_back(p);
    bs.push_back(buoyancy(p));
  }
  Reference ref{0, 0, kNaN, kNaN};
  size_t lfc = ps.size(), el = ps.size();
  for (size_t i = 0; i < ps.size(); ++i)
    if (ps[i] <= lcl.pressure_hpa && bs[i] > 0) {
      lfc = i;
      break;
    }
  if (lfc == ps.size()) return {0, kNaN, kNaN, kNaN};
  for (size_t i = ps.size(); i-- > lfc;)
    if (bs[i] > 0) {
      el = i + 1;
      break;
    }
  ref.lfc = ps[lfc];
  ref.el = el < ps.size() ? ps[el] : kNaN;
  for (size_t i = 0; i < ps.size(); ++i) {
    const double dx = std::log((ps[i] + step / 2) / (ps[i] - step / 2));
    if (i < lfc && bs[i] < 0) ref.cin += thermo::kRd * bs[i] * dx;
    if (i >= lfc && i < el && bs[i] > 0) ref.cape += thermo::kRd * bs[i] * dx;
  }
  return ref;
}

// An expected parameter: its value within tol, NaN: missing.
struct Expect {
  double indices::SoundingIndices::*field;
  double value, tol;
};

struct Case {
  std::string name;
  std::vector<Row> rows;
  double sb_lcl_p;     // expected surface-based LCL pressure (1 hPa), NaN: any
  bool sb_has_lfc;     // whether the surface parcel becomes buoyant
  double k_index, total_totals, shear01, shear06;  // NaN where missing
  std::vector<Expect> severe = {};
};

using SI = indices::SoundingIndices;

TEST(Indices, SoundingTable) {
  const double N = kNaN;
  const std::vector<Case> cases = {
      {"capping inversion",
       {{9, 1000, 100, 30, 22, 180, 5},
        {4, 950, 560, 25.5, 20, N, N},
        {4, 900, 1030, 21, 18, N, N},
        {6, N, 1100, N, N, 270, 10},
        {4, 850, 1520, 23, 8, N, N},
        {5, 800, 2030, 20, 0, N, N},
        {4, 700, 3130, 10, -5, N, N},
        {4, 600, 4360, 0, -15, N, N},
        {4, 500, 5760, -10, -25, N, N},
        {6, N, 6100, N, N, 250, 30},
        {4, 400, 7400, -22, -35, N, N},
        {4, 300, 9400, -38, -50, N, N},
        {4, 250, 10600, -48, -58, N, N},
        {4, 200, 12000, -56, -66, N, N},
        {4, 150, 13800, -60, -70, N, N},
        {4, 100, 16400, -65, -80, N, N}},
       // Bolton: TL 292.9 K, pL = 1000 (292.9 / 303.15)^3.5.
       1000 * std::pow(thermo::lcl_temperature(kC + 30, kC + 22) / (kC + 30), 3.5),
       true,
       // K = (23 + 10) + 8 - (10 + 5) = 26; TT = 23 + 8 + 20 = 51.
       26, 51,
       // Surface wind (0, 5) m/s; at 1 km (10, 0): |(10, -5)|; at 6 km
       // 250 deg 30 m/s: (28.19, 10.26).
       std::hypot(10.0, -5.0), std::hypot(-30 * std::sin(250 * kDeg), -30 * std::cos(250 * kDeg) - 5)},
      {"saturated layer",
       {{9, 1000, 110, 20, 20, N, N},
        {4, 925, 780, 16, 16, N, N},
        {4, 850, 1490, 12, 12, N, N},
        {4, 700, 3090, 2, 2, N, N},
        {4, 500, 5700, -15, -20, N, N},
        {4, 400, 7300, -26, -35, N, N},
        {4, 300, 9300, -41, -50, N, N},
        {4, 200, 11900, -58, -70, N, N},
        {4, 100, 16300, -65, -85, N, N}},
       1000, true,
       // K = 27 + 12 - 0 = 39; TT = 12 + 12 + 30 = 54.
       39, 54, N, N},
      {"dry desert",
       {{9, 950, 500, 40, -5, N, N},
        {4, 900, 960, 35, -6, N, N},
        {4, 850, 1440, 30, -7, N, N},
        {4, 700, 3100, 15, -12, N, N},
        {4, 500, 5800, -8, -30, N, N},
        {4, 400, 7450, -20, -40, N, N},
        {4, 300, 9500, -35, -55, N, N},
        {4, 200, 12100, -53, -70, N, N},
        {4, 100, 16500, -65, -85, N, N}},
       // Bolton: TL 259.8 K, pL about 494 hPa.
       950 * std::pow(thermo::lcl_temperature(kC + 40, kC - 5) / (kC + 40), 3.5),
       false,
       // K = 38 - 7 - 27 = 4; TT = 30 - 7 + 16 = 39.
       4, 39, N, N},
      {"parcel never reaches its LFC",
       {{9, 1000, 100, 10, 0, N, N},
        {4, 925, 750, 12, -2, N, N},
        {4, 850, 1450, 10, -10, N, N},
        {4, 700, 3000, 2, -20, N, N},
        {4, 500, 5600, -12, -35, N, N},
        {4, 300, 9200, -35, -55, N, N},
        {4, 200, 11800, -50, -70, N, N},
        {4, 100, 16200, -55, -80, N, N}},
       N, false,
       // K = 22 - 10 - 22 = -10; TT = 10 - 10 + 24 = 24.
       -10, 24, N, N},
      {"no humidity above the surface, high station",
       {{9, 840, 1600, 25, N, N, N},
        {4, 700, 3100, 12, N, N, N},
        {4, 500, 5800, -10, N, N, N}},
       N, false, N, N, N, N,
       // No winds, no humidity: missing, never zero. 700 to 500 hPa:
       // 22 K over 2.7 km.
       {{&SI::bunkers_right_u_m_s, N, 0}, {&SI::srh_0_3km_m2_s2, N, 0},
        {&SI::effective_srh_m2_s2, N, 0}, {&SI::stp_fixed, N, 0}, {&SI::scp, N, 0},
        {&SI::dcape_j_kg, N, 0}, {&SI::wet_bulb_zero_m, N, 0},
        {&SI::lapse_rate_700_500_k_km, 22 / 2.7, 1e-9}}},
      // Westerlies growing 5 m/s a km (a straight hodograph) and 7 K/km,
      // every level with its height (pressures from the hypsometric
      // equation, to 0.1 hPa). Mean wind 0-6 km (15, 0); shear from
      // the 0-0.5 km mean (1.25, 0) to the 5.5-6 km mean (28.75, 0): the
      // movers 7.5 m/s south and north of the mean. With v = 0 the helicity
      // telescopes to 7.5 (u(top) - u(bottom)): 37.5 over 0-1 km, 112.5 over
      // 0-3 km. 0 degC between 4200 m (0.6 C) and 5600 m (-9.2 C):
      // 4200 + 1400 * 0.6 / 9.8 m. The LCL of 30/20 C about 125 m
      // per K of dew point depression (Espy).
      {"straight hodograph, steady lapse rate",
       {{9, 1000, 0, 30, 20, 270, 0},
        {4, 944.9, 500, 26.5, 18, 270, 2.5},
        {4, 892.2, 1000, 23, 16, 270, 5},
        {4, 841.9, 1500, 19.5, 14, 270, 7.5},
        {4, 793.9, 2000, 16, 10, 270, 10},
        {4, 704.4, 3000, 9, 0, 270, 15},
        {4, 607.8, 4200, 0.6, -10, 270, 21},
        {4, 508.7, 5600, -9.2, -25, 270, 28},
        {6, 482.9, 6000, -12, -28, 270, 30},
        {4, 400.7, 7400, -21.8, -35, 270, 37},
        {4, 298.6, 9500, -36.5, -50, 270, 47.5},
        {4, 205.6, 12000, -52, -65, 270, 60},
        {4, 101.3, 16500, -60, -80, 270, 60}},
       // T and Td linear in ln p: 850 hPa 20.08/14.33, 700 hPa 8.64/-0.42,
       // 500 hPa -10.13 C.
       N, true, 35.47, 54.66, 5, 30,
       {{&SI::bunkers_right_u_m_s, 15, 1e-6}, {&SI::bunkers_right_v_m_s, -7.5, 1e-6},
        {&SI::bunkers_left_u_m_s, 15, 1e-6}, {&SI::bunkers_left_v_m_s, 7.5, 1e-6},
        {&SI::srh_0_1km_m2_s2, 37.5, 1e-6}, {&SI::srh_0_3km_m2_s2, 112.5, 1e-6},
        {&SI::effective_inflow_base_hpa, 1000, 1e-9},
        // The inflow layer's parcels pass up to 2000 m (u = 10 m/s).
        {&SI::effective_inflow_top_hpa, 793.9, 1e-9}, {&SI::effective_srh_m2_s2, 75, 1e-6},
        {&SI::lapse_rate_0_3km_k_km, 7, 1e-9}, {&SI::lapse_rate_700_500_k_km, 7, 0.05},
        {&SI::freezing_level_m, 4200 + 1400 * 0.6 / 9.8, 1e-6},
        {&SI::lcl_height_m, 1250, 40}}},
      {"no levels", {}, N, false, N, N, N, N},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Sounding s = make_sounding(c.rows);
    const indices::SoundingIndices ix = indices::compute_indices(s, std::nan(""));
    const Env env(c.rows);

    if (!std::isnan(c.sb_lcl_p)) {
      EXPECT_NEAR(ix.surface_based.lcl.pressure_hpa, c.sb_lcl_p, 1.0);
    }
    EXPECT_EQ(!std::isnan(ix.surface_based.lfc_pressure_hpa), c.sb_has_lfc);
    const auto near_or_missing = [](double v, double expected, double tol, const char* what) {
      if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(v)) << what << " = " << v;
      else
        EXPECT_NEAR(v, expected, tol) << what;
    };
    near_or_missing(ix.k_index_c, c.k_index, 0.05, "K index");
    near_or_missing(ix.total_totals_c, c.total_totals, 0.05, "total totals");
    near_or_missing(ix.bulk_shear_0_1km_m_s, c.shear01, 0.05, "0-1 km shear");
    near_or_missing(ix.bulk_shear_0_6km_m_s, c.shear06, 0.05, "0-6 km shear");

    for (size_t i = 0; i < c.severe.size(); ++i)
      near_or_missing(ix.*c.severe[i].field, c.severe[i].value, c.severe[i].tol,
                      ("severe-weather expectation " + std::to_string(i)).c_str());

    const struct {
      const char* what;
      const Parcel& parcel;
    } parcels[] = {{"surface-based", ix.surface_based},
                   {"mixed-layer", ix.mixed_layer},
                   {"most unstable", ix.most_unstable}};
    for (const auto& [what, parcel] : parcels) {
      SCOPED_TRACE(what);
      if (env.xd.empty()) {
        EXPECT_TRUE(std::isnan(parcel.cape_j_kg));
        continue;
      }
      const Reference ref = fine_integration(env, parcel);
      EXPECT_NEAR(parcel.cape_j_kg, ref.cape, std::max(1.0, 0.01 * ref.cape)) << "CAPE";
      near_or_missing(parcel.cin_j_kg, ref.cin, std::max(1.0, 0.01 * std::fabs(ref.cin)), "CIN");
      near_or_missing(parcel.lfc_pressure_hpa, ref.lfc, 1.0, "LFC");
      near_or_missing(parcel.el_pressure_hpa, ref.el, 1.0, "EL");
      EXPECT_FALSE(parcel.cin_j_kg > 0.0);
    }
    // Precipitable water against the integral of q dp / g in 0.1 hPa steps.
    if (env.xd.empty()) {
      EXPECT_TRUE(std::isnan(ix.precipitable_water_mm));
    } else {
      double pw = 0;
      for (double p = std::exp(env.xd.front()) - 0.05; p > std::exp(env.xd.back()); p -= 0.1) {
        const double r = thermo::mixing_ratio_from_dewpoint(p, Env::interp(env.xd, env.td, std::log(p)));
        pw += r / (1 + r) * 10.0 / thermo::kG;
      }
      EXPECT_NEAR(ix.precipitable_water_mm, pw, 0.005 * pw) << "precipitable water";
    }
  }
}

// Details the table above does not show: what each parcel starts from, and
// the lifted and Showalter indices of the capping-inversion sounding.
TEST(Indices, ParcelStartsAndLiftedIndices) {
  const double N = kNaN;
  const std::vector<Row> rows = {
      {9, 1000, 100, 30, 22, N, N}, {4, 950, 560, 25.5, 24, N, N},
      {4, 900, 1030, 21, 18, N, N}, {4, 850, 1520, 23, 8, N, N},
      {4, 700, 3130, 10, -5, N, N}, {4, 500, 5760, -10, -25, N, N},
      {4, 300, 9400, -38, -50, N, N}};
  const indices::SoundingIndices ix = indices::compute_indices(make_sounding(rows), std::nan(""));
  // The most unstable parcel is the 950 hPa level (highest theta_e).
  EXPECT_DOUBLE_EQ(ix.most_unstable.start_pressure_hpa, 950);
  EXPECT_NEAR(ix.most_unstable.start_dewpoint_k, kC + 24, 1e-9);
  // The mixed-layer parcel starts at the surface with the layer's mean
  // theta: the levels 1000, 950, 900 weighted 25, 50, 25 hPa.
  const double theta = (thermo::potential_temperature(1000, kC + 30) * 25 +
                        thermo::potential_temperature(950, kC + 25.5) * 50 +
                        thermo::potential_temperature(900, kC + 21) * 25) / 100;
  EXPECT_NEAR(ix.mixed_layer.start_temperature_k, theta, 0.05);
  EXPECT_DOUBLE_EQ(ix.mixed_layer.start_pressure_hpa, 1000);
  // Showalter: the 850 hPa parcel (23 / 8 degC) lifted to 500 hPa.
  EXPECT_NEAR(ix.showalter_k,
              kC - 10 - thermo::lifted_parcel_temperature(850, kC + 23, kC + 8, 500), 0.05);
  EXPECT_NEAR(ix.lifted_index_k,
              kC - 10 - thermo::lifted_parcel_temperature(1000, ix.mixed_layer.start_temperature_k,
                                                          ix.mixed_layer.start_dewpoint_k, 500),
              0.05);
  // The trace of the surface parcel starts at the surface and includes its LCL.
  const auto trace = indices::parcel_trace(make_sounding(rows), ParcelKind::kSurfaceBased);
  ASSERT_FALSE(trace.empty());
  EXPECT_DOUBLE_EQ(trace.front().pressure_hpa, 1000);
  EXPECT_DOUBLE_EQ(trace.back().pressure_hpa, 300);
  bool has_lcl = false;
  for (const auto& pt : trace) has_lcl |= std::fabs(pt.pressure_hpa - ix.surface_based.lcl.pressure_hpa) < 1e-9;
  EXPECT_TRUE(has_lcl);
}

}  // namespace

// Levels without a reported height get one: the surface at the station's
// elevation, log-pressure interpolation between levels with heights, the
// hypsometric equation (Rd/g = 29.27082 m/K) beyond them. Expected values
// worked by hand; the bulk shear then starts at the surface.
TEST(Indices, HeightsOfLevelsWithoutOne) {
  const double N = kNaN;
  const struct {
    const char* name;
    std::vector<Row> rows;
    double elevation;
    std::vector<double> heights;
    double shear01, shear06;
  } cases[] = {
      // Surface without a height (as IGRA2 and TEMP often give it) and a
      // wind level between mandatory levels: 857 hPa at
      // 790 + 690 ln(925/857) / ln(925/850) = 1413.07 m; 600 hPa at
      // 3050 + 2650 ln(700/600) / ln(700/500) = 4264.07 m. The shear is
      // taken from the surface wind at 200 m (from 925 hPa, leaving out
      // the 857 hPa wind, it was 4.64 and 17.18 m/s).
      {"surface at the station's elevation",
       {{9, 988, N, 12, 4, 265, 9},
        {4, 925, 790, 8, 2, 305, 18},
        {6, 857, N, N, N, 315, 23},
        {4, 850, 1480, 5, -1, 310, 22},
        {4, 700, 3050, -4, -12, 300, 25},
        {5, 600, N, -12, -25, N, N},
        {4, 500, 5700, -20, -35, 290, 30},
        {4, 400, 7350, -31, -45, 285, 35}},
       200,
       {200, 790, 1413.07, 1480, 3050, 4264.07, 5700, 7350},
       16.476, 23.495},
      // No elevation: the surface 29.27082 * (288.15 + 280.15) / 2 *
      // ln(1000/900) below 900 hPa; 800 hPa as far above it with 276.65 K;
      // 700 hPa (no temperature) isothermal at 273.15 K above 800 hPa; a
      // level without a pressure stays missing.
      {"hypsometric above and below, temperature only",
       {{9, 1000, N, 15, N, 180, 5},
        {4, 900, 1000, 7, N, 180, 5},
        {5, 800, N, 0, N, N, N},
        {6, 700, N, N, N, 270, 10},
        {6, N, N, N, N, 270, 10}},
       N,
       {123.69, 1000, 1953.78, 3021.40, N},
       N, N},
      // Saturated at 20 degC: virtual temperatures 295.763 K at 1000 hPa
      // and 296.056 K at 900 hPa (Bolton's saturation vapour pressure),
      // 912.58 m where the temperature alone gives 904.07 m.
      {"virtual temperature where the dew point is known",
       {{9, 1000, 0, 20, 20, N, N}, {5, 900, N, 20, 20, N, N}},
       N,
       {0, 912.58},
       N, N},
      {"no level with a height and no elevation",
       {{9, 1000, N, 15, N, N, N}, {5, 900, N, 7, N, N, N}},
       N,
       {N, N},
       N, N},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Sounding s = make_sounding(c.rows);
    const std::vector<double> z = heights::level_heights(s, c.elevation);
    ASSERT_EQ(z.size(), c.heights.size());
    for (size_t i = 0; i < z.size(); ++i) {
      if (std::isnan(c.heights[i]))
        EXPECT_TRUE(std::isnan(z[i])) << "level " << i << " = " << z[i];
      else
        EXPECT_NEAR(z[i], c.heights[i], 0.01) << "level " << i;
    }
    const indices::SoundingIndices ix = indices::compute_indices(s, c.elevation);
    if (!std::isnan(c.shear01)) {
      EXPECT_NEAR(ix.bulk_shear_0_1km_m_s, c.shear01, 0.001);
      EXPECT_NEAR(ix.bulk_shear_0_6km_m_s, c.shear06, 0.001);
    }
  }
}

// The composite parameters at the reference points of their definitions
// (each term 1 gives 1), their caps and cut-offs, and missing inputs.
TEST(Indices, CompositeParameters) {
  const double N = kNaN;
  const struct {
    const char* name;
    double value, expected;
  } cases[] = {
      {"STP fixed, every term 1", indices::significant_tornado_fixed(1500, 900, 150, 20), 1},
      {"STP fixed, LCL term 0.5, shear capped at 30 m/s",
       indices::significant_tornado_fixed(3000, 1500, 300, 35), 3},
      {"STP fixed, LCL above 2000 m", indices::significant_tornado_fixed(3000, 2100, 300, 35), 0},
      {"STP fixed, shear below 12.5 m/s", indices::significant_tornado_fixed(3000, 900, 300, 12), 0},
      {"STP fixed, no CAPE", indices::significant_tornado_fixed(0, 900, 300, 20), 0},
      {"STP fixed, no shear", indices::significant_tornado_fixed(0, 900, 300, N), N},
      {"STP effective, CIN -100", indices::significant_tornado_effective(1500, 900, 150, 20, -100), 100.0 / 150},
      {"STP effective, CIN term capped at 1",
       indices::significant_tornado_effective(1500, 900, 150, 20, -10), 1},
      {"STP effective, CIN below -200", indices::significant_tornado_effective(1500, 900, 150, 20, -250), 0},
      {"STP effective, no CAPE and so no CIN",
       indices::significant_tornado_effective(0, 900, 150, 20, N), 0},
      {"SCP, every term 1", indices::supercell_composite(1000, 50, 20, -10), 1},
      {"SCP, shear capped at 20 m/s, CIN term -40/-80",
       indices::supercell_composite(2000, 100, 25, -80), 2},
      {"SCP, shear below 10 m/s", indices::supercell_composite(2000, 100, 9, -10), 0},
      {"SCP, no CAPE known", indices::supercell_composite(N, 100, 25, -10), N},
  };
  for (const auto& c : cases) {
    if (std::isnan(c.expected))
      EXPECT_TRUE(std::isnan(c.value)) << c.name;
    else
      EXPECT_NEAR(c.value, c.expected, 1e-12) << c.name;
  }
}
