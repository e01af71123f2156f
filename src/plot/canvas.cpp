// The skew-T's two drawing back ends; see canvas.h.
#include "canvas.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "fonts.h"
#include "rawinq/plot.h"
#include "rawinq/utf8.h"

namespace rawinq::plot {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Thin diagonal lines on an 8-unit tile.
constexpr double kHatchTile = 8;
constexpr double kHatchWidth = 0.7;

void select_font(cairo_t* cr, double size, bool bold) {
  const PlotFonts& f = plot_fonts();
  cairo_set_font_face(cr, bold ? f.bold : f.regular);
  cairo_set_font_size(cr, size);
}

double ascent_of(cairo_t* cr) {
  cairo_font_extents_t f;
  cairo_font_extents(cr, &f);
  return f.ascent;
}

// "#rrggbb" of a colour's components (0 to 1).
std::string hex_colour(const Colour& c) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "#";
  for (double v : {c.r, c.g, c.b}) {
    v = v > 0 ? std::min(v, 1.0) : 0.0;  // NaN too
    const int byte = static_cast<int>(std::lround(v * 255));
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

double advance_of(cairo_t* cr, const std::string& s) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, as_utf8(s).c_str(), &e);
  return e.x_advance;
}

// The pixels of image pages' shared starts, the most recently kept few
// (a plot's background is some 4 MB), for every thread.
class StartCache {
 public:
  struct Image {
    std::string key;
    int width, height, stride;
    cairo_format_t format;
    std::vector<unsigned char> pixels;
  };
  std::shared_ptr<const Image> find(const std::string& key) {
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& image : images_)
      if (image->key == key) return image;
    return nullptr;
  }
  void keep(std::shared_ptr<const Image> image) {
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& kept : images_)
      if (kept->key == image->key) return;
    images_.push_front(std::move(image));
    if (images_.size() > kKept) images_.pop_back();
  }

 private:
  static constexpr std::size_t kKept = 4;
  std::mutex lock_;
  std::deque<std::shared_ptr<const Image>> images_;
};

StartCache& start_cache() {
  static StartCache cache;
  return cache;
}

// The context's target when it is an image whose pixels can be copied.
cairo_surface_t* image_target(cairo_t* cr) {
  cairo_surface_t* target = cairo_get_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_surface_status(target) != CAIRO_STATUS_SUCCESS)
    return nullptr;
  return target;
}

// v to a tenth, as an integer where it is one.
void append_number(std::string& out, double v) {
  // Tenths, as an integer: no locale, no exponent, no "-0".
  if (!std::isfinite(v)) v = 0;
  v = std::clamp(v, -1e9, 1e9);
  long long tenths = std::llround(v * 10);
  if (tenths < 0) {
    out += '-';
    tenths = -tenths;
  }
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, tenths / 10);
  out.append(buf, r.ptr);
  if (tenths % 10 != 0) {
    out += '.';
    out += static_cast<char>('0' + tenths % 10);
  }
}

}  // namespace

std::string as_utf8(const std::string& s) {
  std::size_t i = 0;
  for (std::size_t n; i < s.size() && (n = utf8_length(s, i)) != 0;) i += n;
  if (i == s.size()) return s;  // the usual case, UTF-8 already
  std::string out;
  append_utf8(out, s, [](std::string& o, char c) { o += c; });
  return out;
}

// ---- cairo ----

CairoCanvas::CairoCanvas(cairo_t* cr, const Colour& hatch_ink) : cr_(cr) {
  const SurfacePtr tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8));
  const ContextPtr c(cairo_create(tile.get()));
  cairo_set_source_rgba(c.get(), hatch_ink.r, hatch_ink.g, hatch_ink.b, hatch_ink.a);
  cairo_set_line_width(c.get(), kHatchWidth);
  cairo_move_to(c.get(), 0, kHatchTile);
  cairo_line_to(c.get(), kHatchTile, 0);
  cairo_stroke(c.get());
  hatch_.reset(cairo_pattern_create_for_surface(tile.get()));
  cairo_pattern_set_extend(hatch_.get(), CAIRO_EXTEND_REPEAT);
}

void CairoCanvas::set_font(double size, bool bold) { select_font(cr_, size, bold); }

double CairoCanvas::text_advance(const std::string& s) { return advance_of(cr_, s); }

double CairoCanvas::font_ascent() { return ascent_of(cr_); }

void CairoCanvas::show_text(double x, double y, const std::string& s, double ax) {
  const std::string utf8 = as_utf8(s);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, utf8.c_str(), &e);
  cairo_move_to(cr_, x - ax * e.x_advance, y);
  cairo_show_text(cr_, utf8.c_str());
}

bool CairoCanvas::start_from(const std::string& key) {
  cairo_surface_t* target = image_target(cr_);
  if (target == nullptr) return false;
  const auto image = start_cache().find(key);
  if (image == nullptr || image->width != cairo_image_surface_get_width(target) ||
      image->height != cairo_image_surface_get_height(target) ||
      image->stride != cairo_image_surface_get_stride(target) ||
      image->format != cairo_image_surface_get_format(target))
    return false;
  cairo_surface_flush(target);
  unsigned char* data = cairo_image_surface_get_data(target);
  if (data == nullptr) return false;
  std::memcpy(data, image->pixels.data(), image->pixels.size());
  cairo_surface_mark_dirty(target);
  return true;
}

