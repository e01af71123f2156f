// From a ZIR block to the curves and barbs of the diagram.
#include "skewt_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace drovane {
namespace {

constexpr long kMissingTenths = 99999;
constexpr long kMissingWholeMb = 32767;
constexpr double kKnotsPerMetrePerSecond = 1.943844;
// Plausible bounds of a measured value; anything outside is not plotted.
constexpr double kLowestCelsius = -150.0, kHighestCelsius = 80.0;
constexpr double kHighestSpeedKt = 400.0;

bool missing(long v) { return v == kMissingTenths || v == kMissingWholeMb; }

// Height of a pressure on the diagram's log-p axis.
double diagram_height(double p_mb) { return -44.061 * std::log10(p_mb); }

bool by_decreasing_pressure_curve(const CurvePoint& a, const CurvePoint& b) {
  return a.p_mb > b.p_mb;
}

void add_celsius(std::vector<CurvePoint>& curve, double p_mb, long tenths) {
  if (missing(tenths)) return;
  const double c = tenths / 10.0;
  if (c < kLowestCelsius || c > kHighestCelsius) return;
  curve.push_back({p_mb, c});
}

std::string format(const char* fmt, double a, char ca, double b, char cb,
                   long elev) {
  char buf[96];
  std::snprintf(buf, sizeof buf, fmt, a, ca, b, cb, elev);
  return buf;
}

}  // namespace

SkewtPlot build_skewt_plot(const ZirBlock& block) {
  SkewtPlot plot;
  const bool tenths = detect_pressure_unit(block) == PressureUnit::tenths_mb;
  const bool knots = block.wind_units == "kt";
  std::vector<WindBarb> winds;
  for (const ZirLevel& l : block.levels) {
    if (missing(l.pr)) continue;
    const double p = tenths ? l.pr / 10.0 : static_cast<double>(l.pr);
    if (p < kTopPressureMb || p > kBottomPressureMb) continue;
    add_celsius(plot.temperature, p, l.tp);
    add_celsius(plot.dew_point, p, l.dp);
    if (!missing(l.wd) && !missing(l.ws) && l.wd >= 0 && l.wd <= 360 &&
        l.ws >= 0) {
      const double kt = knots ? static_cast<double>(l.ws)
                              : l.ws / 10.0 * kKnotsPerMetrePerSecond;
      if (kt <= kHighestSpeedKt)
        winds.push_back({p, kt, static_cast<double>(l.wd)});
    }
  }
  std::stable_sort(plot.temperature.begin(), plot.temperature.end(),
                   by_decreasing_pressure_curve);
  std::stable_sort(plot.dew_point.begin(), plot.dew_point.end(),
                   by_decreasing_pressure_curve);
  std::stable_sort(winds.begin(), winds.end(),
                   [](const WindBarb& a, const WindBarb& b) {
                     return a.p_mb > b.p_mb;
                   });
  // Keep a barb only where it clears the last one kept.
  for (const WindBarb& w : winds) {
    if (plot.winds.empty() ||
        diagram_height(w.p_mb) - diagram_height(plot.winds.back().p_mb) >=
            kMinBarbSpacing) {
      plot.winds.push_back(w);
    }
  }

  std::string station = block.init;
  if (!station.empty()) station += "  ";
  station += std::to_string(block.wmo);
  char when[64];
  std::snprintf(when, sizeof when, "%02ld UTC  %ld %s %ld", block.hour,
                block.day, block.month.c_str(), block.year);
  plot.title = station + "    " + when;
  plot.subtitle = format("%.2f%c  %.2f%c   elevation %ld m", block.lat,
                         block.clat, block.lon, block.clon, block.elev);
  return plot;
}

}  // namespace drovane
