// The NCL program that draws a skew-T log-p diagram into an NCGM metafile.
#pragma once

#include <string>

#include "skewt_plot.h"

namespace drovane {

// workstation: name of the metafile without its ".ncgm" ending, as NCL
// takes it. done_marker: a file the program writes once the frame is
// complete, so that a run that stopped half-way can be told apart.
// Both must be free of double quotes.
std::string ncl_script(const SkewtPlot& plot, const std::string& workstation,
                       const std::string& done_marker);

// Text as NCL can draw it: only letters, digits, blanks and . , : / ( ) -
// are kept (NCL reads '~' as a function code and has no quoting of '"').
std::string drawable_text(const std::string& text);

}  // namespace drovane
