// Time-height sections of a station's soundings, drawn without a display
// into a PNG image, an SVG drawing or a PDF page: pressure (log scale,
// 1050 to 100 hPa) against time, the dew-point depression shaded, isotherms
// every 10 degC (0 degC bold) and a wind barb at every standard level a
// sounding reports a wind for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "rawinq/plot.h"
#include "rawinq/records.h"
#include "rawinq/sounding.h"

namespace rawinq::plot {

// The soundings' values on the section's pressure levels (1000 to 100 hPa
// every 25 hPa, kSectionLevels of them), linear in ln p between the levels
// a sounding reports; NaN outside a sounding's reported range.
constexpr std::size_t kSectionLevels = 37;
double section_pressure(std::size_t k);  // hPa, k = 0 is 1000 hPa
struct SectionColumn {
  long time = 0;  // YYYYMMDDHH
  std::vector<double> temperature_c, dewpoint_depression_c;  // kSectionLevels
};
SectionColumn section_column(const Sounding& sounding);

// Draws the section of soundings (in time order; at least one) into a new
// file at path, replacing one that is there; title heads the page. Throws
// PlotError when the file cannot be written, std::invalid_argument when
// there is no sounding.
void render_time_height(const std::vector<Sounding>& soundings,
                        const std::string& title, PlotKind kind,
                        const std::string& path);

}  // namespace rawinq::plot
