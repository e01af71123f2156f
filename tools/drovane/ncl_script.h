// The NCL program that draws a skew-T log-p diagram into an NCGM metafile.
#pragma once

#include <string>
#include <vector>

#include "skewt_plot.h"

namespace drovane {

// The page in normalized device coordinates (0 to 1 across the page): the
// diagram's frame, and right of it the column of wind barbs, centred on
// kBarbColumnNdc. A barb's shaft is kBarbShaftNdc long and its flags reach
// a third of that beyond, within the column's half width, so that every
// barb stays between the frame and the page's edge.
constexpr double kFrameLeftNdc = 0.09;
constexpr double kFrameRightNdc = 0.81;
constexpr double kBarbColumnNdc = 0.895;
constexpr double kBarbColumnHalfWidthNdc = 0.06;
constexpr double kBarbColumnMarginNdc = 0.06;  // above and below the frame
constexpr double kBarbShaftNdc = 0.04;

// One frame per plot, in order. workstation: name of the metafile without
// its ".ncgm" ending, as NCL takes it. done_marker: a file the program
// writes once the last frame is complete, so that a run that stopped
// half-way can be told apart. Both must be free of double quotes.
std::string ncl_script(const std::vector<SkewtPlot>& plots,
                       const std::string& workstation,
                       const std::string& done_marker);

// Text as NCL can draw it: only letters, digits, blanks and . , : / ( ) -
// are kept (NCL reads '~' as a function code and has no quoting of '"').
std::string drawable_text(const std::string& text);

}  // namespace drovane
