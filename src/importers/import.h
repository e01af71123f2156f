// What the importers of rawinq-pack share: the sounding they give, the
// sink that takes it, and the numbers of the file station they are filed
// under.
#pragma once

#include <map>
#include <set>
#include <string>

#include "archive_writer.h"
#include "line_source.h"

namespace archive_writer {

// One sounding read from an input, and the station-year file it belongs
// to: `station` is the file's station number (the WBAN number, or the WMO
// number + 900000 for an international site).
struct Imported {
  long station = 0;
  Sounding sounding;
  std::string where;  // "file:line" of its first line, for messages
};

// Takes what an importer reads. A fault of the input is thrown as
// InputError by the importer itself.
class ImportSink {
 public:
  virtual ~ImportSink() = default;
  virtual void sounding(Imported& s) = 0;
  // A sounding read and left out, and why ("hour missing ...").
  virtual void skipped(const std::string& where, const std::string& reason) = 0;
  virtual void warning(const std::string& text) = 0;
  // A sounding whose levels were thinned to fit one record: how many it
  // had and kept, and the limits of interpolation kept to (for the
  // summary).
  virtual void thinned(const std::string& /*where*/, std::size_t /*had*/,
                       std::size_t /*kept*/, const std::string& /*limits*/) {}
};

// WMO number -> WBAN number, from a stat2000.txt catalogue.
using WbanOfWmo = std::map<long, long>;
// The pairs of the catalogue's entry lines; throws InputError when the file
// cannot be read.
WbanOfWmo read_wban_numbers(const std::string& stat2000);

// The WBAN numbers known for WMO numbers: those of the catalogue given
// (when not "") and, after them, those of support_dir/stat2000.txt (when
// support_dir is not "" and the file is there), so that the programs
// reading that directory find the stations filed.
WbanOfWmo known_wban_numbers(const std::string& catalogue,
                             const std::string& support_dir);

// For the summary: the WMO numbers among file stations filed as
// international sites (WMO + 900000), how they were filed and how the
// programs find them; "" when there are none.
std::string international_note(const std::set<long>& stations);

// The file station of a WMO number: its WBAN number when the catalogue
// knows one, else the international site's number.
long file_station(long wmo, const WbanOfWmo& wban);

// Whole two-digit years: 50 to 99 are 1950 to 1999, 00 to 49 from 2000.
int full_year(int yy);

// The TEMP messages of a file are dated by the month and year of
// `year_month` (YYYYMM) or, when it is 0, of the file's name
// (MMDDYYHH.skt, as the coded-message output names its files); 0 when
// neither gives one.
long coded_file_month(const std::string& path);

// Real sources' units in the archive's, with the exact factors and
// rounded to the nearest: whole knots to tenths of m/s (1 kt = 0.514444
// m/s; -1 for a negative speed) and feet to metres (1 ft = 0.3048 m). The
// program's own text is read back through its own factors instead
// (knots_to_tenths).
long exact_knots_to_tenths(long knots);
long feet_to_metres(long feet);

// Puts the levels in the order the archive stores them: the surface first
// (the first level flagged as one), the levels below it (of a higher
// pressure) right after it from the highest pressure up, then the others
// in the order given. The level pointers follow their levels.
void archive_order(Sounding& s);

// Parsers. Each reads the whole input of `in` and gives its soundings to
// `sink`; a fault throws InputError naming the file and line.
void read_igra2(LineSource& in, ImportSink& sink, const WbanOfWmo& wban);
// csv_wmo: the station of comma-separated Wyoming listings, which do not
// name it (0: none given; such a listing is then a fault).
void read_wyoming(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
                  long csv_wmo = 0);
void read_temp(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
               long year_month);
// WMO BUFR messages of soundings (ecCodes decodes them): every message of
// the file, what comes before or between them (a bulletin's heading)
// passed by. A message that cannot be read is a fault named by file and
// message number ("name: message N: what"); the messages after it are
// still read, and every fault of the file is thrown together at its end as
// one InputError, one a line. With skip_bad the faulty messages are left
// out (reported to the sink as skipped, and as warnings) instead.
void read_bufr(LineSource& in, ImportSink& sink, const WbanOfWmo& wban,
               bool skip_bad = false);

}  // namespace archive_writer
