// The gridded CF output: soundings interpolated to fixed levels, written
// as a (station, time, level) cube through the netCDF C API.
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <utility>

#include "rawinq/analysis_levels.h"
#include "rawinq/cdf.h"
#include "rawinq/cf_grid.h"
#include "rawinq/cf_writer.h"
#include "rawinq/csv_writer.h"
#include "rawinq/heights.h"
#include "rawinq/station_ids.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kFill = NC_FILL_FLOAT;
constexpr double kPi = 3.14159265358979323846;
constexpr size_t kIdLen = 8;  // ICAO, 3-letter code, WMO or W and WBAN number
constexpr size_t kNameLen = sizeof STATREC{}.name;
constexpr size_t kTimeChunk = 256;  // times of one station in a chunk
constexpr int kDeflateLevel = 4;

// Linear interpolation of y at x over points sorted by x ascending; NaN
// outside them. Points of equal x: the first.
double interpolate(const std::vector<std::pair<double, double>>& pts, double x) {
  if (pts.empty() || x < pts.front().first || x > pts.back().first) return kNaN;
  const auto hi = std::lower_bound(
      pts.begin(), pts.end(), x,
      [](const std::pair<double, double>& p, double v) { return p.first < v; });
  if (hi->first == x) return hi->second;
  const auto lo = hi - 1;
  const double f = (x - lo->first) / (hi->first - lo->first);
  return lo->second + f * (hi->second - lo->second);
}

// The quantities of a level used on the grid.
struct LevelValues {
  double ln_p, z, t, td, u, v;
};

LevelValues values_of(const DATA_TYPE& l, double z) {
  LevelValues q{};
  q.ln_p = is_missing(l.pr) || l.pr <= 0 ? kNaN : std::log(l.pr / 10.0);
  q.z = z;
  q.t = is_missing(l.tp) ? kNaN : l.tp / 10.0 + 273.15;
  q.td = is_missing(l.dp) ? kNaN : l.dp / 10.0 + 273.15;
  q.u = q.v = kNaN;
  if (!is_missing(l.wd) && !is_missing(l.ws) && l.wd >= 0 && l.wd <= 360 && l.ws >= 0) {
    const double speed = l.ws / 10.0, from = l.wd * kPi / 180.0;
    q.u = -speed * std::sin(from);
    q.v = -speed * std::cos(from);
  }
  return q;
}

std::vector<double> numbers(const std::string& list, const std::string& what) {
  std::vector<double> out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = list.find(',', from);
    const std::string item = list.substr(from, comma - from);
    char* end = nullptr;
    const double v = std::strtod(item.c_str(), &end);
    if (item.empty() || *end != '\0' || !std::isfinite(v))
      throw std::invalid_argument("'" + item + "' is not a " + what);
    out.push_back(v);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return out;
}

// A number as people write it: 1200, 0.5.
std::string shortest(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// Hours since 1970 of YYYYMMDDHH.
long epoch_hours(long date) {
  HEADER_TYPE h{};
  h.year = static_cast<short>(date / 1000000);
  h.month = static_cast<short>(date / 10000 % 100);
  h.day = static_cast<short>(date / 100 % 100);
  h.hour = static_cast<short>(date % 100);
  return static_cast<long>(epoch_seconds(h) / 3600.0);
}

}  // namespace

std::vector<double> default_pressure_levels() {
  return {1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10};
}

std::vector<double> default_height_levels() {
  std::vector<double> z;
  for (int k = 0; k <= 80; ++k) z.push_back(250.0 * k);
  return z;
}

GridOptions parse_grid(const std::string& text) {
  GridOptions g;
  const std::size_t colon = text.find(':');
  const std::string kind = text.substr(0, colon);
  if (kind == "pressure")
    g.kind = GridOptions::Kind::pressure;
  else if (kind == "height")
    g.kind = GridOptions::Kind::height;
  else
    throw std::invalid_argument("'" + text + "' is not pressure[:LIST] or height[:LIST]");
  const bool pressure = g.kind == GridOptions::Kind::pressure;
  if (colon == std::string::npos) {
    g.levels = pressure ? default_pressure_levels() : default_height_levels();
    return g;
  }
  g.levels = numbers(text.substr(colon + 1), pressure ? "pressure in hPa" : "height in m");
  for (const double v : g.levels)
    if (pressure ? !(v > 0 && v <= 1100) : !(v >= 0 && v <= 50000))
      throw std::invalid_argument(
          shortest(v) +
          (pressure ? " hPa is not a pressure of 0 to 1100 hPa"
                    : " m is not a height of 0 to 50000 m"));
  std::sort(g.levels.begin(), g.levels.end());
  if (std::adjacent_find(g.levels.begin(), g.levels.end()) != g.levels.end())
    throw std::invalid_argument("a level is given twice");
  if (pressure) std::reverse(g.levels.begin(), g.levels.end());
  return g;
}

