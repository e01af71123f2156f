// The station catalogue of one support folder: the station-history entries
// of "stat2000.txt" and "international_sites.txt", loaded once and
// read-only after, and the queries made of it (station selection for a
// request, the entries of a station). A Catalogue is a value: any number
// of them may live in a process, and one may be read by many threads.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rawinq/records.h"
#include "rawinq/selection.h"
#include "rawinq/station_ids.h"

// A catalogue that cannot be loaded as asked (strict loading).
struct CatalogueError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct CatalogueOptions {
  // Also read international_sites.txt (entries filed under WMO + 900000).
  bool international = true;
  // At most this many entries are taken, those of stat2000.txt first (0:
  // no limit); the entries left out give one warning.
  std::size_t limit = 0;
  // A file that is there but cannot be opened, or whose count line cannot
  // be read, throws CatalogueError naming the file and why; otherwise it is
  // a warning or a state, and loading goes on. Strict loading also throws
  // when neither file is there.
  bool strict = false;
  // Without stat2000.txt the international file is not read either.
  bool needs_stat2000 = false;
  // Also read the world table of identifiers (world_stations.csv) when the
  // folder has one.
  bool world_table = true;
};


// How one catalogue file fared.
enum class CatalogueFileState { not_read, loaded, missing, unopenable };

class Catalogue {
 public:
  Catalogue() = default;
  // Loads the catalogue files of support_dir ("/"-terminated or "").
  static Catalogue load(const std::string& support_dir,
                        const CatalogueOptions& options = {});
  // A catalogue of the given entries (tests, importers' support folders).
  explicit Catalogue(std::vector<STATREC> entries)
      : entries_(std::move(entries)) {}

  const std::vector<STATREC>& entries() const { return entries_; }
  const STATREC* data() const { return entries_.data(); }
  std::size_t size() const { return entries_.size(); }
  // Entries read from stat2000.txt (they come first).
  std::size_t from_stat2000() const { return from_stat2000_; }

  CatalogueFileState stat2000_state() const { return stat2000_; }
  CatalogueFileState international_state() const { return international_; }
  // Why a file is unopenable, as the system says it.
  const std::string& stat2000_reason() const { return stat2000_reason_; }
  const std::string& international_reason() const {
    return international_reason_;
  }
  // What loading had to say, in the order met: a count line that cannot be
  // read, the entries beyond the limit; whole lines with their line ends.
  const std::vector<std::string>& warnings() const { return warnings_; }

  // The entries and stations a request takes (see select_stations). The
  // selection points into this catalogue, which must outlive it.
  Selection select(const StationCriteria& criteria) const {
    return select_stations(entries_.data(), entries_.size(), criteria);
  }
  // The positions of the entries with this WMO (or WBAN) number, in order.
  std::vector<int> find(long number, bool wban = false) const;

  // The world table's stations (empty without one).
  const std::vector<StationIds>& world() const { return world_; }
  // The identifiers of the catalogue's entries (never null).
  std::shared_ptr<const StationIdTable> station_ids() const { return ids_; }
  // The catalogue's stations an identifier names, each once, in catalogue
  // order: a WMO number (72469), a WBAN number (W23062), an IGRA2 id
  // (USM00072469), an ICAO code (KDNR) or a 3-letter code (DNR, DEN), the
  // last two through the world table and the catalogue's own identifiers;
  // letters in any case.
  std::vector<StationRow> resolve(const std::string& id) const;
  // The catalogue's stations whose name holds text (any case).
  std::vector<StationRow> named(const std::string& text) const;
  // The names of the catalogue nearest to text (for a suggestion), at most
  // n, nearest first.
  std::vector<std::string> closest_names(const std::string& text,
                                         std::size_t n = 3) const;
  // The WBAN numbers of the stations the identifiers name (by_name: parts
  // of their names), in the order given; CatalogueError for an identifier
  // that names no station (its message suggests the nearest names) or
  // several (it lists them).
  std::vector<long> resolve_stations(const std::vector<std::string>& ids,
                                     bool by_name) const;

 private:
  std::vector<STATREC> entries_;
  std::size_t from_stat2000_ = 0;
  CatalogueFileState stat2000_ = CatalogueFileState::not_read;
  CatalogueFileState international_ = CatalogueFileState::not_read;
  std::string stat2000_reason_, international_reason_;
  std::vector<std::string> warnings_;
  std::vector<StationIds> world_;
  std::shared_ptr<const StationIdTable> ids_ = std::make_shared<StationIdTable>();
};

// Reads a world table (world_stations.csv); throws CatalogueError naming
// the file and line of a row that cannot be read.
std::vector<StationIds> read_world_table(const std::string& path);

// Parses one "stat2000.txt" entry line into e (fields not matched keep
// their values).
void parse_stat2000_line(const char* line, STATREC& e);
// Parses one "international_sites.txt" entry line into e.
void parse_international_line(const char* line, STATREC& e);

// Reads one line of at most size - 1 bytes (newline included), counted
// byte by byte so that a NUL byte cannot hide how much was read; the rest
// of a longer line is read and thrown away. False at end of file.
bool read_bounded_line(std::FILE* f, int size, std::string& line);

// Appends the entries of one catalogue file ("stat2000.txt" form, or
// "international_sites.txt" form when international) to out, with no limit
// on their number. False when the file is not there or cannot be read;
// throws CatalogueError naming the file when it is there but cannot be
// opened, or is not a regular file (a FIFO, a device), or when its count
// line cannot be read (naming the line too).
bool read_catalogue_file(const std::string& path, bool international,
                         std::vector<STATREC>& out);
