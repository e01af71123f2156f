// The routes of rawinq-serve: the JSON API, the sounding pages and the
// text listings. Nothing of a URL becomes a path: a station is resolved
// through the catalogue, a time through the archive's day indexes, a
// format through the format table; what a request writes goes into a
// private temporary folder removed when the request ends.
#include "serve.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <httplib.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "rawinq/rawinq.h"
#include "rawinq/skewt_layout.h"
#include "rawinq/thermo.h"
#include "rawinq/time_height.h"
#include "text.h"

namespace rawinq::serve {

namespace {

constexpr long kAllTimeFirst = 1000010100, kAllTimeLast = 9999123123;

// An answer other than 200, with its message.
struct HttpError : std::runtime_error {
  HttpError(int status, const std::string& message)
      : std::runtime_error(message), status(status) {}
  int status;
};

// A private folder for what one extraction writes, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/rawinq-serve-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
      throw std::runtime_error("a temporary folder: " + std::string(std::strerror(errno)));
    path_ = name.data();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// At most n extractions at once; a permit is taken without waiting.
class Slots {
 public:
  explicit Slots(int n) : free_(n) {}
  class Permit {
   public:
    explicit Permit(Slots& s) : slots_(s) {
      std::lock_guard<std::mutex> lock(slots_.mutex_);
      if (slots_.free_ <= 0)
        throw HttpError(503, "the server is busy with other extractions; try again");
      --slots_.free_;
    }
    ~Permit() {
      std::lock_guard<std::mutex> lock(slots_.mutex_);
      ++slots_.free_;
    }
    Permit(const Permit&) = delete;
    Permit& operator=(const Permit&) = delete;

   private:
    Slots& slots_;
  };

 private:
  std::mutex mutex_;
  int free_;
};

std::string read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error(path + ": read error");
  return bytes;
}

// The files of a folder, sorted by name.
std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The formats an extraction writes, with their media types.
struct Download {
  const char* name;
  const char* media_type;
};
constexpr Download kDownloads[] = {
    {"zir", "text/plain; charset=us-ascii"},
    {"faa604", "text/plain; charset=us-ascii"},
    {"csv", "text/csv; charset=utf-8"},
    {"netcdf", "application/x-netcdf"},
    {"cf", "application/x-netcdf"},
    {"png", "image/png"},
    {"svg", "image/svg+xml"},
    {"pdf", "application/pdf"},
};

const Download* download_of(const std::string& name) {
  for (const Download& d : kDownloads)
    if (name == d.name) return &d;
  return nullptr;
}

std::string trimmed_field(const char* text, std::size_t size) {
  std::string s(text, strnlen(text, size));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Files of a folder packed into one zip file at path (libzip).
void zip_files(const std::string& dir, const std::vector<std::string>& names,
               const std::string& path) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
  if (z == nullptr) throw std::runtime_error(path + ": the zip file cannot be made");
  struct Discard {
    zip_t* z;
    ~Discard() {
      if (z != nullptr) zip_discard(z);
    }
  } guard{z};
  for (const std::string& name : names) {
    zip_source_t* src = zip_source_file(z, (dir + "/" + name).c_str(), 0, -1);
    if (src == nullptr || zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
      if (src != nullptr) zip_source_free(src);
      throw std::runtime_error(name + ": cannot be added to the zip file: " + zip_strerror(z));
    }
  }
  if (zip_close(z) != 0)
    throw std::runtime_error(path + ": the zip file cannot be written: " + zip_strerror(z));
  guard.z = nullptr;
}

}  // namespace

// A file of the page, served from memory.
struct Asset {
  std::string bytes;
  std::string media_type;
};

// The files the pages load, by their name under /static/, each looked for
// in the web folder itself (an installed copy) and where npm puts it.
struct AssetSource {
  const char* name;
  const char* media_type;
  const char* npm_path;  // under node_modules/, or null
};
constexpr AssetSource kAssets[] = {
    {"app.js", "text/javascript; charset=utf-8", nullptr},
    {"style.css", "text/css; charset=utf-8", nullptr},
    {"topojson-client.min.js", "text/javascript; charset=utf-8",
     "topojson-client/dist/topojson-client.min.js"},
    {"land-110m.json", "application/json", "world-atlas/land-110m.json"},
};

