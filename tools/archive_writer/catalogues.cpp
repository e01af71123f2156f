#include "catalogues.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "text_fields.h"

namespace archive_writer {
namespace fs = std::filesystem;

namespace {

// The programs load at most this many entries of both catalogues together.
constexpr std::size_t kLoadedEntries = 2000;
constexpr long kNoWmo = 99999;
constexpr long kNoElevation = -999;

// The station list's columns (1-based, inclusive).
struct ListColumns {
  std::size_t first, last;
};
constexpr ListColumns kListId{1, 11}, kListLat{13, 20}, kListLon{22, 30},
    kListElev{32, 37}, kListState{39, 40}, kListName{42, 71},
    kListFirst{73, 76}, kListLast{78, 81};

std::string field(std::string_view line, ListColumns c) {
  return std::string(trimmed(columns(line, c.first, c.last)));
}

// The name cut or padded to its width.
std::string fitted(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

// Three letters of the name stand for the station's identifier, which the
// list does not give.
std::string identifier(const std::string& name) {
  std::string init;
  for (char c : name)
    if (std::isalpha(static_cast<unsigned char>(c)) && init.size() < 3)
      init += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return init.size() == 3 ? init : "XXX";
}

// The counted entry lines of a catalogue file, or none when there is no
// such file.
std::vector<std::string> entry_lines(const fs::path& path) {
  std::vector<std::string> out;
  if (!fs::exists(path)) return out;
  LineSource in(path.string());
  std::string_view line;
  if (!in.next(line)) return out;
  long count = 0;
  if (!whole_number(line, count) || count < 0)
    in.fail("the first line does not count the entries");
  while (static_cast<long>(out.size()) < count && in.next(line))
    out.emplace_back(line);
  return out;
}

// The second word of an entry line: the WBAN number of stat2000.txt, the
// WMO number of international_sites.txt.
long second_number(const std::string& line) {
  char first[16];
  long n = 0;
  return std::sscanf(line.c_str(), "%15s %ld", first, &n) == 2 ? n : -1;
}

void write_file(const CatalogueFile& f) {
  const std::string tmp = f.path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << f.entries.size() << "\n";
    for (const std::string& e : f.entries) out << e << "\n";
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(tmp, ec);
      throw std::runtime_error("cannot write " + f.path);
    }
  }
  std::error_code ec;
  fs::rename(tmp, f.path, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw std::runtime_error("cannot write " + f.path + ": " + ec.message());
  }
}

}  // namespace

std::string stat2000_entry(const std::string& init, long wban, long wmo,
                           double lat, double lon, long elev, int first_year,
                           int last_year, const std::string& name,
                           const std::string& state,
                           const std::string& country) {
  // Western longitudes are positive numbers in this file.
  char text[160];
  std::snprintf(text, sizeof text, "%-5s%5ld %5ld %6.2f %7.2f %5ld %04d0101 %04d1231 %s %s %s",
                init.c_str(), wban, wmo, lat, -lon, elev, first_year, last_year,
                fitted(name, 25).c_str(), fitted(state, 2).c_str(),
                country.c_str());
  return text;
}

std::string international_entry(const std::string& init, long wmo, double lat,
                                double lon, long elev, int first_year,
                                int last_year, const std::string& name,
                                const std::string& country) {
  // The hemisphere letters stand in columns 18 and 26.
  char text[160];
  std::snprintf(text, sizeof text, "%-5s%05ld %6.2f%c %6.2f%c %5ld %04d0101 %04d1231 %s %s",
                init.c_str(), wmo, lat < 0 ? -lat : lat, lat < 0 ? 'S' : 'N',
                lon < 0 ? -lon : lon, lon < 0 ? 'W' : 'E', elev, first_year,
                last_year, fitted(name, 29).c_str(), fitted(country, 2).c_str());
  return text;
}

