// The NetCDF file schema: one record per sounding along the unlimited
// dimension, the station and time values, the level counts and six
// quantities for each of five level classes.
#include <netcdf.h>

#include <string>

#include "rawinq/cdf.h"
#include "uacdf_layout.h"

namespace {

using namespace uacdf;

// Dimensions, in definition order (their ids are these indexes).
enum Dim : int {
  kRecNum,
  kManLevel,
  kSigTLevel,
  kSigWLevel,
  kMWndNum,
  kMTropNum,
  kStaNameLenDim,
  kDimCount
};

struct DimSpec {
  const char* name;
  long size;  // NC_UNLIMITED for the record dimension
};

constexpr DimSpec kDims[kDimCount] = {
    {"recNum", NC_UNLIMITED},    {"manLevel", kManLevels},
    {"sigTLevel", kSigTLevels},  {"sigWLevel", kSigWLevels},
    {"mWndNum", kMaxWLevels},    {"mTropNum", kTropLevels},
    {"staNameLen", kStaNameLen},
};

// One attribute: a text (NC_CHAR, without terminating NUL), or one or two
// numbers of type NC_INT or NC_FLOAT.
struct AttSpec {
  const char* name = nullptr;  // nullptr ends a variable's list
  nc_type type = NC_CHAR;
  const char* text = nullptr;
  int count = 0;
  double values[2] = {0, 0};
};

constexpr AttSpec text_att(const char* name, const char* text) {
  AttSpec a;
  a.name = name;
  a.text = text;
  return a;
}
constexpr AttSpec numbers_att(const char* name, nc_type type, int count,
                              double first, double second) {
  AttSpec a;
  a.name = name;
  a.type = type;
  a.count = count;
  a.values[0] = first;
  a.values[1] = second;
  return a;
}
constexpr AttSpec int_range(const char* name, long lo, long hi) {
  return numbers_att(name, NC_INT, 2, lo, hi);
}
constexpr AttSpec float_range(const char* name, float lo, float hi) {
  return numbers_att(name, NC_FLOAT, 2, lo, hi);
}

const char kSecondsSince1970[] = "Seconds since (1970-1-1 00:00:0.0)";

// The station and sounding variables, in id order. Each has the record
// dimension, and the station name also its width.
struct StationVarSpec {
  const char* name;
  nc_type type;
  bool name_width;  // second dimension staNameLen
  int UacdfIds::*id;
  AttSpec atts[3];
};

const StationVarSpec kStationVars[] = {
    {"wmoStat",
     NC_INT,
     false,
     &UacdfIds::wmo_stat,
     {text_att("long_name", "WMO Station Number"),
      text_att("reference", "Volume A of WMO publication 9"),
      numbers_att("missing_value", NC_INT, 1, missing_wmo_stat, 0)}},
    {"wbanStat",
     NC_INT,
     false,
     &UacdfIds::wban_stat,
     {text_att("long_name", "Weather Bureau Army Navy (WBAN) Station Number"),
      text_att("reference", "Quellmark WBAN Station Master List")}},
    {"staName",
     NC_CHAR,
     true,
     &UacdfIds::sta_name,
     {text_att("long_name", "Station Identifier")}},
    {"staLat",
     NC_FLOAT,
     false,
     &UacdfIds::sta_lat,
     {text_att("long_name", "Station Latitude"), text_att("units", "degrees_N"),
      float_range("valid_range", 0.0f, 90.0f)}},
    {"staLon",
     NC_FLOAT,
     false,
     &UacdfIds::sta_lon,
     {text_att("long_name", "Station Longitude"),
      text_att("units", "degrees_E"),
      float_range("valid_range", -180.0f, -50.0f)}},
    {"staElev",
     NC_FLOAT,
     false,
     &UacdfIds::sta_elev,
     {text_att("long_name", "Station Elevation"), text_att("units", "meters"),
      float_range("valid_range", -100.0f, 3500.0f)}},
    {"synTime",
     NC_DOUBLE,
     false,
     &UacdfIds::syntime,
     {text_att("long_name", "Synoptic Time"),
      text_att("units", kSecondsSince1970)}},
    {"numMand",
     NC_INT,
     false,
     &UacdfIds::nmand_lev,
     {text_att("long_name", "Number of Mandatory Levels"),
      int_range("valid_range", 0, kManLevels)}},
    {"numSigT",
     NC_INT,
     false,
     &UacdfIds::nsigt_lev,
     {text_att("long_name", "Number of Significant Levels wrt T"),
      int_range("valid_range", 0, kSigTLevels)}},
    {"numSigW",
     NC_INT,
     false,
     &UacdfIds::nsigw_lev,
     {text_att("long_name", "Number of Significant Levels wrt W"),
      int_range("valid_range", 0, kSigWLevels)}},
    {"numMwnd",
     NC_INT,
     false,
     &UacdfIds::nmaxw_lev,
     {text_att("long_name", "Number of Maximum Wind Levels"),
      int_range("valid_range", 0, kMaxWLevels)}},
    {"numTrop",
     NC_INT,
     false,
     &UacdfIds::ntrop_lev,
     {text_att("long_name", "Number of Tropopause Levels"),
      int_range("valid_range", 0, kTropLevels)}},
    {"relTime",
     NC_DOUBLE,
     false,
     &UacdfIds::reltime,
     {text_att("long_name", "Sounding Release Time"),
      text_att("units", kSecondsSince1970)}},
    {"sondTyp",
     NC_INT,
     false,
     &UacdfIds::sndtyp,
     {text_att("long_name", "Instrument Type"),
      text_att("reference", "Federal Meteorological Handbook No. 4")}},
};

// The level classes: name suffix, second dimension and the text that ends
// each variable's long_name.
struct ClassSpec {
  const char* suffix;
  Dim dim;
  const char* text;
};

constexpr ClassSpec kClasses[kClassCount] = {
    {"Man", kManLevel, "Mandatory level"},
    {"SigT", kSigTLevel, "Significant level wrt T"},
    {"SigW", kSigWLevel, "Significant level wrt W"},
    {"Trop", kMTropNum, "Tropopause level"},
    {"MaxW", kMWndNum, "Maximum wind level"},
};

// The quantities of a level: name prefix, text that starts the long_name,
// units and valid range.
struct QuantitySpec {
  const char* prefix;
  const char* text;
  const char* units;
  float lo, hi;
};

constexpr QuantitySpec kQuantities[kQuantityCount] = {
    {"pr", "Pressure", "hectopascals", 1.0f, 1500.0f},
    {"ht", "Geopotential", "meters", -250.0f, 60000.0f},
    {"tp", "Temperature", "kelvin", 173.0f, 373.0f},
    {"td", "Dew Point Depression", "kelvin", 0.0f, 60.0f},
    {"wd", "Wind Direction", "degrees_true", 0.0f, 360.0f},
    {"ws", "Wind Speed", "meter/sec", 0.0f, 150.0f},
};

void put_text_att(OutputUnit& out, int varid, const char* name,
                  const std::string& text) {
  out.check(nc_put_att_text(out.ncid(), varid, name, text.size(), text.data()));
}

void put_att(OutputUnit& out, int varid, const AttSpec& att) {
  if (att.type == NC_CHAR) {
    put_text_att(out, varid, att.name, att.text);
  } else if (att.type == NC_INT) {
    const int values[2] = {static_cast<int>(att.values[0]),
                           static_cast<int>(att.values[1])};
    out.check(nc_put_att_int(out.ncid(), varid, att.name, NC_INT,
                             static_cast<std::size_t>(att.count), values));
  } else {
    const float values[2] = {static_cast<float>(att.values[0]),
                             static_cast<float>(att.values[1])};
    out.check(nc_put_att_float(out.ncid(), varid, att.name, NC_FLOAT,
                               static_cast<std::size_t>(att.count), values));
  }
}

}  // namespace