std::map<std::string, Asset> load_assets(const std::string& dir) {
  std::map<std::string, Asset> assets;
  if (dir.empty()) return assets;
  for (const AssetSource& a : kAssets) {
    for (const std::string& path :
         {dir + "/" + a.name,
          a.npm_path != nullptr ? dir + "/node_modules/" + a.npm_path : std::string()}) {
      struct stat sb {};
      if (path.empty() || stat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) continue;
      assets[a.name] = Asset{read_whole_file(path), a.media_type};
      break;
    }
  }
  return assets;
}

std::bitset<24> hours_param(const std::string& text);

struct Service::State {
  ServeOptions options;
  Archive archive;
  Catalogue catalogue;
  std::string stations_json;  // /api/v1/stations without a query
  std::vector<StationListing> listing;
  std::vector<std::string> listing_ids;  // the URL identifier of each
  Selection all_stations;                // the listing points into it
  Slots slots;
  std::mutex times_mutex;
  std::map<long, std::vector<long>> times;  // by WBAN number
  std::map<std::string, Asset> assets;

  explicit State(const ServeOptions& o)
      : options(o),
        archive(Archive::open(o.database_dir)),
        catalogue(load(o.support_dir)),
        slots(o.max_extractions),
        assets(load_assets(o.web_dir)) {
    StationCriteria c;
    c.by_numbers = false;
    c.blat = -90;
    c.elat = 90;
    c.blong = -180;
    c.elong = 180;
    c.bdate = kAllTimeFirst / 100;
    c.edate = kAllTimeLast / 100;
    RetrievalRequest rq;
    rq.bdate = kAllTimeFirst;
    rq.edate = kAllTimeLast;
    rq.selection = catalogue.select(c);
    rq.data_dir = archive.folder();
    rq.both_year_forms = archive.both_year_forms();
    for (StationListing& l : list_stations(archive, *catalogue.station_ids(), rq))
      if (!l.years.empty()) listing.push_back(std::move(l));
    all_stations = std::move(rq.selection);
    std::string json = "[";
    for (const StationListing& l : listing) {
      listing_ids.push_back(url_id(*l.entry));
      if (json.size() > 1) json += ",\n";
      json += station_json(l, listing_ids.back());
    }
    stations_json = json + "]\n";
  }

  static Catalogue load(const std::string& support_dir) {
    CatalogueOptions co;
    co.strict = true;
    return Catalogue::load(support_dir.empty() || support_dir.back() == '/' ? support_dir
                                                                           : support_dir + "/",
                           co);
  }

  // The identifier a station has in URLs: its WMO number, else "W" and its
  // WBAN number (both resolved by the catalogue).
  static std::string url_id(const Station& e) {
    if (!is_missing(e.wmo) && e.wmo > 0 && e.wmo <= 99999) return std::to_string(e.wmo);
    return "W" + std::to_string(e.wban);
  }

  std::string station_json(const StationListing& l, const std::string& id) const {
    const Station& e = *l.entry;
    std::string j = "{\"id\":" + json_string(id);
    j += ",\"wmo\":" + (is_missing(e.wmo) ? std::string("null") : std::to_string(e.wmo));
    j += ",\"wban\":" + (e.wban > 900000 ? std::string("null") : std::to_string(e.wban));
    j += ",\"icao\":" + json_string(l.icao);
    j += ",\"codes\":" + json_string(l.codes);
    j += ",\"initials\":" + json_string(trimmed_field(e.init, sizeof e.init));
    j += ",\"name\":" + json_string(trimmed_field(e.name, sizeof e.name));
    j += ",\"latitude\":" + json_number(e.lat, 2);
    j += ",\"longitude\":" + json_number(e.lon, 2);
    j += ",\"elevation_m\":" + std::to_string(e.elev);
    j += ",\"years\":" + json_string(l.years) + "}";
    return j;
  }

