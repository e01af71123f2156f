// The skew-T plots: drawn from soundings of several kinds into PNG, SVG and
// PDF files, and checked by what the files hold where the diagram's
// coordinates say it must be.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "rawinq/plot.h"
#include "rawinq/retrieval.h"
#include "rawinq/catalogue.h"
#include "rawinq/skewt_layout.h"
#include "rawinq/skewt_style.h"
#include "rawinq/time_height.h"
#include "canvas.h"
#include "test_support.h"

using namespace rawinq::plot;
using testing_support::TempDir;

namespace {

struct Row {
  long fr, pr, ht, tp, dp, wd, ws;
};

Sounding make_sounding(const std::vector<Row>& rows, short hour, short day,
                       short month, short year) {
  Sounding s;
  s.header.hour = hour;
  s.header.day = day;
  s.header.month = month;
  s.header.year = year;
  for (const Row& r : rows)
    s.levels.push_back({r.fr, r.pr, r.ht, r.tp, r.dp, r.wd, r.ws});
  s.header.levels = static_cast<long>(s.levels.size());
  return s;
}

STATREC make_station(const char* init, long wmo, const char* name, float lat,
                     float lon, short elev) {
  STATREC st{};
  std::strncpy(st.init, init, sizeof st.init - 1);
  st.wmo = wmo;
  st.wban = wmo + 900000;
  st.lat = lat;
  st.lon = lon;
  st.Clat = lat < 0 ? 'S' : 'N';
  st.Clon = lon < 0 ? 'W' : 'E';
  st.elev = elev;
  std::snprintf(st.name, sizeof st.name, "%-29s", name);
  return st;
}

constexpr long M = 99999;

struct Case {
  const char* name;
  STATREC station;
  Sounding sounding;
  double top_mb;  // the diagram's top
};

std::vector<Case> cases() {
  std::vector<Case> c;
  // A high station on a summer afternoon: the surface at 837 mb, the
  // mandatory levels below it empty, a moist low layer under dry air.
  c.push_back({"high_station",
               make_station("DEN", 72469, "DENVER", 39.77f, -104.87f, 1611),
               make_sounding({{9, 8370, 1611, 301, 121, 160, 50},
                              {4, 8500, 1457, M, M, M, M},
                              {5, 8000, 1990, 262, 105, 180, 70},
                              {4, 7000, 3141, 155, 35, 220, 100},
                              {6, 6200, M, M, M, 240, 150},
                              {4, 5000, 5860, -95, -225, 250, 200},
                              {4, 4000, 7460, -205, -345, 255, 250},
                              {4, 3000, 9550, -365, -485, 260, 300},
                              {4, 2500, 10830, -465, -585, 265, 340},
                              {7, 2200, 11690, -555, -665, 270, 380},
                              {4, 2000, 12300, -560, -690, 270, 360},
                              {4, 1500, 14140, -590, -730, 275, 280},
                              {4, 1000, 16700, -620, -800, 280, 150}},
                             0, 15, 7, 1995),
               100});
  // A moist tropical sounding of the southern hemisphere, up to 100 mb.
  c.push_back({"tropical",
               make_station("DRW", 94120, "DARWIN", -12.43f, 130.87f, 30),
               make_sounding({{9, 10080, 30, 312, 245, 320, 30},
                              {4, 10000, 100, 298, 238, 330, 50},
                              {4, 9250, 790, 240, 205, 350, 60},
                              {4, 8500, 1530, 192, 165, 20, 40},
                              {4, 7000, 3170, 98, 35, 70, 50},
                              {4, 5000, 5880, -55, -145, 90, 80},
                              {4, 4000, 7580, -155, -275, 100, 100},
                              {4, 3000, 9700, -315, -455, 100, 120},
                              {4, 2500, 10950, -415, -555, 90, 140},
                              {4, 2000, 12420, -535, -655, 80, 160},
                              {4, 1500, 14200, -675, -775, 80, 180},
                              {4, 1000, 16600, -775, -865, 90, 120}},
                             12, 3, 1, 2001),
               100});
  // A sounding whose balloon burst at 400 mb.
  c.push_back({"ends_at_400mb",
               make_station("OAX", 72558, "OMAHA", 41.32f, -96.37f, 350),
               make_sounding({{9, 9760, 350, 215, 142, 180, 80},
                              {4, 9250, 790, 184, 131, 200, 150},
                              {4, 8500, 1490, 162, 72, 220, 180},
                              {5, 7800, 2200, 95, -15, 230, 190},
                              {4, 7000, 3080, 22, -88, 240, 210},
                              {4, 5000, 5740, -148, -268, 250, 260},
                              {4, 4000, 7300, -262, -380, 255, 300}},
                             0, 20, 5, 2003),
               400});
  // No dew point at any level.
  c.push_back({"no_dew_points",
               make_station("BIS", 72764, "BISMARCK", 46.77f, -100.75f, 503),
               make_sounding({{9, 9590, 503, -52, M, 320, 60},
                              {4, 9250, 810, -71, M, 330, 90},
                              {4, 8500, 1450, -115, M, 320, 130},
                              {4, 7000, 2900, -195, M, 310, 170},
                              {4, 5000, 5380, -345, M, 300, 230},
                              {4, 3000, 8900, -545, M, 290, 310},
                              {4, 2000, 11500, -575, M, 290, 260},
                              {4, 1000, 15800, -625, M, 280, 150}},
                             12, 9, 2, 1998),
               100});
  return c;
}

struct PngImage {
  cairo_surface_t* s;
  explicit PngImage(const std::string& path)
      : s(cairo_image_surface_create_from_png(path.c_str())) {}
  ~PngImage() { cairo_surface_destroy(s); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
  bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(s); }
  int height() const { return cairo_image_surface_get_height(s); }
  Colour at(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t px;
    std::memcpy(&px, row + 4 * x, 4);
    return {((px >> 16) & 0xff) / 255.0, ((px >> 8) & 0xff) / 255.0,
            (px & 0xff) / 255.0};
  }
  // Whether a pixel within `radius` of (x, y) has about colour c.
  bool near(double x, double y, const Colour& c, int radius) const {
    const int cx = int(std::lround(x)), cy = int(std::lround(y));
    for (int j = cy - radius; j <= cy + radius; ++j) {
      for (int i = cx - radius; i <= cx + radius; ++i) {
        if (i < 0 || j < 0 || i >= width() || j >= height()) continue;
        const Colour p = at(i, j);
        if (std::fabs(p.r - c.r) < 0.12 && std::fabs(p.g - c.g) < 0.12 &&
            std::fabs(p.b - c.b) < 0.12)
          return true;
      }
    }
    return false;
  }
};

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// How cairo names a colour in SVG style attributes.
std::string svg_colour(const Colour& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "rgb(%g%%,%g%%,%g%%);", c.r * 100, c.g * 100,
                c.b * 100);
  return buf;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1))
    ++n;
  return n;
}

