// Station catalogue loading, station list files and station selection.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "rawinq/dialogue.h"
#include "rawinq/edition.h"
#include "rawinq/file_handle.h"
#include "rawinq/globals.h"
#include "rawinq/program_exit.h"
#include "rawinq/regular_file.h"
#include "rawinq/retrieval.h"
#include "rawinq/selection.h"
#include "rawinq/terminal.h"

namespace {

constexpr char kBell = 7;
// Catalogue lines are read 120 bytes at a time, station list lines 34.
constexpr int kCatalogueLineRead = 120;
constexpr int kStationListLineRead = 34;

// Reads one line of at most size - 1 bytes (newline included), counted byte
// by byte so that a NUL byte cannot hide how much was read. The rest of a
// longer line is read and thrown away, so it never counts as a line of its
// own. Returns false at end of file.
bool read_line(std::FILE* f, int size, std::string& line) {
  const size_t limit = static_cast<size_t>(size - 1);
  line.clear();
  int c = EOF;
  while (line.size() < limit && (c = std::fgetc(f)) != EOF) {
    line += static_cast<char>(c);
    if (c == '\n') break;
  }
  if (line.empty()) return false;
  if (line.size() == limit && line.back() != '\n') {
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
    }
  }
  return true;
}

// Walks a catalogue line the way the scanf conversions of its format do.
// Each read_* returns false on a matching failure; the target is then left
// as it was.
class Fields {
 public:
  explicit Fields(const char* line) : p_(line) {}

  void skip_blanks() {
    while (*p_ && std::isspace(static_cast<unsigned char>(*p_))) ++p_;
  }

  // A word of at most max_width characters (0: any); only the first keep
  // characters are stored, terminated.
  bool read_word(char* out, size_t keep, size_t max_width = 0) {
    skip_blanks();
    if (!*p_) return false;
    size_t n = 0;
    while (*p_ && !std::isspace(static_cast<unsigned char>(*p_)) &&
           (max_width == 0 || n < max_width)) {
      if (n < keep) out[n] = *p_;
      ++n;
      ++p_;
    }
    out[n < keep ? n : keep] = '\0';
    return true;
  }

  bool read_word(std::string& out) {
    skip_blanks();
    if (!*p_) return false;
    const char* b = p_;
    while (*p_ && !std::isspace(static_cast<unsigned char>(*p_))) ++p_;
    out.assign(b, p_);
    return true;
  }

  bool read_long(long& out) {
    skip_blanks();
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(p_, &end, 10);
    if (end == p_) return false;
    p_ = end;
    out = v;
    return true;
  }

  bool read_short(short& out) {
    long v;
    if (!read_long(v)) return false;
    if (v > SHRT_MAX) v = SHRT_MAX;
    if (v < SHRT_MIN) v = SHRT_MIN;
    out = static_cast<short>(v);
    return true;
  }

  bool read_float(float& out) {
    skip_blanks();
    char* end = nullptr;
    const float v = std::strtof(p_, &end);
    if (end == p_) return false;
    p_ = end;
    out = v;
    return true;
  }

  // Exactly width characters starting at the next non-blank one (the line
  // end does not count). A shorter rest of line fills what it can and is a
  // matching failure.
  bool read_chars(char* out, size_t width) {
    skip_blanks();
    size_t n = 0;
    while (n < width && p_[n] && p_[n] != '\n') ++n;
    if (n == 0) return false;
    std::memcpy(out, p_, n);
    out[n] = '\0';
    p_ += n;
    return n == width;
  }

 private:
  const char* p_;
};

// The decimal number at the start of the first six characters of a token.
float token_number(const std::string& token) {
  return static_cast<float>(std::atof(token.substr(0, 6).c_str()));
}

// The count of entries on a catalogue's first line; false when it cannot
// be read (no number, a negative one, one too large for a long).
bool catalogue_count(const std::string& first_line, unsigned long& count) {
  const LeadingNumber n = leading_number(first_line);
  if (!n.found || n.overflow || n.value < 0) return false;
  count = static_cast<unsigned long>(n.value);
  return true;
}

// The first line as shown in a message: without its line end.
std::string shown_line(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  return line;
}