void CairoCanvas::keep_start(const std::string& key) {
  cairo_surface_t* target = image_target(cr_);
  if (target == nullptr) return;
  cairo_surface_flush(target);
  const unsigned char* data = cairo_image_surface_get_data(target);
  if (data == nullptr) return;
  auto image = std::make_shared<StartCache::Image>();
  image->key = key;
  image->width = cairo_image_surface_get_width(target);
  image->height = cairo_image_surface_get_height(target);
  image->stride = cairo_image_surface_get_stride(target);
  image->format = cairo_image_surface_get_format(target);
  image->pixels.assign(data, data + static_cast<std::size_t>(image->stride) * image->height);
  start_cache().keep(std::move(image));
}

// ---- SVG ----

SvgCanvas::SvgCanvas(double width, double height, const Colour& hatch_ink,
                     const std::string& id, const std::string& label)
    : id_(id), width_(width), height_(height) {
  // The id goes into attributes and references: letters, digits, - and _
  // only.
  for (char& c : id_)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
  if (id_.empty()) id_ = "svg";
  scratch_surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1));
  scratch_context_.reset(cairo_create(scratch_surface_.get()));
  scratch_ = scratch_context_.get();
  select_font(scratch_, state_.font_size, state_.bold);
  out_.reserve(96 * 1024);
  out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 ";
  append_number(out_, width_);
  out_ += ' ';
  append_number(out_, height_);
  out_ += '"';
  page_size();
  out_ += " role=\"img\" aria-label=\"";
  append_markup(out_, label);
  // Text keeps its runs of spaces (the title's columns).
  out_ += "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" xml:space=\"preserve\">\n<defs><pattern id=\"";
  out_ += id_;
  out_ += "-hatch\" patternUnits=\"userSpaceOnUse\" width=\"8\" height=\"8\"><path d=\"M0 8L8 0\" stroke=\"";
  out_ += hex_colour(hatch_ink);
  out_ += "\" stroke-width=\"0.7\"/></pattern></defs>\n";
}

std::string SvgCanvas::finish() {
  int open = state_.open_groups;
  for (const State& s : saved_) open += s.open_groups;
  for (int i = 0; i < open; ++i) out_ += "</g>";
  out_ += "</svg>\n";
  return std::move(out_);
}

void SvgCanvas::point(double x, double y) {
  const double* m = state_.m;
  append_number(path_, m[0] * x + m[2] * y + m[4]);
  path_ += ' ';
  append_number(path_, m[1] * x + m[3] * y + m[5]);
}

void SvgCanvas::save() {
  saved_.push_back(state_);
  state_.open_groups = 0;
}

void SvgCanvas::restore() {
  if (saved_.empty()) return;
  for (int i = 0; i < state_.open_groups; ++i) out_ += "</g>";
  state_ = saved_.back();
  saved_.pop_back();
  // The metrics follow the font restored.
  select_font(scratch_, state_.font_size, state_.bold);
}

void SvgCanvas::translate(double x, double y) {
  double* m = state_.m;
  m[4] += m[0] * x + m[2] * y;
  m[5] += m[1] * x + m[3] * y;
}

void SvgCanvas::rotate(double a) {
  double* m = state_.m;
  const double c = std::cos(a), s = std::sin(a);
  const double m0 = m[0] * c + m[2] * s, m1 = m[1] * c + m[3] * s;
  const double m2 = -m[0] * s + m[2] * c, m3 = -m[1] * s + m[3] * c;
  m[0] = m0, m[1] = m1, m[2] = m2, m[3] = m3;
}

void SvgCanvas::move_to(double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;  // no place to go
  path_ += 'M';
  point(x, y);
  has_point_ = true;
}

void SvgCanvas::line_to(double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  if (!has_point_) return move_to(x, y);
  path_ += 'L';
  point(x, y);
}

void SvgCanvas::close_path() {
  // The current point goes back to the sub-path's start, as in SVG.
  if (has_point_) path_ += 'Z';
}

void SvgCanvas::arc(double xc, double yc, double r, double a0, double a1) {
  if (!(r > 0) || !(a1 > a0)) return;
  a1 = std::min(a1, a0 + 2 * kPi);  // a whole circle at most
  const double x0 = xc + r * std::cos(a0), y0 = yc + r * std::sin(a0);
  if (has_point_) line_to(x0, y0);
  else move_to(x0, y0);
  // Pieces of at most a quarter turn, each an SVG arc of the same radius
  // (the transforms used are rotations and translations).
  const int pieces = std::max(1, static_cast<int>(std::ceil((a1 - a0) / (kPi / 2))));
  for (int i = 1; i <= pieces; ++i) {
    const double a = a0 + (a1 - a0) * i / pieces;
    path_ += 'A';
    append_number(path_, r);
    path_ += ' ';
    append_number(path_, r);
    path_ += " 0 0 1 ";
    point(xc + r * std::cos(a), yc + r * std::sin(a));
  }
}