// With the axis chosen from the sounding, and fixed with another parcel.
TEST(SkewtRender, PngTracesLieWhereTheDiagramPutsThem) {
  const Style& st = style();
  PlotOptions fixed;
  fixed.tmin_c = -30;
  fixed.tmax_c = 60;
  fixed.parcel = rawinq::indices::ParcelKind::kMostUnstable;
  // Each plot's file, drawn again at the end in the other order: a page
  // that starts from a kept background is the same as one drawn afresh.
  std::vector<std::string> files;
  const auto draw = [](const Case& c, const PlotOptions& options) {
    TempDir dir;
    render_skewt(c.sounding, c.station, PlotKind::png, dir / "plot.png", options);
    return read_all(dir / "plot.png");
  };
  for (const Case& c : cases())
  for (const PlotOptions& options : {PlotOptions(), fixed}) {
    SCOPED_TRACE(std::string(c.name) + (std::isnan(options.tmin_c) ? "" : ", fixed axis"));
    TempDir dir;
    const std::string path = dir / "plot.png";
    render_skewt(c.sounding, c.station, PlotKind::png, path, options);
    files.push_back(read_all(path));
    PngImage img(path);
    ASSERT_TRUE(img.ok());
    EXPECT_EQ(img.width(), int(kPageWidth));
    EXPECT_EQ(img.height(), int(kPageHeight));

    const std::vector<Level> levels = plot_levels(c.sounding, std::nan(""));
    const Diagram d = std::isnan(options.tmin_c) ? Diagram::for_levels(levels)
                                                 : Diagram::for_range(-30, 60);
    EXPECT_DOUBLE_EQ(d.top_mb(), std::isnan(options.tmin_c) ? c.top_mb : 100);
    int probed = 0, dew_points = 0;
    // Points on the frame's edges are left out: the frame is drawn over
    // them.
    const auto on_edge = [](double x, double y) {
      return x < kFrame.left + 4 || x > kFrame.right - 4 ||
             y < kFrame.top + 4 || y > kFrame.bottom - 4;
    };
    for (const Level& l : levels) {
      if (!std::isnan(l.t_c)) {
        const double x = d.x(l.t_c, l.p_mb), y = d.y(l.p_mb);
        if (on_edge(x, y)) continue;
        EXPECT_TRUE(img.near(x, y, st.temperature.colour, 2))
            << l.p_mb << " mb " << l.t_c << " C at " << x << "," << y;
        ++probed;
      }
      if (!std::isnan(l.td_c)) {
        ++dew_points;
        const double x = d.x(l.td_c, l.p_mb), y = d.y(l.p_mb);
        if (on_edge(x, y)) continue;
        // A trace that ends in a gap of its dashes (3 units) has its last
        // ink that far from its end.
        EXPECT_TRUE(img.near(x, y, st.dew_point.colour, 4))
            << l.p_mb << " mb dew point " << l.td_c << " C";
      }
    }
    EXPECT_GE(probed, 5);
    // No dew points, no dew point trace; and a point of the temperature
    // trace's colour where no trace is (the top left corner of the frame).
    if (dew_points == 0) {
      int green = 0;
      for (int y = int(kFrame.top); y < int(kFrame.bottom); ++y)
        for (int x = int(kFrame.left); x < int(kFrame.right); ++x)
          if (img.near(x, y, st.dew_point.colour, 0)) ++green;
      EXPECT_EQ(green, 0);
    }
    EXPECT_FALSE(img.near(kFrame.left + 8, kFrame.top + 8,
                          st.temperature.colour, 3));
    // The background is this diagram's (one kept for another is not).
    EXPECT_TRUE(img.near(d.x(0, 850), d.y(850), st.zero_isotherm.colour, 1));
  }
  const std::vector<Case> all = cases();
  for (size_t i = files.size(); i-- > 0;)
    EXPECT_TRUE(draw(all[i / 2], i % 2 ? fixed : PlotOptions()) == files[i]) << i;
}

