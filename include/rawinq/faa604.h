// The FAA604 group formatters, shared by the coded-message writer and its
// tests.
#pragma once

#include <cstddef>
#include <string>

#include "rawinq/sounding.h"

// Each searches the levels of s (pressures in whole mb, as the writer holds
// them), from the level at the cursor to the last one, for the first level
// of type `frame`, sets the cursor to it and puts its group and a blank
// into cgrp; 1 when a group was formed, 0 when none could be (no such
// level, or a mandatory level whose pressure is not the one its indicator
// `seq` stands for). fpress with frame 0, 1 or 2 forms the 31313 groups
// from the header instead.
using FaaFormatter = short (*)(const Sounding& s, short seq, long& indx,
                               long frame, std::string& cgrp);
short fpress(const Sounding& s, short seq, long& pindx, long frame,
             std::string& cgrp);
short fhgt(const Sounding& s, short seq, long& hindx, long frame,
           std::string& cgrp);
short ftemp(const Sounding& s, short seq, long& tindx, long frame,
            std::string& cgrp);
short fwind(const Sounding& s, short seq, long& windx, long frame,
            std::string& cgrp);
// Left-pads text with '0' to slen characters; longer text stays as it is.
void zero_pad(std::size_t slen, std::string& text);
