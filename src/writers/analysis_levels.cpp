#include "rawinq/analysis_levels.h"

#include <algorithm>
#include <cmath>

#include "rawinq/heights.h"
#include "rawinq/level_types.h"

void analysis_levels(const Sounding& s, short selection, double elevation_m,
                     std::vector<AnalysisLevel>& out) {
  out.clear();
  long surface = kMissingValue;
  for (const DATA_TYPE& l : s.levels)
    if (l.fr == kLevelSurface && !is_missing(l.pr)) {
      surface = l.pr;
      break;
    }
  std::vector<std::size_t> loose;  // levels without a pressure
  for (std::size_t i = 0; i < s.levels.size(); ++i) {
    const DATA_TYPE& l = s.levels[i];
    if (!level_selected(l.fr, selection)) continue;
    if (is_missing(l.pr)) {
      loose.push_back(i);
      continue;
    }
    const bool below = !is_missing(surface) && l.fr != kLevelSurface && l.pr > surface;
    out.push_back({&l, below ? kLevelBelowGround : l.fr});
  }
  const auto higher_pressure = [](const AnalysisLevel& a, const AnalysisLevel& b) {
    return a.level->pr > b.level->pr;
  };
  if (!std::is_sorted(out.begin(), out.end(), higher_pressure))
    std::stable_sort(out.begin(), out.end(), higher_pressure);
  if (loose.empty()) return;

  const std::vector<double> z = rawinq::heights::level_heights(s, elevation_m);
  const auto height = [&](const DATA_TYPE* l) {
    return z[static_cast<std::size_t>(l - s.levels.data())];
  };
  std::vector<AnalysisLevel> last;  // those without a height
  for (const std::size_t i : loose) {
    const DATA_TYPE* l = &s.levels[i];
    const double h = height(l);
    if (std::isnan(h)) {
      last.push_back({l, l->fr});
      continue;
    }
    // After the last level not higher than it.
    auto at = out.end();
    while (at != out.begin()) {
      const double below = height((at - 1)->level);
      if (!std::isnan(below) && below <= h) break;
      --at;
    }
    if (at == out.begin() && !out.empty()) {
      // Nothing lower with a height: after every level whose height is
      // unknown or lower, before the first higher one.
      at = std::find_if(out.begin(), out.end(), [&](const AnalysisLevel& a) {
        const double x = height(a.level);
        return !std::isnan(x) && x > h;
      });
    }
    out.insert(at, {l, l->fr});
  }
  out.insert(out.end(), last.begin(), last.end());
}
