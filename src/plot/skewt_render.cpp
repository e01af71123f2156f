// Drawing the skew-T plot of one sounding on a canvas (cairo's for the
// files, an SVG writer's for web pages); the page's geometry is in
// rawinq/skewt_layout.h, the thermodynamics in rawinq/thermo.h and
// rawinq/indices.h.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "cairo_page.h"
#include "canvas.h"
#include "rawinq/heights.h"
#include "rawinq/indices.h"
#include "rawinq/plot.h"
#include "rawinq/skewt_layout.h"
#include "rawinq/skewt_style.h"
#include "rawinq/thermo.h"

namespace rawinq::plot {
namespace {

namespace th = rawinq::thermo;
namespace ix = rawinq::indices;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;
constexpr double kPi = 3.14159265358979323846;
// The vector pages: the drawing scaled to an A4 landscape width.
constexpr double kPointsPerUnit = 842.0 / kPageWidth;

void stroke_style(Canvas& cv, const LineStyle& s) {
  cv.set_colour(s.colour);
  cv.set_line_width(s.width);
  cv.set_dash(s.dashes);
}

// Text with its reference point at (x, y): ax 0 left, 0.5 centre, 1 right;
// ay 0 top, 0.5 middle, 1 baseline.
void text(Canvas& cv, double x, double y, const std::string& s, double ax,
          double ay) {
  const double cap = cv.font_ascent() * 0.75;  // about the height of capitals
  cv.show_text(x, y + (1 - ay) * cap, s, ax);
}

std::string format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

bool inside_frame(double x, double y, double margin = 0) {
  return x >= kFrame.left + margin && x <= kFrame.right - margin &&
         y >= kFrame.top + margin && y <= kFrame.bottom - margin;
}

// Pressures from the bottom of the diagram to its top, steps of at most
// `step` in ln p.
std::vector<double> pressures(const Diagram& d, double from_mb, double step) {
  std::vector<double> ps;
  const double span = std::log(from_mb / d.top_mb());
  const int n = std::max(1, static_cast<int>(std::ceil(span / step)));
  for (int i = 0; i <= n; ++i) ps.push_back(from_mb * std::exp(-span * i / n));
  return ps;
}

// Adds to the path a curve given by its temperature at each pressure, broken
// where the temperature is missing; the caller strokes and clips it.
void curve(Canvas& cv, const Diagram& d, const std::vector<double>& ps,
           const std::vector<double>& celsius) {
  bool pen = false;
  for (size_t i = 0; i < ps.size(); ++i) {
    if (std::isnan(celsius[i])) {
      pen = false;
      continue;
    }
    const double x = d.x(celsius[i], ps[i]), y = d.y(ps[i]);
    if (pen) cv.line_to(x, y); else cv.move_to(x, y);
    pen = true;
  }
}

// The label of a line where it crosses the row y = row (if inside the frame).
void label_at_row(Canvas& cv, const Diagram& d, const std::vector<double>& ps,
                  const std::vector<double>& celsius, double row,
                  const std::string& s) {
  for (size_t i = 1; i < ps.size(); ++i) {
    const double y0 = d.y(ps[i - 1]), y1 = d.y(ps[i]);
    if (!(y0 >= row && y1 <= row) || std::isnan(celsius[i]) ||
        std::isnan(celsius[i - 1]))
      continue;
    const double f = (y0 - row) / (y0 - y1);
    const double x0 = d.x(celsius[i - 1], ps[i - 1]), x1 = d.x(celsius[i], ps[i]);
    const double x = x0 + f * (x1 - x0);
    if (!inside_frame(x, row, 10)) return;
    // A white patch under the label keeps it readable across other lines.
    const double advance = cv.text_advance(s);
    cv.save();
    cv.set_white();
    cv.rectangle(x - advance / 2 - 1, row - 5, advance + 2, 10);
    cv.fill();
    cv.restore();
    text(cv, x, row, s, 0.5, 0.5);
    return;
  }
}

void background(Canvas& cv, const Diagram& d, const Style& st) {
  cv.save();
  cv.rectangle(kFrame.left, kFrame.top, kFrame.width(), kFrame.height());
  cv.clip();
  cv.set_font(9, false);

  // Isobars every 100 mb, and 50 mb between where the diagram is short.
  stroke_style(cv, st.isobar);
  const double isobar_step = d.top_mb() >= 400 ? 50 : 100;
  for (double p = 1000; p >= d.top_mb(); p -= isobar_step) {
    cv.move_to(kFrame.left, d.y(p));
    cv.line_to(kFrame.right, d.y(p));
  }
  cv.stroke();

  // Isotherms every 10 C that cross the frame, the 0 C one stronger.
  const double cold = d.celsius_at(kFrame.left, kFrame.top);
  const double warm = d.celsius_at(kFrame.right, kFrame.bottom);
  for (double t = std::floor(cold / 10) * 10 + 10; t < warm; t += 10) {
    stroke_style(cv, t == 0 ? st.zero_isotherm : st.isotherm);
    cv.move_to(d.x(t, kBottomMb), d.y(kBottomMb));
    cv.line_to(d.x(t, d.top_mb()), d.y(d.top_mb()));
    cv.stroke();
  }

  // Dry adiabats every 10 K of potential temperature.
  const std::vector<double> ps = pressures(d, kBottomMb, 0.04);
  const double dry_row = kFrame.top + 0.10 * kFrame.height();
  for (double theta = 240; theta <= 480; theta += 10) {
    std::vector<double> c;
    for (double p : ps)
      c.push_back(th::dry_adiabat_temperature(th::kP0, theta, p) -
                  th::kZeroCelsius);
    stroke_style(cv, st.dry_adiabat);
    curve(cv, d, ps, c);
    cv.stroke();
    cv.set_colour(st.dry_adiabat.label);
    label_at_row(cv, d, ps, c, dry_row, format("%.0f", theta));
  }

  // Pseudo-adiabats by their temperature at 1000 mb, every 4 C, each
  // integrated upwards from step to step.
  const double moist_row = kFrame.top + 0.45 * kFrame.height();
  for (double w = -20; w <= 40; w += 4) {
    std::vector<double> up = pressures(d, 1000, 0.04);
    std::vector<double> c;
    double t = w + th::kZeroCelsius, p0 = 1000;
    for (double p : up) {
      t = th::moist_adiabat_temperature(p0, t, p);
      p0 = p;
      c.push_back(t - th::kZeroCelsius);
    }
    std::vector<double> down_p = {kBottomMb, 1000};
    std::vector<double> down_c = {
        th::moist_adiabat_temperature(1000, w + th::kZeroCelsius, kBottomMb) -
            th::kZeroCelsius,
        w};
    stroke_style(cv, st.moist_adiabat);
    curve(cv, d, down_p, down_c);
    curve(cv, d, up, c);
    cv.stroke();
    cv.set_colour(st.moist_adiabat.label);
    label_at_row(cv, d, up, c, moist_row, format("%.0f", w));
  }

  // Saturation mixing-ratio lines, g/kg, up to 600 mb.
  static const double kRatios[] = {0.4, 1, 2, 3, 5, 8, 12, 16, 20, 28};
  const double mix_top = std::max(600.0, d.top_mb());
  const std::vector<double> mp = {kBottomMb, 1000, 900, 800, 700, mix_top};
  const double mix_row = kFrame.bottom - 10;
  for (double r : kRatios) {
    std::vector<double> c;
    for (double p : mp) {
      c.push_back(p >= mix_top
                      ? th::mixing_ratio_line_temperature(r / 1000, p) -
                            th::kZeroCelsius
                      : kNaN);
    }
    stroke_style(cv, st.mixing_ratio);
    curve(cv, d, mp, c);
    cv.stroke();
    cv.set_colour(st.mixing_ratio.label);
    label_at_row(cv, d, mp, c, mix_row, format(r < 1 ? "%.1f" : "%.0f", r));
  }
  cv.restore();
}

// Pressure labels and the height scale left of the frame, temperature
// labels below it, and the frame itself.
void axes(Canvas& cv, const Diagram& d, const std::vector<Level>& levels,
          const Style& st) {
  cv.set_dash({});
  cv.set_colour(st.ink);
  cv.set_font(11, false);
  static const double kLabelled[] = {1000, 925, 850, 700, 600, 500, 400,
                                     300,  250, 200, 150, 100};
  for (double p : kLabelled) {
    if (p < d.top_mb()) break;
    if (d.top_mb() < 400 && (p == 925 || p == 600)) continue;
    const double y = d.y(p);
    cv.move_to(kFrame.left - 5, y);
    cv.line_to(kFrame.left, y);
    text(cv, kFrame.left - 7, y, format("%.0f", p), 1, 0.5);
  }
  cv.set_line_width(1);
  cv.stroke();
  cv.save();
  cv.translate(14, (kFrame.top + kFrame.bottom) / 2);
  cv.rotate(-kPi / 2);
  text(cv, 0, 0, "pressure (mb)", 0.5, 0.5);
  cv.restore();

  // Temperatures along the bottom.
  const double low = std::ceil(d.celsius_at(kFrame.left, kFrame.bottom) / 10) * 10;
  for (double t = low; d.x(t, kBottomMb) <= kFrame.right + 0.5; t += 10) {
    const double x = d.x(t, kBottomMb);
    cv.move_to(x, kFrame.bottom);
    cv.line_to(x, kFrame.bottom + 5);
    text(cv, x, kFrame.bottom + 14, format("%.0f", t), 0.5, 0.5);
  }
  cv.stroke();
  text(cv, (kFrame.left + kFrame.right) / 2, kFrame.bottom + 30,
       "temperature (\xC2\xB0" "C)", 0.5, 0.5);

  // Heights above sea level, every km, from the levels' reported or
  // computed heights, linear in ln p between levels.
  std::vector<std::pair<double, double>> zp;  // height, ln p
  for (const Level& l : levels)
    if (!std::isnan(l.z_m)) zp.emplace_back(l.z_m, std::log(l.p_mb));
  std::stable_sort(zp.begin(), zp.end());
  const double scale_x = 44;
  if (zp.size() >= 2) {
    cv.set_font(10, false);
    text(cv, scale_x, kFrame.top - 10, "km", 0.5, 0.5);
    for (double km = std::ceil(zp.front().first / 1000); km * 1000 <= zp.back().first; ++km) {
      auto hi = std::lower_bound(
          zp.begin(), zp.end(), km * 1000,
          [](const std::pair<double, double>& a, double z) { return a.first < z; });
      if (hi == zp.begin() || hi == zp.end()) continue;
      auto lo = hi - 1;
      if (hi->first == lo->first) continue;
      const double f = (km * 1000 - lo->first) / (hi->first - lo->first);
      const double p = std::exp(lo->second + f * (hi->second - lo->second));
      if (p > kBottomMb || p < d.top_mb()) continue;
      const double y = d.y(p);
      cv.move_to(scale_x + 10, y);
      cv.line_to(scale_x + 16, y);
      text(cv, scale_x + 7, y, format("%.0f", km + 0.0), 1, 0.5);  // never "-0"
    }
    cv.move_to(scale_x + 13, kFrame.top);
    cv.line_to(scale_x + 13, kFrame.bottom);
    cv.set_line_width(0.8);
    cv.stroke();
  }

  cv.rectangle(kFrame.left, kFrame.top, kFrame.width(), kFrame.height());
  cv.set_line_width(1.2);
  cv.stroke();
}

void trace(Canvas& cv, const Diagram& d, const std::vector<Level>& levels,
           double Level::*field, const LineStyle& style) {
  std::vector<double> ps, cs;
  for (const Level& l : levels) {
    if (std::isnan(l.*field)) continue;
    ps.push_back(l.p_mb);
    cs.push_back(l.*field);
  }
  if (ps.empty()) return;
  stroke_style(cv, style);
  if (ps.size() == 1) {
    cv.arc(d.x(cs[0], ps[0]), d.y(ps[0]), style.width * 1.5, 0, 2 * kPi);
    cv.fill();
    return;
  }
  curve(cv, d, ps, cs);
  cv.stroke();
}

// The levels with their virtual temperature in place of the temperature
// (the dew point's mixing ratio; dry where there is no dew point).
std::vector<Level> virtual_temperatures(std::vector<Level> levels) {
  for (Level& l : levels) {
    const double r = std::isnan(l.td_c)
                         ? 0.0
                         : th::mixing_ratio_from_dewpoint(l.p_mb, l.td_c + th::kZeroCelsius);
    l.t_c = th::virtual_temperature(l.t_c + th::kZeroCelsius, std::isnan(r) ? 0.0 : r) -
            th::kZeroCelsius;
  }
  return levels;
}

// The effective inflow layer as a bar inside the frame beside the pressure
// axis.
void inflow_layer(Canvas& cv, const Diagram& d, const ix::SoundingIndices& x,
                  const Style& st) {
  const double base = x.effective_inflow_base_hpa, top = x.effective_inflow_top_hpa;
  if (std::isnan(base) || base > kBottomMb || top < d.top_mb()) return;
  const double bar = kFrame.left + 10, y0 = d.y(base), y1 = d.y(top);
  cv.set_colour(st.inflow_layer);
  cv.set_dash({});
  cv.set_line_width(2.5);
  cv.move_to(bar - 5, y0);
  cv.line_to(bar, y0);
  cv.line_to(bar, y1);
  cv.line_to(bar - 5, y1);
  cv.stroke();
  cv.set_font(9, true);
  text(cv, bar + 4, std::min(y0, y1 + 0.5 * (y0 - y1)) , "EIL", 0, 0.5);
}

// The parcel: areas where it is warmer (between the LFC and the EL) and
// colder (below the LFC) than the environment, both in virtual temperature
// as its CAPE and CIN are, its virtual temperature trace, and marks at its
// LCL, LFC and EL.
void parcel(Canvas& cv, const Diagram& d,
            const std::vector<ix::TracePoint>& points, const ix::Parcel& p,
            const Style& st, LabelSpace& labels) {
  if (points.size() < 2) return;
  cv.save();
  cv.rectangle(kFrame.left, kFrame.top, kFrame.width(), kFrame.height());
  cv.clip();
  const bool lfc = !std::isnan(p.lfc_pressure_hpa);
  const double el = std::isnan(p.el_pressure_hpa) ? 0 : p.el_pressure_hpa;
  // Runs of points in one area, drawn as the parcel's side out and the
  // environment's side back.
  struct Pt { double p, parcel_c, env_c; };
  std::vector<Pt> run;
  int run_sign = 0;
  auto flush = [&]() {
    if (run.size() >= 2 && run_sign != 0) {
      for (size_t i = 0; i < run.size(); ++i) {
        const double x = d.x(run[i].parcel_c, run[i].p), y = d.y(run[i].p);
        if (i == 0) cv.move_to(x, y); else cv.line_to(x, y);
      }
      for (size_t i = run.size(); i-- > 0;)
        cv.line_to(d.x(run[i].env_c, run[i].p), d.y(run[i].p));
      cv.close_path();
      if (run_sign > 0) {
        cv.set_colour(st.positive_area);
        cv.fill();
      } else {
        cv.set_colour(st.negative_area);
        cv.fill_preserve();
        cv.set_hatch();
        cv.fill();
      }
    }
    run.clear();
  };
  for (size_t i = 0; i < points.size(); ++i) {
    const double pr = points[i].pressure_hpa;
    const Pt pt{pr, points[i].virtual_temperature_k - th::kZeroCelsius,
                points[i].environment_virtual_temperature_k - th::kZeroCelsius};
    int sign = 0;
    if (lfc && pr <= p.lfc_pressure_hpa && pr >= el) sign = 1;
    else if (lfc && pr > p.lfc_pressure_hpa) sign = -1;
    if (std::isnan(pt.env_c)) sign = 0;
    if (sign != run_sign) {
      // The boundary point belongs to both runs.
      if (sign != 0 && run_sign != 0) run.push_back(pt);
      flush();
      run_sign = sign;
    }
    if (sign != 0) run.push_back(pt);
  }
  flush();

  std::vector<double> ps, cs;
  for (const ix::TracePoint& t : points) {
    ps.push_back(t.pressure_hpa);
    cs.push_back(t.virtual_temperature_k - th::kZeroCelsius);
  }
  stroke_style(cv, st.parcel);
  curve(cv, d, ps, cs);
  cv.stroke();
  cv.restore();

  // Marks beside the parcel's trace: a tick and the name, right of it
  // where there is room, else above or below that, else left of it.
  cv.set_font(10, true);
  const struct { const char* name; double p; } marks[] = {
      {"LCL", p.lcl.pressure_hpa}, {"LFC", p.lfc_pressure_hpa},
      {"EL", p.el_pressure_hpa}};
  for (const auto& m : marks) {
    if (std::isnan(m.p) || m.p > kBottomMb || m.p < d.top_mb()) continue;
    const double y = d.y(m.p);
    double c = kNaN;
    for (size_t i = 1; i < ps.size(); ++i) {
      if (ps[i - 1] >= m.p && ps[i] <= m.p) {
        const double f = std::log(ps[i - 1] / m.p) / std::log(ps[i - 1] / ps[i]);
        c = cs[i - 1] + f * (cs[i] - cs[i - 1]);
        break;
      }
    }
    if (std::isnan(c)) continue;
    const double x = d.x(c, m.p);
    const size_t n = std::strlen(m.name);
    const double hw = label_box(0, 0, n, 10).right;
    std::vector<Rect> candidates;
    for (double dx : {21.0, 40.0, 60.0, 90.0})
      for (double dy : {0.0, -12.0, 12.0, -24.0, 24.0, 36.0, 48.0})
        candidates.push_back(label_box(x + dx + hw, y + dy, n, 10));
    for (double dx : {21.0, 40.0, 60.0, 90.0})
      for (double dy : {0.0, -12.0, 12.0, -24.0, 24.0, 36.0, 48.0})
        candidates.push_back(label_box(x - dx - hw, y + dy, n, 10));
    const Rect b = labels.place(candidates);
    const bool right = b.left > x;
    cv.set_colour(st.ink);
    cv.set_dash({});
    cv.set_line_width(1.5);
    // The tick reaches from the trace towards its label.
    cv.move_to(x + (right ? 4 : -4), y);
    cv.line_to(right ? b.left - 3 : b.right + 3, y);
    cv.stroke();
    text(cv, (b.left + b.right) / 2, (b.top + b.bottom) / 2, m.name, 0.5, 0.5);
  }
}

void barbs(Canvas& cv, const std::vector<PlacedBarb>& placed,
           const Diagram& d, const Style& st) {
  cv.set_colour(st.ink);
  cv.set_dash({});
  cv.set_line_width(0.8);
  cv.move_to(kBarbColumnX, d.y(kBottomMb));
  cv.line_to(kBarbColumnX, d.y(d.top_mb()));
  cv.stroke();
  cv.set_font(10, false);
  text(cv, kBarbColumnX, kFrame.bottom + 30, "wind (kt)", 0.5, 0.5);
  cv.set_colour(st.barb);
  cv.set_line_width(1.3);
  cv.set_round_caps(true);
  for (const PlacedBarb& b : placed) {
    // One path per barb: the staff and feathers stroked, pennants filled.
    if (b.shape.calm_radius > 0) {
      cv.new_sub_path();
      cv.arc(b.shape.x, b.shape.y, b.shape.calm_radius, 0, 2 * kPi);
      cv.stroke();
      continue;
    }
    const auto pennants = [&]() {
      for (const std::vector<double>& t : b.shape.pennants) {
        cv.move_to(t[0], t[1]);
        cv.line_to(t[2], t[3]);
        cv.line_to(t[4], t[5]);
        cv.close_path();
      }
    };
    for (const Segment& s : b.shape.lines) {
      cv.move_to(s.x0, s.y0);
      cv.line_to(s.x1, s.y1);
    }
    pennants();
    cv.stroke();
    pennants();
    cv.fill();
  }
  cv.set_round_caps(false);
}

// The hodograph of the lowest 10 km above ground, in knots, coloured by
// height band, with a dot and label at every whole km.
int hodograph(Canvas& cv, const std::vector<Level>& levels,
              double ground_m, const ix::SoundingIndices& ix_values,
              const Style& st) {
  const Rect& r = kHodograph;
  struct Wind { double z, u, v; };
  std::vector<Wind> w;
  for (const Level& l : levels) {
    if (std::isnan(l.speed_kt) || std::isnan(l.z_m)) continue;
    const double z = l.z_m - ground_m;
    if (z < -50 || z > 10000) continue;
    const double a = l.dir_deg * kPi / 180;
    w.push_back({std::max(z, 0.0), -l.speed_kt * std::sin(a),
                 -l.speed_kt * std::cos(a)});
  }
  std::stable_sort(w.begin(), w.end(),
                   [](const Wind& a, const Wind& b) { return a.z < b.z; });
  double most = 0;
  for (const Wind& x : w) most = std::max(most, std::hypot(x.u, x.v));
  const double ring = most > 80 ? 20 : 10;
  const double range = std::max(40.0, std::ceil(most / ring) * ring);
  const double cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  const double scale = (r.width() / 2 - 8) / range;

  cv.save();
  cv.set_colour(st.panel);
  cv.rectangle(r.left, r.top, r.width(), r.height());
  cv.fill_preserve();
  cv.set_colour(st.ink);
  cv.set_line_width(1);
  cv.stroke_preserve();
  cv.clip();
  stroke_style(cv, st.isobar);
  for (double k = ring; k <= range; k += ring) {
    cv.new_sub_path();
    cv.arc(cx, cy, k * scale, 0, 2 * kPi);
  }
  cv.move_to(r.left, cy);
  cv.line_to(r.right, cy);
  cv.move_to(cx, r.top);
  cv.line_to(cx, r.bottom);
  cv.stroke();
  cv.set_font(9, false);
  cv.set_colour(st.ink);
  // The labels keep off the trace, the marks and one another.
  LabelSpace labels({r.left + 2, r.top + 18, r.right - 2, r.bottom - 2});
  {
    std::vector<std::pair<double, double>> line;
    for (const Wind& x : w) line.emplace_back(cx + scale * x.u, cy - scale * x.v);
    labels.add_line(line);
  }

  // The 0-3 km storm-relative helicity of the right mover: the area swept
  // between its storm motion and the hodograph.
  const double ms_to_kt = kKnotsPerMetrePerSecond;
  const double rm_u = ix_values.bunkers_right_u_m_s * ms_to_kt,
               rm_v = ix_values.bunkers_right_v_m_s * ms_to_kt;
  if (!std::isnan(rm_u) && !std::isnan(rm_v) && w.size() >= 2) {
    cv.move_to(cx + scale * rm_u, cy - scale * rm_v);
    for (size_t i = 0; i < w.size() && w[i].z <= 3000; ++i)
      cv.line_to(cx + scale * w[i].u, cy - scale * w[i].v);
    for (size_t i = 1; i < w.size(); ++i) {
      if (!(w[i - 1].z < 3000 && w[i].z > 3000)) continue;
      const double f = (3000 - w[i - 1].z) / (w[i].z - w[i - 1].z);
      cv.line_to(cx + scale * (w[i - 1].u + f * (w[i].u - w[i - 1].u)),
                    cy - scale * (w[i - 1].v + f * (w[i].v - w[i - 1].v)));
    }
    cv.close_path();
    cv.set_colour(st.helicity_area);
    cv.fill();
  }

  // Each piece between two winds split at the band edges.
  cv.set_round_caps(true);
  for (size_t i = 1; i < w.size(); ++i) {
    double z0 = w[i - 1].z;
    while (z0 < w[i].z) {
      const size_t band = std::min<size_t>(
          st.hodograph_bands.size() - 1,
          static_cast<size_t>(z0 / kHodographBandMetres));
      const double z1 = std::min(w[i].z, (band + 1) * kHodographBandMetres);
      const auto at = [&](double z) {
        const double f = (z - w[i - 1].z) / (w[i].z - w[i - 1].z);
        return std::make_pair(cx + scale * (w[i - 1].u + f * (w[i].u - w[i - 1].u)),
                              cy - scale * (w[i - 1].v + f * (w[i].v - w[i - 1].v)));
      };
      const auto a = at(z0), b = at(z1);
      stroke_style(cv, st.hodograph_bands[band]);
      cv.move_to(a.first, a.second);
      cv.line_to(b.first, b.second);
      cv.stroke();
      if (z1 <= z0) break;
      z0 = z1;
    }
  }
  // Whole km: a dot and its number.
  struct Mark { double x, y; std::string name; };
  std::vector<Mark> kms;
  for (double km = 0; km <= 10; ++km) {
    const double z = km * 1000;
    for (size_t i = 1; i < w.size(); ++i) {
      if (!(w[i - 1].z <= z && w[i].z >= z) || w[i].z == w[i - 1].z) continue;
      const double f = (z - w[i - 1].z) / (w[i].z - w[i - 1].z);
      kms.push_back({cx + scale * (w[i - 1].u + f * (w[i].u - w[i - 1].u)),
                     cy - scale * (w[i - 1].v + f * (w[i].v - w[i - 1].v)),
                     format("%.0f", km)});
      break;
    }
  }
  // The storm motions of the right and left movers.
  std::vector<Mark> movers;
  const double lm_u = ix_values.bunkers_left_u_m_s * ms_to_kt,
               lm_v = ix_values.bunkers_left_v_m_s * ms_to_kt;
  if (!std::isnan(rm_u) && !std::isnan(rm_v))
    movers.push_back({cx + scale * rm_u, cy - scale * rm_v, "RM"});
  if (!std::isnan(lm_u) && !std::isnan(lm_v))
    movers.push_back({cx + scale * lm_u, cy - scale * lm_v, "LM"});
  // Dots and circles first, then the labels around them: beside, above or
  // below; the rings' numbers on one of the diagonals.
  for (const Mark& m : kms) labels.reserve({m.x - 2.5, m.y - 2.5, m.x + 2.5, m.y + 2.5});
  for (const Mark& m : movers) labels.reserve({m.x - 4.5, m.y - 4.5, m.x + 4.5, m.y + 4.5});
  const auto around = [](const Mark& m, double gap, double size) {
    const Rect b = label_box(0, 0, m.name.size(), size);
    const double hw = b.right, hh = b.bottom;
    return std::vector<Rect>{
        label_box(m.x + gap + hw, m.y - gap - hh, m.name.size(), size),
        label_box(m.x + gap + hw, m.y + gap + hh, m.name.size(), size),
        label_box(m.x - gap - hw, m.y - gap - hh, m.name.size(), size),
        label_box(m.x - gap - hw, m.y + gap + hh, m.name.size(), size),
        label_box(m.x + gap + hw, m.y, m.name.size(), size),
        label_box(m.x - gap - hw, m.y, m.name.size(), size),
        label_box(m.x, m.y - gap - hh, m.name.size(), size),
        label_box(m.x, m.y + gap + hh, m.name.size(), size)};
  };
  cv.set_colour(st.ink);
  for (const Mark& m : kms) {
    cv.arc(m.x, m.y, 2.2, 0, 2 * kPi);
    cv.fill();
  }
  cv.set_font(9, true);
  // Where the trace winds tightly a km's number may find no room: the dot
  // stays, the number is left out.
  for (const Mark& m : kms) {
    std::vector<Rect> candidates;
    for (double gap : {3.0, 9.0, 16.0}) {
      const std::vector<Rect> ring = around(m, gap, 9);
      candidates.insert(candidates.end(), ring.begin(), ring.end());
    }
    if (const Rect* b = labels.place_if_free(candidates))
      text(cv, (b->left + b->right) / 2, (b->top + b->bottom) / 2, m.name, 0.5, 0.5);
  }
  for (const Mark& m : movers) {
    cv.set_line_width(1.2);
    cv.new_sub_path();
    cv.arc(m.x, m.y, 3.5, 0, 2 * kPi);
    cv.stroke();
    std::vector<Rect> candidates;
    for (double gap : {5.0, 14.0, 24.0, 36.0}) {
      const std::vector<Rect> ring = around(m, gap, 9);
      candidates.insert(candidates.end(), ring.begin(), ring.end());
    }
    const Rect b = labels.place(candidates);
    text(cv, (b.left + b.right) / 2, (b.top + b.bottom) / 2, m.name, 0.5, 0.5);
  }
  cv.set_font(9, false);
  for (double k = ring; k <= range; k += ring) {
    const std::string n = format("%.0f", k);
    const double off = k * scale * 0.7071 + 8;
    // A ring without room for its number on any diagonal goes without.
    for (const Rect& b : {label_box(cx + off, cy + off, n.size(), 9),
                          label_box(cx - off, cy + off, n.size(), 9),
                          label_box(cx + off, cy - off, n.size(), 9),
                          label_box(cx - off, cy - off, n.size(), 9)}) {
      if (!labels.free(b)) continue;
      labels.place({b});
      text(cv, (b.left + b.right) / 2, (b.top + b.bottom) / 2, n, 0.5, 0.5);
      break;
    }
  }
  cv.restore();
  cv.set_font(10, true);
  cv.set_colour(st.ink);
  text(cv, r.left + 6, r.top + 10, "hodograph 0-10 km AGL (kt)", 0, 0.5);
  if (w.size() < 2) {
    cv.set_font(10, false);
    text(cv, cx, cy - 14, "no winds with heights", 0.5, 0.5);
  }
  return labels.collisions();
}

std::string value(double v, const char* fmt) {
  return std::isnan(v) ? std::string("-") : format(fmt, v);
}

void indices_box(Canvas& cv, const ix::SoundingIndices& x, const Style& st) {
  const Rect& r = kIndicesBox;
  cv.set_colour(st.panel);
  cv.rectangle(r.left, r.top, r.width(), r.height());
  cv.fill_preserve();
  cv.set_colour(st.ink);
  cv.set_dash({});
  cv.set_line_width(1);
  cv.stroke();

  double y = r.top + 16;
  cv.set_font(11, true);
  text(cv, r.left + 8, y, "parcel", 0, 0.5);
  static const double kCols[] = {r.left + 120, r.left + 162, r.left + 202,
                                 r.left + 240, r.left + 274};
  static const char* const kHeads[] = {"CAPE", "CIN", "LCL", "LFC", "EL"};
  for (int i = 0; i < 5; ++i) text(cv, kCols[i], y, kHeads[i], 1, 0.5);
  y += 13;
  cv.set_font(9, false);
  text(cv, kCols[0], y, "J/kg", 1, 0.5);
  text(cv, kCols[1], y, "J/kg", 1, 0.5);
  for (int i = 2; i < 5; ++i) text(cv, kCols[i], y, "mb", 1, 0.5);
  const struct { const char* name; const ix::Parcel* p; } parcels[] = {
      {"surface", &x.surface_based},
      {"mixed layer", &x.mixed_layer},
      {"most unstable", &x.most_unstable}};
  cv.set_font(11, false);
  for (const auto& row : parcels) {
    y += 18;
    text(cv, r.left + 8, y, row.name, 0, 0.5);
    const double vals[] = {row.p->cape_j_kg, row.p->cin_j_kg,
                           row.p->lcl.pressure_hpa, row.p->lfc_pressure_hpa,
                           row.p->el_pressure_hpa};
    for (int i = 0; i < 5; ++i) text(cv, kCols[i], y, value(vals[i], "%.0f"), 1, 0.5);
  }
  y += 14;
  cv.move_to(r.left + 8, y);
  cv.line_to(r.right - 8, y);
  cv.set_line_width(0.6);
  cv.stroke();

  const double ms_to_kt = kKnotsPerMetrePerSecond;
  const auto kt = [&](double ms) { return value(ms * ms_to_kt, "%.0f kt"); };
  // A storm motion as the direction it comes from and its speed.
  const auto motion = [&](double u, double v) {
    if (std::isnan(u) || std::isnan(v)) return std::string("-");
    const double dir = std::fmod(std::atan2(-u, -v) * 180 / kPi + 360, 360);
    return format("%03.0f/", dir) + format("%.0f kt", std::hypot(u, v) * ms_to_kt);
  };
  const std::string inflow =
      std::isnan(x.effective_inflow_base_hpa)
          ? std::string("-")
          : format("%.0f-", x.effective_inflow_base_hpa) +
                format("%.0f mb", x.effective_inflow_top_hpa);
  // Two columns of name and value.
  const struct { const char* name; std::string v; } rows[] = {
      {"precip. water", value(x.precipitable_water_mm, "%.1f mm")},
      {"lifted index", value(x.lifted_index_k, "%.1f")},
      {"Showalter", value(x.showalter_k, "%.1f")},
      {"K index", value(x.k_index_c, "%.0f")},
      {"total totals", value(x.total_totals_c, "%.0f")},
      {"DCAPE", value(x.dcape_j_kg, "%.0f J/kg")},
      {"shear 0-1 km", kt(x.bulk_shear_0_1km_m_s)},
      {"shear 0-6 km", kt(x.bulk_shear_0_6km_m_s)},
      {"SRH 0-1 km", value(x.srh_0_1km_m2_s2, "%.0f m2/s2")},
      {"SRH 0-3 km", value(x.srh_0_3km_m2_s2, "%.0f m2/s2")},
      {"eff. SRH", value(x.effective_srh_m2_s2, "%.0f m2/s2")},
      {"eff. shear", kt(x.effective_bulk_shear_m_s)},
      {"STP fixed", value(x.stp_fixed, "%.1f")},
      {"STP eff.", value(x.stp_effective, "%.1f")},
      {"SCP", value(x.scp, "%.1f")},
      {"LCL", value(x.lcl_height_m, "%.0f m")},
      {"lapse 0-3 km", value(x.lapse_rate_0_3km_k_km, "%.1f K/km")},
      {"lapse 700-500", value(x.lapse_rate_700_500_k_km, "%.1f K/km")},
      {"freezing lvl", value(x.freezing_level_m, "%.0f m")},
      {"wet-bulb zero", value(x.wet_bulb_zero_m, "%.0f m")},
      {"right mover", motion(x.bunkers_right_u_m_s, x.bunkers_right_v_m_s)},
      {"left mover", motion(x.bunkers_left_u_m_s, x.bunkers_left_v_m_s)},
  };
  cv.set_font(10, false);
  const double half = r.width() / 2;
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    if (i % 2 == 0) y += 16;
    const double left = r.left + (i % 2) * half;
    text(cv, left + 8, y, rows[i].name, 0, 0.5);
    text(cv, left + half - 8, y, rows[i].v, 1, 0.5);
  }
  y += 16;
  text(cv, r.left + 8, y, "effective inflow layer", 0, 0.5);
  text(cv, r.right - 8, y, inflow, 1, 0.5);
  y += 18;
  cv.set_font(9, false);
  text(cv, r.left + 8, y, "mixed layer: lowest 100 mb; most unstable: highest", 0, 0.5);
  y += 12;
  text(cv, r.left + 8, y, "theta-e in the lowest 300 mb; CAPE and CIN with", 0, 0.5);
  y += 12;
  text(cv, r.left + 8, y, "virtual temperature; lifted index of the mixed layer", 0, 0.5);
}

std::string trimmed(const char* s, size_t n) {
  std::string t(s, ::strnlen(s, n));
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  return t;
}

void title(Canvas& cv, const Sounding& s, const STATREC& station,
           const Style& st) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr",
                                        "May", "Jun", "Jul", "Aug",
                                        "Sep", "Oct", "Nov", "Dec"};
  const HEADER_TYPE& h = s.header;
  std::string line = trimmed(station.name, sizeof station.name);
  const std::string init = trimmed(station.init, sizeof station.init);
  if (!init.empty()) line += (line.empty() ? "" : "  ") + init;
  line += (line.empty() ? "WMO " : "   WMO ") + std::to_string(station.wmo);
  char when[64];
  const char* month = h.month >= 1 && h.month <= 12 ? kMonths[h.month - 1] : "?";
  std::snprintf(when, sizeof when, "%02d UTC %d %s %d", int(h.hour), int(h.day),
                month, int(h.year));
  char where[96];
  std::snprintf(where, sizeof where, "%.2f %c  %.2f %c   elevation %d m",
                std::fabs(station.lat), station.lat < 0 ? 'S' : 'N',
                std::fabs(station.lon), station.lon < 0 ? 'W' : 'E',
                int(station.elev));
  cv.set_colour(st.ink);
  cv.set_font(18, true);
  text(cv, kFrame.left, 20, line, 0, 0.5);
  cv.set_font(18, true);
  text(cv, kHodograph.right, 20, when, 1, 0.5);
  cv.set_font(12, false);
  text(cv, kFrame.left, 42, where, 0, 0.5);
}

