// Texts of the request questions, put together from the system's own
// strings, for the tests that drive the request dialogue.
#pragma once

#include <string>

namespace request_texts {

constexpr char BELL = '\a';

inline const std::string kOutOfRange =
    std::string("\n ERROR: value out of range - please choose again\n") + BELL;
inline const std::string kAccessHead =
    "\n How do you wish to access the data set?\n"
    "      0  -  by station number\n"
    "      1  -  by geographic location\n";
inline const std::string kFormatMenu =
    " What type of output format do you want?\n"
    "      0  -  ZIR format\n"
    "      1  -  FAA604 format <USED BY SHARP SOFTWARE>\n"
    "      2  -  NETCDF format\n";
inline const std::string kListFileQ =
    " Do you have a file containing this list of stations? [Y/N] [N]\b\b";
inline const std::string kCountQ =
    " How many stations for the time period would you like? [1 - 100] [";
inline const std::string kHoursHead =
    "\n What GMT sounding hour(s) do you want?\n";
inline const std::string kSortHead =
    "\n How do you want to organize the output data?\n";
inline const std::string kDirectoryQuestion =
    "\n Where do you want to write the output files?\n"
    "  Enter the disk and directory only: ";
inline const std::string kStationSeriesHead = "\n\t\tStation Series Sort \n\n";

// A menu's prompt showing the value an empty answer keeps.
inline std::string choice(int v) {
  return "Your Choice? [" + std::to_string(v) + "]\b\b";
}
inline std::string begin_q(const std::string& shown) {
  return "\n What is the beginning date? YYYYMMDDHH [" + shown + "]" +
         std::string(11, '\b');
}
inline std::string end_q(const std::string& shown) {
  return " What is the ending date? YYMMDDHH [" + shown + "]" +
         std::string(11, '\b');
}
// A bound of the geographic box; the cursor goes back over the value and
// the closing bracket.
inline std::string box_q(const char* which, const char* coord,
                         const std::string& v, int backspaces) {
  return std::string("\t Enter the ") + which + " value " + coord + ": [" + v +
         "]" + std::string(backspaces, '\b');
}

}  // namespace request_texts