CatalogueUpdate igra2_catalogues(const std::string& station_list,
                                 const std::string& support_dir,
                                 const std::set<long>& packed,
                                 const WbanOfWmo& wban) {
  CatalogueUpdate u;
  u.support_dir = support_dir;
  const fs::path dir = support_dir;
  u.stat2000.path = (dir / "stat2000.txt").string();
  u.international.path = (dir / "international_sites.txt").string();
  u.stat2000.entries = entry_lines(u.stat2000.path);
  u.international.entries = entry_lines(u.international.path);
  std::set<long> have_wban, have_wmo;
  for (const std::string& e : u.stat2000.entries) have_wban.insert(second_number(e));
  for (const std::string& e : u.international.entries)
    have_wmo.insert(second_number(e));
  if (!fs::exists(dir / "raobhelp.txt")) u.help_source = installed_help_file();

  std::set<long> listed;
  LineSource in(station_list);
  std::string_view line;
  while (in.next(line)) {
    if (trimmed(line).empty()) continue;
    if (line.size() < kListLast.last) in.fail("a station line of " +
                                              std::to_string(line.size()) +
                                              " characters; it has 81 or more");
    const std::string id = field(line, kListId);
    long number = 0, elev = 0, first = 0, last = 0, lat = 0, lon = 0;
    if (id.size() != 11 || !whole_number(std::string_view(id).substr(3), number))
      continue;  // no number of either network
    if (!scaled_number(columns(line, kListLat.first, kListLat.last), 4, lat) ||
        !scaled_number(columns(line, kListLon.first, kListLon.last), 4, lon) ||
        !whole_number(columns(line, kListFirst.first, kListFirst.last), first) ||
        !whole_number(columns(line, kListLast.first, kListLast.last), last))
      in.fail("not a station line of the IGRA2 list");
    long elev_tenths = 0;
    elev = scaled_number(columns(line, kListElev.first, kListElev.last), 1,
                         elev_tenths) && elev_tenths > -9000
               ? (elev_tenths + (elev_tenths < 0 ? -5 : 5)) / 10
               : kNoElevation;
    const std::string name = field(line, kListName);
    const std::string country = id.substr(0, 2);
    const double latitude = static_cast<double>(lat) / 10000.0;
    const double longitude = static_cast<double>(lon) / 10000.0;
    long station_wban = 0, station_wmo = kNoWmo;
    if (id[2] == 'W') {
      station_wban = number;
    } else if (id[2] == 'M') {
      station_wmo = number;
      const long st = file_station(number, wban);
      if (st < 900000) station_wban = st;
    } else {
      continue;
    }
    const long st = station_wban != 0 ? station_wban : 900000 + station_wmo;
    if (!packed.count(st) || listed.count(st)) continue;
    listed.insert(st);
    if (station_wban != 0) {
      if (have_wban.count(station_wban)) continue;
      u.stat2000.entries.push_back(stat2000_entry(
          identifier(name), station_wban, station_wmo, latitude, longitude,
          elev, static_cast<int>(first), static_cast<int>(last), name,
          field(line, kListState), country));
      ++u.stat2000.added;
    } else {
      if (have_wmo.count(station_wmo)) continue;
      u.international.entries.push_back(international_entry(
          identifier(name), station_wmo, latitude, longitude, elev,
          static_cast<int>(first), static_cast<int>(last), name, country));
      ++u.international.added;
    }
  }
  for (long st : packed)
    if (!listed.count(st)) u.unlisted.push_back(st);
  return u;
}

void write_catalogues(const CatalogueUpdate& u, std::ostream& out) {
  fs::create_directories(u.support_dir);
  for (const CatalogueFile* f : {&u.stat2000, &u.international}) {
    write_file(*f);
    out << f->path << ": " << f->added << " entr" << (f->added == 1 ? "y" : "ies")
        << " added, " << f->entries.size() << " in all\n";
  }
  const std::size_t total = u.stat2000.entries.size() + u.international.entries.size();
  if (total > kLoadedEntries)
    out << "rawinq-pack: warning: the catalogues hold " << total
        << " entries; rawinq loads the first " << kLoadedEntries
        << " (those of stat2000.txt first)\n";
  for (long st : u.unlisted)
    out << "rawinq-pack: warning: the station list does not name station "
        << (st > 900000 ? "WMO " + std::to_string(st - 900000)
                        : "WBAN " + std::to_string(st))
        << "; it has no catalogue entry\n";
  const fs::path help = fs::path(u.support_dir) / "raobhelp.txt";
  if (!u.help_source.empty() && !fs::exists(help)) {
    fs::copy_file(u.help_source, help);
    out << help.string() << ": copied from " << u.help_source << "\n";
  } else if (!fs::exists(help)) {
    out << "rawinq-pack: warning: no help file was found to copy to "
        << help.string() << "\n";
  }
}

std::string installed_help_file() {
  std::vector<std::string> candidates;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec)
    candidates.push_back(
        (self.parent_path() / RAWINQ_DATA_BESIDE / "support/raobhelp.txt")
            .string());
  candidates.push_back(RAWINQ_BUILD_SUPPORT_DIR "/raobhelp.txt");
  for (const std::string& c : candidates)
    if (fs::is_regular_file(c, ec)) return c;
  return "";
}

}  // namespace archive_writer
