// Loading the plots' typeface; see fonts.h.
#include "fonts.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include "rawinq/plot.h"

namespace rawinq::plot {
namespace {

// Where Debian installs the files; elsewhere under the font directory when
// not there.
const char kDebianDir[] = "/usr/share/fonts/truetype/dejavu";
const char kFontRoot[] = "/usr/share/fonts";

std::string find_font(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path first = fs::path(kDebianDir) / file;
  if (fs::is_regular_file(first, ec)) return first.string();
  for (fs::recursive_directory_iterator it(kFontRoot, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (it->path().filename() == file && it->is_regular_file(ec))
      return it->path().string();
  }
  throw PlotError("the font file " + file +
                  " (DejaVu Sans, package fonts-dejavu-core) is not "
                  "installed under " + kFontRoot);
}

const cairo_user_data_key_t kFaceKey{};

// A cairo face over a FreeType face of the file; the FreeType face is
// released with the cairo face, whenever cairo lets it go.
cairo_font_face_t* load(FT_Library library, const std::string& file) {
  const std::string path = find_font(file);
  FT_Face face = nullptr;
  if (FT_New_Face(library, path.c_str(), 0, &face) != 0)
    throw PlotError("cannot read the font file " + path);
  cairo_font_face_t* cairo_face =
      cairo_ft_font_face_create_for_ft_face(face, 0);
  if (cairo_font_face_status(cairo_face) != CAIRO_STATUS_SUCCESS ||
      cairo_font_face_set_user_data(
          cairo_face, &kFaceKey, face,
          [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); }) !=
          CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(cairo_face);
    FT_Done_Face(face);
    throw PlotError("cannot use the font file " + path);
  }
  return cairo_face;
}

}  // namespace

const PlotFonts& plot_fonts() {
  // Made once; a failed attempt is tried again by the next plot. The
  // FreeType library and the faces stay for the life of the process.
  static std::mutex lock;
  static PlotFonts fonts{nullptr, nullptr};
  static FT_Library library = nullptr;
  std::lock_guard<std::mutex> hold(lock);
  if (fonts.regular != nullptr) return fonts;
  if (library == nullptr && FT_Init_FreeType(&library) != 0) {
    library = nullptr;
    throw PlotError("cannot start the FreeType library");
  }
  cairo_font_face_t* regular = load(library, "DejaVuSans.ttf");
  try {
    fonts.bold = load(library, "DejaVuSans-Bold.ttf");
  } catch (...) {
    cairo_font_face_destroy(regular);
    throw;
  }
  fonts.regular = regular;
  return fonts;
}

}  // namespace rawinq::plot