UacdfIds uacdf::make_uacdf_ids(OutputUnit& out) {
  UacdfIds ids;
  const int ncid = out.ncid();
  int dimids[kDimCount];
  for (int d = 0; d < kDimCount; ++d)
    out.check(nc_def_dim(ncid, kDims[d].name,
                         kDims[d].size == NC_UNLIMITED
                             ? NC_UNLIMITED
                             : static_cast<std::size_t>(kDims[d].size),
                         &dimids[d]));

  for (const StationVarSpec& v : kStationVars) {
    const int dims[2] = {dimids[kRecNum], dimids[kStaNameLenDim]};
    out.check(nc_def_var(ncid, v.name, v.type, v.name_width ? 2 : 1, dims,
                         &(ids.*v.id)));
  }
  for (int c = 0; c < kClassCount; ++c) {
    const int dims[2] = {dimids[kRecNum], dimids[kClasses[c].dim]};
    for (int q = 0; q < kQuantityCount; ++q) {
      const std::string name =
          std::string(kQuantities[q].prefix) + kClasses[c].suffix;
      out.check(nc_def_var(ncid, name.c_str(), NC_FLOAT, 2, dims,
                           &ids.level[c][q]));
    }
  }

  put_text_att(out, NC_GLOBAL, "comment0", "First mandatory level is surface level");
  put_text_att(out, NC_GLOBAL, "version", "Vantorium 1.3");

  for (const StationVarSpec& v : kStationVars)
    for (const AttSpec& att : v.atts)
      if (att.name != nullptr) put_att(out, ids.*v.id, att);
  for (int c = 0; c < kClassCount; ++c) {
    for (int q = 0; q < kQuantityCount; ++q) {
      const QuantitySpec& qs = kQuantities[q];
      const int varid = ids.level[c][q];
      put_text_att(out, varid, "long_name",
                   std::string(qs.text) + " - " + kClasses[c].text);
      put_text_att(out, varid, "units", qs.units);
      put_att(out, varid, float_range("valid_range", qs.lo, qs.hi));
      put_att(out, varid,
              numbers_att("missing_value", NC_FLOAT, 1, missing_data_5, 0));
    }
  }

  // The writer writes every value of every record, slots left over with
  // the fill value included: the library need not fill new records first.
  int old_fill = 0;
  out.check(nc_set_fill(ncid, NC_NOFILL, &old_fill));
  out.check(nc_enddef(ncid));
  return ids;
}

std::recursive_mutex& netcdf_mutex() {
  static std::recursive_mutex lock;
  return lock;
}

void make_uacdf_file(OutputUnit& out) {
  const NetcdfLock hold(netcdf_mutex()); make_uacdf_ids(out); }
