// Drawing the time-height section of a station's soundings with cairo.
#include "rawinq/time_height.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "cairo_page.h"
#include "canvas.h"
#include "fonts.h"
#include "rawinq/skewt_layout.h"

namespace rawinq::plot {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kWidth = 1100, kHeight = 700;
constexpr double kLeft = 80, kRight = 1060, kTop = 60, kBottom = 590;
constexpr double kSectionTopMb = 100, kSectionBottomMb = 1050;
constexpr double kPointsPerUnit = 842.0 / kWidth;
constexpr double kKnotsPerMs = 3600.0 / 1852.0;
constexpr double kPiValue = 3.14159265358979323846;
constexpr double kStandardMb[] = {1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100};

double y_of(double p_mb) {
  return kTop + (std::log(kSectionBottomMb) - std::log(p_mb)) /
                    (std::log(kSectionBottomMb) - std::log(kSectionTopMb)) * (kBottom - kTop);
}

long hours_since_epoch(long t) {
  long y = t / 1000000, m = t / 10000 % 100;
  const long d = t / 100 % 100;
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return (era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468) * 24 + t % 100;
}

long time_of(const Sounding& s) {
  const HEADER_TYPE& h = s.header;
  return h.year * 1000000L + h.month * 10000L + h.day * 100L + h.hour;
}

// The value of (p, v) pairs at p, linear in ln p; NaN outside them.
double interpolated(const std::vector<std::pair<double, double>>& pv, double p) {
  for (std::size_t k = 0; k + 1 < pv.size(); ++k) {
    const double p0 = pv[k].first, p1 = pv[k + 1].first;
    if (p <= p0 && p >= p1) {
      if (p0 == p1) return pv[k].second;
      const double f = (std::log(p0) - std::log(p)) / (std::log(p0) - std::log(p1));
      return pv[k].second + f * (pv[k + 1].second - pv[k].second);
    }
  }
  return pv.size() == 1 && pv[0].first == p ? pv[0].second : kNaN;
}

void text(cairo_t* cr, double x, double y, const std::string& s, double ax, double size,
          bool bold = false) {
  const PlotFonts& f = plot_fonts();
  cairo_set_font_face(cr, bold ? f.bold : f.regular);
  cairo_set_font_size(cr, size);
  const std::string utf8 = as_utf8(s);
  cairo_text_extents_t e;
  cairo_text_extents(cr, utf8.c_str(), &e);
  cairo_move_to(cr, x - ax * e.x_advance, y);
  cairo_show_text(cr, utf8.c_str());
}

// The segments of the isopleth of value v in the cell of corners a (x0,
// y0), b (x1, y0), c (x1, y1), d (x0, y1) (marching squares).
void isopleth_in_cell(cairo_t* cr, double x0, double x1, double y0, double y1, double a,
                      double b, double c, double d, double v) {
  if (std::isnan(a) || std::isnan(b) || std::isnan(c) || std::isnan(d)) return;
  struct P { double x, y; };
  std::vector<P> cut;
  const auto edge = [&](double va, double vb, P pa, P pb) {
    if ((va < v) == (vb < v)) return;
    const double f = (v - va) / (vb - va);
    cut.push_back({pa.x + f * (pb.x - pa.x), pa.y + f * (pb.y - pa.y)});
  };
  edge(a, b, {x0, y0}, {x1, y0});
  edge(b, c, {x1, y0}, {x1, y1});
  edge(c, d, {x1, y1}, {x0, y1});
  edge(d, a, {x0, y1}, {x0, y0});
  for (std::size_t k = 0; k + 1 < cut.size(); k += 2) {
    cairo_move_to(cr, cut[k].x, cut[k].y);
    cairo_line_to(cr, cut[k + 1].x, cut[k + 1].y);
  }
}

}  // namespace

double section_pressure(std::size_t k) { return 1000.0 - 25.0 * static_cast<double>(k); }

