// The library's interface: archives, requests and soundings as values.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>

#include "rawinq/rawinq.h"

#include "rawinq/archive.h"

namespace rawinq {

namespace {

// A year folder's year: "Raob1995", "RAOB1995", "raob1995" (any case of
// the prefix, as the three name forms give it) or, with short_form, the
// year less 1900 up to 1999 ("raob95", "raob5"); 0 when the name is none of those.
int year_of_folder(const std::string& name, bool short_form) {
  if (name.size() < 5 || name.size() > 8) return 0;
  const std::string prefix = name.substr(0, 4);
  if (prefix != "raob" && prefix != "RAOB" && prefix != "Raob") return 0;
  const std::string digits = name.substr(4);
  if (!std::all_of(digits.begin(), digits.end(),
                   [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  const int n = std::stoi(digits);
  if (digits.size() == 4) return n >= 1900 && n <= 2099 ? n : 0;
  return short_form && digits.size() <= 2 ? 1900 + n : 0;
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

Archive Archive::open(const std::string& folder, bool both_year_forms) {
  Archive a;
  a.folder_ = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  a.both_year_forms_ = both_year_forms;
  const std::string shown = folder.empty() ? std::string(".") : folder;
  const std::unique_ptr<DIR, DirCloser> dir(opendir(shown.c_str()));
  if (!dir) throw ArchiveError(shown + ": " + std::strerror(errno));
  std::set<int> years;
  errno = 0;
  while (const dirent* e = readdir(dir.get())) {
    const int year = year_of_folder(e->d_name, both_year_forms);
    if (year == 0) continue;
    struct stat st {};
    if (stat((a.folder_ + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      years.insert(year);
  }
  if (errno != 0) throw ArchiveError(shown + ": " + std::strerror(errno));
  a.years_.assign(years.begin(), years.end());
  return a;
}

Archive::StationYear Archive::open_station_year(long station,
                                                int year) const {
  StationFiles files;
  short status = 0;
  open_station_file(files, folder_, static_cast<short>(year), station,
                    &status, 0, 0, false, both_year_forms_);
  StationYear y;
  if (status == 0) return y;
  y.path = files.path[0];
  y.size = files.slot[0].size;
  y.error = status == 1 ? 0 : files.open_errno;
  y.file = std::move(files.slot[0].infile);
  return y;
}

RetrievalRequest engine_request(const Archive& archive,
                                const Catalogue& catalogue,
                                const Request& request) {
  StationCriteria criteria = request.stations;
  const bool by_ids = !request.station_ids.empty();
  if (by_ids) {
    criteria.by_numbers = true;
    criteria.wban_numbers = true;
    criteria.numbers = catalogue.resolve_stations(request.station_ids, request.station_names);
  }
  criteria.bdate = request.from / 100;
  criteria.edate = request.to / 100;
  criteria.max_candidates = request.max_entries;
  RetrievalRequest rq;
  rq.bdate = request.from;
  rq.edate = request.to;
  rq.hours = request.hours;
  rq.order = request.order;
  rq.split = request.split;
  rq.write = request.write;
  if (!rq.write.station_ids) rq.write.station_ids = catalogue.station_ids();
  // A cube's time axis is the request's period, unless given.
  if (rq.write.grid.kind != GridOptions::Kind::none && rq.write.grid.from == 0) {
    rq.write.grid.from = request.from;
    rq.write.grid.to = request.to;
    rq.write.grid.hours = request.hours;
  }
  rq.selection = catalogue.select(criteria);
  if (by_ids) {
    // Resolved to WBAN numbers, visited and named by WMO number.
    std::stable_sort(rq.selection.stations.begin(), rq.selection.stations.end(),
                     [](const StationRow& a, const StationRow& b) { return a.wmo < b.wmo; });
    rq.selection.wban_numbers = false;
  }
  rq.data_dir = archive.folder();
  rq.both_year_forms = archive.both_year_forms();
  rq.keyed_slots = request.keyed_slots;
  if (rq.write.grid.kind != GridOptions::Kind::none && rq.write.grid.times.empty())
    rq.write.grid.times = sounding_times(rq);
  return rq;
}

std::vector<StationListing> list_stations(const Archive& archive, const StationIdTable& ids,
                                          const RetrievalRequest& rq) {
  const auto joined = [](const std::vector<std::string>& v) {
    std::string text;
    for (const std::string& x : v) text += (text.empty() ? "" : " ") + x;
    return text;
  };
  std::vector<StationListing> out;
  for (const StationRow& row : rq.selection.stations) {
    const std::vector<int> entries = station_entries(rq.selection, row.wban);
    if (entries.empty()) continue;
    StationListing l;
    l.entry = &rq.selection.catalogue[entries.back()];
    l.world = ids.row_of(*l.entry);
    if (l.world) {
      l.icao = joined(l.world->icao);
      l.codes = joined(l.world->codes);
    }
    std::vector<int> held;
    for (const int year : archive.years())
      if (year >= rq.bdate / 1000000 && year <= rq.edate / 1000000 &&
          !archive.open_station_year(row.wban, year).path.empty())
        held.push_back(year);
    for (std::size_t k = 0; k < held.size();) {
      std::size_t j = k;
      while (j + 1 < held.size() && held[j + 1] == held[j] + 1) ++j;
      l.years += (l.years.empty() ? "" : " ") + std::to_string(held[k]) +
                 (j > k ? "-" + std::to_string(held[j]) : "");
      k = j + 1;
    }
    out.push_back(std::move(l));
  }
  return out;
}

RetrievalResult retrieve(const Archive& archive, const Catalogue& catalogue,
                         const Request& request, OutputSession& session,
                         Progress& progress) {
  return ::retrieve(engine_request(archive, catalogue, request), session,
                    progress);
}

long for_each_sounding(
    const Archive& archive, const Catalogue& catalogue, const Request& request,
    const std::function<void(const Sounding&, const Station&)>& visit,
    Progress* progress) {
  RetrievalRequest rq = engine_request(archive, catalogue, request);
  rq.visit = visit;
  rq.only_visit = true;
  // Nothing is written: the session never opens its output.
  SessionConfig config;
  config.format = format_by_name("csv");
  config.to_files = true;
  OutputSession session(config);
  Progress quiet;
  return ::retrieve(rq, session, progress != nullptr ? *progress : quiet)
      .soundings;
}

std::vector<StationSounding> read_soundings(const Archive& archive,
                                            const Catalogue& catalogue,
                                            const Request& request,
                                            Progress* progress) {
  std::vector<StationSounding> out;
  for_each_sounding(
      archive, catalogue, request,
      [&out](const Sounding& s, const Station& st) {
        out.push_back(StationSounding{s, st});
      },
      progress);
  return out;
}

PhysicalLevels physical_levels(const Sounding& sounding) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const auto scaled = [&](long v, double divisor) {
    return is_missing(v) ? kNaN : static_cast<double>(v) / divisor;
  };
  PhysicalLevels p;
  const std::size_t n = sounding.levels.size();
  for (auto* column : {&p.pressure_hpa, &p.height_m, &p.temperature_c,
                       &p.dewpoint_c, &p.wind_direction_deg, &p.wind_speed_ms})
    column->reserve(n);
  p.level_type.reserve(n);
  for (const DATA_TYPE& lev : sounding.levels) {
    p.level_type.push_back(static_cast<int>(lev.fr));
    p.pressure_hpa.push_back(scaled(lev.pr, 10.0));
    p.height_m.push_back(scaled(lev.ht, 1.0));
    p.temperature_c.push_back(scaled(lev.tp, 10.0));
    p.dewpoint_c.push_back(scaled(lev.dp, 10.0));
    p.wind_direction_deg.push_back(scaled(lev.wd, 1.0));
    p.wind_speed_ms.push_back(scaled(lev.ws, 10.0));
  }
  return p;
}

indices::SoundingIndices sounding_indices(const Sounding& sounding,
                                          const Station& station) {
  return indices::compute_indices(sounding,
                                  heights::station_elevation(station.elev));
}

}  // namespace rawinq
