// What the skew-T drawing asks of a drawing surface: cairo's model (a
// current path, stroked or filled with a source, clips and transforms kept
// by save and restore) cut to the calls the plot makes. Two back ends: the
// cairo one behind the PNG, SVG and PDF files, and a lean SVG writer for
// web pages (text as text, short numbers, nothing embedded).
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "cairo_page.h"

#include "rawinq/skewt_style.h"

namespace rawinq::plot {

// s in UTF-8 for cairo, which refuses any other byte (and fails the whole
// page on it): such bytes as the Latin-1 characters they would be (a
// catalogue's name in Latin-1, say).
std::string as_utf8(const std::string& s);

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void save() = 0;
  virtual void restore() = 0;
  virtual void translate(double x, double y) = 0;
  virtual void rotate(double radians) = 0;

  // The path.
  virtual void move_to(double x, double y) = 0;
  virtual void line_to(double x, double y) = 0;
  virtual void close_path() = 0;
  virtual void new_sub_path() = 0;
  // An arc from angle a0 to a1 (radians, increasing), joined by a line
  // to the current point if there is one.
  virtual void arc(double xc, double yc, double r, double a0, double a1) = 0;
  virtual void rectangle(double x, double y, double w, double h) = 0;

  // Painting; all but the _preserve calls clear the path.
  virtual void stroke() = 0;
  virtual void stroke_preserve() = 0;
  virtual void fill() = 0;
  virtual void fill_preserve() = 0;
  virtual void clip() = 0;
  virtual void paint() = 0;

  // The source and the line.
  virtual void set_colour(const Colour& c) = 0;
  virtual void set_white() = 0;  // opaque white
  virtual void set_hatch() = 0;  // the negative area's hatching
  virtual void set_line_width(double w) = 0;
  virtual void set_dash(const std::vector<double>& dashes) = 0;  // empty: solid
  virtual void set_round_caps(bool round) = 0;
  // What the next things drawn are, for a reader of the drawing (a class
  // name in an SVG page); "" ends it. Drawing only, never the pixels.
  virtual void set_role(const char* role) = 0;

  // Text in the plot's typeface.
  virtual void set_font(double size, bool bold) = 0;
  virtual double text_advance(const std::string& s) = 0;
  virtual double font_ascent() = 0;
  // s with its baseline at y, its left, centre or right (ax 0, 0.5, 1)
  // at x.
  virtual void show_text(double x, double y, const std::string& s, double ax) = 0;

  // A drawing's start shared by other drawings: keep_start() keeps what is
  // drawn so far under key, start_from() puts it on a fresh page in place
  // of drawing it again (false: nothing kept, draw it). Only where reusing
  // it gives the same result as drawing it (image pages); elsewhere
  // nothing is kept.
  virtual bool start_from(const std::string& /*key*/) { return false; }
  virtual void keep_start(const std::string& /*key*/) {}
};

// The cairo back end over a context the caller owns; the hatching is a
// repeated tile of its own.
class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_t* cr, const Colour& hatch_ink);
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

  void save() override { cairo_save(cr_); }
  void restore() override { cairo_restore(cr_); }
  void translate(double x, double y) override { cairo_translate(cr_, x, y); }
  void rotate(double a) override { cairo_rotate(cr_, a); }
  void move_to(double x, double y) override { cairo_move_to(cr_, x, y); }
  void line_to(double x, double y) override { cairo_line_to(cr_, x, y); }
  void close_path() override { cairo_close_path(cr_); }
  void new_sub_path() override { cairo_new_sub_path(cr_); }
  void arc(double xc, double yc, double r, double a0, double a1) override {
    cairo_arc(cr_, xc, yc, r, a0, a1);
  }
  void rectangle(double x, double y, double w, double h) override {
    cairo_rectangle(cr_, x, y, w, h);
  }
  void stroke() override { cairo_stroke(cr_); }
  void stroke_preserve() override { cairo_stroke_preserve(cr_); }
  void fill() override { cairo_fill(cr_); }
  void fill_preserve() override { cairo_fill_preserve(cr_); }
  void clip() override { cairo_clip(cr_); }
  void paint() override { cairo_paint(cr_); }
  void set_colour(const Colour& c) override {
    cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a);
  }
  void set_white() override { cairo_set_source_rgb(cr_, 1, 1, 1); }
  void set_hatch() override { cairo_set_source(cr_, hatch_.get()); }
  void set_line_width(double w) override { cairo_set_line_width(cr_, w); }
  void set_dash(const std::vector<double>& d) override {
    cairo_set_dash(cr_, d.data(), static_cast<int>(d.size()), 0);
  }
  void set_round_caps(bool round) override {
    cairo_set_line_cap(cr_, round ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
  }
  void set_role(const char*) override {}
  void set_font(double size, bool bold) override;
  double text_advance(const std::string& s) override;
  double font_ascent() override;
  void show_text(double x, double y, const std::string& s, double ax) override;
  bool start_from(const std::string& key) override;
  void keep_start(const std::string& key) override;

 private:
  cairo_t* cr_;
  PatternPtr hatch_;
};

