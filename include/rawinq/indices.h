// Per-sounding derived quantities: the lifting condensation level, the
// convective energy of three parcels, precipitable water, the stability
// indices and the bulk wind shear. Every thermodynamic step is one of
// rawinq/thermo.h. Units: pressure hPa, temperature K (the lifted and
// Showalter indices in K, differences that equal degC; K index and total
// totals in degC), energy J/kg, water mm, shear m/s. A value that the
// sounding cannot give (no surface dew point, no 500 hPa temperature,
// a parcel without a level of free convection) is NaN.
//
// The environment is the sounding's levels with a pressure and a
// temperature, in order of decreasing pressure; between levels temperature
// and dew point are linear in ln p. Levels without a dew point count as dry
// where a mixing ratio is needed above the highest dew point.
#pragma once

#include <limits>
#include <vector>

#include "rawinq/sounding.h"
#include "rawinq/thermo.h"

namespace rawinq::indices {

// The parcels whose ascent is computed.
enum class ParcelKind {
  kSurfaceBased,  // the surface level's temperature and dew point
  kMixedLayer,    // mean theta and mixing ratio of the lowest 100 hPa,
                  // starting at the surface pressure
  kMostUnstable,  // the level of highest theta_e in the lowest 300 hPa
};

// One point of a parcel's ascent: its temperature and virtual temperature
// and the environment's virtual temperature at the same pressure.
struct TracePoint {
  double pressure_hpa;
  double temperature_k;
  double virtual_temperature_k;
  double environment_virtual_temperature_k;
};

// A lifted parcel. CAPE is Rd times the integral of the positive virtual
// temperature excess over d(ln p) from the LFC to the EL (or the top of the
// sounding while the parcel is still buoyant there); CIN (zero or
// negative) is the same integral of the negative excess from the parcel's
// start to the LFC. The LFC is the LCL when the parcel is buoyant there,
// else the first level above the LCL where it becomes buoyant; the EL is
// the highest level above the LFC where it stops being buoyant. A parcel
// that never becomes buoyant has CAPE 0 and no LFC, EL or CIN (NaN).
struct Parcel {
  double start_pressure_hpa;
  double start_temperature_k;
  double start_dewpoint_k;
  thermo::Lcl lcl;
  double cape_j_kg;
  double cin_j_kg;
  double lfc_pressure_hpa;
  double el_pressure_hpa;
};

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct SoundingIndices {
  Parcel surface_based;
  Parcel mixed_layer;
  Parcel most_unstable;
  // (1/g) times the integral of specific humidity over pressure, from the
  // surface to the highest level with a dew point, in mm of liquid water.
  double precipitable_water_mm;
  // T(500) minus the mixed-layer parcel's temperature at 500 hPa.
  double lifted_index_k;
  // (T850 - T500) + Td850 - (T700 - Td700), degC  (George 1960).
  double k_index_c;
  // T850 + Td850 - 2 T500, degC  (Miller 1972).
  double total_totals_c;
  // T(500) minus the temperature at 500 hPa of a parcel lifted from
  // 850 hPa (Showalter 1953).
  double showalter_k;
  // Magnitude of the vector difference between the wind at the surface and
  // the wind 1 km and 6 km above it; winds linear in height, every level at
  // its reported or computed height (rawinq/heights.h).
  double bulk_shear_0_1km_m_s;
  double bulk_shear_0_6km_m_s;

  // The kinematic and composite parameters of severe-weather forecasting.
  // Heights are above ground level (the surface's reported or computed
  // height); winds are linear in height between levels, thermodynamic
  // quantities linear in ln p. NaN where the sounding does not reach or
  // carry what a parameter needs.
  //
  // Storm motion of the right and left movers by the internal-dynamics
  // method (Bunkers et al. 2000, Wea. Forecasting 15, 61-79): the 0-6 km
  // mean wind (not pressure-weighted: the mean over height) plus or minus
  // D = 7.5 m/s normal to the shear vector from the 0-0.5 km mean wind to
  // the 5.5-6 km mean wind, the right mover to the right of it:
  //   V_right = V_mean + D (S x k) / |S|,  V_left = V_mean - D (S x k) / |S|.
  double bunkers_right_u_m_s = kNoValue, bunkers_right_v_m_s = kNoValue;
  double bunkers_left_u_m_s = kNoValue, bunkers_left_v_m_s = kNoValue;
  // Storm-relative helicity of the right mover over 0-1 and 0-3 km, m2/s2
  // (Davies-Jones et al. 1990, preprints 16th Conf. on Severe Local Storms,
  // 588-592), summed over the wind levels of the layer
  // and its interpolated ends:
  //   SRH = sum[(u_k+1 - cx)(v_k - cy) - (u_k - cx)(v_k+1 - cy)].
  double srh_0_1km_m2_s2 = kNoValue, srh_0_3km_m2_s2 = kNoValue;
  // The effective inflow layer (Thompson et al. 2007, Wea. Forecasting 22,
  // 102-115): from the lowest level whose lifted parcel has CAPE >= 100
  // J/kg and CIN >= -250 J/kg up to the last level of the contiguous run of
  // such levels; the base is looked for in the lowest 300 hPa. NaN when
  // there is none.
  double effective_inflow_base_hpa = kNoValue, effective_inflow_top_hpa = kNoValue;
  // SRH of the right mover over the effective inflow layer, and the bulk
  // wind difference from its base to half way from the base to the
  // most-unstable parcel's equilibrium level (Thompson et al. 2007). Zero
  // when the sounding has no effective inflow layer.
  double effective_srh_m2_s2 = kNoValue, effective_bulk_shear_m_s = kNoValue;
  // Significant tornado parameter, fixed layer (Thompson et al. 2003, Wea.
  // Forecasting 18, 1243-1261, as the Storm Prediction Center computes it):
  //   (sbCAPE / 1500) (2000 - sbLCL) / 1000 (SRH01 / 150) (BWD06 / 20),
  // the LCL term 1 below 1000 m and 0 above 2000 m, the shear term 0 below
  // 12.5 m/s and 1.5 above 30 m/s.
  double stp_fixed = kNoValue;
  // Significant tornado parameter, effective layer with CIN (Thompson et
  // al. 2012, Wea. Forecasting 27, 1136-1154):
  //   (mlCAPE / 1500) (2000 - mlLCL) / 1000 (ESRH / 150) (EBWD / 20)
  //   (200 + mlCIN) / 150,
  // LCL and shear terms as above, the CIN term 1 above -50 J/kg and 0
  // below -200 J/kg.
  double stp_effective = kNoValue;
  // Supercell composite parameter (Thompson et al. 2004, preprints 22nd
  // Conf. on Severe Local Storms, P8.1; the Storm Prediction Center's form
  // with the CIN term):
  //   (muCAPE / 1000) (ESRH / 50) (EBWD / 20) (-40 / muCIN),
  // the shear term 0 below 10 m/s and 1 above 20 m/s, the CIN term 1 when
  // muCIN is above -40 J/kg.
  double scp = kNoValue;
  // Downdraft CAPE, J/kg (Gilmore and Wicker 1998, Mon. Wea. Rev. 126,
  // 943-958): the parcel starts at the middle of the 100 hPa layer of
  // lowest mean theta_e within the lowest 400 hPa, at its wet-bulb
  // temperature, and descends along the pseudo-adiabat (kept saturated by
  // evaporation) to the surface;
  //   DCAPE = Rd * integral of (Tv_env - Tv_parcel) d(ln p).
  double dcape_j_kg = kNoValue;
  // Environmental lapse rates, K/km: -(T(3 km) - T(0)) / 3 km, and
  // -(T500 - T700) / (z500 - z700).
  double lapse_rate_0_3km_k_km = kNoValue, lapse_rate_700_500_k_km = kNoValue;
  // Heights of the first crossing of 0 degC going up from the surface by
  // the temperature and by the wet-bulb temperature (0 when the surface is
  // at or below 0 degC).
  double freezing_level_m = kNoValue, wet_bulb_zero_m = kNoValue;
  // Height of the surface parcel's lifting condensation level.
  double lcl_height_m = kNoValue;
};

// station_elevation_m: the station's elevation (the surface's height when
// the sounding reports none), NaN when unknown.
SoundingIndices compute_indices(const Sounding& sounding, double station_elevation_m);

// The composite parameters of their inputs (formulas with the fields of
// SoundingIndices above); NaN when an input the result depends on is NaN,
// zero when the CAPE is zero whatever the CIN (a parcel without an LFC has
// none).
// CAPE and CIN J/kg, LCL heights m, helicities m2/s2, shears m/s.
double significant_tornado_fixed(double sb_cape, double sb_lcl_m, double srh_0_1km,
                                 double bulk_shear_0_6km);
double significant_tornado_effective(double ml_cape, double ml_lcl_m, double effective_srh,
                                     double effective_bulk_shear, double ml_cin);
double supercell_composite(double mu_cape, double effective_srh,
                           double effective_bulk_shear, double mu_cin);

// The quantities of one level, NaN where its pressure, temperature or (for
// all but theta) dew point is missing.
struct LevelQuantities {
  double theta_k;                // potential temperature
  double theta_e_k;              // equivalent potential temperature (Bolton)
  double theta_v_k;              // virtual potential temperature
  double mixing_ratio_g_kg;      // of the dew point
  double relative_humidity_pct;  // over water
};

LevelQuantities level_quantities(const DATA_TYPE& level);

// The ascent of one parcel from its start to the top of the environment,
// at the environment's levels, the LCL and intermediate pressures (steps of
// at most 0.02 in ln p); empty when the parcel cannot be formed.
std::vector<TracePoint> parcel_trace(const Sounding& sounding, ParcelKind kind);

}  // namespace rawinq::indices