  // The station a URL's identifier names: 400 for one that cannot be an
  // identifier, 404 for one the catalogue does not know or that has no
  // soundings in the archive.
  const StationListing& station(const std::string& id) const {
    if (id.empty() || id.size() > 32 ||
        !std::all_of(id.begin(), id.end(), [](char ch) {
          return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') ||
                 (ch >= 'a' && ch <= 'z') || ch == '-' || ch == '_';
        }))
      throw HttpError(400, "not a station identifier: '" + printable(id) + "'");
    std::vector<long> wban;
    try {
      wban = catalogue.resolve_stations({id}, false);
    } catch (const CatalogueError& e) {
      throw HttpError(404, e.what());
    }
    for (const StationListing& l : listing)
      if (l.entry->wban == wban.front()) return l;
    throw HttpError(404, "station " + id + " has no soundings in the archive");
  }
  std::string id_of(const StationListing& l) const {
    return listing_ids[static_cast<std::size_t>(&l - listing.data())];
  }

  // Every sounding time of a station, ascending (read once, from the day
  // indexes of its files).
  std::vector<long> times_of(const StationListing& l) {
    const long wban = l.entry->wban;
    {
      std::lock_guard<std::mutex> lock(times_mutex);
      const auto it = times.find(wban);
      if (it != times.end()) return it->second;
    }
    Request r = request_for(l, kAllTimeFirst, kAllTimeLast, std::bitset<24>().set());
    const std::vector<long> t = sounding_times(engine_request(archive, catalogue, r));
    std::lock_guard<std::mutex> lock(times_mutex);
    times.emplace(wban, t);
    return t;
  }

  Request request_for(const StationListing& l, long from, long to,
                      std::bitset<24> hours) const {
    Request r;
    r.from = from;
    r.to = to;
    r.hours = hours;
    r.station_ids = {url_id(*l.entry)};
    r.order = Order::synoptic;
    r.split = Split::one;
    r.write.levels = 0;
    r.write.knots = true;
    r.write.above_100mb = true;
    r.keyed_slots = 1 << 20;
    return r;
  }

  // A time of a URL: one hour (YYYYMMDDHH or YYYY-MM-DDTHHZ).
  static long hour_of(const std::string& text) {
    TimeSpan t;
    try {
      t = parse_time_span(text);
    } catch (const DateError& e) {
      throw HttpError(400, e.what());
    }
    if (t.first != t.last)
      throw HttpError(400, "not one hour: '" + printable(text) + "' (YYYY-MM-DDTHHZ)");
    return t.first;
  }

  // The sounding of a station at a time, 404 when the archive has none.
  long sounding_time(const StationListing& l, const std::string& text) {
    const long t = hour_of(text);
    const std::vector<long> all = times_of(l);
    if (!std::binary_search(all.begin(), all.end(), t))
      throw HttpError(404, "no sounding of station " + id_of(l) + " at " + iso_time(t));
    return t;
  }

  // The request's soundings written in a format into a private folder; the
  // files written, by name.
  std::vector<std::pair<std::string, std::string>> extract(Request r, const OutputFormat& format,
                                                           const std::string& history,
                                                           const std::string& zip_name = "") {
    Slots::Permit permit(slots);
    TempDir dir;
    r.write.history = history;
    r.split = format.one_file_per_sounding ? Split::sounding : Split::one;
    RetrievalRequest rq = engine_request(archive, catalogue, r);
    if (format.unit == UnitKind::file) {
      // One temperature axis for the request, as rawinq-extract draws it.
      std::pair<double, double> extent{std::numeric_limits<double>::infinity(),
                                       -std::numeric_limits<double>::infinity()};
      RetrievalRequest scan = rq;
      scan.only_visit = true;
      scan.visit = [&extent](const Sounding& s, const STATREC& st) {
        const auto e = plot::trace_extent(s, st);
        extent.first = std::min(extent.first, e.first);
        extent.second = std::max(extent.second, e.second);
      };
      SessionConfig none;
      none.format = &format;
      OutputSession nowhere(none);
      Progress silent;
      ::retrieve(scan, nowhere, silent);
      std::tie(rq.write.plot.tmin_c, rq.write.plot.tmax_c) = plot::axis_range(extent);
    }
    {
      SessionConfig config;
      config.format = &format;
      config.to_files = true;
      config.dir = dir.path() + "/";
      OutputSession session(config);
      Progress silent;
      ::retrieve(rq, session, silent);
    }
    std::vector<std::pair<std::string, std::string>> out;
    const std::vector<std::string> names = files_in(dir.path());
    if (zip_name.empty() || names.size() <= 1) {
      for (const std::string& name : names)
        out.emplace_back(name, read_whole_file(dir.path() + "/" + name));
    } else {
      const std::string zip_path = dir.path() + "/" + zip_name;
      zip_files(dir.path(), names, zip_path);
      out.emplace_back(zip_name, read_whole_file(zip_path));
    }
    return out;
  }