GriddedSounding grid_sounding(const Sounding& s, const GridOptions& grid,
                              double elevation_m) {
  const std::size_t n = grid.levels.size();
  GriddedSounding out;
  out.temperature_k.assign(n, kNaN);
  out.dew_point_k.assign(n, kNaN);
  out.u_ms.assign(n, kNaN);
  out.v_ms.assign(n, kNaN);
  const bool pressure = grid.kind == GridOptions::Kind::pressure;
  (pressure ? out.height_m : out.pressure_hpa).assign(n, kNaN);

  std::vector<AnalysisLevel> levels;
  analysis_levels(s, 0, elevation_m, levels);
  const std::vector<double> z = rawinq::heights::level_heights(s, elevation_m);
  double ground = elevation_m;
  if (!std::isfinite(ground))
    for (const AnalysisLevel& a : levels)
      if (a.type == kLevelSurface) ground = z[static_cast<size_t>(a.level - s.levels.data())];

  // Each quantity's points along the grid's axis (ln p ascending, or the
  // height above the ground).
  using Points = std::vector<std::pair<double, double>>;
  Points pz, pp, pt, ptd, pu, pv;
  for (const AnalysisLevel& a : levels) {
    if (a.type == kLevelBelowGround) continue;
    const LevelValues q =
        values_of(*a.level, z[static_cast<size_t>(a.level - s.levels.data())]);
    const double x = pressure ? q.ln_p : q.z - ground;
    if (std::isnan(x)) continue;
    const auto add = [x](Points& p, double y) {
      if (!std::isnan(y)) p.emplace_back(x, y);
    };
    add(pressure ? pz : pp, pressure ? q.z : q.ln_p);
    add(pt, q.t);
    add(ptd, q.td);
    add(pu, q.u);
    add(pv, q.v);
  }
  for (Points* p : {&pz, &pp, &pt, &ptd, &pu, &pv})
    std::stable_sort(p->begin(), p->end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t k = 0; k < n; ++k) {
    const double x = pressure ? std::log(grid.levels[k]) : grid.levels[k];
    if (pressure) {
      out.height_m[k] = interpolate(pz, x);
    } else {
      out.pressure_hpa[k] = std::exp(interpolate(pp, x));
    }
    out.temperature_k[k] = interpolate(pt, x);
    out.dew_point_k[k] = interpolate(ptd, x);
    out.u_ms[k] = interpolate(pu, x);
    out.v_ms[k] = interpolate(pv, x);
  }
  return out;
}

// What the writer keeps: the ids of the file, the time axis, the stations
// met so far and the block of times of the station being written.
struct CfGridWriter::State {
  int ncid = -1;
  GridOptions grid;
  const StationIdTable* ids = nullptr;
  std::vector<long> axis;  // hours since 1970 of every time, ascending
  int station_dim = -1;
  std::vector<int> vars;   // the gridded quantities, in the order below
  int id_var = -1, name_var = -1, lat_var = -1, lon_var = -1, alt_var = -1,
      wmo_var = -1, wban_var = -1;
  std::map<long, size_t> station_index;  // by WBAN number
  std::map<std::string, long> id_owner;  // identifier -> WBAN number
  // The block: one station, kTimeChunk times from block_start.
  size_t block_station = 0, block_start = 0;
  bool block_open = false, block_dirty = false;
  std::vector<std::vector<float>> block;  // per quantity, times x levels
  // Blocks written, per station: read back before they are changed again.
  std::map<std::pair<size_t, size_t>, bool> written;
  bool finished = false;

