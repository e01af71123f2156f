// The plots' typeface, DejaVu Sans (Debian package fonts-dejavu-core), read
// from its TrueType files with FreeType: the same letters on every
// machine, and no font configuration to consult for each plot.
#pragma once

#include <cairo.h>

namespace rawinq::plot {

struct PlotFonts {
  cairo_font_face_t* regular;
  cairo_font_face_t* bold;
};

// The faces, loaded on first use and kept for the life of the process.
// Throws PlotError when the font files cannot be found or read.
const PlotFonts& plot_fonts();

}  // namespace rawinq::plot
