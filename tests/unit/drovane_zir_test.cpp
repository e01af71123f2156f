// The plotter's reading of a ZIR block and what it draws of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ncl_script.h"
#include "skewt_plot.h"
#include "zir_block.h"
#include "zir_lines.h"

using namespace drovane;
using namespace zir_lines;

namespace {

ZirBlock parse(const std::string& text) {
  std::istringstream in(text);
  return parse_zir_block(in);
}

// Current layout, winds in tenths of m/s, levels not in pressure order.
std::string current_block() {
  return date_line(12, 1, "JAN", 1995) +
         station_line(23062, 72469, 39.77, 'N', 104.87, 'W', 1611, 1115) +
         summary_line(3000, 2500, 2010, 9) + ident_line("DEN", 52, "ms") +
         level_line(9, 8370, 1611, 52, -23, 350, 50) +
         level_line(4, 7000, 3012, -41, 99999, 270, 120) +
         level_line(5, 8000, 2050, -10, -45, 99999, 99999) +
         level_line(4, 99999, 4000, -200, -300, 260, 200) +
         level_line(4, 5000, 5600, -180, -260, 250, 100);
}

TEST(DrovaneZirBlock, ReadsEveryFieldOfTheWriterLayout) {
  const ZirBlock b = parse(current_block());
  EXPECT_EQ(b.hour, 12);
  EXPECT_EQ(b.day, 1);
  EXPECT_EQ(b.month, "JAN");
  EXPECT_EQ(b.year, 1995);
  EXPECT_EQ(b.wban, 23062);
  EXPECT_EQ(b.wmo, 72469);
  EXPECT_DOUBLE_EQ(b.lat, 39.77);
  EXPECT_EQ(b.clat, 'N');
  EXPECT_DOUBLE_EQ(b.lon, 104.87);
  EXPECT_EQ(b.clon, 'W');
  EXPECT_EQ(b.elev, 1611);
  EXPECT_EQ(b.reltime, 1115);
  EXPECT_EQ(b.top_hyd, 3000);
  EXPECT_EQ(b.maxwind, 2500);
  EXPECT_EQ(b.troplv, 2010);
  EXPECT_EQ(b.line_count, 9);
  EXPECT_EQ(b.init, "DEN");
  EXPECT_TRUE(b.has_sondtype);
  EXPECT_EQ(b.sondtype, 52);
  EXPECT_EQ(b.wind_units, "ms");
  ASSERT_EQ(b.levels.size(), 5u);
  EXPECT_EQ(b.levels[1].fr, 4);
  EXPECT_EQ(b.levels[1].pr, 7000);
  EXPECT_EQ(b.levels[1].dp, 99999);
  EXPECT_EQ(b.levels[4].ht, 5600);
  EXPECT_EQ(b.levels[4].ws, 100);
}

TEST(DrovaneZirBlock, StationLineVariantsAndShortIdentificationLine) {
  // A longitude under 100 has a blank before it; an eastern one is followed
  // directly by 'E', which must not be read as an exponent.
  const std::string levels = level_line(9, 10130, 5, 150, 100, 0, 0);
  const ZirBlock west = parse(
      date_line(0, 31, "DEC", 1990) +
      station_line(99999, 72249, 32.83, 'N', 97.5, 'W', 196, 2315) +
      summary_line(99999, 99999, 99999, 5) +
      fmt("%7d %13s %27s\n", 3, "", "kt") + levels);
  EXPECT_DOUBLE_EQ(west.lon, 97.5);
  EXPECT_EQ(west.clon, 'W');
  EXPECT_EQ(west.init, "");
  EXPECT_FALSE(west.has_sondtype);
  EXPECT_EQ(west.wind_units, "kt");

  const ZirBlock east = parse(
      date_line(0, 5, "JUL", 2001) +
      station_line(900001, 94610, 33.95, 'S', 115.95, 'E', 15, 2300) +
      summary_line(3000, 2500, 2010, 5) + ident_line("PER", 99999, "ms") +
      levels);
  EXPECT_DOUBLE_EQ(east.lat, 33.95);
  EXPECT_EQ(east.clat, 'S');
  EXPECT_DOUBLE_EQ(east.lon, 115.95);
  EXPECT_EQ(east.clon, 'E');
  EXPECT_EQ(east.elev, 15);
  EXPECT_EQ(east.sondtype, 99999);

  // A month outside 1 to 12 may leave the name blank.
  const ZirBlock blank_month =
      parse(date_line(6, 2, "", 1995) +
            station_line(23062, 72469, 39.77, 'N', 104.87, 'W', 1611, 1115) +
            summary_line(3000, 2500, 2010, 5) + ident_line("DEN", 52, "ms") +
            levels);
  EXPECT_EQ(blank_month.month, "");
  EXPECT_EQ(blank_month.year, 1995);
}

TEST(DrovaneZirBlock, StopsAtTheEndOfTheFirstBlock) {
  const ZirBlock b = parse(current_block() + current_block());
  EXPECT_EQ(b.levels.size(), 5u);
}

TEST(DrovaneZirBlock, ReadsEveryBlockOfTheFile) {
  const std::string one = current_block();  // nine lines
  std::string other = one;
  other.replace(other.find("JAN"), 3, "FEB");
  struct Case {
    std::string text;
    std::vector<std::string> months;  // of the blocks read
    std::string error;                // else: part of the message
  };
  const std::vector<Case> cases = {
      {one, {"JAN"}, ""},
      {one + other + one, {"JAN", "FEB", "JAN"}, ""},
      {one + "\n  \r\n" + other + "\n\n", {"JAN", "FEB"}, ""},
      // A second block that is not one is named by its line in the file.
      {one + "\nnot a sounding\n", {}, "line 11 (date)"},
      {one + other.substr(0, other.find("      3 ")), {},
       "the block ends before its identification line"},
      {one + other.substr(0, other.rfind("      4 ")), {},
       "the block ends after 4 of 5 level lines"},
      {"\n", {}, "line 1 (date)"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    try {
      const std::vector<ZirBlock> blocks = parse_zir_blocks(in);
      std::vector<std::string> months;
      for (const ZirBlock& b : blocks) months.push_back(b.month);
      EXPECT_EQ(months, c.months) << c.text;
      EXPECT_EQ(c.error, "") << c.text;
    } catch (const ZirError& e) {
      EXPECT_NE(c.error, "") << e.what();
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos)
          << e.what();
    }
  }
}

TEST(DrovaneZirBlock, RejectsWhatIsNotASoundingBlock) {
  const std::string good = current_block();
  const auto fails_with = [](const std::string& text, const std::string& part) {
    try {
      parse(text);
      ADD_FAILURE() << "accepted:\n" << text;
    } catch (const ZirError& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos)
          << e.what();
    }
  };
  fails_with("", "empty");
  // Cut after the header lines, and after two of the five levels.
  size_t cut = 0;
  for (int i = 0; i < 6; ++i) cut = good.find('\n', cut) + 1;
  fails_with(good.substr(0, cut), "2 of 5 level lines");
  fails_with(good.substr(0, good.find('\n') + 1), "station");
  // Wrong line type, text in a level, a number beyond a long.
  fails_with("    253" + good.substr(7), "line 1");
  std::string text_in_level = good;
  text_in_level.replace(text_in_level.rfind("-260"), 4, " abc");
  fails_with(text_in_level, "line 9");
  std::string huge = good;
  huge.replace(huge.rfind("5600"), 4, "99999999999999999999");
  fails_with(huge, "too large");
  // Line counts below the four header lines, unknown wind units.
  std::string short_count = good;
  short_count.replace(short_count.find("      9      7"), 14,
                      "      3      7");
  fails_with(short_count, "at least 4");
  std::string units = good;
  units.replace(units.find("    ms\n"), 7, "    mph\n");
  fails_with(units, "wind units");
}

