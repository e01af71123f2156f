// What the diagram shows of one sounding, in the units of the diagram:
// pressure in mb, temperatures in degrees C, wind speed in knots.
#pragma once

#include <string>
#include <vector>

#include "zir_block.h"

namespace drovane {

// The diagram spans 1050 mb to 100 mb; levels down to 1100 mb are kept and
// clipped at the frame.
constexpr double kTopPressureMb = 100.0;
constexpr double kBottomPressureMb = 1100.0;
// Least height (in diagram units, 44.061 per decade of pressure) between
// two wind barbs, so that barbs do not overlap.
constexpr double kMinBarbSpacing = 1.2;

struct CurvePoint {
  double p_mb;
  double celsius;
};

struct WindBarb {
  double p_mb;
  double speed_kt;
  double direction_deg;  // where the wind comes from
};

struct SkewtPlot {
  std::string title;     // station, hour and date
  std::string subtitle;  // position and elevation
  std::vector<CurvePoint> temperature;  // by decreasing pressure
  std::vector<CurvePoint> dew_point;    // by decreasing pressure
  std::vector<WindBarb> winds;          // by decreasing pressure, thinned
};

// Skips missing values (99999, 32767), values no sounding can hold and
// levels outside the diagram's pressure range.
SkewtPlot build_skewt_plot(const ZirBlock& block);

}  // namespace drovane
