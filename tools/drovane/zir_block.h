// Reading one ZIR sounding block (four header lines, then one line per
// level) as the plot data file holds it.
#pragma once

#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace drovane {

// A level line: type code, pressure, height, temperature, dew point,
// direction, speed, exactly as written.
struct ZirLevel {
  long fr = 0, pr = 0, ht = 0, tp = 0, dp = 0, wd = 0, ws = 0;
};

struct ZirBlock {
  // line 254
  long hour = 0, day = 0, year = 0;
  std::string month;  // month name as written (" JAN" trimmed to "JAN")
  // line 1
  long wban = 0, wmo = 0;
  double lat = 0, lon = 0;  // magnitudes; the letters give the side
  char clat = 'N', clon = 'E';
  long elev = 0, reltime = 0;
  // line 2
  long top_hyd = 0, maxwind = 0, troplv = 0, line_count = 0, tropind = 0,
       source = 0;
  // line 3
  std::string init;  // station initials, may be empty
  bool has_sondtype = false;
  long sondtype = 0;
  std::string wind_units;  // "kt" or "ms"
  std::vector<ZirLevel> levels;
};

// Unreadable input: the message names the line and what is wrong with it.
class ZirError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the first block of the stream. The level count comes from the
// fourth number of line 2 (lines of the block minus the four header lines);
// anything after the block is left unread.
ZirBlock parse_zir_block(std::istream& in);

// Reads every block of the stream, in order: at least one, and then up to
// the end of the stream, blank lines between blocks skipped. Messages name
// the line of the stream.
std::vector<ZirBlock> parse_zir_blocks(std::istream& in);

// Pressures in tenths of mb with 99999 for missing values, or whole mb
// with 32767 (the layout cut at 100 mb).
enum class PressureUnit { tenths_mb, whole_mb };
PressureUnit detect_pressure_unit(const ZirBlock& block);

}  // namespace drovane