// The SVG file (cairo's: colours in style attributes) and the web page's
// element (presentation attributes) hold the same lines.
TEST(SkewtRender, SvgHoldsOneElementPerLineAndBarb) {
  const Style& st = style();
  for (const Case& c : cases())
  for (const bool element : {false, true}) {
    SCOPED_TRACE(std::string(c.name) + (element ? ", page element" : ", file"));
    TempDir dir;
    const std::string path = dir / "plot.svg";
    std::string svg;
    if (element) {
      svg = skewt_svg_element(c.sounding, c.station);
      // Well formed: every clip's group closed, one path per trace named
      // by its class.
      EXPECT_EQ(svg.rfind("</svg>"), svg.size() - 7);
      EXPECT_EQ(count(svg, "<g "), count(svg, "</g>"));
      EXPECT_GE(count(svg, "<clipPath"), 3u);
      EXPECT_EQ(count(svg, "class=\"temperature\""), 1u);
      EXPECT_EQ(count(svg, "<image"), 0u);
    } else {
      render_skewt(c.sounding, c.station, PlotKind::svg, path);
      svg = read_all(path);
      ASSERT_NE(svg.find("</svg>"), std::string::npos);
    }
    ASSERT_NE(svg.find("<svg"), std::string::npos);
    const std::vector<Level> levels = plot_levels(c.sounding, std::nan(""));
    const Diagram d = Diagram::for_levels(levels);
    bool any_dew_point = false;
    for (const Level& l : levels) any_dew_point |= !std::isnan(l.td_c);
    const auto painted = [&](const std::string& how, const Colour& k) {
      if (!element) return count(svg, how + ":" + svg_colour(k));
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%02x%02x%02x", int(std::lround(k.r * 255)),
                    int(std::lround(k.g * 255)), int(std::lround(k.b * 255)));
      return count(svg, how + "=\"" + hex + "\"");
    };
    const auto strokes = [&](const Colour& k) { return painted("stroke", k); };
    // One path per trace, and one per sample in the legend.
    EXPECT_EQ(strokes(st.temperature.colour), 2u);
    EXPECT_EQ(strokes(st.dew_point.colour), any_dew_point ? 2u : 1u);
    // One path per isotherm that crosses the frame, every 10 C between the
    // frame's coldest and warmest corners, the 0 C one in its own colour.
    const double cold = d.celsius_at(kFrame.left, kFrame.top);
    const double warm = d.celsius_at(kFrame.right, kFrame.bottom);
    size_t isotherms = 0;
    for (double t = std::floor(cold / 10) * 10 + 10; t < warm; t += 10)
      isotherms += t != 0;
    EXPECT_EQ(strokes(st.isotherm.colour), isotherms);
    EXPECT_EQ(strokes(st.zero_isotherm.colour), cold < 0 && warm > 0 ? 1u : 0u);
    // Lines of the other families that cross the frame.
    EXPECT_GE(strokes(st.dry_adiabat.colour), 5u);
    EXPECT_GE(strokes(st.moist_adiabat.colour), 5u);
    EXPECT_GE(strokes(st.mixing_ratio.colour), 5u);
    const std::vector<PlacedBarb> barbs =
        place_barbs(levels, d, kBarbColumnX, c.station.lat < 0);
    size_t pennants = 0;
    for (const PlacedBarb& b : barbs) pennants += !b.shape.pennants.empty();
    EXPECT_GE(barbs.size(), 4u);
    EXPECT_EQ(strokes(st.barb), barbs.size());
    EXPECT_EQ(painted("fill", st.barb), pennants);
  }
}

