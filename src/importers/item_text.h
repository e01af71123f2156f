// The item text of the archive writer's packing programs: one sounding per
// "sounding MM DD HH [key=value ...]" line followed by its
// "level FLAG PR HT TP DP WD WS" lines, values as stored ('#' starts a
// comment, M is a missing value).
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "archive_writer.h"

namespace archive_writer {

// The usage text of the item format.
extern const char* const kItemFormatHelp;

// A number of the item text, or kMissing for "M"; throws
// std::runtime_error naming the line when it is not one.
long item_value(const std::string& text, int line);
// The same, and a fault when it lies outside lo..hi: `what` names it.
long item_value(const std::string& text, int line, long lo, long hi,
                const char* what);

// The soundings of the text for one station-year file; throws
// std::runtime_error at the first fault ("line N: ...").
// `first_lines`, when given, receives the line of each sounding.
std::vector<Sounding> read_items(std::istream& in, int year, long station,
                                 std::vector<int>* first_lines = nullptr);

}  // namespace archive_writer
