// CF-1.8 profiles in the contiguous ragged array representation, written
// through the netCDF C API (netCDF-4 classic model, shuffle and deflate).
#include "rawinq/cf_writer.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "rawinq/cdf.h"
#include "rawinq/csv_writer.h"
#include "rawinq/dates.h"
#include "rawinq/derived_fields.h"
#include "rawinq/heights.h"
#include "rawinq/level_types.h"

namespace {

constexpr int kDeflateLevel = 4;
constexpr size_t kObsChunk = 32768;      // levels a chunk of obs variables
constexpr size_t kProfileChunkMax = 65536;
constexpr size_t kNameLen = sizeof STATREC{}.name;

constexpr float kFill = NC_FILL_FLOAT;

// A derived value as stored: missing when it is not finite or too large
// for a float (the conversion would not be defined).
float derived(double v) {
  return std::isfinite(v) && std::fabs(v) <= std::numeric_limits<float>::max()
             ? static_cast<float>(v)
             : kFill;
}

float stored(long v, double divisor, double offset = 0.0) {
  return is_missing(v) ? kFill : static_cast<float>(v / divisor + offset);
}

// A level variable: its name, attributes and value of a level.
struct ObsVar {
  const char* name;
  const char* units;
  const char* standard_name;
  const char* long_name;
  float (*value)(const DATA_TYPE&);
};

const ObsVar kObs[] = {
    {"air_pressure", "hPa", "air_pressure", "pressure",
     [](const DATA_TYPE& l) { return stored(l.pr, 10.0); }},
    {"geopotential_height", "m", "geopotential_height", "geopotential height",
     [](const DATA_TYPE& l) { return stored(l.ht, 1.0); }},
    {"air_temperature", "K", "air_temperature", "temperature",
     [](const DATA_TYPE& l) { return stored(l.tp, 10.0, 273.15); }},
    {"dew_point_temperature", "K", "dew_point_temperature", "dew point",
     [](const DATA_TYPE& l) { return stored(l.dp, 10.0, 273.15); }},
    {"wind_from_direction", "degree", "wind_from_direction", "wind direction",
     [](const DATA_TYPE& l) { return stored(l.wd, 1.0); }},
    {"wind_speed", "m s-1", "wind_speed", "wind speed",
     [](const DATA_TYPE& l) { return stored(l.ws, 10.0); }},
};
constexpr size_t kObsCount = sizeof kObs / sizeof kObs[0];
constexpr size_t kLevelFieldCount = sizeof kLevelFields / sizeof kLevelFields[0];
constexpr size_t kIndexFieldCount = sizeof kIndexFields / sizeof kIndexFields[0];

}  // namespace

double epoch_seconds(const HEADER_TYPE& h) {
  return static_cast<double>(rawinq::days_from_civil(h.year, h.month, h.day)) * 86400.0 +
         h.hour * 3600.0;
}

NcFile& NcFile::operator=(NcFile&& o) noexcept {
  if (this != &o) {
    close();
    ncid_ = o.release();
  }
  return *this;
}

NcFile::~NcFile() { close(); }

int NcFile::close() {
  const NetcdfLock hold(netcdf_mutex());
  if (ncid_ < 0) return NC_NOERR;
  return nc_close(release());
}

void CfWriter::check(int status, const char* what) const {
  if (status == NC_NOERR) return;
  std::string message = path_.empty() ? "" : path_ + ": ";
  message += what;
  message += ": ";
  message += nc_strerror(status);
  throw CfError(message, status);
}

CfWriter::CfWriter(const std::string& path, CfOptions options)
    : options_(std::move(options)), path_(path) {
  const NetcdfLock hold(netcdf_mutex());
  check(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4 | NC_CLASSIC_MODEL, &ncid_),
        "cannot create the file");
  owned_ = NcFile(ncid_);
  define_file();
}

CfWriter::CfWriter(int ncid, CfOptions options)
    : options_(std::move(options)), ncid_(ncid) {
  define_file();
}