  // The station and period of a period request: station=, from= (required),
  // to= (default: the end of what from= names), hours= (default 0,12);
  // 413 past the longest period or the most soundings.
  struct Period {
    const StationListing* listing = nullptr;
    long from = 0, to = 0;
    std::bitset<24> hours;
    std::vector<long> times;
  };
  Period period(const httplib::Request& req, const std::string& station_id);

  // The section of a period drawn in a format, in a private folder.
  std::string section(const Period& p, PlotKind kind) {
    Slots::Permit permit(slots);
    Request r = request_for(*p.listing, p.from, p.to, p.hours);
    std::vector<Sounding> soundings;
    for (StationSounding& s : read_soundings(archive, catalogue, r))
      soundings.push_back(std::move(s.sounding));
    if (soundings.empty()) throw HttpError(404, "no soundings in the period");
    TempDir dir;
    const std::string path = dir.path() + "/section";
    const Station& e = *p.listing->entry;
    render_time_height_title(soundings, e, kind, path);
    return read_whole_file(path);
  }

  static void render_time_height_title(const std::vector<Sounding>& soundings, const Station& e,
                                       PlotKind kind, const std::string& path) {
    const std::string title = trimmed_field(e.name, sizeof e.name) + "  " + url_id(e) +
                              "  time-height section";
    plot::render_time_height(soundings, title, kind, path);
  }

  // A sounding's skew-T as an element of its page, on the temperature
  // axis its downloads have (one drawing counts as one extraction).
  std::string skewt_element(const StationSounding& s) {
    Slots::Permit permit(slots);
    PlotOptions options;
    std::tie(options.tmin_c, options.tmax_c) =
        plot::axis_range(plot::trace_extent(s.sounding, s.station));
    return skewt_svg_element(s.sounding, s.station, options);
  }

  // The one sounding of a station at a time, as a value.
  StationSounding read_one(const StationListing& l, long t) {
    std::bitset<24> hour;
    hour.set(static_cast<std::size_t>(t % 100));
    std::vector<StationSounding> s =
        read_soundings(archive, catalogue, request_for(l, t, t, hour));
    if (s.empty()) throw HttpError(404, "no sounding of station " + id_of(l) + " at " + iso_time(t));
    return std::move(s.front());
  }
};

Service::State::Period Service::State::period(const httplib::Request& req,
                                              const std::string& station_id) {
  Period p;
  p.listing = &station(station_id);
  if (!req.has_param("from")) throw HttpError(400, "from= is required");
  TimeSpan from, to;
  try {
    from = parse_time_span(req.get_param_value("from"));
    to = req.has_param("to") ? parse_time_span(req.get_param_value("to")) : from;
  } catch (const DateError& e) {
    throw HttpError(400, e.what());
  }
  p.from = from.first;
  p.to = to.last;
  if (p.to < p.from) throw HttpError(400, "to: the last time is before from");
  if (days_between(p.from, p.to) > options.max_days)
    throw HttpError(413, "the period is longer than " + std::to_string(options.max_days) + " days");
  p.hours = hours_param(req.has_param("hours") ? req.get_param_value("hours") : "");
  for (const long t : times_of(*p.listing))
    if (t >= p.from && t <= p.to && p.hours.test(static_cast<std::size_t>(t % 100)))
      p.times.push_back(t);
  if (p.times.size() > static_cast<std::size_t>(options.max_soundings))
    throw HttpError(413, "the period holds " + std::to_string(p.times.size()) +
                             " soundings, more than " + std::to_string(options.max_soundings));
  if (p.times.empty()) throw HttpError(404, "no soundings of station " + id_of(*p.listing) +
                                              " in the period");
  return p;
}