TEST(DrovaneZirBlock, TellsTheTwoPressureLayoutsApart) {
  ZirBlock b;
  b.levels = {{9, 8370, 1611, 52, -23, 350, 50}};
  EXPECT_EQ(detect_pressure_unit(b), PressureUnit::tenths_mb);
  b.levels = {{9, 837, 1611, 52, -23, 350, 50}, {4, 700, 3012, -41, -90, 270, 120}};
  EXPECT_EQ(detect_pressure_unit(b), PressureUnit::whole_mb);
  b.levels.push_back({4, 32767, 5600, 32767, 32767, 32767, 32767});
  EXPECT_EQ(detect_pressure_unit(b), PressureUnit::whole_mb);
  // Only levels above 110 mb: the missing code tells the layout.
  b.levels = {{4, 1000, 16300, -620, 99999, 270, 100}};
  EXPECT_EQ(detect_pressure_unit(b), PressureUnit::tenths_mb);
}

TEST(DrovaneSkewtPlot, SkipsMissingValuesAndOrdersByPressure) {
  const SkewtPlot p = build_skewt_plot(parse(current_block()));
  // The level with missing pressure is left out; the rest by pressure.
  ASSERT_EQ(p.temperature.size(), 4u);
  EXPECT_DOUBLE_EQ(p.temperature[0].p_mb, 837.0);
  EXPECT_DOUBLE_EQ(p.temperature[0].celsius, 5.2);
  EXPECT_DOUBLE_EQ(p.temperature[1].p_mb, 800.0);
  EXPECT_DOUBLE_EQ(p.temperature[2].p_mb, 700.0);
  EXPECT_DOUBLE_EQ(p.temperature[3].p_mb, 500.0);
  ASSERT_EQ(p.dew_point.size(), 3u);  // 700 mb has no dew point
  EXPECT_DOUBLE_EQ(p.dew_point[1].p_mb, 800.0);
  EXPECT_DOUBLE_EQ(p.dew_point[1].celsius, -4.5);
  // Winds in tenths of m/s become knots; 800 mb has none.
  ASSERT_EQ(p.winds.size(), 3u);
  EXPECT_DOUBLE_EQ(p.winds[0].p_mb, 837.0);
  EXPECT_NEAR(p.winds[0].speed_kt, 5.0 * 1.943844, 1e-9);
  EXPECT_DOUBLE_EQ(p.winds[0].direction_deg, 350.0);
  EXPECT_NEAR(p.winds[1].speed_kt, 12.0 * 1.943844, 1e-9);
  EXPECT_DOUBLE_EQ(p.winds[2].p_mb, 500.0);
  EXPECT_NE(p.title.find("DEN"), std::string::npos);
  EXPECT_NE(p.title.find("72469"), std::string::npos);
  EXPECT_NE(p.title.find("12 UTC"), std::string::npos);
  EXPECT_NE(p.title.find("1 JAN 1995"), std::string::npos);
}

