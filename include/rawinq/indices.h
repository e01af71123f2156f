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
};

// station_elevation_m: the station's elevation (the surface's height when
// the sounding reports none), NaN when unknown.
SoundingIndices compute_indices(const Sounding& sounding, double station_elevation_m);

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