void CfWriter::define_file() {
  const NetcdfLock hold(netcdf_mutex());
  const int ncid = ncid_;
  int old_mode = 0;
  check(nc_set_fill(ncid, NC_NOFILL, &old_mode), "nc_set_fill");
  const auto global = [&](const char* name, const std::string& text) {
    check(nc_put_att_text(ncid, NC_GLOBAL, name, text.size(), text.c_str()), name);
  };
  global("Conventions", "CF-1.8");
  global("featureType", "profile");
  global("title", "Upper-air soundings");
  global("source", "radiosonde and rawinsonde soundings of a station-year archive");
  global("history", options_.history);
  if (options_.derived)
    global("references",
           "Bolton, D., 1980: The computation of equivalent potential temperature. "
           "Mon. Wea. Rev., 108, 1046-1053 (saturation vapour pressure, LCL, "
           "equivalent potential temperature); see rawinq-extract(1) for every formula");
  check(nc_def_dim(ncid, "obs", NC_UNLIMITED, &obs_dim_), "defining obs");
  const auto def = [&](const char* name, nc_type type, const char* units,
                       const char* standard_name, const char* long_name,
                       bool fill) {
    const int var = define_variable(name, type, 1, &obs_dim_, &kObsChunk, units,
                                    standard_name, long_name);
    if (fill) check(nc_put_att_float(ncid, var, "_FillValue", NC_FLOAT, 1, &kFill), name);
    if (type == NC_FLOAT && std::strcmp(name, "air_pressure") != 0)
      put_text(var, "coordinates", "time latitude longitude air_pressure");
    return var;
  };
  for (const ObsVar& v : kObs)
    obs_vars_.push_back(def(v.name, NC_FLOAT, v.units, v.standard_name, v.long_name, true));
  put_text(obs_vars_[0], "positive", "down");
  put_text(obs_vars_[0], "axis", "Z");
  if (options_.derived)
    for (const LevelField& f : kLevelFields)
      derived_vars_.push_back(def(f.cf_name, NC_FLOAT, f.units, f.standard_name, f.long_name, true));

  level_type_var_ = def("level_type", NC_BYTE, "", "", "level type", false);
  std::vector<signed char> flags{static_cast<signed char>(kLevelBelowGround)};
  std::string meanings = level_type_word(kLevelBelowGround);
  for (const LevelTypeInfo& t : kLevelTypeTable) {
    flags.push_back(static_cast<signed char>(t.code));
    if (!meanings.empty()) meanings += ' ';
    meanings += t.word;
  }
  check(nc_put_att_schar(ncid, level_type_var_, "flag_values", NC_BYTE, flags.size(),
                         flags.data()),
        "level_type");
  put_text(level_type_var_, "flag_meanings", meanings.c_str());
  columns_.resize(kObsCount + derived_vars_.size());
  if (options_.derived) indices_.resize(kIndexFieldCount);
  check(nc_enddef(ncid), "nc_enddef");
}

long CfWriter::write(const Sounding& sounding, const STATREC& station) {
  const NetcdfLock hold(netcdf_mutex());
  const size_t before = level_types_.size();
  const double elevation = rawinq::heights::station_elevation(station.elev);
  analysis_levels(sounding, options_.level_selection, elevation, order_);
  for (const AnalysisLevel& a : order_) {
    const DATA_TYPE& l = *a.level;
    for (size_t k = 0; k < kObsCount; ++k) columns_[k].push_back(kObs[k].value(l));
    if (options_.derived) {
      const auto q = rawinq::indices::level_quantities(l);
      for (size_t k = 0; k < kLevelFieldCount; ++k) {
        const double v = kLevelFields[k].value(q);
        columns_[kObsCount + k].push_back(derived(v));
      }
    }
    level_types_.push_back(static_cast<signed char>(a.type));
  }
  const size_t n = level_types_.size() - before;
  if (n == 0) return 0;
  // The levels go to the file a chunk at a time.
  if (level_types_.size() >= kObsChunk) flush_levels();

  // A station without a WMO number (99999 in the catalogue) has none here.
  wmo_.push_back(is_missing(station.wmo) ? NC_FILL_INT : static_cast<int>(station.wmo));
  // International sites carry WMO + 900000 in place of a WBAN number.
  wban_.push_back(station.wban > 900000 ? NC_FILL_INT : static_cast<int>(station.wban));
  // Text of the catalogue's bytes, those outside ASCII as "?" (the file
  // says its text is UTF-8).
  name_.push_back(station_name(station));
  for (char& c : name_.back())
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  id_.push_back(station_id_of(options_.station_ids, station));
  time_.push_back(epoch_seconds(sounding.header));
  long release = 0;
  release_time_.push_back(release_minutes(sounding.header, release)
                              ? time_.back() + release * 60.0
                              : NC_FILL_DOUBLE);
  lat_.push_back(station.lat);
  lon_.push_back(station.lon);
  alt_.push_back(static_cast<float>(station.elev));
  row_size_.push_back(static_cast<int>(n));
  if (options_.derived) {
    const auto ix = rawinq::indices::compute_indices(sounding, elevation);
    for (size_t k = 0; k < kIndexFieldCount; ++k) {
      const double v = kIndexFields[k].value(ix);
      indices_[k].push_back(derived(v));
    }
  }
  return static_cast<long>(n);
}

