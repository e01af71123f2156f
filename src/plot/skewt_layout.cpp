// The geometry of the skew-T plots; definitions in rawinq/skewt_layout.h.
#include "rawinq/skewt_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "rawinq/heights.h"

namespace rawinq::plot {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;
constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;

// Bounds of what a sounding can hold; anything outside is not drawn.
constexpr double kLowestCelsius = -150, kHighestCelsius = 80;
constexpr double kHighestSpeedKt = 400;
constexpr double kHighestMb = 1100;

// The standard diagram, 1050 to 100 mb, spans 90 degrees C along its
// bottom, from -40 C. A lower top keeps the 45 degree isotherms and spreads
// the pressure axis; the temperature scale then grows with it, up to
// kMostZoom times.
constexpr double kStandardSpanCelsius = 90;
constexpr double kStandardLeftCelsius = -40;
constexpr double kMostZoom = 1.5;

double celsius(long tenths) {
  if (is_missing(tenths)) return kNaN;
  const double c = tenths / 10.0;
  return c >= kLowestCelsius && c <= kHighestCelsius ? c : kNaN;
}

}  // namespace

std::vector<Level> plot_levels(const Sounding& sounding,
                               double station_elevation_m) {
  const std::vector<double> z =
      heights::level_heights(sounding, station_elevation_m);
  std::vector<Level> levels;
  levels.reserve(sounding.levels.size());
  for (size_t i = 0; i < sounding.levels.size(); ++i) {
    const DATA_TYPE& d = sounding.levels[i];
    if (is_missing(d.pr) || d.pr <= 0 || d.pr > kHighestMb * 10) continue;
    Level l{d.pr / 10.0, z[i], celsius(d.tp), celsius(d.dp), kNaN, kNaN};
    if (!is_missing(d.wd) && !is_missing(d.ws) && d.wd >= 0 && d.wd <= 360 &&
        d.ws >= 0) {
      const double kt = d.ws / 10.0 * kKnotsPerMetrePerSecond;
      if (kt <= kHighestSpeedKt) {
        l.dir_deg = double(d.wd);
        l.speed_kt = kt;
      }
    }
    // A dew point above the temperature is no measurement of humidity.
    if (l.td_c > l.t_c) l.td_c = kNaN;
    levels.push_back(l);
  }
  std::stable_sort(levels.begin(), levels.end(),
                   [](const Level& a, const Level& b) { return a.p_mb > b.p_mb; });
  return levels;
}

Diagram::Diagram(double top_mb, double left_celsius, double px_per_celsius)
    : top_mb_(top_mb),
      left_celsius_(left_celsius),
      px_per_celsius_(px_per_celsius),
      px_per_log_(kFrame.height() / std::log(kBottomMb / top_mb)) {}

double Diagram::y(double p_mb) const {
  return kFrame.bottom - px_per_log_ * std::log(kBottomMb / p_mb);
}

double Diagram::x(double celsius, double p_mb) const {
  return kFrame.left + (celsius - left_celsius_) * px_per_celsius_ +
         (kFrame.bottom - y(p_mb));
}

double Diagram::pressure_at(double y) const {
  return kBottomMb * std::exp(-(kFrame.bottom - y) / px_per_log_);
}

double Diagram::celsius_at(double x, double y) const {
  return left_celsius_ +
         (x - kFrame.left - (kFrame.bottom - y)) / px_per_celsius_;
}

Diagram Diagram::for_levels(const std::vector<Level>& levels) {
  double top = kLowestTopMb;
  for (const Level& l : levels) {
    if (!std::isnan(l.t_c) || !std::isnan(l.td_c) || !std::isnan(l.speed_kt))
      top = std::min(top, l.p_mb);
  }
  top = std::max(kHighestTopMb, std::floor(top / 50) * 50);
  const double full_log = std::log(kBottomMb / kHighestTopMb);
  const double log = std::log(kBottomMb / top);
  const double px = kFrame.width() / kStandardSpanCelsius *
                    std::clamp(full_log / log, 1.0, kMostZoom);
  const double span = kFrame.width() / px;

  // The temperature trace's extent measured along the bottom: from the
  // coldest dew point or temperature to the warmest temperature.
  const Diagram unshifted(top, 0, px);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const Level& l : levels) {
    if (l.p_mb < top || l.p_mb > kBottomMb) continue;
    for (double c : {l.t_c, l.td_c}) {
      if (std::isnan(c)) continue;
      const double along =
          unshifted.celsius_at(unshifted.x(c, l.p_mb), kFrame.bottom);
      lo = std::min(lo, along);
      if (c == l.t_c) hi = std::max(hi, along);
    }
  }
  // The standard range where the traces fit it; a shorter diagram centred
  // on its traces.
  double left = top == kHighestTopMb
                    ? kStandardLeftCelsius
                    : std::floor(((lo + hi) / 2 - span / 2) / 5) * 5;
  if (lo < left) left = std::floor(lo / 5) * 5;
  if (hi > left + span) left = std::ceil(hi - span + 2);
  if (!std::isfinite(left)) left = kStandardLeftCelsius;
  return Diagram(top, left, px);
}