Service::Service(const ServeOptions& options) : state_(std::make_unique<State>(options)) {}
Service::~Service() = default;

namespace {

bool is_api(const httplib::Request& req, const std::string& base) {
  return req.path.compare(0, base.size() + 5, base + "/api/") == 0;
}

void set_error(const httplib::Request& req, httplib::Response& res, int status,
               const std::string& message, const std::string& base) {
  res.status = status;
  if (is_api(req, base))
    res.set_content("{\"error\":" + json_string(message) + "}\n", "application/json");
  else
    res.set_content(message + "\n", "text/plain; charset=utf-8");
  if (status == 503) res.set_header("Retry-After", "1");
}

// A path or a query that is refused before any route sees it: not UTF-8,
// control characters, "..", a backslash, overlong parts.
std::string refused_request(const httplib::Request& req) {
  if (req.target.size() > 2048) return "the URL is longer than 2048 bytes";
  if (!valid_utf8(req.path)) return "the path is not UTF-8";
  for (const char ch : req.path)
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f || ch == '\\')
      return "the path holds a control character or a backslash";
  if (req.path.find("..") != std::string::npos || req.path.find("//") != std::string::npos)
    return "the path holds '..' or '//'";
  if (req.params.size() > 16) return "more than 16 query parameters";
  for (const auto& [key, value] : req.params) {
    if (key.size() > 32 || value.size() > 256) return "a query parameter is too long";
    if (!valid_utf8(key) || !valid_utf8(value)) return "a query parameter is not UTF-8";
    for (const char ch : key + value)
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
        return "a query parameter holds a control character";
  }
  return "";
}

}  // namespace

// The hours of a list ("0,12", "all"; default 0 and 12).
std::bitset<24> hours_param(const std::string& text) {
  std::bitset<24> hours;
  if (text.empty()) {
    hours.set(0);
    hours.set(12);
    return hours;
  }
  if (text == "all") return hours.set();
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string h = text.substr(from, comma - from);
    if (h.empty() || h.size() > 2 ||
        !std::all_of(h.begin(), h.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(h) > 23)
      throw HttpError(400, "hours: '" + printable(h) + "' is not an hour 0-23");
    hours.set(static_cast<std::size_t>(std::stoi(h)));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return hours;
}

namespace {

TimeSpan parse_span(const std::string& name, const std::string& text) {
  try {
    return parse_time_span(text);
  } catch (const DateError& e) {
    throw HttpError(400, name + ": " + e.what());
  }
}

std::string sounding_json(const StationSounding& s, const std::string& station_json,
                          long t) {
  const PhysicalLevels p = physical_levels(s.sounding);
  const indices::SoundingIndices ix = sounding_indices(s.sounding, s.station);
  std::string j = "{\"station\":" + station_json + ",\"time\":" + json_string(iso_time(t));
  j += ",\"indices\":{";
  bool first = true;
  for (const IndexRow& row : index_rows(ix)) {
    if (!first) j += ",";
    first = false;
    j += json_string(row.key) + ":" + json_number(row.value, 3);
  }
  j += "},\"levels\":[";
  for (std::size_t k = 0; k < p.pressure_hpa.size(); ++k) {
    if (k > 0) j += ",\n";
    j += "{\"type\":" + std::to_string(p.level_type[k]);
    j += ",\"pressure_hpa\":" + json_number(p.pressure_hpa[k], 1);
    j += ",\"height_m\":" + json_number(p.height_m[k], 0);
    j += ",\"temperature_c\":" + json_number(p.temperature_c[k], 1);
    j += ",\"dewpoint_c\":" + json_number(p.dewpoint_c[k], 1);
    j += ",\"wind_direction_deg\":" + json_number(p.wind_direction_deg[k], 0);
    j += ",\"wind_speed_ms\":" + json_number(p.wind_speed_ms[k], 1) + "}";
  }
  return j + "]}\n";
}

// The history attribute of the NetCDF files a request makes: when, and the
// request.
std::string history_of(const httplib::Request& req) {
  char when[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc) != nullptr)
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ ", &utc);
  return when + std::string("rawinq-serve GET ") + printable(req.target);
}

}  // namespace