void SvgCanvas::rectangle(double x, double y, double w, double h) {
  move_to(x, y);
  line_to(x + w, y);
  line_to(x + w, y + h);
  line_to(x, y + h);
  close_path();
}

void SvgCanvas::set_colour(const Colour& c) {
  state_.colour = c;
  state_.hatch = false;
}

void SvgCanvas::paint_attributes(bool stroke) {
  const char* what = stroke ? "stroke" : "fill";
  out_ += ' ';
  out_ += what;
  out_ += "=\"";
  if (state_.hatch) {
    out_ += "url(#" + id_ + "-hatch)\"";
  } else {
    out_ += hex_colour(state_.colour);
    out_ += '"';
    // Opacity in hundredths, "0.00" to "0.99"; none when it rounds to 1
    // (NaN counts as opaque).
    const double a = state_.colour.a;
    const long hundredths = a < 1 ? std::lround(std::max(a, 0.0) * 100) : 100;
    if (hundredths < 100) {
      out_ += ' ';
      out_ += what;
      out_ += "-opacity=\"0.";
      out_ += static_cast<char>('0' + hundredths / 10);
      out_ += static_cast<char>('0' + hundredths % 10);
      out_ += '"';
    }
  }
  if (!role_.empty()) out_ += " class=\"" + role_ + '"';
}

void SvgCanvas::emit_path(bool stroke, bool keep) {
  if (!path_.empty()) {
    out_ += "<path d=\"";
    out_ += path_;
    out_ += '"';
    if (stroke) {
      out_ += " fill=\"none\"";
      paint_attributes(true);
      out_ += " stroke-width=\"";
      append_number(out_, state_.line_width);
      out_ += '"';
      if (!state_.dashes.empty()) {
        out_ += " stroke-dasharray=\"";
        for (std::size_t i = 0; i < state_.dashes.size(); ++i) {
          if (i > 0) out_ += ' ';
          append_number(out_, state_.dashes[i]);
        }
        out_ += '"';
      }
      if (state_.round_caps) out_ += " stroke-linecap=\"round\"";
    } else {
      paint_attributes(false);
    }
    out_ += "/>\n";
  }
  if (!keep) {
    path_.clear();
    has_point_ = false;
  }
}

void SvgCanvas::stroke() { emit_path(true, false); }
void SvgCanvas::stroke_preserve() { emit_path(true, true); }
void SvgCanvas::fill() { emit_path(false, false); }
void SvgCanvas::fill_preserve() { emit_path(false, true); }

void SvgCanvas::clip() {
  const std::string name = id_ + "-clip" + std::to_string(++clips_);
  out_ += "<clipPath id=\"" + name + "\"><path d=\"";
  out_ += path_;
  out_ += "\"/></clipPath><g clip-path=\"url(#" + name + ")\">\n";
  ++state_.open_groups;
  path_.clear();
  has_point_ = false;
}

void SvgCanvas::page_size() {
  out_ += " width=\"";
  append_number(out_, width_);
  out_ += "\" height=\"";
  append_number(out_, height_);
  out_ += '"';
}

void SvgCanvas::paint() {
  out_ += "<rect";
  page_size();
  paint_attributes(false);
  out_ += "/>\n";
}

void SvgCanvas::set_font(double size, bool bold) {
  state_.font_size = size;
  state_.bold = bold;
  select_font(scratch_, size, bold);
}

double SvgCanvas::text_advance(const std::string& s) { return advance_of(scratch_, s); }

double SvgCanvas::font_ascent() { return ascent_of(scratch_); }

void SvgCanvas::show_text(double x, double y, const std::string& s, double ax) {
  const double* m = state_.m;
  const bool plain = m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1;
  out_ += "<text";
  if (!plain) {
    out_ += " transform=\"matrix(";
    for (int i = 0; i < 6; ++i) {
      if (i > 0) out_ += ' ';
      // The rotation's terms need more than tenths.
      char buf[32];
      const auto r = std::to_chars(buf, buf + sizeof buf, m[i], std::chars_format::fixed, 4);
      out_.append(buf, r.ptr);
    }
    out_ += ")\"";
  }
  out_ += " x=\"";
  append_number(out_, plain ? x + m[4] : x);
  out_ += "\" y=\"";
  append_number(out_, plain ? y + m[5] : y);
  out_ += "\" font-size=\"";
  append_number(out_, state_.font_size);
  out_ += '"';
  if (state_.bold) out_ += " font-weight=\"bold\"";
  if (ax >= 0.75) out_ += " text-anchor=\"end\"";
  else if (ax >= 0.25) out_ += " text-anchor=\"middle\"";
  paint_attributes(false);
  out_ += '>';
  append_markup(out_, s);
  out_ += "</text>\n";
}

}  // namespace rawinq::plot
