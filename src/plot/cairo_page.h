// A cairo drawing page written to a file: a PNG image, an SVG drawing or a
// PDF page, owned surface and context, written under a temporary name in
// the target's directory and renamed into place only when complete.
#pragma once

#include <cairo.h>

#include <cstdio>
#include <memory>
#include <string>

#include "rawinq/plot.h"

namespace rawinq::plot {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PatternDeleter {
  void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

class CairoPage {
 public:
  // A page of width by height drawing units; a PNG has one pixel to the
  // unit, the vector pages are scaled to `points_per_unit`.
  CairoPage(PlotKind kind, const std::string& path, double width,
            double height, double points_per_unit);
  ~CairoPage();
  CairoPage(const CairoPage&) = delete;
  CairoPage& operator=(const CairoPage&) = delete;

  cairo_t* cr() const { return cr_.get(); }
  // Finishes the drawing and puts the file in place; throws PlotError.
  void commit();

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  static cairo_status_t write_to(void* closure, const unsigned char* data,
                                 unsigned int length);
  // err: the errno value to name, 0 for none.
  [[noreturn]] void fail(const std::string& what, int err);

  PlotKind kind_;
  std::string path_, temp_path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  int write_errno_ = 0;
  SurfacePtr surface_;
  ContextPtr cr_;
  bool committed_ = false;
};

}  // namespace rawinq::plot
