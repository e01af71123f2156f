// The geometry of the skew-T plots: the page's parts, the diagram's
// mapping of pressure and temperature to the page, the levels as the plot
// reads them, and the wind barbs' outlines and thinning. Page coordinates
// are in units of one PNG pixel, x to the right and y downwards; the SVG
// and PDF pages are the same drawing scaled to points.
#pragma once

#include <vector>

#include "rawinq/records.h"
#include "rawinq/sounding.h"

namespace rawinq::plot {

struct Rect {
  double left, top, right, bottom;
  double width() const { return right - left; }
  double height() const { return bottom - top; }
};

constexpr double kPageWidth = 1100;
constexpr double kPageHeight = 850;
// The diagram's frame; pressure and height labels left of it, temperature
// labels below.
constexpr Rect kFrame{90, 62, 700, 782};
// The barb column's centre line, right of the frame.
constexpr double kBarbColumnX = 745;
// Right of the barbs: the hodograph on top of the indices box.
constexpr Rect kHodograph{800, 62, 1080, 342};
constexpr Rect kIndicesBox{800, 362, 1080, 782};

constexpr double kBottomMb = 1050;
constexpr double kHighestTopMb = 100;
// A diagram always spans at least down from this pressure to the bottom.
constexpr double kLowestTopMb = 700;

// A level as the plot reads it: pressure in mb, height in m, temperature and
// dew point in degrees C, wind direction in degrees (where it comes from)
// and speed in knots; NaN where missing or where no sounding could hold
// the value.
struct Level {
  double p_mb, z_m, t_c, td_c, dir_deg, speed_kt;
};

// The levels with a pressure, by decreasing pressure (a stable order for
// equal pressures), each at its reported or computed height
// (rawinq/heights.h; station_elevation_m NaN when unknown).
std::vector<Level> plot_levels(const Sounding& sounding,
                               double station_elevation_m);

// The diagram's mapping: log-p upwards, isotherms at 45 degrees.
class Diagram {
 public:
  // The diagram for the levels: up to 100 mb, or to the top of the
  // sounding (rounded up to the next 50 mb) when it ends lower; the
  // temperature range chosen so that the temperature trace lies inside.
  static Diagram for_levels(const std::vector<Level>& levels);
  // The diagram up to 100 mb whose temperature axis at 1000 mb runs from
  // tmin_c to tmax_c (tmin_c < tmax_c).
  static Diagram for_range(double tmin_c, double tmax_c);

  Diagram(double top_mb, double left_celsius, double px_per_celsius);

  double y(double p_mb) const;
  double x(double celsius, double p_mb) const;
  // The pressure at height y of the page.
  double pressure_at(double y) const;
  // The temperature at (x, y) of the page.
  double celsius_at(double x, double y) const;

  double top_mb() const { return top_mb_; }
  double left_celsius() const { return left_celsius_; }
  double px_per_celsius() const { return px_per_celsius_; }

 private:
  double top_mb_, left_celsius_, px_per_celsius_;
  double px_per_log_;  // page units per unit of ln(p)
};

// The extent of the levels' traces on the standard diagram (100 mb top,
// kStandardSpan degrees wide), measured along the isotherms to 1000 mb:
// from the coldest temperature or dew point to the warmest temperature;
// (+inf, -inf) when there is none. The extents of several soundings
// together give a range for Diagram::for_range that holds them all.
std::pair<double, double> trace_extent(const std::vector<Level>& levels);
// The same of a sounding's levels as plotted at its station.
std::pair<double, double> trace_extent(const Sounding& sounding, const STATREC& station);
// A range for Diagram::for_range from an extent: whole 5 degrees around
// it, at least the standard diagram's span.
std::pair<double, double> axis_range(std::pair<double, double> extent);

// Room for the labels of one panel: each label takes the first of its
// candidate boxes that lies inside the area and touches no line given and
// no label placed before it.
class LabelSpace {
 public:
  explicit LabelSpace(Rect area) : area_(area) {}
  // A line (a polyline of page points) that labels keep off.
  void add_line(const std::vector<std::pair<double, double>>& points);
  bool free(const Rect& box) const;
  // The first free candidate, now taken; when none is free, the first
  // candidate, taken and counted as a collision.
  Rect place(const std::vector<Rect>& candidates);
  // The first free candidate, now taken; none when no candidate is free
  // (a label that may be left out).
  const Rect* place_if_free(const std::vector<Rect>& candidates);
  // A mark that labels keep off (a dot on a line), taken as it is.
  void reserve(const Rect& box) { taken_.push_back(box); }
  int collisions() const { return collisions_; }

 private:
  Rect area_;
  std::vector<std::pair<std::pair<double, double>, std::pair<double, double>>> segments_;
  std::vector<Rect> taken_;
  int collisions_ = 0;
};

// The box of a label of n characters of a font size, its centre at (x, y)
// (DejaVu Sans: some 0.62 of the size a character, a little wider bold).
Rect label_box(double x, double y, std::size_t n, double size);

// Wind barbs: a staff from the point toward where the wind comes from,
// with pennants of 50, feathers of 10 and half feathers of 5 knots at its
// far end, on the staff's right (northern hemisphere) or left (southern)
// as seen from the point, the side of low pressure; calm (under 2.5 knots)
// is a circle.
struct Segment {
  double x0, y0, x1, y1;
};

struct BarbShape {
  double x = 0, y = 0;                       // the point of the barb
  std::vector<Segment> lines;                // staff and feathers
  std::vector<std::vector<double>> pennants; // filled triangles x0 y0 x1 y1 x2 y2
  double calm_radius = 0;                    // > 0: a calm circle instead
};

constexpr double kBarbStaff = 34;
constexpr double kBarbFeather = 13;
// Least clearance between the outlines of two barbs that are both drawn.
constexpr double kBarbClearance = 2.5;

BarbShape barb_shape(double x, double y, double dir_deg, double speed_kt,
                     bool southern);

// The least distance between two barbs' outlines (0 when they touch).
double barb_distance(const BarbShape& a, const BarbShape& b);

struct PlacedBarb {
  double p_mb, y, dir_deg, speed_kt;
  BarbShape shape;
};

// The levels' winds on the column's line at x, from the bottom up, each kept
// only where it clears every barb kept before it by kBarbClearance; levels
// outside the diagram are left out.
std::vector<PlacedBarb> place_barbs(const std::vector<Level>& levels,
                                    const Diagram& diagram, double x,
                                    bool southern);

}  // namespace rawinq::plot