Diagram Diagram::for_range(double tmin_c, double tmax_c) {
  const double px = kFrame.width() / (tmax_c - tmin_c);
  // x(tmin, 1000) is the frame's left edge.
  const Diagram unshifted(kHighestTopMb, 0, px);
  return Diagram(kHighestTopMb, tmin_c + (kFrame.bottom - unshifted.y(1000)) / px, px);
}

std::pair<double, double> trace_extent(const std::vector<Level>& levels) {
  const Diagram d = Diagram::for_range(0, kStandardSpanCelsius);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const Level& l : levels) {
    if (l.p_mb < kHighestTopMb || l.p_mb > kBottomMb) continue;
    for (double c : {l.t_c, l.td_c}) {
      if (std::isnan(c)) continue;
      const double along = d.celsius_at(d.x(c, l.p_mb), d.y(1000)) - d.celsius_at(kFrame.left, d.y(1000));
      lo = std::min(lo, along);
      if (c == l.t_c) hi = std::max(hi, along);
    }
  }
  return {lo, hi};
}

std::pair<double, double> trace_extent(const Sounding& sounding, const STATREC& station) {
  return trace_extent(plot_levels(sounding, heights::station_elevation(station.elev)));
}

std::pair<double, double> axis_range(std::pair<double, double> extent) {
  double lo = std::floor(extent.first / 5) * 5, hi = std::ceil(extent.second / 5) * 5;
  if (!(lo <= hi)) {
    lo = kStandardLeftCelsius;
    hi = lo + kStandardSpanCelsius;
  }
  // Widened evenly to the standard span.
  const double missing = kStandardSpanCelsius - (hi - lo);
  if (missing > 0) {
    lo -= std::floor(missing / 10) * 5;
    hi = lo + kStandardSpanCelsius;
  }
  return {lo, hi};
}

namespace {

// Whether the segment from a to b passes through the box (Liang and Barsky's
// clipping).
bool crosses(std::pair<double, double> a, std::pair<double, double> b, const Rect& r) {
  const double dx = b.first - a.first, dy = b.second - a.second;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.first - r.left, r.right - a.first, a.second - r.top,
                       r.bottom - a.second};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  return true;
}

bool overlap(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

void LabelSpace::add_line(const std::vector<std::pair<double, double>>& points) {
  for (size_t i = 1; i < points.size(); ++i)
    segments_.push_back({points[i - 1], points[i]});
}

bool LabelSpace::free(const Rect& box) const {
  if (box.left < area_.left || box.right > area_.right || box.top < area_.top ||
      box.bottom > area_.bottom)
    return false;
  for (const auto& s : segments_)
    if (crosses(s.first, s.second, box)) return false;
  for (const Rect& t : taken_)
    if (overlap(t, box)) return false;
  return true;
}

Rect LabelSpace::place(const std::vector<Rect>& candidates) {
  for (const Rect& c : candidates)
    if (free(c)) {
      taken_.push_back(c);
      return c;
    }
  ++collisions_;
  taken_.push_back(candidates.front());
  return candidates.front();
}

const Rect* LabelSpace::place_if_free(const std::vector<Rect>& candidates) {
  for (const Rect& c : candidates)
    if (free(c)) {
      taken_.push_back(c);
      return &taken_.back();
    }
  return nullptr;
}

Rect label_box(double x, double y, std::size_t n, double size) {
  const double w = 0.66 * size * static_cast<double>(n) + 2, h = size + 2;
  return {x - w / 2, y - h / 2, x + w / 2, y + h / 2};
}

BarbShape barb_shape(double x, double y, double dir_deg, double speed_kt,
                     bool southern) {
  BarbShape b;
  b.x = x;
  b.y = y;
  int five_kt = static_cast<int>(std::lround(speed_kt / 5));
  if (five_kt == 0) {
    b.calm_radius = 4;
    return b;
  }
  const double a = dir_deg * kPi / 180;
  // Along the staff towards where the wind comes from; across it to the
  // side of the feathers.
  const double ux = std::sin(a), uy = -std::cos(a);
  const double side = southern ? -1 : 1;
  const double vx = -uy * side, vy = ux * side;
  // Feathers lean a little towards the staff's end.
  const double lean = 0.35;
  const double fx = (vx + lean * ux), fy = (vy + lean * uy);
  const double tip_x = x + kBarbStaff * ux, tip_y = y + kBarbStaff * uy;
  b.lines.push_back({x, y, tip_x, tip_y});
  double along = kBarbStaff;  // distance from the point of the next mark
  constexpr double kStep = 5.5, kPennantBase = 8;
  while (five_kt >= 10) {
    const double bx = x + along * ux, by = y + along * uy;
    const double ex = x + (along - kPennantBase) * ux,
                 ey = y + (along - kPennantBase) * uy;
    b.pennants.push_back({bx, by, bx + kBarbFeather * fx,
                          by + kBarbFeather * fy, ex, ey});
    along -= kPennantBase + 2;
    five_kt -= 10;
  }
  bool first = true;
  while (five_kt >= 2) {
    const double bx = x + along * ux, by = y + along * uy;
    b.lines.push_back(
        {bx, by, bx + kBarbFeather * fx, by + kBarbFeather * fy});
    along -= kStep;
    five_kt -= 2;
    first = false;
  }
  if (five_kt == 1) {
    // A lone half feather stands off the staff's end.
    if (first && b.pennants.empty()) along -= kStep;
    const double bx = x + along * ux, by = y + along * uy;
    b.lines.push_back({bx, by, bx + kBarbFeather / 2 * fx,
                       by + kBarbFeather / 2 * fy});
  }
  // A very strong wind may need more staff than drawn: lengthen it.
  if (along < 4) b.lines[0] = {x, y, x + (kBarbStaff + 4 - along) * ux,
                               y + (kBarbStaff + 4 - along) * uy};
  return b;
}

namespace {

double point_segment(double px, double py, const Segment& s) {
  const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - s.x0) * dx + (py - s.y0) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - (s.x0 + t * dx), py - (s.y0 + t * dy));
}