void Service::install(httplib::Server& server) {
  State& st = *state_;
  const std::string base = st.options.base_url;
  server.set_payload_max_length(64 * 1024);
  server.set_read_timeout(st.options.timeout_seconds, 0);
  server.set_write_timeout(st.options.timeout_seconds, 0);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(100);
  server.set_default_headers(
      {{"Content-Security-Policy",
        // The time-height section's SVG (cairo's) styles its paths with style
        // attributes.
        "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
        "img-src 'self' data:; "
        "object-src 'none'; base-uri 'none'; frame-ancestors 'none'"},
       {"X-Content-Type-Options", "nosniff"},
       {"Referrer-Policy", "no-referrer"}});

  server.set_pre_routing_handler([base](const httplib::Request& req, httplib::Response& res) {
    if (req.target.size() > 2048) {
      set_error(req, res, 414, "the URL is longer than 2048 bytes", base);
      return httplib::Server::HandlerResponse::Handled;
    }
    const std::string why = refused_request(req);
    if (!why.empty()) {
      set_error(req, res, 400, why, base);
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_error_handler([base](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    const std::string message = res.status == 404   ? "no such page"
                                : res.status == 413 ? "the request is too large"
                                : res.status == 414 ? "the URL is too long"
                                : res.status == 405 ? "the method is not allowed"
                                                    : "the request cannot be answered";
    set_error(req, res, res.status, message, base);
  });
  server.set_exception_handler(
      [base](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        try {
          std::rethrow_exception(ep);
        } catch (const HttpError& e) {
          set_error(req, res, e.status, e.what(), base);
        } catch (const std::exception& e) {
          set_error(req, res, 500, e.what(), base);
        } catch (...) {
          set_error(req, res, 500, "an unknown failure", base);
        }
      });

  // The station list, or the stations an identifier or a part of a name
  // gives (q=).
  server.Get(base + "/api/v1/stations", [&st](const httplib::Request& req, httplib::Response& res) {
    const std::string q = req.get_param_value("q");
    if (q.empty()) {
      res.set_content(st.stations_json, "application/json");
      return;
    }
    std::vector<long> wbans;
    for (const StationRow& r : st.catalogue.resolve(q)) wbans.push_back(r.wban);
    for (const StationRow& r : st.catalogue.named(q)) wbans.push_back(r.wban);
    std::string json = "[";
    for (std::size_t k = 0; k < st.listing.size(); ++k)
      if (std::find(wbans.begin(), wbans.end(), st.listing[k].entry->wban) != wbans.end()) {
        if (json.size() > 1) json += ",\n";
        json += st.station_json(st.listing[k], st.listing_ids[k]);
      }
    res.set_content(json + "]\n", "application/json");
  });

  // The sounding times of a station in a period.
  server.Get(base + "/api/v1/soundings", [&st](const httplib::Request& req, httplib::Response& res) {
    if (!req.has_param("station")) throw HttpError(400, "station= is required");
    const StationListing& l = st.station(req.get_param_value("station"));
    long from = kAllTimeFirst, to = kAllTimeLast;
    if (req.has_param("from")) from = parse_span("from", req.get_param_value("from")).first;
    if (req.has_param("to")) to = parse_span("to", req.get_param_value("to")).last;
    else if (req.has_param("from")) to = parse_span("from", req.get_param_value("from")).last;
    if (to < from) throw HttpError(400, "to: the last time is before from");
    const bool bounded = req.has_param("from");
    if (bounded && days_between(from, to) > st.options.max_days)
      throw HttpError(413, "the period is longer than " + std::to_string(st.options.max_days) +
                               " days");
    const std::bitset<24> hours = hours_param(req.get_param_value("hours"));
    std::string json = "{\"station\":" + json_string(st.id_of(l)) + ",\"soundings\":[";
    bool first = true;
    for (const long t : st.times_of(l)) {
      if (t < from || t > to || !hours.test(static_cast<std::size_t>(t % 100))) continue;
      if (!first) json += ",";
      first = false;
      json += json_string(iso_time(t));
    }
    res.set_content(json + "]}\n", "application/json");
  });

  // One sounding in a format: json (the default), listing, or a format of
  // the format table.
  server.Get(base + R"(/api/v1/soundings/([^/]+)/([^/]+))",
             [&st](const httplib::Request& req, httplib::Response& res) {
               const StationListing& l = st.station(req.matches[1]);
               const long t = st.sounding_time(l, req.matches[2]);
               const std::string format =
                   req.has_param("format") ? req.get_param_value("format") : "json";
               if (format == "json") {
                 res.set_content(sounding_json(st.read_one(l, t),
                                               st.station_json(l, st.id_of(l)), t),
                                 "application/json");
                 return;
               }
               if (format == "listing") {
                 res.set_content(listing_text(st.read_one(l, t), st.id_of(l)), "text/html; charset=utf-8");
                 return;
               }
               const Download* d = download_of(format);
               if (d == nullptr)
                 throw HttpError(400, "format: '" + printable(format) +
                                          "' is not one of json, listing, zir, faa604, csv, "
                                          "netcdf, cf, png, svg, pdf");
               std::bitset<24> hour;
               hour.set(static_cast<std::size_t>(t % 100));
               const auto files = st.extract(st.request_for(l, t, t, hour),
                                             *format_by_name(format), history_of(req));
               if (files.size() != 1)
                 throw HttpError(404, "the format wrote no file of this sounding");
               res.set_header("Content-Disposition",
                              "attachment; filename=\"" + files.front().first + "\"");
               res.set_content(files.front().second, d->media_type);
             });

  // The sounding page.
  server.Get(base + R"(/station/([^/]+)/([^/]+))",
             [&st, base](const httplib::Request& req, httplib::Response& res) {
               const StationListing& l = st.station(req.matches[1]);
               const long t = st.sounding_time(l, req.matches[2]);
               const std::vector<long> all = st.times_of(l);
               const auto at = std::lower_bound(all.begin(), all.end(), t);
               const long prev = at == all.begin() ? 0 : *(at - 1);
               const long next = at + 1 == all.end() ? 0 : *(at + 1);
               SoundingPage page;
               page.base = base;
               page.id = st.id_of(l);
               page.listing = &l;
               page.time = t;
               page.prev = prev;
               page.next = next;
               page.sounding = st.read_one(l, t);
               page.svg = st.skewt_element(page.sounding);
               for (const Download& d : kDownloads) page.formats.push_back(d.name);
               res.set_content(sounding_page(page), "text/html; charset=utf-8");
             });

  // A station's latest sounding.
  server.Get(base + R"(/station/([^/]+))",
             [&st, base](const httplib::Request& req, httplib::Response& res) {
               const StationListing& l = st.station(req.matches[1]);
               const std::vector<long> all = st.times_of(l);
               if (all.empty()) throw HttpError(404, "station " + st.id_of(l) + " has no soundings");
               res.set_redirect(base + "/station/" + st.id_of(l) + "/" + iso_time(all.back()));
             });

  // The text listing of a sounding (the form the university pages use).
  server.Get(base + R"(/station/([^/]+)/([^/]+)/listing)",
             [&st](const httplib::Request& req, httplib::Response& res) {
               const StationListing& l = st.station(req.matches[1]);
               const long t = st.sounding_time(l, req.matches[2]);
               res.set_content(listing_text(st.read_one(l, t), st.id_of(l)),
                               "text/html; charset=utf-8");
             });

  // A period's soundings in a format as one file (a zip file of the
  // drawings of the formats that draw each sounding to a file of its own).
  server.Get(base + R"(/api/v1/period/([^/]+))",
             [&st](const httplib::Request& req, httplib::Response& res) {
               const State::Period p = st.period(req, req.matches[1]);
               const std::string format = req.get_param_value("format");
               const Download* d = download_of(format);
               if (d == nullptr)
                 throw HttpError(400, "format: '" + printable(format) +
                                          "' is not one of zir, faa604, csv, netcdf, cf, png, "
                                          "svg, pdf");
               const OutputFormat& f = *format_by_name(format);
               const std::string zip_name = st.id_of(*p.listing) + "_" +
                                            std::to_string(p.from) + "_" +
                                            std::to_string(p.to) + "_" + format + ".zip";
               const auto files = st.extract(st.request_for(*p.listing, p.from, p.to, p.hours),
                                             f, history_of(req), zip_name);
               if (files.size() != 1) throw HttpError(404, "the format wrote no file");
               const bool zipped = files.front().first == zip_name;
               res.set_header("Content-Disposition",
                              "attachment; filename=\"" + files.front().first + "\"");
               res.set_content(files.front().second, zipped ? "application/zip" : d->media_type);
             });

  // A period's time-height section as a drawing.
  server.Get(base + R"(/api/v1/period/([^/]+)/section)",
             [&st](const httplib::Request& req, httplib::Response& res) {
               const State::Period p = st.period(req, req.matches[1]);
               const std::string format =
                   req.has_param("format") ? req.get_param_value("format") : "svg";
               const PlotKind kind = format == "png"   ? PlotKind::png
                                     : format == "pdf" ? PlotKind::pdf
                                     : format == "svg"
                                         ? PlotKind::svg
                                         : throw HttpError(400, "format: '" + printable(format) +
                                                                    "' is not one of svg, png, pdf");
               const std::string name = st.id_of(*p.listing) + "_" + std::to_string(p.from) +
                                        "_" + std::to_string(p.to) + "_section." + format;
               res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
               res.set_content(st.section(p, kind), download_of(format)->media_type);
             });

  // The period page: the section and the period's downloads.
  server.Get(base + R"(/period/([^/]+))",
             [&st, base](const httplib::Request& req, httplib::Response& res) {
               const State::Period p = st.period(req, req.matches[1]);
               PeriodPage page;
               page.base = base;
               page.id = st.id_of(*p.listing);
               page.listing = p.listing;
               page.from = p.from;
               page.to = p.to;
               page.query = "from=" + iso_time(p.from) + "&to=" + iso_time(p.to) + "&hours=";
               for (std::size_t h = 0, n = 0; h < 24; ++h)
                 if (p.hours.test(h))
                   page.query += (n++ > 0 ? "," : "") + std::to_string(h);
               page.times = p.times;
               page.svg = st.section(p, PlotKind::svg);
               for (const Download& d : kDownloads) page.formats.push_back(d.name);
               res.set_content(period_page(page), "text/html; charset=utf-8");
             });

  // The page's scripts, styles and map outlines, read at start.
  for (const auto& [name, asset] : st.assets) {
    const Asset a = asset;
    server.Get(base + "/static/" + name, [a](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "max-age=3600");
      res.set_content(a.bytes, a.media_type);
    });
  }

  // The station map and search.
  server.Get(base + "/", [&st, base](const httplib::Request&, httplib::Response& res) {
    std::vector<std::pair<std::string, const StationListing*>> stations;
    for (std::size_t k = 0; k < st.listing.size(); ++k)
      stations.emplace_back(st.listing_ids[k], &st.listing[k]);
    res.set_content(index_page(base, stations), "text/html; charset=utf-8");
  });
  if (!base.empty())
    server.Get(base, [base](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(base + "/");
    });
}

}  // namespace rawinq::serve
