// Skew-T log-p plots of one sounding, drawn without a display into a PNG
// image, an SVG drawing or a PDF page: the diagram with its temperature and
// dew point traces and the surface parcel, wind barbs in a column of their
// own, a hodograph, a box of stability indices and a title naming station,
// time and place.
#pragma once

#include <stdexcept>
#include <string>

#include <limits>

#include "rawinq/indices.h"
#include "rawinq/records.h"
#include "rawinq/sounding.h"

enum class PlotKind { png, svg, pdf };

// What a plot shows besides the sounding.
struct PlotOptions {
  // The temperature axis at 1000 hPa, degC, on a diagram up to 100 mb;
  // NaN: chosen from the sounding's own traces.
  double tmin_c = std::numeric_limits<double>::quiet_NaN();
  double tmax_c = std::numeric_limits<double>::quiet_NaN();
  // The parcel drawn, with its CAPE and CIN areas.
  rawinq::indices::ParcelKind parcel = rawinq::indices::ParcelKind::kSurfaceBased;
};

// A plot that could not be written; the message names the file, err is
// the system's reason (0 when there is none).
class PlotError : public std::runtime_error {
 public:
  explicit PlotError(const std::string& message, int err = 0)
      : std::runtime_error(message), err_(err) {}
  int err() const { return err_; }

 private:
  int err_;
};

// Draws the sounding into a new file at path, replacing one that is there.
// Throws PlotError when the file cannot be written. Returns the number of
// labels that found no place clear of the traces, the frame and the other
// labels (and were drawn where they collide).
int render_skewt(const Sounding& sounding, const STATREC& station,
                  PlotKind kind, const std::string& path,
                  const PlotOptions& options = PlotOptions());

// The same plot as an <svg> element for a web page: the same drawing and
// layout, with text as text (DejaVu Sans where the reader has it, else a
// sans-serif), coordinates to a tenth of a unit, the traces' paths named
// by class (temperature, dew-point, virtual-temperature, parcel, barbs,
// hodograph, background), and no embedded images or glyph outlines; some
// ten times smaller and faster to make than the SVG file. id prefixes the
// element's internal ids. Throws PlotError when the font is missing.
std::string skewt_svg_element(const Sounding& sounding, const STATREC& station,
                              const PlotOptions& options = PlotOptions(),
                              const std::string& id = "skewt");

