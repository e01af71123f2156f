// The geometry of the skew-T plots: the diagram's axes, the wind barbs'
// shapes and their thinning.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rawinq/skewt_layout.h"

using namespace rawinq::plot;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Level level(double p, double t, double dir = kNaN, double kt = kNaN) {
  return {p, kNaN, t, kNaN, dir, kt};
}

TEST(SkewtDiagram, PressureIsLogarithmicAndIsothermsRiseAt45Degrees) {
  struct Case {
    std::vector<Level> levels;
    double top_mb;
  };
  const std::vector<Case> cases = {
      {{level(1000, 20), level(100, -60)}, 100},
      {{level(1000, 20), level(50, -60)}, 100},   // above the diagram
      {{level(1000, 20), level(400, -20)}, 400},
      {{level(1000, 20), level(437, -20)}, 400},  // rounded up to 50 mb
      {{level(1000, 20), level(900, 12)}, 700},   // at least to 700 mb
      {{}, 700},
  };
  for (const Case& c : cases) {
    const Diagram d = Diagram::for_levels(c.levels);
    EXPECT_DOUBLE_EQ(d.top_mb(), c.top_mb);
    EXPECT_NEAR(d.y(kBottomMb), kFrame.bottom, 1e-9);
    EXPECT_NEAR(d.y(c.top_mb), kFrame.top, 1e-9);
    // Equal pressure ratios, equal heights.
    EXPECT_NEAR(d.y(800) - d.y(400), d.y(1000) - d.y(500), 1e-9);
    for (double t : {-40.0, 0.0, 25.0}) {
      EXPECT_NEAR(d.x(t, 700) - d.x(t, 1000), d.y(1000) - d.y(700), 1e-9);
      EXPECT_NEAR(d.celsius_at(d.x(t, 850), d.y(850)), t, 1e-9);
    }
    EXPECT_NEAR(d.pressure_at(d.y(555)), 555, 1e-9);
    // The temperature trace lies inside the frame.
    for (const Level& l : c.levels) {
      if (l.p_mb < c.top_mb) continue;
      EXPECT_GT(d.x(l.t_c, l.p_mb), kFrame.left) << l.p_mb;
      EXPECT_LT(d.x(l.t_c, l.p_mb), kFrame.right) << l.p_mb;
    }
  }
}

// A fixed axis: its range at 1000 mb spans the frame; the extent of several
// soundings' traces gives a range that holds them all, whole 5 degrees and
// at least the standard 90 degrees wide.
TEST(SkewtDiagram, FixedAxisRangeHoldsEveryTrace) {
  const Diagram d = Diagram::for_range(-30, 60);
  EXPECT_DOUBLE_EQ(d.top_mb(), 100);
  EXPECT_NEAR(d.x(-30, 1000), kFrame.left, 1e-9);
  EXPECT_NEAR(d.x(60, 1000), kFrame.right, 1e-9);
  const struct {
    std::vector<std::vector<Level>> soundings;
    double tmin, tmax;
  } cases[] = {
      {{}, -40, 50},  // nothing to hold: the standard range
      // Along the isotherms to 1000 mb (6.78 px a degree): -12 C at 500 mb
      // lies at 19.3, -62 C at 100 mb at 42; 15..45 widened evenly to 90.
      {{{level(1000, 31), level(500, -12), level(100, -62)}}, -15, 75},
      // -95 C at 250 mb lies at -32.4: -35..50 widened to 90.
      {{{level(1000, 20), level(100, -60)}, {level(1000, 48), level(250, -95)}}, -35, 55},
      // Wider than 90 degrees: whole 5 degrees around the traces.
      {{{level(1000, 48)}, {level(1000, -52)}}, -55, 50},
  };
  for (const auto& c : cases) {
    std::pair<double, double> extent{1e300, -1e300};
    for (const auto& s : c.soundings) {
      const auto e = trace_extent(s);
      extent = {std::min(extent.first, e.first), std::max(extent.second, e.second)};
    }
    const auto [tmin, tmax] = axis_range(extent);
    EXPECT_DOUBLE_EQ(tmin, c.tmin);
    EXPECT_DOUBLE_EQ(tmax, c.tmax);
    const Diagram fixed = Diagram::for_range(tmin, tmax);
    for (const auto& s : c.soundings)
      for (const Level& l : s) {
        EXPECT_GE(fixed.x(l.t_c, l.p_mb), kFrame.left) << l.p_mb;
        EXPECT_LE(fixed.x(l.t_c, l.p_mb), kFrame.right) << l.p_mb;
      }
  }
}

