// The IGRA2 station list as entries of the programs' catalogues: the
// stations with a WBAN number go to stat2000.txt, all others to
// international_sites.txt, merged with the entries the files hold.
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "import.h"
#include "staging.h"

namespace archive_writer {

// One catalogue file as it will be written: its entry lines, and how many
// of them are new.
struct CatalogueFile {
  std::string path;
  std::vector<std::string> entries;
  std::size_t added = 0;
  // The lines after the counted entries, kept after them as they are; and
  // the count the first line gave.
  std::vector<std::string> beyond;
  long counted = 0;
};

struct CatalogueUpdate {
  std::string support_dir;
  CatalogueFile stat2000;
  CatalogueFile international;
  std::string help_source;  // the help file to copy, when DIR has none
  std::string world_source;  // the world table to copy, when DIR has none
  std::vector<long> unlisted;  // file stations the list does not name
};

// The entry lines of a station of the list: the WBAN form or the
// international form, in the columns the programs read.
std::string stat2000_entry(const std::string& init, long wban, long wmo,
                           double lat, double lon, long elev, int first_year,
                           int last_year, const std::string& name,
                           const std::string& state,
                           const std::string& country);
std::string international_entry(const std::string& init, long wmo, double lat,
                                double lon, long elev, int first_year,
                                int last_year, const std::string& name,
                                const std::string& country);

// Reads the station list and the catalogues of support_dir (when there)
// and makes the entries of the stations packed (file station numbers)
// that the catalogues do not hold; throws InputError for a fault of the
// list. help_file, world_file: the help file and the world table of
// station identifiers copied into a support folder that has none ("": none
// is copied). A new entry's identifier is the station's 3-letter code from
// the world table (the folder's own, else world_file), else three letters
// of its name.
CatalogueUpdate igra2_catalogues(const std::string& station_list,
                                 const std::string& support_dir,
                                 const std::set<long>& packed,
                                 const WbanOfWmo& wban,
                                 const std::string& help_file = "",
                                 const std::string& world_file = "");

// Writes the catalogues and the help file, when the directory has none, to
// their temporary files in `staging`. A catalogue that is a symbolic link
// is written through to its target, in the target's folder, and keeps its
// mode and owner; throws when it cannot be so written.
void stage_catalogues(const CatalogueUpdate& update, Staging& staging);
// Reports the catalogues staged on `out`.
void report_catalogues(const CatalogueUpdate& update, std::ostream& out);
// Stages, puts in place and reports.
void write_catalogues(const CatalogueUpdate& update, std::ostream& out);

}  // namespace archive_writer