// What each line is, below the temperature labels.
void legend(Canvas& cv, const Style& st, ix::ParcelKind kind) {
  const char* parcel = kind == ix::ParcelKind::kMixedLayer     ? "ML parcel Tv"
                       : kind == ix::ParcelKind::kMostUnstable ? "MU parcel Tv"
                                                               : "SB parcel Tv";
  const struct { const char* name; const LineStyle* style; } items[] = {
      {"temperature", &st.temperature}, {"Tv", &st.virtual_temperature},
      {"dew point", &st.dew_point},
      {parcel, &st.parcel},   {"isotherm (\xC2\xB0" "C)", &st.isotherm},
      {"dry adiabat (K)", &st.dry_adiabat},
      {"moist adiabat (\xC2\xB0" "C)", &st.moist_adiabat},
      {"mixing ratio (g/kg)", &st.mixing_ratio}};
  cv.set_font(10, false);
  double x = kFrame.left;
  const double y = kPageHeight - 14;
  for (const auto& item : items) {
    LineStyle bold = *item.style;
    bold.width = std::max(bold.width, 1.6);
    bold.colour = bold.label;
    stroke_style(cv, bold);
    cv.move_to(x, y);
    cv.line_to(x + 22, y);
    cv.stroke();
    cv.set_colour(st.ink);
    const double advance = cv.text_advance(item.name);
    text(cv, x + 26, y, item.name, 0, 0.5);
    x += 26 + advance + 14;
  }
  // The shaded areas.
  cv.set_colour(st.positive_area);
  cv.rectangle(x, y - 5, 14, 10);
  cv.fill();
  cv.set_colour(st.ink);
  text(cv, x + 18, y, "CAPE", 0, 0.5);
  x += 56;
  cv.set_colour(st.negative_area);
  cv.rectangle(x, y - 5, 14, 10);
  cv.fill_preserve();
  cv.set_hatch();
  cv.fill();
  cv.set_colour(st.ink);
  text(cv, x + 18, y, "CIN", 0, 0.5);
}