  void check(int status, const char* what) const {
    if (status != NC_NOERR)
      throw CfError(std::string(what) + ": " + nc_strerror(status), status);
  }
  size_t levels() const { return grid.levels.size(); }
  size_t block_times() const {
    return std::min(kTimeChunk, axis.size() - block_start);
  }
  void flush() {
    if (!block_open || !block_dirty) return;
    const size_t start[3] = {block_station, block_start, 0};
    const size_t count[3] = {1, block_times(), levels()};
    for (size_t k = 0; k < vars.size(); ++k)
      check(nc_put_vara_float(ncid, vars[k], start, count, block[k].data()),
            "writing the grid");
    written[{block_station, block_start}] = true;
    block_dirty = false;
  }
  void open_block(size_t station, size_t time) {
    const size_t start_time = time / kTimeChunk * kTimeChunk;
    if (block_open && station == block_station && start_time == block_start) return;
    flush();
    block_open = true;
    block_station = station;
    block_start = start_time;
    for (auto& b : block) b.assign(kTimeChunk * levels(), kFill);
    if (written.count({station, start_time})) {
      const size_t start[3] = {station, start_time, 0};
      const size_t count[3] = {1, block_times(), levels()};
      for (size_t k = 0; k < vars.size(); ++k)
        check(nc_get_vara_float(ncid, vars[k], start, count, block[k].data()),
              "reading the grid back");
    }
  }
};

