// The library's interface for programs that read an archive of upper-air
// soundings: open an archive and a station catalogue, make a request, read
// its soundings as values (header, levels in physical units, the station's
// catalogue entry) or write them in a format of the format table, compute a
// sounding's indices, import files into an archive (rawinq/import.h).
// Nothing here keeps state between calls: any number
// of archives, catalogues and requests may be used at once, from any
// number of threads (a request and its output session belong to one
// thread at a time). Failures are exceptions that name their cause; the
// library never prints, reads standard input or ends the process.
//
//   const rawinq::Archive archive = rawinq::Archive::open("sample-archive");
//   const rawinq::Catalogue catalogue = rawinq::Catalogue::load("support/");
//   rawinq::Request request;
//   const rawinq::TimeSpan january = rawinq::parse_time_span("1995-01");
//   request.from = january.first;
//   request.to = january.last;
//   request.stations.numbers = {catalogue.resolve("KDNR").front().wban};
//   request.stations.wban_numbers = true;
//   for (const rawinq::StationSounding& s :
//        rawinq::read_soundings(archive, catalogue, request))
//     ... s.sounding, s.station, rawinq::physical_levels(s.sounding) ...
#pragma once

#include <bitset>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "rawinq/catalogue.h"
#include "rawinq/dates.h"
#include "rawinq/file_handle.h"
#include "rawinq/formats.h"
#include "rawinq/heights.h"
#include "rawinq/import.h"
#include "rawinq/indices.h"
#include "rawinq/output_session.h"
#include "rawinq/records.h"
#include "rawinq/retrieval.h"
#include "rawinq/selection.h"
#include "rawinq/sounding.h"

namespace rawinq {

// The library's own names for the types it shares with its programs.
using ::Catalogue;
using ::CatalogueError;
using ::CatalogueOptions;
using ::OutputFailure;
using ::OutputFormat;
using ::OutputSession;
using ::Progress;
using ::RetrievalResult;
using ::SessionConfig;
using ::Sounding;
using ::StationCriteria;
using ::WriteOptions;
using ::GridOptions;  // WriteOptions::grid: a (station, time, level) cube
using ::parse_grid;
using ::StationIdTable;  // Catalogue::station_ids(): the outputs' identifiers
using ::StationIds;
using Station = ::STATREC;
using ::Order;
using ::Split;

// An archive that cannot be opened.
struct ArchiveError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An archive of station-year files: a folder of year folders ("Raob1995",
// "RAOB1995", "raob1995", or the short year form "raob95") each holding a
// file per station. A value: copy it, share it between threads.
class Archive {
 public:
  // Opens the archive in folder; ArchiveError when it is not a folder
  // that can be read. both_year_forms: year folders of either year form
  // are read (else only the four-digit form).
  static Archive open(const std::string& folder, bool both_year_forms = true);

  // The folder, ending in "/".
  const std::string& folder() const { return folder_; }
  bool both_year_forms() const { return both_year_forms_; }
  // The years that have a year folder, ascending.
  const std::vector<int>& years() const { return years_; }

  // One station-year file, open for reading, owned by the caller.
  struct StationYear {
    FileHandle file;         // empty when there is none that can be read
    std::string path;        // the file found ("" when there is none)
    unsigned long size = 0;  // its bytes
    int error = 0;           // errno when it is there but cannot be opened
  };
  // The file of station (its WBAN number, or WMO + 900000) for year, under
  // the first name form found.
  StationYear open_station_year(long station, int year) const;

 private:
  std::string folder_;
  bool both_year_forms_ = true;
  std::vector<int> years_;
};

// What to read: a period, the hours, the stations, and how to write them.
struct Request {
  long from = 0, to = 0;  // YYYYMMDDHH, both included
  std::bitset<24> hours = std::bitset<24>().set();  // the hours wanted
  // The stations, by WMO or WBAN numbers or a box; the period is the
  // request's own (the dates of `stations` are not used).
  StationCriteria stations;
  // Or stations by the identifiers people use (Catalogue::resolve), or by
  // parts of their names with station_names: they replace the numbers of
  // `stations` and are visited by WMO number. engine_request throws
  // CatalogueError for one that names no station or several.
  std::vector<std::string> station_ids;
  bool station_names = false;
  Order order = Order::station;
  Split split = Split::one;  // where a new output file begins
  WriteOptions write;        // levels and units of the writers
  // At most this many catalogue entries are taken by number (0: no
  // limit).
  std::size_t max_entries = 0;
  // Station files of one year that keep their own read-ahead.
  int keyed_slots = 1000;
};

// A station of a request's selection as a station list gives it: its
// catalogue entry last in force in the period, the world table's row of it
// (null when none), its ICAO and 3-letter codes joined by blanks, and the
// years the archive holds a file of it for, as ranges ("1995-1997 1999").
struct StationListing {
  const Station* entry = nullptr;
  const StationIds* world = nullptr;
  std::string icao, codes, years;
};
// The listing of every station of the engine request rq (whose selection
// points into the catalogue the identifiers come from).
std::vector<StationListing> list_stations(const Archive& archive,
                                          const StationIdTable& ids,
                                          const RetrievalRequest& rq);

// The engine's request for an archive, a catalogue and a request; the
// result points into the catalogue, which must outlive it.
RetrievalRequest engine_request(const Archive& archive,
                                const Catalogue& catalogue,
                                const Request& request);

// Reads the request's soundings and writes them through the session (a
// format of the table, to files or to standard output); progress hears of
// every sounding and takes the archive's warnings.
RetrievalResult retrieve(const Archive& archive, const Catalogue& catalogue,
                         const Request& request, OutputSession& session,
                         Progress& progress);

// One sounding of a request and its station's catalogue entry.
struct StationSounding {
  Sounding sounding;
  Station station;
};

// Calls visit with every sounding of the request, in the request's order,
// without writing anything; returns how many there were.
long for_each_sounding(
    const Archive& archive, const Catalogue& catalogue, const Request& request,
    const std::function<void(const Sounding&, const Station&)>& visit,
    Progress* progress = nullptr);
// The soundings of the request as values.
std::vector<StationSounding> read_soundings(const Archive& archive,
                                            const Catalogue& catalogue,
                                            const Request& request,
                                            Progress* progress = nullptr);

// A sounding's levels in physical units, one column per quantity, in the
// order the sounding holds them; a missing value is NaN.
struct PhysicalLevels {
  std::vector<int> level_type;       // 9 surface, 4 mandatory, 5 sig T, ...
  std::vector<double> pressure_hpa;
  std::vector<double> height_m;      // geopotential height as reported
  std::vector<double> temperature_c;
  std::vector<double> dewpoint_c;
  std::vector<double> wind_direction_deg;
  std::vector<double> wind_speed_ms;
};
PhysicalLevels physical_levels(const Sounding& sounding);

// The sounding's indices (stability, moisture, wind) for a station at the
// elevation of its catalogue entry.
indices::SoundingIndices sounding_indices(const Sounding& sounding,
                                          const Station& station);

// The output format of the table with this name ("zir", "faa604",
// "netcdf", "csv", "cf", "png", "svg", "pdf"); null when there is none.
using ::format_by_name;

}  // namespace rawinq
