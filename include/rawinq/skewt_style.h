// Colours and lines of the skew-T plots. Each family of background lines
// has its own light colour and its own dash pattern, so that the families
// stay apart in grey-scale print; the traces are dark and broad.
#pragma once

#include <vector>

namespace rawinq::plot {

struct Colour {
  double r, g, b, a = 1;
};

struct LineStyle {
  Colour colour;
  double width;
  std::vector<double> dashes;  // empty: solid
  Colour label;                // of the line's labels and legend sample
};

struct Style {
  Colour ink;
  Colour panel;  // background of the hodograph and the indices box
  LineStyle isobar, isotherm, zero_isotherm, dry_adiabat, moist_adiabat,
      mixing_ratio;
  LineStyle temperature, dew_point, virtual_temperature, parcel;
  Colour positive_area, negative_area;  // the negative one also hatched
  Colour helicity_area;                 // the hodograph's 0-3 km SRH area
  Colour inflow_layer;                  // the effective inflow layer's bar
  Colour barb;
  std::vector<LineStyle> hodograph_bands;  // one per kHodographBandMetres
};

// The hodograph's colour bands: 0-3, 3-6, 6-9 and 9-10 km above ground.
constexpr double kHodographBandMetres = 3000;

const Style& style();

}  // namespace rawinq::plot