CfGridWriter::CfGridWriter(int ncid, GridOptions grid, std::string history,
                           const StationIdTable* station_ids)
    : state_(std::make_unique<State>()) {
  const NetcdfLock hold(netcdf_mutex());
  State& st = *state_;
  st.ncid = ncid;
  st.ids = station_ids;
  if (grid.levels.empty())
    grid.levels = grid.kind == GridOptions::Kind::height ? default_height_levels()
                                                         : default_pressure_levels();
  st.grid = std::move(grid);
  const bool pressure = st.grid.kind == GridOptions::Kind::pressure;
  if (!st.grid.times.empty()) {
    for (const long t : st.grid.times) st.axis.push_back(epoch_hours(t));
    std::sort(st.axis.begin(), st.axis.end());
    st.axis.erase(std::unique(st.axis.begin(), st.axis.end()), st.axis.end());
  } else {
    for (long h = epoch_hours(st.grid.from), last = epoch_hours(st.grid.to); h <= last; ++h)
      if (st.grid.hours.test(static_cast<size_t>(((h % 24) + 24) % 24))) st.axis.push_back(h);
  }

  const auto text = [&](int var, const char* name, const std::string& value) {
    if (!value.empty())
      st.check(nc_put_att_text(ncid, var, name, value.size(), value.c_str()), name);
  };
  text(NC_GLOBAL, "Conventions", "CF-1.8");
  text(NC_GLOBAL, "featureType", "timeSeriesProfile");
  text(NC_GLOBAL, "title", "Upper-air soundings on a grid");
  text(NC_GLOBAL, "source",
       "radiosonde and rawinsonde soundings of a station-year archive, interpolated to "
       "fixed levels");
  text(NC_GLOBAL, "history", history);
  text(NC_GLOBAL, "comment",
       pressure ? "values linear in ln p between the two nearest levels that have them; "
                  "not extrapolated: missing below the ground and above the sounding's top"
                : "values linear in height above the station between the two nearest levels "
                  "that have them (pressure as ln p); not extrapolated");

  int station_dim = -1, time_dim = -1, level_dim = -1, id_dim = -1, name_dim = -1;
  st.check(nc_def_dim(ncid, "station", NC_UNLIMITED, &station_dim), "defining station");
  st.check(nc_def_dim(ncid, "time", std::max<size_t>(st.axis.size(), 1), &time_dim),
           "defining time");
  st.check(nc_def_dim(ncid, "level", st.levels(), &level_dim), "defining level");
  st.check(nc_def_dim(ncid, "id_strlen", kIdLen, &id_dim), "defining id_strlen");
  st.check(nc_def_dim(ncid, "name_strlen", kNameLen, &name_dim), "defining name_strlen");
  st.station_dim = station_dim;

  const auto def = [&](const char* name, nc_type type, std::vector<int> dims,
                       std::vector<size_t> chunks, const char* units,
                       const char* standard_name, const char* long_name) {
    int var = -1;
    st.check(nc_def_var(ncid, name, type, static_cast<int>(dims.size()), dims.data(), &var),
             name);
    st.check(nc_def_var_chunking(ncid, var, NC_CHUNKED, chunks.data()), name);
    st.check(nc_def_var_deflate(ncid, var, 1, 1, kDeflateLevel), name);
    text(var, "units", units);
    text(var, "standard_name", standard_name);
    text(var, "long_name", long_name);
    return var;
  };
  const size_t station_chunk = 64;
  st.id_var = def("station", NC_CHAR, {station_dim, id_dim}, {station_chunk, kIdLen}, "", "",
                  "station identifier (ICAO or 3-letter code where known, else WMO "
                  "number)");
  text(st.id_var, "cf_role", "timeseries_id");
  text(st.id_var, "_Encoding", "utf-8");
  st.name_var = def("station_name", NC_CHAR, {station_dim, name_dim},
                    {station_chunk, kNameLen}, "", "", "station name");
  text(st.name_var, "_Encoding", "utf-8");
  st.wmo_var = def("station_wmo", NC_INT, {station_dim}, {station_chunk}, "", "",
                   "WMO station number");
  st.wban_var = def("station_wban", NC_INT, {station_dim}, {station_chunk}, "", "",
                    "WBAN station number");
  const int int_fill = NC_FILL_INT;
  for (const int v : {st.wmo_var, st.wban_var})
    st.check(nc_put_att_int(ncid, v, "_FillValue", NC_INT, 1, &int_fill), "station number");
  st.lat_var = def("latitude", NC_FLOAT, {station_dim}, {station_chunk}, "degrees_north",
                   "latitude", "station latitude");
  st.lon_var = def("longitude", NC_FLOAT, {station_dim}, {station_chunk}, "degrees_east",
                   "longitude", "station longitude");
  st.alt_var = def("altitude", NC_FLOAT, {station_dim}, {station_chunk}, "m",
                   "surface_altitude", "station elevation");
  for (const int v : {st.lat_var, st.lon_var, st.alt_var})
    st.check(nc_put_att_float(ncid, v, "_FillValue", NC_FLOAT, 1, &kFill), "station position");

  const size_t time_chunk = std::min(kTimeChunk, std::max<size_t>(st.axis.size(), 1));
  const int time_var = def("time", NC_DOUBLE, {time_dim}, {time_chunk},
                           "seconds since 1970-01-01 00:00:00", "time",
                           "nominal (synoptic) time of the soundings, UTC");
  text(time_var, "calendar", "standard");
  text(time_var, "axis", "T");
  const int level_var =
      def("level", NC_DOUBLE, {level_dim}, {st.levels()}, pressure ? "hPa" : "m",
          pressure ? "air_pressure" : "height",
          pressure ? "pressure of the grid's levels" : "height above the station");
  text(level_var, "positive", pressure ? "down" : "up");
  text(level_var, "axis", "Z");

  struct Quantity {
    const char* name;
    const char* units;
    const char* standard_name;
    const char* long_name;
  };
  const Quantity pressure_or_height =
      pressure ? Quantity{"geopotential_height", "m", "geopotential_height",
                          "geopotential height"}
               : Quantity{"air_pressure", "hPa", "air_pressure", "pressure"};
  const Quantity quantities[] = {
      pressure_or_height,
      {"air_temperature", "K", "air_temperature", "temperature"},
      {"dew_point_temperature", "K", "dew_point_temperature", "dew point"},
      {"eastward_wind", "m s-1", "eastward_wind", "eastward wind"},
      {"northward_wind", "m s-1", "northward_wind", "northward wind"},
  };
  for (const Quantity& q : quantities) {
    const int var = def(q.name, NC_FLOAT, {station_dim, time_dim, level_dim},
                        {1, time_chunk, st.levels()}, q.units, q.standard_name, q.long_name);
    st.check(nc_put_att_float(ncid, var, "_FillValue", NC_FLOAT, 1, &kFill), q.name);
    text(var, "coordinates", "latitude longitude altitude station_name");
    st.vars.push_back(var);
  }
  st.block.resize(st.vars.size());
  st.check(nc_enddef(ncid), "nc_enddef");

  std::vector<double> seconds(st.axis.size());
  for (size_t k = 0; k < st.axis.size(); ++k) seconds[k] = st.axis[k] * 3600.0;
  if (!seconds.empty()) st.check(nc_put_var_double(ncid, time_var, seconds.data()), "writing time");
  st.check(nc_put_var_double(ncid, level_var, st.grid.levels.data()), "writing level");
}