double cross(double ax, double ay, double bx, double by) {
  return ax * by - ay * bx;
}

double segment_distance(const Segment& a, const Segment& b) {
  // Crossing segments touch.
  const double d1 = cross(a.x1 - a.x0, a.y1 - a.y0, b.x0 - a.x0, b.y0 - a.y0);
  const double d2 = cross(a.x1 - a.x0, a.y1 - a.y0, b.x1 - a.x0, b.y1 - a.y0);
  const double d3 = cross(b.x1 - b.x0, b.y1 - b.y0, a.x0 - b.x0, a.y0 - b.y0);
  const double d4 = cross(b.x1 - b.x0, b.y1 - b.y0, a.x1 - b.x0, a.y1 - b.y0);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) &&
      ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
    return 0;
  return std::min({point_segment(a.x0, a.y0, b), point_segment(a.x1, a.y1, b),
                   point_segment(b.x0, b.y0, a), point_segment(b.x1, b.y1, a)});
}

// The outline as segments: lines, pennant edges, and a calm circle as the
// square around it.
std::vector<Segment> outline(const BarbShape& b) {
  const double x = b.x, y = b.y;
  std::vector<Segment> s = b.lines;
  for (const std::vector<double>& t : b.pennants) {
    s.push_back({t[0], t[1], t[2], t[3]});
    s.push_back({t[2], t[3], t[4], t[5]});
    s.push_back({t[4], t[5], t[0], t[1]});
  }
  if (b.calm_radius > 0) {
    const double r = b.calm_radius;
    s.push_back({x - r, y - r, x + r, y - r});
    s.push_back({x + r, y - r, x + r, y + r});
    s.push_back({x + r, y + r, x - r, y + r});
    s.push_back({x - r, y + r, x - r, y - r});
  }
  return s;
}

}  // namespace

double barb_distance(const BarbShape& a, const BarbShape& b) {
  double best = std::numeric_limits<double>::infinity();
  for (const Segment& sa : outline(a))
    for (const Segment& sb : outline(b))
      best = std::min(best, segment_distance(sa, sb));
  return best;
}

std::vector<PlacedBarb> place_barbs(const std::vector<Level>& levels,
                                    const Diagram& diagram, double x,
                                    bool southern) {
  // Barbs further apart than twice a barb's reach cannot touch.
  constexpr double kReach = 2 * (kBarbStaff + kBarbFeather) + kBarbClearance;
  std::vector<PlacedBarb> kept;
  for (const Level& l : levels) {
    if (std::isnan(l.speed_kt) || l.p_mb > kBottomMb ||
        l.p_mb < diagram.top_mb())
      continue;
    const double y = diagram.y(l.p_mb);
    BarbShape shape = barb_shape(x, y, l.dir_deg, l.speed_kt, southern);
    bool clear = true;
    for (auto k = kept.rbegin(); clear && k != kept.rend(); ++k) {
      if (std::abs(k->y - y) > kReach) break;
      clear = barb_distance(shape, k->shape) >= kBarbClearance;
    }
    if (clear)
      kept.push_back({l.p_mb, y, l.dir_deg, l.speed_kt, std::move(shape)});
  }
  return kept;
}

}  // namespace rawinq::plot
