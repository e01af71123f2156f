// One import as one call: the soundings of input files (or of a packer the
// caller fed) packed into an archive's station-year files, every file put
// in place only when all of them are written, the support folder's
// catalogues completed on request. The programs (rawinq-pack, the Python
// module) give the inputs, show progress and report.
#pragma once

#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "catalogues.h"
#include "import.h"
#include "line_source.h"
#include "packer.h"

namespace archive_writer {

enum class InputFormat { zir, igra2, wyoming, temp, bufr };

struct ImportRequest {
  InputFormat format = InputFormat::zir;
  std::string database_dir;
  std::vector<std::string> inputs;  // read in this order
  PackOptions pack;                 // names, edition, replacing
  // Where the WBAN numbers of WMO numbers come from: a stat2000.txt and
  // the support folder's (see known_wban_numbers).
  std::string catalogue;
  std::string support_dir;
  // With support_dir: the IGRA2 station list whose entries of the stations
  // packed are added to the support folder's catalogues.
  std::string station_list;
  // The help file copied into a support folder that has none.
  std::string help_file;
  std::string world_file;  // the installed world table of station identifiers
  long wmo = 0;   // the station of Wyoming comma-separated listings
  long month = 0; // YYYYMM of TEMP messages (0: from each file's name)
  // BUFR: messages with a fault left out (and reported) instead of ending
  // the import.
  bool skip_bad = false;
  UnpackLimits limits;
  // The packer's warnings and the notes of waiting for a lock (null: none).
  std::ostream* warnings = nullptr;
};

// What an import tells its caller as it goes.
class ImportObserver {
 public:
  virtual ~ImportObserver() = default;
  // The source of an input name (the default opens the file; a program
  // gives standard input for "-").
  virtual std::unique_ptr<LineSource> open(const std::string& name,
                                           const UnpackLimits& limits) {
    return std::make_unique<LineSource>(name, limits);
  }
  virtual void begin_file(const std::string& /*name*/) {}
  // Bytes of the current input's text read so far.
  virtual void read(unsigned long long /*bytes*/) {}
  virtual void end_file() {}
  // A sounding packed: its file station and date (YYYYMMDDHH).
  virtual void packed(long /*station*/, long /*date*/) {}
  // Called between soundings and reads: throws to end the import, which
  // then writes nothing.
  virtual void check() {}
  // Every file is staged: from here the import completes (a program holds
  // back its interrupting signals), after one last check.
  virtual void committing() {}
};

struct ImportResult {
  std::set<long> stations;  // the file stations packed
  std::string report;       // the files written and the summary
};

// Reads every input of the request in its format and packs it.
ImportResult import_files(const ImportRequest& request,
                          ImportObserver& observer);
// Writes what the packer holds into the request's archive (and, with a
// station list, the support folder's catalogues): both folders locked
// (the archive first), every file staged and put in place together.
ImportResult finish_import(Packer& packer, const ImportRequest& request,
                           ImportObserver& observer);

}  // namespace archive_writer