// The SVG back end: an <svg> element of width by height units, for a web
// page. Text is placed as <text> in DejaVu Sans (a sans-serif where the
// reader has none), measured for the layout with the plot's own font
// files; coordinates are written to a tenth of a unit. `id` prefixes the
// element's internal ids (clips, the hatching), so that several drawings
// can share a page (characters other than letters, digits, - and _ become
// _).
class SvgCanvas final : public Canvas {
 public:
  SvgCanvas(double width, double height, const Colour& hatch_ink,
            const std::string& id, const std::string& label);
  SvgCanvas(const SvgCanvas&) = delete;
  SvgCanvas& operator=(const SvgCanvas&) = delete;

  // The element, closed; the canvas is spent.
  std::string finish();

  void save() override;
  void restore() override;
  void translate(double x, double y) override;
  void rotate(double a) override;
  void move_to(double x, double y) override;
  void line_to(double x, double y) override;
  void close_path() override;
  void new_sub_path() override { has_point_ = false; }
  void arc(double xc, double yc, double r, double a0, double a1) override;
  void rectangle(double x, double y, double w, double h) override;
  void stroke() override;
  void stroke_preserve() override;
  void fill() override;
  void fill_preserve() override;
  void clip() override;
  void paint() override;
  void set_colour(const Colour& c) override;
  void set_white() override { set_colour({1, 1, 1, 1}); }
  void set_hatch() override { state_.hatch = true; }
  void set_line_width(double w) override { state_.line_width = w; }
  void set_dash(const std::vector<double>& d) override { state_.dashes = d; }
  void set_round_caps(bool round) override { state_.round_caps = round; }
  void set_role(const char* role) override { role_ = role; }
  void set_font(double size, bool bold) override;
  double text_advance(const std::string& s) override;
  double font_ascent() override;
  void show_text(double x, double y, const std::string& s, double ax) override;

 private:
  struct State {
    double m[6] = {1, 0, 0, 1, 0, 0};  // x' = m0 x + m2 y + m4, y' = m1 x + m3 y + m5
    Colour colour{0, 0, 0, 1};
    bool hatch = false;
    double line_width = 2;
    std::vector<double> dashes;
    bool round_caps = false;
    double font_size = 10;
    bool bold = false;
    int open_groups = 0;  // clip groups opened since the matching save
  };
  void point(double x, double y);
  void page_size();  // ' width="..." height="..."' of the page
  void paint_attributes(bool stroke);
  void emit_path(bool stroke, bool keep);

  State state_;
  std::vector<State> saved_;
  std::string out_, path_;
  std::string id_;
  std::string role_;
  bool has_point_ = false;
  int clips_ = 0;
  double width_, height_;
  // A scratch cairo context over a tiny image, for the fonts' metrics.
  SurfacePtr scratch_surface_;
  ContextPtr scratch_context_;
  cairo_t* scratch_;  // scratch_context_'s
};

}  // namespace rawinq::plot