SectionColumn section_column(const Sounding& sounding) {
  std::vector<std::pair<double, double>> t, td;
  for (const DATA_TYPE& l : sounding.levels) {
    if (is_missing(l.pr) || l.pr <= 0 || is_missing(l.tp)) continue;
    const double p = static_cast<double>(l.pr) / 10.0;
    t.emplace_back(p, static_cast<double>(l.tp) / 10.0);
    if (!is_missing(l.dp)) td.emplace_back(p, static_cast<double>(l.dp) / 10.0);
  }
  const auto by_pressure = [](const std::pair<double, double>& a,
                              const std::pair<double, double>& b) { return a.first > b.first; };
  std::stable_sort(t.begin(), t.end(), by_pressure);
  std::stable_sort(td.begin(), td.end(), by_pressure);
  SectionColumn c;
  c.time = time_of(sounding);
  for (std::size_t k = 0; k < kSectionLevels; ++k) {
    const double p = section_pressure(k);
    const double tk = interpolated(t, p);
    const double depression = tk - interpolated(td, p);  // NaN where either is
    c.temperature_c.push_back(tk);
    c.dewpoint_depression_c.push_back(std::isnan(depression) ? kNaN : std::max(0.0, depression));
  }
  return c;
}

void render_time_height(const std::vector<Sounding>& soundings, const std::string& title,
                        PlotKind kind, const std::string& path) {
  if (soundings.empty()) throw std::invalid_argument("a time-height section of no sounding");
  std::vector<SectionColumn> cols;
  std::vector<double> xs;
  for (const Sounding& s : soundings) cols.push_back(section_column(s));
  const long h0 = hours_since_epoch(cols.front().time), h1 = hours_since_epoch(cols.back().time);
  const double inner = 30;  // room for the first and last barbs
  for (const SectionColumn& c : cols)
    xs.push_back(h1 == h0 ? (kLeft + kRight) / 2
                          : kLeft + inner + static_cast<double>(hours_since_epoch(c.time) - h0) /
                                                static_cast<double>(h1 - h0) *
                                                (kRight - kLeft - 2 * inner));

  CairoPage page(kind, path, kWidth, kHeight, kPointsPerUnit);
  cairo_t* cr = page.cr();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  // The dew-point depression: each sounding's band reaches halfway to its
  // neighbours.
  struct Shade { double up_to_c, r, g, b; };
  constexpr Shade kShades[] = {{2, 0.30, 0.65, 0.35}, {5, 0.58, 0.82, 0.55}, {10, 0.83, 0.93, 0.80}};
  cairo_save(cr);
  cairo_rectangle(cr, kLeft, kTop, kRight - kLeft, kBottom - kTop);
  cairo_clip(cr);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const double xl = i == 0 ? kLeft : (xs[i - 1] + xs[i]) / 2;
    const double xr = i + 1 == cols.size() ? kRight : (xs[i] + xs[i + 1]) / 2;
    for (std::size_t k = 0; k < kSectionLevels; ++k) {
      const double dd = cols[i].dewpoint_depression_c[k];
      if (std::isnan(dd)) continue;
      const double p = section_pressure(k);
      const double yb = y_of(k == 0 ? kSectionBottomMb : p + 12.5), yt = y_of(p - 12.5);
      for (const Shade& s : kShades)
        if (dd <= s.up_to_c) {
          cairo_set_source_rgb(cr, s.r, s.g, s.b);
          cairo_rectangle(cr, xl, yt, xr - xl, yb - yt);
          cairo_fill(cr);
          break;
        }
    }
  }
  // Isotherms every 10 degC between neighbouring soundings; 0 degC bold,
  // below zero dashed.
  if (cols.size() > 1) {
    for (int v = -90; v <= 50; v += 10) {
      cairo_set_source_rgb(cr, v < 0 ? 0.1 : 0.75, 0.1, v < 0 ? 0.7 : 0.1);
      cairo_set_line_width(cr, v == 0 ? 2.2 : 1.1);
      const double dash[] = {5, 3};
      cairo_set_dash(cr, dash, v < 0 ? 2 : 0, 0);
      for (std::size_t i = 0; i + 1 < cols.size(); ++i)
        for (std::size_t k = 0; k + 1 < kSectionLevels; ++k)
          isopleth_in_cell(cr, xs[i], xs[i + 1], y_of(section_pressure(k)),
                           y_of(section_pressure(k + 1)), cols[i].temperature_c[k],
                           cols[i + 1].temperature_c[k], cols[i + 1].temperature_c[k + 1],
                           cols[i].temperature_c[k + 1], v);
      cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0);
  }
  cairo_restore(cr);

  // The isotherms' labels at the right edge of the last sounding.
  const SectionColumn& last = cols.back();
  cairo_set_source_rgb(cr, 0.3, 0.1, 0.3);
  for (std::size_t k = 0; k < kSectionLevels; k += 4)
    if (!std::isnan(last.temperature_c[k]))
      text(cr, kRight + 3, y_of(section_pressure(k)) + 3,
           std::to_string(static_cast<int>(std::lround(last.temperature_c[k]))), 0, 8);

  // Wind barbs at the standard levels, half size, of soundings at least
  // kBarbSpacing apart.
  constexpr double kBarbSpacing = 24;
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  double last_barb_x = -1e9;
  for (std::size_t i = 0; i < soundings.size(); ++i) {
    if (xs[i] - last_barb_x < kBarbSpacing) continue;
    last_barb_x = xs[i];
    for (const double p : kStandardMb) {
      for (const DATA_TYPE& l : soundings[i].levels) {
        if (is_missing(l.pr) || std::fabs(static_cast<double>(l.pr) / 10.0 - p) > 0.5 ||
            is_missing(l.wd) || is_missing(l.ws))
          continue;
        const BarbShape b = barb_shape(0, 0, static_cast<double>(l.wd),
                                       static_cast<double>(l.ws) / 10.0 * kKnotsPerMs, false);
        cairo_save(cr);
        cairo_translate(cr, xs[i], y_of(p));
        cairo_scale(cr, 0.55, 0.55);
        if (b.calm_radius > 0) {
          cairo_new_sub_path(cr);
          cairo_arc(cr, 0, 0, b.calm_radius, 0, 2 * kPiValue);
        }
        for (const Segment& s : b.lines) {
          cairo_move_to(cr, s.x0, s.y0);
          cairo_line_to(cr, s.x1, s.y1);
        }
        for (const std::vector<double>& t : b.pennants) {
          cairo_move_to(cr, t[0], t[1]);
          cairo_line_to(cr, t[2], t[3]);
          cairo_line_to(cr, t[4], t[5]);
          cairo_close_path(cr);
        }
        cairo_restore(cr);
        cairo_stroke(cr);
        break;
      }
    }
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

  // Frame, pressure axis, times.
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, kLeft, kTop, kRight - kLeft, kBottom - kTop);
  cairo_stroke(cr);
  for (const double p : kStandardMb) {
    cairo_move_to(cr, kLeft - 5, y_of(p));
    cairo_line_to(cr, kLeft, y_of(p));
    cairo_stroke(cr);
    text(cr, kLeft - 8, y_of(p) + 4, std::to_string(static_cast<int>(p)), 1, 11);
  }
  cairo_save(cr);
  cairo_translate(cr, 25, (kTop + kBottom) / 2);
  cairo_rotate(cr, -kPiValue / 2);
  text(cr, 0, 0, "pressure (hPa)", 0.5, 12);
  cairo_restore(cr);
  const std::size_t every = std::max<std::size_t>(1, cols.size() / 24 + 1);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    cairo_move_to(cr, xs[i], kBottom);
    cairo_line_to(cr, xs[i], kBottom + 4);
    cairo_stroke(cr);
    if (i % every != 0) continue;
    char label[32];
    const long t = cols[i].time;
    std::snprintf(label, sizeof label, "%02ld/%02ldZ", t / 100 % 100, t % 100);
    cairo_save(cr);
    cairo_translate(cr, xs[i] + 3, kBottom + 10);
    cairo_rotate(cr, kPiValue / 2.5);
    text(cr, 0, 0, label, 0, 10);
    cairo_restore(cr);
  }
  char range[96];
  std::snprintf(range, sizeof range, "%ld to %ld, %zu soundings (UTC, day/hour)",
                cols.front().time, cols.back().time, cols.size());
  text(cr, (kLeft + kRight) / 2, kHeight - 20, range, 0.5, 11);
  text(cr, kLeft, 35, title, 0, 18, true);

  // Legend.
  double x = kRight - 420;
  text(cr, x, 35, "T - Td:", 0, 11);
  x += 45;
  for (const Shade& s : kShades) {
    cairo_set_source_rgb(cr, s.r, s.g, s.b);
    cairo_rectangle(cr, x, 25, 14, 12);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    text(cr, x + 18, 35, "<= " + std::to_string(static_cast<int>(s.up_to_c)), 0, 11);
    x += 62;
  }
  text(cr, x + 5, 35, "isotherms every 10 C", 0, 11);
  page.commit();
}

}  // namespace rawinq::plot