CfGridWriter::~CfGridWriter() = default;

bool CfGridWriter::write(const Sounding& sounding, const STATREC& station) {
  const NetcdfLock hold(netcdf_mutex());
  State& st = *state_;
  const HEADER_TYPE& h = sounding.header;
  const long hour = epoch_hours(h.year * 1000000L + h.month * 10000L + h.day * 100L + h.hour);
  const auto at = std::lower_bound(st.axis.begin(), st.axis.end(), hour);
  if (at == st.axis.end() || *at != hour) return false;
  const size_t t = static_cast<size_t>(at - st.axis.begin());

  auto found = st.station_index.find(station.wban);
  if (found == st.station_index.end()) {
    // A new station: its coordinates and metadata.
    const size_t s = st.station_index.size();
    found = st.station_index.emplace(station.wban, s).first;
    std::string id = station_id_of(st.ids, station);
    // An identifier already taken by another station: the number instead.
    if (st.id_owner.count(id) || id.size() > kIdLen)
      id = is_missing(station.wmo) ? "W" + std::to_string(station.wban)
                                   : std::to_string(station.wmo);
    st.id_owner.emplace(id, station.wban);
    std::string name = station_name(station);
    for (char& c : name)
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    char id_text[kIdLen] = {}, name_text[kNameLen] = {};
    std::memcpy(id_text, id.data(), std::min(id.size(), kIdLen));
    std::memcpy(name_text, name.data(), std::min(name.size(), kNameLen));
    const size_t start[2] = {s, 0}, id_count[2] = {1, kIdLen}, name_count[2] = {1, kNameLen};
    st.check(nc_put_vara_text(st.ncid, st.id_var, start, id_count, id_text), "writing station");
    st.check(nc_put_vara_text(st.ncid, st.name_var, start, name_count, name_text),
             "writing station_name");
    const int wmo = is_missing(station.wmo) ? NC_FILL_INT : static_cast<int>(station.wmo);
    const int wban = station.wban > 900000 ? NC_FILL_INT : static_cast<int>(station.wban);
    const float elevation =
        std::isfinite(rawinq::heights::station_elevation(station.elev))
            ? static_cast<float>(station.elev)
            : kFill;
    st.check(nc_put_var1_int(st.ncid, st.wmo_var, &s, &wmo), "writing station_wmo");
    st.check(nc_put_var1_int(st.ncid, st.wban_var, &s, &wban), "writing station_wban");
    st.check(nc_put_var1_float(st.ncid, st.lat_var, &s, &station.lat), "writing latitude");
    st.check(nc_put_var1_float(st.ncid, st.lon_var, &s, &station.lon), "writing longitude");
    st.check(nc_put_var1_float(st.ncid, st.alt_var, &s, &elevation), "writing altitude");
  }
  st.open_block(found->second, t);
  const GriddedSounding g =
      grid_sounding(sounding, st.grid, rawinq::heights::station_elevation(station.elev));
  const bool pressure = st.grid.kind == GridOptions::Kind::pressure;
  const std::vector<double>* columns[] = {pressure ? &g.height_m : &g.pressure_hpa,
                                          &g.temperature_k, &g.dew_point_k, &g.u_ms,
                                          &g.v_ms};
  const size_t row = (t - st.block_start) * st.levels();
  for (size_t k = 0; k < st.vars.size(); ++k)
    for (size_t l = 0; l < st.levels(); ++l) {
      const double v = (*columns[k])[l];
      st.block[k][row + l] = std::isfinite(v) ? static_cast<float>(v) : kFill;
    }
  st.block_dirty = true;
  return true;
}

void CfGridWriter::finish() {
  const NetcdfLock hold(netcdf_mutex());
  if (state_->finished) return;
  state_->finished = true;
  state_->flush();
}
