// Writing the NCL program that draws the diagram.
#include "ncl_script.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

namespace drovane {
namespace {

// An NCL array literal, a few numbers to a line.
template <typename T, typename Get>
std::string array_literal(const std::vector<T>& items, Get get) {
  std::string s = "(/";
  for (size_t i = 0; i < items.size(); ++i) {
    char num[32];
    std::snprintf(num, sizeof num, "%.2f", get(items[i]));
    if (i > 0) s += (i % 8 == 0) ? ", \\\n      " : ", ";
    s += num;
  }
  return s + "/)";
}

void curve(std::ostringstream& out, const std::vector<CurvePoint>& points,
           const char* name, const char* color, int dash) {
  // A curve needs two points; a single point is drawn as a marker.
  if (points.empty()) return;
  out << "  " << name << "_p = "
      << array_literal(points, [](const CurvePoint& c) { return c.p_mb; })
      << "\n  " << name << "_t = "
      << array_literal(points, [](const CurvePoint& c) { return c.celsius; })
      << "\n  " << name << "_y = skewty(" << name << "_p)\n"
      << "  " << name << "_x = skewtx(" << name << "_t, " << name << "_y)\n"
      << "  res = True\n"
      << "  res@gsLineColor = \"" << color << "\"\n"
      << "  res@gsMarkerColor = \"" << color << "\"\n"
      << "  res@gsLineThicknessF = " << (dash == 0 ? "12.0" : "8.0") << "\n"
      << "  res@gsLineDashPattern = " << dash << "\n"
      << "  res@gsLineDashSegLenF = 0.25\n";
  if (points.size() >= 2) {
    out << "  gsn_polyline(wks, bkgd, " << name << "_x, " << name
        << "_y, res)\n";
  } else {
    out << "  res@gsMarkerIndex = 16\n"
        << "  gsn_polymarker(wks, bkgd, " << name << "_x, " << name
        << "_y, res)\n";
  }
  out << "  delete(res)\n";
}

}  // namespace

std::string drawable_text(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) ||
        std::string(" .,:/()-").find(c) != std::string::npos)
      s += c;
  }
  return s;
}

std::string ncl_script(const SkewtPlot& plot, const std::string& workstation,
                       const std::string& done_marker) {
  std::ostringstream out;
  out << "load \"$NCARG_ROOT/lib/ncarg/nclscripts/csm/gsn_code.ncl\"\n"
      << "load \"$NCARG_ROOT/lib/ncarg/nclscripts/csm/skewt_func.ncl\"\n"
      << "begin\n"
      << "  wks = gsn_open_wks(\"ncgm\", \"" << workstation << "\")\n"
      // The colours the background needs, set before drawing starts so that
      // the metafile's background colour never changes afterwards.
      << "  gsn_define_colormap(wks, (/\"white\", \"black\", \"Tan\", "
         "\"Green\", \"PaleGreen\", \"RoyalBlue\", \"Red\", \"Sienna\", "
         "\"Brown\"/))\n"
      << "  opts = True\n"
      << "  opts@UseMyColorMap = True\n"
      << "  opts@DrawFahrenheit = False\n"
      // Room above the frame for the title lines, below it for the key.
      << "  opts@vpXF = 0.09\n"
      << "  opts@vpYF = 0.88\n"
      << "  opts@vpWidthF = 0.80\n"
      << "  opts@vpHeightF = 0.78\n"
      << "  bkgd = skewT_BackGround(wks, opts)\n"
      << "  draw(bkgd)\n";
  curve(out, plot.temperature, "temp", "black", 0);
  curve(out, plot.dew_point, "dewp", "RoyalBlue", 1);
  if (!plot.winds.empty()) {
    out << "  wind_p = "
        << array_literal(plot.winds, [](const WindBarb& w) { return w.p_mb; })
        << "\n  wind_s = "
        << array_literal(plot.winds,
                         [](const WindBarb& w) { return w.speed_kt; })
        << "\n  wind_d = 0.017453 * "
        << array_literal(plot.winds,
                         [](const WindBarb& w) { return w.direction_deg; })
        << "\n"
        // Barbs along the wind line at the right of the diagram, pointing
        // where the wind comes from.
        << "  wmsetp(\"wdf\", 1)\n"
        << "  wmsetp(\"wbs\", 0.05)\n"
        << "  wmsetp(\"blw\", 2.0)\n"
        << "  wind_y = skewty(wind_p)\n"
        << "  wind_x = new(dimsizes(wind_p), float)\n"
        << "  wind_x = skewtx(45.0, skewty(1013.0))\n"
        << "  wmbarb(wks, wind_x, wind_y, tofloat(-wind_s * sin(wind_d)), "
           "tofloat(-wind_s * cos(wind_d)))\n";
  }
  out << "  txres = True\n"
      << "  txres@txFontHeightF = 0.024\n"
      << "  gsn_text_ndc(wks, \"" << drawable_text(plot.title)
      << "\", 0.5, 0.96, txres)\n"
      << "  txres@txFontHeightF = 0.014\n"
      << "  gsn_text_ndc(wks, \"" << drawable_text(plot.subtitle)
      << "\", 0.5, 0.92, txres)\n"
      << "  gsn_text_ndc(wks, \"solid: temperature    dashed: dew point    "
         "barbs: wind (knots)\", 0.5, 0.015, txres)\n"
      << "  frame(wks)\n"
      << "  asciiwrite(\"" << done_marker << "\", 1)\n"
      << "end\n";
  return out.str();
}

}  // namespace drovane