// The web page's SVG writer on its own: what drawing calls become.
TEST(SvgCanvas, DrawingCallsBecomeElements) {
  const double pi = 3.14159265358979323846;
  struct Step {
    const char* name;
    std::function<void(SvgCanvas&)> draw;
    std::vector<std::string> holds, lacks;
  };
  const std::vector<Step> steps = {
      {"numbers in tenths: rounded, no -0, no exponent, NaN as 0",
       [](SvgCanvas& c) {
         c.move_to(1.25, -0.04);
         c.line_to(-0.05, 1e12);
         c.line_to(std::nan(""), 3);  // left out
         c.stroke();
       },
       {"d=\"M1.3 0L-0.1 1000000000\""}, {"nan", "e+"}},
      {"colour, opacity, width, dashes and caps",
       [](SvgCanvas& c) {
         c.set_colour({1, 0, 0.5, 0.35});
         c.set_line_width(1.5);
         c.set_dash({3, 2});
         c.set_round_caps(true);
         c.move_to(0, 0);
         c.line_to(1, 1);
         c.stroke();
       },
       {"fill=\"none\" stroke=\"#ff0080\" stroke-opacity=\"0.35\" stroke-width=\"1.5\" "
        "stroke-dasharray=\"3 2\" stroke-linecap=\"round\""},
       {}},
      {"nearly opaque is opaque; NaN colours are black",
       [](SvgCanvas& c) {
         c.set_colour({std::nan(""), 2, -1, 0.999});
         c.rectangle(0, 0, 2, 2);
         c.fill();
       },
       {"<path d=\"M0 0L2 0L2 2L0 2Z\" fill=\"#00ff00\"/>"}, {"opacity"}},
      {"a clip lasts until its restore",
       [](SvgCanvas& c) {
         c.save();
         c.rectangle(0, 0, 10, 10);
         c.clip();
         c.move_to(1, 1);
         c.line_to(2, 2);
         c.stroke();
         c.restore();
         c.move_to(5, 5);
         c.line_to(6, 6);
         c.stroke();
       },
       {"<clipPath id=\"t-clip1\"><path d=\"M0 0L10 0L10 10L0 10Z\"/></clipPath>"
        "<g clip-path=\"url(#t-clip1)\">\n<path d=\"M1 1L2 2\"",
        "</g><path d=\"M5 5L6 6\""},
       {}},
      {"a clip never restored is closed at the end",
       [](SvgCanvas& c) {
         c.save();
         c.save();
         c.rectangle(0, 0, 10, 10);
         c.clip();
       },
       {"</g></svg>"}, {}},
      {"a whole circle: four quarter arcs back to its start",
       [pi](SvgCanvas& c) {
         c.arc(10, 10, 5, 0, 2 * pi);
         c.fill();
       },
       {"d=\"M15 10A5 5 0 0 1 10 15A5 5 0 0 1 5 10A5 5 0 0 1 10 5A5 5 0 0 1 15 10\""}, {}},
      {"text: anchored, rotated by its own matrix, escaped; restore restores the font",
       [pi](SvgCanvas& c) {
         const double advance = c.text_advance("x");
         c.save();
         c.translate(14, 300);
         c.rotate(-pi / 2);
         c.set_font(11, true);
         c.show_text(0, 0, "p <mb> & \x01", 0.5);
         c.restore();
         EXPECT_EQ(c.text_advance("x"), advance);
         c.show_text(3, 4, "x", 1);
       },
       {"<text transform=\"matrix(0.0000 -1.0000 1.0000 0.0000 14.0000 300.0000)\" x=\"0\" "
        "y=\"0\" font-size=\"11\" font-weight=\"bold\" text-anchor=\"middle\"",
        ">p &lt;mb&gt; &amp; &#xfffd;</text>",
        "<text x=\"3\" y=\"4\" font-size=\"10\" text-anchor=\"end\""},
       {}},
      {"hatching and roles",
       [](SvgCanvas& c) {
         c.set_role("parcel");
         c.set_hatch();
         c.rectangle(0, 0, 1, 1);
         c.fill();
       },
       {"fill=\"url(#t-hatch)\" class=\"parcel\"", "<pattern id=\"t-hatch\""}, {}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    SvgCanvas canvas(100, 50, {0.1, 0.1, 0.1}, "t", "a <label>");
    step.draw(canvas);
    const std::string svg = canvas.finish();
    EXPECT_EQ(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 50\" "
                       "width=\"100\" height=\"50\" role=\"img\" aria-label=\"a &lt;label&gt;\""),
              0u);
    EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
    EXPECT_EQ(count(svg, "<g "), count(svg, "</g>"));
    for (const std::string& h : step.holds) EXPECT_NE(svg.find(h), std::string::npos) << h << "\n" << svg;
    for (const std::string& l : step.lacks) EXPECT_EQ(svg.find(l), std::string::npos) << l;
  }
}