// The whole plot on a canvas; returns the labels' collisions.
int draw_skewt(Canvas& cv, const Sounding& sounding, const STATREC& station,
               const PlotOptions& options) {
  const double elevation = rawinq::heights::station_elevation(station.elev);
  const std::vector<Level> levels = plot_levels(sounding, elevation);
  const bool fixed_axis = options.tmin_c < options.tmax_c;
  const Diagram d = fixed_axis ? Diagram::for_range(options.tmin_c, options.tmax_c)
                               : Diagram::for_levels(levels);
  const ix::SoundingIndices indices = ix::compute_indices(sounding, elevation);
  const std::vector<ix::TracePoint> parcel_points =
      ix::parcel_trace(sounding, options.parcel);
  const ix::Parcel& drawn =
      options.parcel == ix::ParcelKind::kMixedLayer     ? indices.mixed_layer
      : options.parcel == ix::ParcelKind::kMostUnstable ? indices.most_unstable
                                                        : indices.surface_based;
  // The ground: the surface level's reported or computed height, else the
  // station's elevation (levels below the ground may carry heights
  // extrapolated down to them).
  double ground = station.elev;
  const std::vector<double> z = rawinq::heights::level_heights(sounding, elevation);
  for (size_t i = 0; i < z.size(); ++i) {
    if (sounding.levels[i].fr == kLevelSurface && !std::isnan(z[i])) {
      ground = z[i];
      break;
    }
  }
  const bool southern = station.lat < 0;
  const std::vector<PlacedBarb> placed =
      place_barbs(levels, d, kBarbColumnX, southern);

  const Style& st = style();
  // The background depends on the diagram alone: a PNG of a request's
  // common temperature axis starts from the last one's.
  char key[96];
  std::snprintf(key, sizeof key, "skewt %a %a %a", d.top_mb(), d.left_celsius(),
                d.px_per_celsius());
  // White: the page's ground, and the source the background leaves (it
  // draws between save and restore), kept or drawn.
  cv.set_white();
  if (!cv.start_from(key)) {
    cv.paint();
    cv.set_role("background");
    background(cv, d, st);
    cv.set_role("");
    cv.keep_start(key);
  }
  // The labels inside the frame keep off the traces and one another.
  LabelSpace labels({kFrame.left + 2, kFrame.top + 2, kFrame.right - 2, kFrame.bottom - 2});
  const auto line_of = [&d](const std::vector<Level>& ls, double Level::*field) {
    std::vector<std::pair<double, double>> pts;
    for (const Level& l : ls)
      if (!std::isnan(l.*field)) pts.emplace_back(d.x(l.*field, l.p_mb), d.y(l.p_mb));
    return pts;
  };
  const std::vector<Level> virtual_levels = virtual_temperatures(levels);
  labels.add_line(line_of(levels, &Level::t_c));
  labels.add_line(line_of(levels, &Level::td_c));
  labels.add_line(line_of(virtual_levels, &Level::t_c));
  {
    std::vector<std::pair<double, double>> pts;
    for (const ix::TracePoint& t : parcel_points)
      pts.emplace_back(d.x(t.virtual_temperature_k - th::kZeroCelsius, t.pressure_hpa),
                       d.y(t.pressure_hpa));
    labels.add_line(pts);
  }
  cv.set_role("parcel");
  parcel(cv, d, parcel_points, drawn, st, labels);
  cv.set_role("");
  cv.save();
  cv.rectangle(kFrame.left, kFrame.top, kFrame.width(), kFrame.height());
  cv.clip();
  cv.set_role("dew-point");
  trace(cv, d, levels, &Level::td_c, st.dew_point);
  cv.set_role("virtual-temperature");
  trace(cv, d, virtual_levels, &Level::t_c, st.virtual_temperature);
  cv.set_role("temperature");
  trace(cv, d, levels, &Level::t_c, st.temperature);
  cv.set_role("");
  inflow_layer(cv, d, indices, st);
  cv.restore();
  axes(cv, d, levels, st);
  cv.set_role("barbs");
  barbs(cv, placed, d, st);
  cv.set_role("hodograph");
  const int hodograph_collisions = hodograph(cv, levels, ground, indices, st);
  cv.set_role("");
  indices_box(cv, indices, st);
  title(cv, sounding, station, st);
  legend(cv, st, options.parcel);
  return labels.collisions() + hodograph_collisions;
}

}  // namespace
}  // namespace rawinq::plot

int render_skewt(const Sounding& sounding, const STATREC& station,
                 PlotKind kind, const std::string& path,
                 const PlotOptions& options) {
  using namespace rawinq::plot;
  CairoPage page(kind, path, kPageWidth, kPageHeight, kPointsPerUnit);
  CairoCanvas canvas(page.cr(), style().ink);
  const int collisions = draw_skewt(canvas, sounding, station, options);
  page.commit();
  return collisions;
}

std::string skewt_svg_element(const Sounding& sounding, const STATREC& station,
                              const PlotOptions& options, const std::string& id) {
  using namespace rawinq::plot;
  const std::string name(station.name, ::strnlen(station.name, sizeof station.name));
  SvgCanvas canvas(kPageWidth, kPageHeight, style().ink, id,
                   "skew-T log-p diagram, " + name);
  draw_skewt(canvas, sounding, station, options);
  return canvas.finish();
}
