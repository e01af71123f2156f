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
           const std::string& name, const std::string& bkgd, const char* color,
           int dash) {
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
    out << "  gsn_polyline(wks, " << bkgd << ", " << name << "_x, " << name
        << "_y, res)\n";
  } else {
    out << "  res@gsMarkerIndex = 16\n"
        << "  gsn_polymarker(wks, " << bkgd << ", " << name << "_x, " << name
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

namespace {

// The statements drawing one frame; the names of its arrays end in n, as
// NCL cannot give a name an array of another size.
void frame(std::ostringstream& out, const SkewtPlot& plot, size_t n) {
  const std::string bkgd = "bkgd" + std::to_string(n);
  const std::string sfx = std::to_string(n);
  out << "  " << bkgd << " = skewT_BackGround(wks, opts)\n"
      << "  draw(" << bkgd << ")\n";
  curve(out, plot.temperature, ("temp" + sfx).c_str(), bkgd, "black", 0);
  curve(out, plot.dew_point, ("dewp" + sfx).c_str(), bkgd, "RoyalBlue", 1);
  // The barb column: a plot of its own right of the frame, its one line
  // the column's middle from the frame's bottom to its top, at the heights
  // of the frame's pressure axis. It reaches beyond the frame's top and
  // bottom so that the barbs there are not cut. Drawn last before the
  // barbs, it gives them its coordinates.
  const std::string col = "col" + sfx;
  out << "  getvalues " << bkgd << "\n"
      << "    \"trYMinF\" : ymin" << sfx << "\n"
      << "    \"trYMaxF\" : ymax" << sfx << "\n"
      << "    \"vpYF\" : vpy" << sfx << "\n"
      << "    \"vpHeightF\" : vph" << sfx << "\n"
      << "  end getvalues\n"
      << "  perndc" << sfx << " = (ymax" << sfx << " - ymin" << sfx
      << ") / vph" << sfx << "\n"
      << "  cres = True\n"
      << "  cres@gsnDraw = False\n"
      << "  cres@gsnFrame = False\n"
      << "  cres@vpXF = " << kBarbColumnNdc - kBarbColumnHalfWidthNdc << "\n"
      << "  cres@vpWidthF = " << 2 * kBarbColumnHalfWidthNdc << "\n"
      << "  cres@vpYF = vpy" << sfx << " + " << kBarbColumnMarginNdc << "\n"
      << "  cres@vpHeightF = vph" << sfx << " + "
      << 2 * kBarbColumnMarginNdc << "\n"
      << "  cres@trXMinF = -1.0\n"
      << "  cres@trXMaxF = 1.0\n"
      << "  cres@trYMinF = ymin" << sfx << " - " << kBarbColumnMarginNdc
      << " * perndc" << sfx << "\n"
      << "  cres@trYMaxF = ymax" << sfx << " + " << kBarbColumnMarginNdc
      << " * perndc" << sfx << "\n"
      << "  cres@tmXBOn = False\n"
      << "  cres@tmXTOn = False\n"
      << "  cres@tmYLOn = False\n"
      << "  cres@tmYROn = False\n"
      << "  cres@tmXBBorderOn = False\n"
      << "  cres@tmXTBorderOn = False\n"
      << "  cres@tmYLBorderOn = False\n"
      << "  cres@tmYRBorderOn = False\n"
      << "  " << col << " = gsn_xy(wks, (/0.0, 0.0/), (/ymin" << sfx
      << ", ymax" << sfx << "/), cres)\n"
      << "  delete(cres)\n"
      << "  draw(" << col << ")\n";
  if (!plot.winds.empty()) {
    const std::string wp = "wind_p" + sfx, ws = "wind_s" + sfx,
                      wd = "wind_d" + sfx;
    out << "  " << wp << " = "
        << array_literal(plot.winds, [](const WindBarb& w) { return w.p_mb; })
        << "\n  " << ws << " = "
        << array_literal(plot.winds,
                         [](const WindBarb& w) { return w.speed_kt; })
        << "\n  " << wd << " = 0.017453 * "
        << array_literal(plot.winds,
                         [](const WindBarb& w) { return w.direction_deg; })
        << "\n"
        << "  wmsetp(\"wdf\", 1)\n"
        << "  wmsetp(\"wbs\", " << kBarbShaftNdc << ")\n"
        << "  wmsetp(\"blw\", 2.0)\n"
        << "  wind_y" << sfx << " = tofloat(skewty(" << wp << "))\n"
        << "  wind_x" << sfx << " = new(dimsizes(" << wp << "), float)\n"
        << "  wind_x" << sfx << " = 0.0\n"
        << "  wmbarb(wks, wind_x" << sfx << ", wind_y" << sfx
        << ", tofloat(-" << ws << " * sin(" << wd << ")), tofloat(-" << ws
        << " * cos(" << wd << ")))\n";
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
      << "  delete(txres)\n"
      << "  frame(wks)\n";
}

}  // namespace

std::string ncl_script(const std::vector<SkewtPlot>& plots,
                       const std::string& workstation,
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
      // The background's own wind line lies inside the frame; the barbs
      // get a column of their own.
      << "  opts@DrawWind = False\n"
      // Room above the frame for the title lines, below it for the key,
      // right of it for the barbs.
      << "  opts@vpXF = " << kFrameLeftNdc << "\n"
      << "  opts@vpYF = 0.88\n"
      << "  opts@vpWidthF = " << kFrameRightNdc - kFrameLeftNdc << "\n"
      << "  opts@vpHeightF = 0.78\n";
  for (size_t n = 0; n < plots.size(); ++n) frame(out, plots[n], n);
  out << "  asciiwrite(\"" << done_marker << "\", 1)\n"
      << "end\n";
  return out.str();
}

}  // namespace drovane