int CfWriter::define_variable(const char* name, int type, int ndims, const int* dims,
                              const size_t* chunks, const char* units,
                              const char* standard_name, const char* long_name) const {
  int var = -1;
  check(nc_def_var(ncid_, name, type, ndims, dims, &var), name);
  check(nc_def_var_chunking(ncid_, var, NC_CHUNKED, chunks), name);
  check(nc_def_var_deflate(ncid_, var, 1, 1, kDeflateLevel), name);
  put_text(var, "standard_name", standard_name);
  put_text(var, "long_name", long_name);
  put_text(var, "units", units);
  return var;
}

void CfWriter::put_text(int var, const char* name, const char* text) const {
  if (*text) check(nc_put_att_text(ncid_, var, name, std::strlen(text), text), name);
}

void CfWriter::flush_levels() {
  const size_t n = level_types_.size();
  if (n == 0) return;
  const int ncid = ncid_;
  const size_t start = obs_written_;
  for (size_t k = 0; k < columns_.size(); ++k) {
    const int var = k < kObsCount ? obs_vars_[k] : derived_vars_[k - kObsCount];
    check(nc_put_vara_float(ncid, var, &start, &n, columns_[k].data()), "writing levels");
    columns_[k].clear();
  }
  check(nc_put_vara_schar(ncid, level_type_var_, &start, &n, level_types_.data()),
        "writing levels");
  level_types_.clear();
  obs_written_ += n;
}

