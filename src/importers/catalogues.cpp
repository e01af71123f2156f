#include "catalogues.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "rawinq/catalogue.h"
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

// The counted entry lines of a catalogue file and the lines after them, or
// none when there is no such file.
void read_entry_lines(CatalogueFile& f) {
  if (!fs::exists(f.path)) return;
  LineSource in(f.path);
  std::string_view line;
  if (!in.next(line)) return;
  long count = 0;
  if (!whole_number(line, count) || count < 0)
    in.fail("the first line does not count the entries");
  f.counted = count;
  while (static_cast<long>(f.entries.size()) < count && in.next(line))
    f.entries.emplace_back(line);
  while (in.next(line)) f.beyond.emplace_back(line);
}

// The second word of an entry line: the WBAN number of stat2000.txt, the
// WMO number of international_sites.txt.
long second_number(const std::string& line) {
  char first[16];
  long n = 0;
  return std::sscanf(line.c_str(), "%15s %ld", first, &n) == 2 ? n : -1;
}

// Where a catalogue is written: the file itself or, for a symbolic link,
// the file it names. A link that another user planted in a sticky folder
// open to all (as /tmp) is not followed, as the system would not follow
// it either.
std::string written_path(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  struct stat dir {};
  const std::string folder = fs::path(path).parent_path().string();
  if (::stat(folder.empty() ? "." : folder.c_str(), &dir) == 0 &&
      (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) &&
      st.st_uid != ::geteuid() && st.st_uid != dir.st_uid)
    throw std::runtime_error(path + ": a link of another user in a shared "
                             "folder; not followed");
  std::error_code ec;
  const fs::path target = fs::canonical(path, ec);
  if (ec) {
    // The reason first: reading the link resets ec.
    const std::string why = ec.message();
    const std::string to = fs::read_symlink(path, ec).string();
    throw std::runtime_error(path + ": a link to " + to + ", which cannot be written: " + why);
  }
  return target.string();
}

void stage_file(const CatalogueFile& f, Staging& staging) {
  const std::string final = written_path(f.path);
  struct stat st {};
  const bool exists = ::stat(final.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode))
    throw std::runtime_error(final + ": not a regular file");
  const std::size_t k =
      staging.add(final, Staging::Place::kReplace,
                  exists ? st.st_mode & 07777 : 0644, !exists);
  if (exists) staging.keep_owner(k, st.st_uid, st.st_gid);
  std::string text = std::to_string(f.entries.size()) + "\n";
  for (const std::string& e : f.entries) text += e + "\n";
  for (const std::string& e : f.beyond) text += e + "\n";
  staging.write(k, text.data(), text.size());
  staging.close(k);
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
                                 const WbanOfWmo& wban,
                                 const std::string& help_file,
                                 const std::string& world_file) {
  CatalogueUpdate u;
  u.support_dir = support_dir;
  const fs::path dir = support_dir;
  u.stat2000.path = (dir / "stat2000.txt").string();
  u.international.path = (dir / "international_sites.txt").string();
  read_entry_lines(u.stat2000);
  read_entry_lines(u.international);
  std::set<long> have_wban, have_wmo;
  for (const std::string& e : u.stat2000.entries) have_wban.insert(second_number(e));
  for (const std::string& e : u.international.entries)
    have_wmo.insert(second_number(e));
  if (!fs::exists(dir / "raobhelp.txt")) u.help_source = help_file;
  // The 3-letter codes of the world table, by IGRA2 id.
  std::map<std::string, std::string> codes;
  const std::string own_world = (dir / "world_stations.csv").string();
  const bool has_world = fs::exists(own_world);
  if (!has_world) u.world_source = world_file;
  const std::string world = has_world ? own_world : world_file;
  if (!world.empty()) {
    try {
      for (const StationIds& s : read_world_table(world))
        if (!s.codes.empty()) codes.emplace(s.igra2, s.codes.front());
    } catch (const CatalogueError& e) {
      throw InputError(e.what());
    }
  }
  const auto init_of = [&codes](const std::string& id, const std::string& name) {
    const auto it = codes.find(id);
    return it != codes.end() && it->second.size() == 3 ? it->second : identifier(name);
  };

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
          init_of(id, name), station_wban, station_wmo, latitude, longitude,
          elev, static_cast<int>(first), static_cast<int>(last), name,
          field(line, kListState), country));
      ++u.stat2000.added;
    } else {
      if (have_wmo.count(station_wmo)) continue;
      u.international.entries.push_back(international_entry(
          init_of(id, name), station_wmo, latitude, longitude, elev,
          static_cast<int>(first), static_cast<int>(last), name, country));
      ++u.international.added;
    }
  }
  for (long st : packed)
    if (!listed.count(st)) u.unlisted.push_back(st);
  return u;
}

void stage_catalogues(const CatalogueUpdate& u, Staging& staging) {
  for (const CatalogueFile* f : {&u.stat2000, &u.international})
    stage_file(*f, staging);
  // The help file and the world table, copied where the folder has none.
  for (const auto& [name, source] : {std::pair<const char*, const std::string&>(
                                         "raobhelp.txt", u.help_source),
                                     {"world_stations.csv", u.world_source}}) {
    const fs::path target = fs::path(u.support_dir) / name;
    std::error_code ec;
    if (source.empty() || fs::exists(fs::symlink_status(target, ec))) continue;
    std::ifstream in(source, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)),
                           std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw std::runtime_error("cannot read " + source);
    const std::size_t k = staging.add(target.string(), Staging::Place::kOnlyNew, 0644, true);
    staging.write(k, text.data(), text.size());
    staging.close(k);
  }
}

void report_catalogues(const CatalogueUpdate& u, std::ostream& out) {
  for (const CatalogueFile* f : {&u.stat2000, &u.international}) {
    out << f->path << ": " << f->added << " entr" << (f->added == 1 ? "y" : "ies")
        << " added, " << f->entries.size() << " in all\n";
    const std::size_t had = f->entries.size() - f->added;
    if (static_cast<long>(had) < f->counted)
      out << "rawinq-pack: warning: " << f->path << ": the first line counted "
          << f->counted << " entries, the file held " << had << "\n";
    if (!f->beyond.empty())
      out << "rawinq-pack: warning: " << f->path << ": " << f->beyond.size()
          << " line" << (f->beyond.size() == 1 ? "" : "s")
          << " after the counted entries, kept after them (rawinq reads "
             "only the counted ones)\n";
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
  if (!u.world_source.empty())
    out << (fs::path(u.support_dir) / "world_stations.csv").string() << ": copied from "
        << u.world_source << "\n";
  if (!u.help_source.empty())
    out << help.string() << ": copied from " << u.help_source << "\n";
  else if (!fs::exists(help))
    out << "rawinq-pack: warning: no help file was found to copy to "
        << help.string() << "\n";
}

void write_catalogues(const CatalogueUpdate& u, std::ostream& out) {
  Staging staging;
  stage_catalogues(u, staging);
  staging.commit();
  report_catalogues(u, out);
}

}  // namespace archive_writer
