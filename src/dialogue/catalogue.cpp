// The dialogue's catalogue: loaded into its table with its messages, its
// station list files and its station selection.
#include "rawinq/catalogue.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/edition.h"
#include "rawinq/file_handle.h"
#include "rawinq/program_exit.h"
#include "rawinq/regular_file.h"
#include "rawinq/retrieval.h"
#include "rawinq/selection.h"
#include "rawinq/terminal.h"

namespace {

constexpr char kBell = 7;
// Station list lines are read 34 bytes at a time.
constexpr int kStationListLineRead = 34;

}  // namespace

void load_catalogue(DialogueState& st, const std::string& support_dir) {
  for (STATREC& e : st.Stn_His) e = STATREC{};
  st.Stn_His_Num = 0;

  CatalogueOptions options;
  options.international = edition::kReadsInternationalSites;
  options.limit = kMaxStations;
  options.needs_stat2000 = true;
  options.world_table = false;
  const Catalogue catalogue = Catalogue::load(support_dir, options);
  std::copy(catalogue.entries().begin(), catalogue.entries().end(), st.Stn_His);
  st.Stn_His_Num = static_cast<short>(catalogue.size());
  for (const std::string& w : catalogue.warnings())
    std::fputs(w.c_str(), stdout);

  if (catalogue.stat2000_state() != CatalogueFileState::loaded) {
    const std::string shown =
        support_dir.empty() ? std::string("<current directory>") : support_dir;
    // A file that is there but cannot be read is not said to be missing.
    if (catalogue.stat2000_state() == CatalogueFileState::missing)
      std::printf(" ERROR: the station file: stat2000.txt was not in: %s \n ",
                  shown.c_str());
    else
      std::printf(
          " ERROR: the station file: stat2000.txt could not be opened in: %s "
          "(%s) \n ",
          shown.c_str(), catalogue.stat2000_reason().c_str());
    std::putchar(kBell);
    std::puts("   Type HELP for more information ");
    if (get_help(st, read_answer(), "SOFTWARE_LOCATION")) end_program(0);
    return;  // go on with an empty catalogue
  }
  if (!edition::kReadsInternationalSites) return;
  if (catalogue.international_state() == CatalogueFileState::missing)
    std::printf(
        " ERROR: the file international_sites.txt was not found in: %s \n ",
        support_dir.c_str());
  else if (catalogue.international_state() == CatalogueFileState::unopenable)
    std::printf(
        " ERROR: the file international_sites.txt could not be opened in: "
        "%s (%s) \n ",
        support_dir.c_str(), catalogue.international_reason().c_str());
}

short read_station_list(DialogueState& st, std::FILE* f) {
  short count = 0;
  std::string line;
  while (read_bounded_line(f, kStationListLineRead, line)) {
    const LeadingNumber n = leading_number(line);
    // A line without a station number is not a station.
    if (!n.found || n.overflow) continue;
    if (count >= kMaxStations) {
      std::printf(
          " WARNING:  only the first 2000 stations of the file are used\n");
      break;
    }
    st.User_Stations[count][st.Stn_Type] = n.value;
    ++count;
  }
  st.Usr_Stn_Count = count;
  return count;
}

void get_stations(DialogueState& st, float blat, float elat, float blong,
                  float elong, short access, long bdate, long edate) {
  StationCriteria c;
  c.by_numbers = access == 0;
  c.wban_numbers = st.Stn_Type == 1;
  const int column = st.Stn_Type == 1 ? 1 : 0;
  for (int i = 0; i < st.Usr_Stn_Count && i < kMaxStations; ++i)
    c.numbers.push_back(st.User_Stations[i][column]);
  c.blat = blat;
  c.elat = elat;
  c.blong = blong;
  c.elong = elong;
  c.bdate = bdate;
  c.edate = edate;
  c.max_candidates = kMaxStations;
  const Selection sel =
      select_stations(st.Stn_His, static_cast<std::size_t>(st.Stn_His_Num), c);
  const std::size_t nidx =
      std::min<std::size_t>(sel.entries.size(), kMaxStations);
  for (std::size_t k = 0; k < nidx; ++k)
    st.Stn_Index[k] = static_cast<short>(sel.entries[k]);
  const std::size_t nrows =
      std::min<std::size_t>(sel.stations.size(), kMaxStations);
  for (std::size_t r = 0; r < nrows; ++r) {
    st.User_Stations[r][0] = sel.stations[r].wmo;
    st.User_Stations[r][1] = sel.stations[r].wban;
  }
  st.Stn_Count = static_cast<short>(nidx);
  st.Usr_Stn_Count = static_cast<short>(nrows);
}

int choose_station_entry(const DialogueState& st, long wban, long day) {
  Selection sel;
  sel.catalogue = st.Stn_His;
  sel.catalogue_size = kMaxStations;
  for (int k = 0; k < st.Stn_Count && k < kMaxStations; ++k)
    sel.entries.push_back(st.Stn_Index[k]);
  return choose_station_entry(st.Stn_His, station_entries(sel, wban), day);
}