TEST(SkewtRender, PdfIsOnePage) {
  const Case c = cases()[0];
  TempDir dir;
  const std::string path = dir / "plot.pdf";
  render_skewt(c.sounding, c.station, PlotKind::pdf, path);
  const std::string pdf = read_all(path);
  ASSERT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_EQ(count(pdf, "/Type /Page\n") + count(pdf, "/Type /Page "), 1u);
  // The page is A4 wide, landscape.
  const std::regex box(R"(/MediaBox \[ *0 0 ([0-9.]+) ([0-9.]+) *\])");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(pdf, m, box));
  EXPECT_NEAR(std::stod(m[1]), 842, 1);
  EXPECT_NEAR(std::stod(m[2]), 842 * kPageHeight / kPageWidth, 1);
}

TEST(SkewtRender, DrawsSoundingsWithAlmostNothingToShow) {
  // A name with markup and a Latin-1 byte: the page's element keeps it
  // text, in UTF-8.
  const STATREC st = make_station("", 1, "<b>&\"Z\xfcrich", 0, 0, 0);
  const std::vector<std::vector<Row>> soundings = {
      {},
      {{9, 10130, 5, 150, 100, 0, 0}},
      {{9, 10130, 5, M, M, M, M}, {4, 5000, 5600, M, M, M, M}},
      {{9, 10130, 5, M, M, 90, 50}, {4, 5000, 5600, M, M, 270, 900}},
      {{4, 500, 20600, -600, -800, 270, 400}, {4, 300, 23000, -550, M, M, M}},
      // Values no sounding holds: pressures of 0 and beyond 1100 mb,
      // temperatures of 900 C, a wind from 400 degrees.
      {{9, 0, 5, 150, 100, 0, 0}, {4, 20000, 5, 150, 100, 0, 0},
       {4, 8500, 1500, 9000, -9000, 400, 50}, {4, 7000, 3000, 20, 10, 180, -5}},
  };
  for (size_t i = 0; i < soundings.size(); ++i) {
    TempDir dir;
    const std::string path = dir / "plot.png";
    render_skewt(make_sounding(soundings[i], 0, 0, 0, 0), st, PlotKind::png,
                 path);
    PngImage img(path);
    EXPECT_TRUE(img.ok()) << i;
    const std::string svg =
        skewt_svg_element(make_sounding(soundings[i], 0, 0, 0, 0), st, {}, "p\"><i");
    EXPECT_EQ(count(svg, "<g "), count(svg, "</g>")) << i;
    EXPECT_EQ(svg.find("<b>"), std::string::npos) << i;
    EXPECT_EQ(svg.find("<i"), std::string::npos) << i;
    EXPECT_NE(svg.find("url(#p___i-hatch)"), std::string::npos) << i;
    EXPECT_NE(svg.find("&lt;b&gt;&amp;&quot;Z\xc3\xbcrich"), std::string::npos) << i;
    // No attribute holds a number C++ would print as nan, inf or 1e+30.
    EXPECT_FALSE(std::regex_search(svg, std::regex("=\"[^\"]*(nan|inf|[0-9]e[+-])"))) << i;
  }
}