void CfWriter::define_and_write_profiles() {
  const int ncid = ncid_;
  const size_t count = time_.size();
  check(nc_redef(ncid), "nc_redef");
  int profile_dim = -1, strlen_dim = -1, id_dim = -1;
  size_t id_len = 1;
  for (const std::string& id : id_) id_len = std::max(id_len, id.size());
  check(nc_def_dim(ncid, "profile", count, &profile_dim), "defining profile");
  check(nc_def_dim(ncid, "name_strlen", kNameLen, &strlen_dim), "defining name_strlen");
  check(nc_def_dim(ncid, "id_strlen", id_len, &id_dim), "defining id_strlen");
  const size_t chunk = std::clamp<size_t>(count, 1, kProfileChunkMax);

  const auto def = [&](const char* name, nc_type type, const char* units,
                       const char* standard_name, const char* long_name) {
    return define_variable(name, type, 1, &profile_dim, &chunk, units, standard_name,
                           long_name);
  };
  const int profile_var = def("profile", NC_INT, "", "", "profile number");
  put_text(profile_var, "cf_role", "profile_id");
  const int wmo_var = def("station_wmo", NC_INT, "", "", "WMO station number");
  const int wban_var = def("station_wban", NC_INT, "", "", "WBAN station number");
  const int wban_fill = NC_FILL_INT;
  check(nc_put_att_int(ncid, wmo_var, "_FillValue", NC_INT, 1, &wban_fill), "station_wmo");
  check(nc_put_att_int(ncid, wban_var, "_FillValue", NC_INT, 1, &wban_fill), "station_wban");
  const int name_dims[2] = {profile_dim, strlen_dim};
  const size_t name_chunk[2] = {chunk, kNameLen};
  const int name_var = define_variable("station_name", NC_CHAR, 2, name_dims, name_chunk,
                                       "", "", "station name");
  // Text, not bytes, to the readers that honour the encoding.
  put_text(name_var, "_Encoding", "utf-8");
  const int id_dims[2] = {profile_dim, id_dim};
  const size_t id_chunk[2] = {chunk, id_len};
  const int id_var = define_variable("station_id", NC_CHAR, 2, id_dims, id_chunk, "", "",
                                     "station identifier (ICAO or 3-letter code where "
                                     "known, else WMO number)");
  put_text(id_var, "_Encoding", "utf-8");
  const int time_var = def("time", NC_DOUBLE, "seconds since 1970-01-01 00:00:00", "time",
                           "nominal (synoptic) time of the sounding, UTC");
  put_text(time_var, "calendar", "standard");
  put_text(time_var, "axis", "T");
  const int release_var = def("release_time", NC_DOUBLE, "seconds since 1970-01-01 00:00:00",
                              "time", "release time of the radiosonde, UTC");
  put_text(release_var, "calendar", "standard");
  const double release_fill = NC_FILL_DOUBLE;
  check(nc_put_att_double(ncid, release_var, "_FillValue", NC_DOUBLE, 1, &release_fill),
        "release_time");
  const int lat_var = def("latitude", NC_FLOAT, "degrees_north", "latitude", "station latitude");
  const int lon_var = def("longitude", NC_FLOAT, "degrees_east", "longitude", "station longitude");
  const int alt_var = def("altitude", NC_FLOAT, "m", "surface_altitude", "station elevation");
  const int rows_var = def("row_size", NC_INT, "", "", "number of levels in this profile");
  put_text(rows_var, "sample_dimension", "obs");
  std::vector<int> index_vars;
  if (options_.derived)
    for (const IndexField& f : kIndexFields) {
      const int var = def(f.cf_name, NC_FLOAT, f.units, f.standard_name, f.long_name);
      check(nc_put_att_float(ncid, var, "_FillValue", NC_FLOAT, 1, &kFill), f.cf_name);
      put_text(var, "coordinates", "time latitude longitude");
      index_vars.push_back(var);
    }
  check(nc_enddef(ncid), "nc_enddef");
  if (count == 0) return;

  std::vector<int> numbers(count);
  for (size_t i = 0; i < count; ++i) numbers[i] = static_cast<int>(i);
  std::vector<char> names(count * kNameLen, '\0');
  for (size_t i = 0; i < count; ++i)
    std::memcpy(&names[i * kNameLen], name_[i].data(), std::min(name_[i].size(), kNameLen));
  const size_t start[2] = {0, 0}, counts[2] = {count, kNameLen};
  std::vector<char> ids(count * id_len, '\0');
  for (size_t i = 0; i < count; ++i)
    std::memcpy(&ids[i * id_len], id_[i].data(), id_[i].size());
  const size_t id_counts[2] = {count, id_len};
  check(nc_put_var_int(ncid, profile_var, numbers.data()), "writing profile");
  check(nc_put_var_int(ncid, wmo_var, wmo_.data()), "writing station_wmo");
  check(nc_put_var_int(ncid, wban_var, wban_.data()), "writing station_wban");
  check(nc_put_vara_text(ncid, name_var, start, counts, names.data()), "writing station_name");
  check(nc_put_vara_text(ncid, id_var, start, id_counts, ids.data()), "writing station_id");
  check(nc_put_var_double(ncid, time_var, time_.data()), "writing time");
  check(nc_put_var_double(ncid, release_var, release_time_.data()), "writing release_time");
  check(nc_put_var_float(ncid, lat_var, lat_.data()), "writing latitude");
  check(nc_put_var_float(ncid, lon_var, lon_.data()), "writing longitude");
  check(nc_put_var_float(ncid, alt_var, alt_.data()), "writing altitude");
  check(nc_put_var_int(ncid, rows_var, row_size_.data()), "writing row_size");
  for (size_t k = 0; k < index_vars.size(); ++k)
    check(nc_put_var_float(ncid, index_vars[k], indices_[k].data()), "writing indices");
}

void CfWriter::finish() {
  const NetcdfLock hold(netcdf_mutex());
  if (finished_) return;
  finished_ = true;
  flush_levels();
  define_and_write_profiles();
  if (owned_.is_open()) check(owned_.close(), "closing the file");
}