TEST(DrovaneSkewtPlot, WholeMbLayoutKnotsAndTheDiagramRange) {
  const std::string block =
      date_line(0, 2, "FEB", 1989) +
      station_line(23062, 72469, 39.77, 'N', 104.87, 'W', 1611, 32767) +
      summary_line(100, 250, 201, 9) + fmt("%7d %13s %27s\n", 3, "DEN", "kt") +
      level_line(9, 837, 1611, 52, -23, 350, 10) +
      level_line(4, 850, 1500, 32767, 32767, 32767, 32767) +
      level_line(6, 835, 1630, 32767, 32767, 355, 12) +
      level_line(4, 100, 16300, -620, -800, 270, 40) +
      level_line(4, 99, 16400, -625, -805, 270, 45);
  const SkewtPlot p = build_skewt_plot(parse(block));
  // 99 mb lies above the diagram; 32767 is missing.
  ASSERT_EQ(p.temperature.size(), 2u);
  EXPECT_DOUBLE_EQ(p.temperature[0].p_mb, 837.0);
  EXPECT_DOUBLE_EQ(p.temperature[1].p_mb, 100.0);
  EXPECT_DOUBLE_EQ(p.temperature[1].celsius, -62.0);
  // Knots stay knots; 835 mb is too close under 837 mb for a second barb.
  ASSERT_EQ(p.winds.size(), 2u);
  EXPECT_DOUBLE_EQ(p.winds[0].speed_kt, 10.0);
  EXPECT_DOUBLE_EQ(p.winds[1].p_mb, 100.0);
  EXPECT_DOUBLE_EQ(p.winds[1].speed_kt, 40.0);
}

TEST(DrovaneSkewtPlot, TextsReachNclWithoutItsSpecialCharacters) {
  EXPECT_EQ(drawable_text("A\"B~C~D 1.5, (x)/y-z"), "ABCD 1.5, (x)/y-z");
  SkewtPlot p;
  p.title = "X\"Y~Z";
  const std::string script = ncl_script({p}, "ws_1", "/tmp/d");
  EXPECT_EQ(script.find("X\"Y"), std::string::npos);
  EXPECT_NE(script.find("\"XYZ\""), std::string::npos);
  // Nothing to draw: no arrays of no elements, which NCL cannot hold.
  EXPECT_EQ(script.find("(//)"), std::string::npos);
  EXPECT_EQ(script.find("wmbarb"), std::string::npos);
}

}  // namespace