TEST(SkewtRender, AFileThatCannotBeWrittenIsReportedAndLeavesNothing) {
  const Case c = cases()[0];
  TempDir dir;
  testing_support::write_file(dir / "old.png", "an earlier plot");
  const struct {
    std::string path;
    std::string message;
  } failures[] = {
      {dir / "missing/plot.png", "missing/plot.png: cannot create it: No such file"},
      {dir / "old.png/plot.png", "cannot create it: Not a directory"},
  };
  for (const auto& f : failures) {
    try {
      render_skewt(c.sounding, c.station, PlotKind::png, f.path);
      ADD_FAILURE() << f.path << " written";
    } catch (const PlotError& e) {
      EXPECT_NE(std::string(e.what()).find(f.message), std::string::npos)
          << e.what();
    }
  }
  // A plot replaces the file there, and no temporary file stays behind.
  render_skewt(c.sounding, c.station, PlotKind::svg, dir / "old.png");
  EXPECT_EQ(testing_support::dir_entries(dir.path()),
            std::vector<std::string>{"old.png"});
  EXPECT_NE(testing_support::read_file(dir / "old.png").find("<svg"),
            std::string::npos);
}

// Over real soundings of every station of the sample archive (the 5th and
// 20th of each month of 1999, each parcel in turn) every label finds a
// place clear of the traces, the frame and the other labels.
TEST(SkewtRender, LabelsOfTheSampleArchiveCollideWithNothing) {
  const std::string support = testing_support::source_dir() + "/data/support/";
  std::vector<STATREC> catalogue;
  ASSERT_TRUE(read_catalogue_file(support + "stat2000.txt", false, catalogue));
  read_catalogue_file(support + "international_sites.txt", true, catalogue);
  StationCriteria c;
  c.by_numbers = false;
  c.blat = -90;
  c.elat = 90;
  c.blong = -180;
  c.elong = 180;
  c.bdate = 19990101;
  c.edate = 19991231;
  RetrievalRequest rq;
  rq.bdate = 1999010100;
  rq.edate = 1999123112;
  rq.hours.set();
  rq.selection = select_stations(catalogue.data(), catalogue.size(), c);
  rq.data_dir = testing_support::source_dir() + "/data/sample-archive/";
  rq.both_year_forms = true;
  rq.only_visit = true;
  TempDir dir;
  int plots = 0, collisions = 0;
  const rawinq::indices::ParcelKind kinds[] = {rawinq::indices::ParcelKind::kSurfaceBased,
                                               rawinq::indices::ParcelKind::kMixedLayer,
                                               rawinq::indices::ParcelKind::kMostUnstable};
  rq.visit = [&](const Sounding& s, const STATREC& station) {
    if (s.header.day != 5 && s.header.day != 20) return;
    PlotOptions options;
    options.parcel = kinds[plots % 3];
    const int n = render_skewt(s, station, PlotKind::svg, dir / "plot.svg", options);
    EXPECT_EQ(n, 0) << station.wmo << " " << s.header.year << "-" << s.header.month << "-"
                    << s.header.day << " " << s.header.hour << "Z";
    collisions += n;
    ++plots;
  };
  SessionConfig none;
  none.format = format_by_name("svg");
  OutputSession nowhere(none);
  Progress silent;
  retrieve(rq, nowhere, silent);
  EXPECT_GT(plots, 500);
  EXPECT_EQ(collisions, 0);
}

}  // namespace