// Loads the entry lines of one catalogue file (`name`) from position
// Stn_His_Num on. Returns false when the catalogue is full.
template <typename Parse>
bool load_entries(std::FILE* f, const char* name, Parse parse,
                  bool& warned_full) {
  std::string line;
  if (!read_line(f, kCatalogueLineRead, line)) return true;
  unsigned long count = 0;
  if (!catalogue_count(line, count)) {
    std::printf(
        " WARNING:  %s line 1: the count of entries '%s' cannot be read - "
        "no entry of the file was loaded\n",
        name, shown_line(line).c_str());
    return true;
  }
  for (unsigned long k = 0; k < count; ++k) {
    if (!read_line(f, kCatalogueLineRead, line)) break;
    if (Stn_His_Num >= kMaxStations) {
      if (!warned_full) {
        std::printf(
            " WARNING:  station catalogue full - entries after 2000 were not "
            "loaded\n");
        warned_full = true;
      }
      return false;
    }
    parse(line.c_str(), Stn_His[Stn_His_Num]);
    ++Stn_His_Num;
  }
  return true;
}

}  // namespace

void parse_stat2000_line(const char* line, STATREC& e) {
  Fields in(line);
  const bool ok =
      in.read_word(e.init, sizeof e.init - 1) && in.read_long(e.wban) &&
      in.read_long(e.wmo) && in.read_float(e.lat) && in.read_float(e.lon) &&
      in.read_short(e.elev) && in.read_long(e.bdate) &&
      in.read_long(e.edate) && in.read_chars(e.name, 25) &&
      in.read_chars(e.state, 2) &&
      in.read_word(e.country, sizeof e.country - 1);
  (void)ok;  // fields after a mismatch keep their values
  // The file gives western longitudes as positive numbers.
  e.lon = -e.lon;
  e.Clat = 'N';
  e.Clon = 'W';
}

void parse_international_line(const char* line, STATREC& e) {
  Fields in(line);
  std::string lat_token, lon_token;
  bool ok = in.read_word(e.init, sizeof e.init - 1, 4) && in.read_long(e.wmo);
  const bool have_lat = ok && in.read_word(lat_token);
  const bool have_lon = have_lat && in.read_word(lon_token);
  ok = have_lon && in.read_short(e.elev) && in.read_long(e.bdate) &&
       in.read_long(e.edate) && in.read_chars(e.name, 29) &&
       in.read_chars(e.country, 2);
  (void)ok;  // fields after a mismatch keep their values

  if (have_lat) e.lat = token_number(lat_token);
  if (have_lon) e.lon = token_number(lon_token);
  // The hemisphere letters stand in fixed columns 18 and 26 of the line.
  const size_t len = std::strlen(line);
  if (len > 17) {
    e.Clat = line[17];
    if (e.Clat == 'S' && have_lat) e.lat = -e.lat;
  }
  if (len > 25) {
    e.Clon = line[25];
    if (e.Clon == 'W' && have_lon) e.lon = -e.lon;
  }
  std::strcpy(e.state, "99");
  // A WMO number too large for the offset keeps the largest file number.
  e.wban = e.wmo > LONG_MAX - 900000 ? LONG_MAX : e.wmo + 900000;
}

void load_catalogue(const std::string& support_dir) {
  for (STATREC& e : Stn_His) e = STATREC{};
  Stn_His_Num = 0;

  OpenedFile stat2000_file = open_regular_file(support_dir + "stat2000.txt");
  FileHandle& stat2000 = stat2000_file.file;
  if (!stat2000) {
    const std::string shown =
        support_dir.empty() ? std::string("<current directory>") : support_dir;
    // A file that is there but cannot be read is not said to be missing.
    if (stat2000_file.missing())
      std::printf(" ERROR: the station file: stat2000.txt was not in: %s \n ",
                  shown.c_str());
    else
      std::printf(
          " ERROR: the station file: stat2000.txt could not be opened in: %s "
          "(%s) \n ",
          shown.c_str(), stat2000_file.reason().c_str());
    std::putchar(kBell);
    std::puts("   Type HELP for more information ");
    if (get_help(read_answer(), "SOFTWARE_LOCATION")) end_program(0);
    return;  // go on with an empty catalogue
  }

  bool warned_full = false;
  const bool room = load_entries(stat2000.get(), "stat2000.txt",
                                 parse_stat2000_line, warned_full);
  stat2000.close();
  if (!edition::kReadsInternationalSites) return;

  const OpenedFile international_file =
      open_regular_file(support_dir + "international_sites.txt");
  const FileHandle& international = international_file.file;
  if (!international) {
    if (international_file.missing())
      std::printf(
          " ERROR: the file international_sites.txt was not found in: %s \n ",
          support_dir.c_str());
    else
      std::printf(
          " ERROR: the file international_sites.txt could not be opened in: "
          "%s (%s) \n ",
          support_dir.c_str(), international_file.reason().c_str());
    return;
  }
  if (room)
    load_entries(international.get(), "international_sites.txt",
                 parse_international_line, warned_full);
}

