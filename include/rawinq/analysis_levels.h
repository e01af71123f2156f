// The levels of a sounding as the analysis formats (CSV, CF) give them: in
// decreasing pressure, whatever order the archive keeps them in (the
// surface first, then the mandatory levels below the ground, then the
// rest), the levels below the ground marked as such.
#pragma once

#include <cstddef>
#include <vector>

#include "rawinq/sounding.h"

// A level of the analysis order: the sounding's level and its type (the
// archive's, or kLevelBelowGround).
struct AnalysisLevel {
  const DATA_TYPE* level;
  long type;
};

// Not an archive level type: a level at a higher pressure than the
// surface's (a mandatory level reported below the ground).
constexpr long kLevelBelowGround = 0;

// The sounding's levels kept by the level selection (0 all, 1 mandatory, 2
// mandatory and significant), in decreasing pressure; levels of equal
// pressure keep their archive order. A level without a pressure (a wind
// level reported by height) stands after the last level that is not higher
// (reported heights, else those of rawinq::heights::level_heights with the
// station's elevation in metres, NaN when unknown); one without a height
// either comes last.
void analysis_levels(const Sounding& sounding, short selection,
                     double station_elevation_m, std::vector<AnalysisLevel>& out);