// The time-height section: each sounding's values on the section's
// pressure levels (rawinq-serve's tests draw it in every kind).
TEST(TimeHeightSection, ColumnsAreInterpolatedInLogPressureWithinEachSounding) {
  // 1000 hPa 20 C dew point 10 C; 900 hPa 10 C no dew point; 500 hPa
  // -20 C dew point -25 C; a wind-only level at 300 hPa (no temperature).
  const Sounding s = make_sounding({{9, 10000, 100, 200, 100, 180, 50},
                                    {5, 9000, 1000, 100, M, M, M},
                                    {4, 5000, 5500, -200, -250, 270, 200},
                                    {6, 3000, 9000, M, M, 270, 300}},
                                   12, 2, 1, 1995);
  const SectionColumn c = section_column(s);
  EXPECT_EQ(c.time, 1995010212);
  ASSERT_EQ(c.temperature_c.size(), kSectionLevels);
  ASSERT_EQ(c.dewpoint_depression_c.size(), kSectionLevels);
  struct Expect {
    double p_mb, t_c, depression_c;  // NaN: nothing there
  };
  const double nan = std::nan("");
  const auto lnp = [](double p, double p0, double p1) {
    return (std::log(p0) - std::log(p)) / (std::log(p0) - std::log(p1));
  };
  const double f950 = lnp(950, 1000, 900), f700 = lnp(700, 900, 500);
  const double td700 = 10 + lnp(700, 1000, 500) * (-25 - 10);  // dew points skip 900 hPa
  const Expect cases[] = {
      {1000, 20, 10},
      {950, 20 + f950 * (10 - 20), 20 + f950 * (10 - 20) - (10 + lnp(950, 1000, 500) * -35)},
      {700, 10 + f700 * (-20 - 10), 10 + f700 * (-30) - td700},
      {500, -20, 5},
      {475, nan, nan},  // above the highest temperature
      {300, nan, nan},  // winds only
  };
  for (const Expect& e : cases) {
    SCOPED_TRACE(e.p_mb);
    const std::size_t k = static_cast<std::size_t>(std::lround((1000 - e.p_mb) / 25));
    ASSERT_DOUBLE_EQ(section_pressure(k), e.p_mb);
    if (std::isnan(e.t_c)) {
      EXPECT_TRUE(std::isnan(c.temperature_c[k]));
    } else {
      EXPECT_NEAR(c.temperature_c[k], e.t_c, 1e-9);
    }
    if (std::isnan(e.depression_c)) {
      EXPECT_TRUE(std::isnan(c.dewpoint_depression_c[k]));
    } else {
      EXPECT_NEAR(c.dewpoint_depression_c[k], e.depression_c, 1e-9);
    }
  }
  // A dew point above the temperature is no negative depression.
  const SectionColumn wet =
      section_column(make_sounding({{9, 10000, 100, 100, 120, M, M},
                                    {4, 8500, 1500, 0, 5, M, M}}, 0, 1, 1, 1995));
  EXPECT_DOUBLE_EQ(wet.dewpoint_depression_c[0], 0);
  // No dew point at all: no depression anywhere.
  const SectionColumn dry =
      section_column(make_sounding({{9, 10000, 100, 100, M, M, M},
                                    {4, 8500, 1500, 0, M, M, M}}, 0, 1, 1, 1995));
  EXPECT_FALSE(std::isnan(dry.temperature_c[2]));
  for (const double d : dry.dewpoint_depression_c) EXPECT_TRUE(std::isnan(d));
}
