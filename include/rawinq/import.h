// Importing soundings into an archive: text inputs of the world's sounding
// formats (plain, .gz or .zip) read and packed into station-year files,
// every file put in place only when all of them are written.
#pragma once

#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace rawinq {

// A fault of an input; the message names the file and the line
// ("name:line: what"). Nothing is written to the archive then.
struct ImportError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class ImportFormat {
  zir,      // ZIR text as the programs write it
  igra2,    // IGRA2 sounding files
  wyoming,  // University of Wyoming text listings
  temp,     // TEMP messages TTAA, TTBB and PPBB
  bufr      // WMO BUFR messages of soundings
};

struct ImportOptions {
  ImportFormat format = ImportFormat::zir;
  std::vector<std::string> inputs;  // files, read in this order
  bool replace = false;     // replace station-year files that exist already
  // File names: 2 Raob1995/23062_95.buf, 1 RAOB1995/23062_95.BUF;1, 0
  // raob1995/23062_95.buf.
  int name_form = 2;
  bool short_year_folders = false;  // up to 1999 named by year - 1900
  // A stat2000.txt, then the support folder's, whose WBAN numbers file the
  // stations of WMO numbers (else they are filed as international sites).
  std::string catalogue;
  std::string support_dir;
  // With support_dir: the IGRA2 station list whose entries of the stations
  // imported are added to the support folder's catalogues.
  std::string station_list;
  long wmo = 0;    // the station of Wyoming comma-separated listings
  long month = 0;  // YYYYMM of TEMP messages (0: from each file's name)
  // BUFR: messages with a fault (that ecCodes cannot decode, without a
  // station or time, with values no sounding can hold) left out and
  // reported as warnings, instead of ending the import with nothing
  // written.
  bool skip_bad = false;
  // A compressed input whose text grows past this many times its size, or
  // past max_unpacked bytes, is refused.
  unsigned long long max_expansion = 200;
  unsigned long long max_unpacked = 8ULL << 30;
  // Warnings (values that cannot be stored, soundings left out); null:
  // dropped.
  std::ostream* warnings = nullptr;
};

struct ImportResult {
  std::set<long> stations;  // the file stations written
  std::string report;       // the files written and the summary
};

// Imports the inputs into the archive in database_dir (made when it is not
// there); throws ImportError for a fault of an input, std::runtime_error
// naming the file for a file that cannot be read or written.
ImportResult import_files(const std::string& database_dir,
                          const ImportOptions& options);

}  // namespace rawinq