TEST(SkewtBarbs, ShapesCountFiftiesTensAndFivesOnTheLowPressureSide) {
  struct Case {
    double kt;
    size_t pennants, lines;  // lines: the staff and the feathers
  };
  const std::vector<Case> cases = {
      {2, 0, 0},   // calm
      {5, 0, 2},   // a half feather
      {10, 0, 2},  {15, 0, 3}, {48, 1, 1}, {65, 1, 3},
      {155, 3, 2},
  };
  for (const Case& c : cases) {
    const BarbShape b = barb_shape(100, 200, 270, c.kt, false);
    EXPECT_EQ(b.pennants.size(), c.pennants) << c.kt;
    EXPECT_EQ(b.lines.size(), c.lines) << c.kt;
    EXPECT_EQ(b.calm_radius > 0, c.lines == 0) << c.kt;
  }
  // A west wind: the staff points west; the feathers to the north in the
  // northern hemisphere (up the page), to the south in the southern.
  for (bool southern : {false, true}) {
    const BarbShape b = barb_shape(100, 200, 270, 20, southern);
    EXPECT_NEAR(b.lines[0].x1, 100 - kBarbStaff, 1e-9);
    EXPECT_NEAR(b.lines[0].y1, 200, 1e-9);
    for (size_t i = 1; i < b.lines.size(); ++i) {
      EXPECT_EQ(b.lines[i].y1 < 200, !southern);
      EXPECT_LT(b.lines[i].x0, 100);
    }
  }
  // A north wind points up the page.
  EXPECT_NEAR(barb_shape(0, 0, 360, 20, false).lines[0].y1, -kBarbStaff, 1e-9);
}

TEST(SkewtBarbs, ThinnedSoThatNoTwoKeptBarbsTouch) {
  // A wind every 2 mb from 1040 to 100 mb, turning and strengthening.
  std::vector<Level> levels;
  for (int i = 0; i <= 470; ++i) {
    const double p = 1040 - 2 * i;
    levels.push_back(level(p, 15 - 0.1 * i, (i * 23) % 360, (i * 7) % 180));
  }
  levels.push_back(level(60, -60, 270, 40));  // above the diagram
  const Diagram d = Diagram::for_levels(levels);
  const std::vector<PlacedBarb> kept =
      place_barbs(levels, d, kBarbColumnX, false);
  ASSERT_GE(kept.size(), 15u);
  EXPECT_DOUBLE_EQ(kept.front().p_mb, 1040);  // the lowest always
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_GE(kept[i].p_mb, d.top_mb());
    EXPECT_DOUBLE_EQ(kept[i].y, d.y(kept[i].p_mb));
    for (size_t j = i + 1; j < kept.size(); ++j) {
      EXPECT_GE(barb_distance(kept[i].shape, kept[j].shape), kBarbClearance)
          << kept[i].p_mb << " and " << kept[j].p_mb << " mb";
    }
  }
  // Two barbs on top of each other touch; one far away does not.
  const BarbShape a = barb_shape(0, 0, 90, 30, false);
  EXPECT_EQ(barb_distance(a, barb_shape(0, 0, 180, 30, false)), 0);
  EXPECT_GT(barb_distance(a, barb_shape(0, 200, 90, 30, false)), 100);
}

TEST(SkewtLevels, ReadsUnitsAndLeavesOutWhatNoSoundingHolds) {
  Sounding s;
  s.levels = {{4, 5000, 5600, -180, -260, 250, 100},
              {9, 8370, 1611, 52, 80, 350, 50},       // dew point above T
              {4, 99999, 4000, -200, -300, 260, 200},  // no pressure
              {4, 7000, 3012, 9000, 99999, 400, 120}};
  const std::vector<Level> l = plot_levels(s, std::nan(""));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_DOUBLE_EQ(l[0].p_mb, 837);
  EXPECT_DOUBLE_EQ(l[0].t_c, 5.2);
  EXPECT_TRUE(std::isnan(l[0].td_c));
  EXPECT_NEAR(l[0].speed_kt, 5 * 3600.0 / 1852, 1e-9);
  EXPECT_TRUE(std::isnan(l[1].t_c));       // 900 C
  EXPECT_TRUE(std::isnan(l[1].speed_kt));  // from 400 degrees
  EXPECT_DOUBLE_EQ(l[2].p_mb, 500);
  EXPECT_DOUBLE_EQ(l[2].z_m, 5600);
  EXPECT_DOUBLE_EQ(l[2].dir_deg, 250);
}

}  // namespace