bool read_catalogue_file(const std::string& path, bool international,
                         std::vector<STATREC>& out) {
  OpenedFile opened = open_regular_file(path);
  if (opened.missing()) return false;
  if (!opened.file) throw std::runtime_error(path + ": " + opened.reason());
  FileHandle& f = opened.file;
  std::string line;
  if (!read_line(f.get(), kCatalogueLineRead, line)) return true;
  unsigned long count = 0;
  if (!catalogue_count(line, count))
    throw std::runtime_error(path + " line 1: the count of entries '" +
                             shown_line(line) + "' cannot be read");
  for (unsigned long k = 0; k < count; ++k) {
    if (!read_line(f.get(), kCatalogueLineRead, line)) break;
    STATREC e{};
    if (international)
      parse_international_line(line.c_str(), e);
    else
      parse_stat2000_line(line.c_str(), e);
    out.push_back(e);
  }
  return !std::ferror(f.get());
}

short read_station_list(std::FILE* f) {
  short count = 0;
  std::string line;
  while (read_line(f, kStationListLineRead, line)) {
    const LeadingNumber n = leading_number(line);
    // A line without a station number is not a station.
    if (!n.found || n.overflow) continue;
    if (count >= kMaxStations) {
      std::printf(
          " WARNING:  only the first 2000 stations of the file are used\n");
      break;
    }
    User_Stations[count][Stn_Type] = n.value;
    ++count;
  }
  Usr_Stn_Count = count;
  return count;
}

void get_stations(float blat, float elat, float blong, float elong,
                  short access, long bdate, long edate) {
  StationCriteria c;
  c.by_numbers = access == 0;
  c.wban_numbers = Stn_Type == 1;
  const int column = Stn_Type == 1 ? 1 : 0;
  for (int i = 0; i < Usr_Stn_Count && i < kMaxStations; ++i)
    c.numbers.push_back(User_Stations[i][column]);
  c.blat = blat;
  c.elat = elat;
  c.blong = blong;
  c.elong = elong;
  c.bdate = bdate;
  c.edate = edate;
  c.max_candidates = kMaxStations;
  const Selection sel = select_stations(
      Stn_His, static_cast<std::size_t>(Stn_His_Num), c);
  const std::size_t nidx =
      std::min<std::size_t>(sel.entries.size(), kMaxStations);
  for (std::size_t k = 0; k < nidx; ++k)
    Stn_Index[k] = static_cast<short>(sel.entries[k]);
  const std::size_t nrows =
      std::min<std::size_t>(sel.stations.size(), kMaxStations);
  for (std::size_t r = 0; r < nrows; ++r) {
    User_Stations[r][0] = sel.stations[r].wmo;
    User_Stations[r][1] = sel.stations[r].wban;
  }
  Stn_Count = static_cast<short>(nidx);
  Usr_Stn_Count = static_cast<short>(nrows);
}

int choose_station_entry(long wban, long day) {
  Selection sel;
  sel.catalogue = Stn_His;
  sel.catalogue_size = kMaxStations;
  for (int k = 0; k < Stn_Count && k < kMaxStations; ++k)
    sel.entries.push_back(Stn_Index[k]);
  return choose_station_entry(Stn_His, station_entries(sel, wban), day);
}
