// The NetCDF sounding writer: one record per sounding, the station taken
// from the catalogue, times in epoch seconds, levels in physical units and
// sorted into their classes.
#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "rawinq/cdf.h"
#include "rawinq/globals.h"
#include "uacdf_layout.h"

namespace {

using namespace uacdf;

constexpr long kRecordsBetweenSyncs = 1000;

// Level type codes and the class their levels are stored in; a level of any
// other type is not written.
struct LevelType {
  long fr;
  LevelClass cls;
};

constexpr LevelType kLevelTypes[] = {
    {kLevelSurface, kMan},         {kLevelMandatory, kMan},
    {kLevelSigTemperature, kSigT}, {kLevelSigWind, kSigW},
    {kLevelTropopause, kTrop},     {kLevelMaxWind, kMaxW},
};

// Written when a level finds its class full (the run goes on regardless).
constexpr const char* kClassFull[kClassCount] = {
    "mand levels exceeded.  Exiting",     "sig temp levels exceeded.  Exiting",
    "sig wind levels exceeded.  Exiting", "trop levels exceeded.  Exiting",
    "max wind levels exceeded.  Exiting",
};

// The count variables in the order they are written, with their classes.
struct CountVar {
  int* id;
  LevelClass cls;
};

const CountVar kCountVars[] = {
    {&nmand_lev_id, kMan},  {&nsigt_lev_id, kSigT}, {&nsigw_lev_id, kSigW},
    {&nmaxw_lev_id, kMaxW}, {&ntrop_lev_id, kTrop},
};

int class_of(long fr) {
  for (const LevelType& t : kLevelTypes)
    if (t.fr == fr) return t.cls;
  return -1;
}

bool missing(long value) { return value == kMissingValue; }

float whole(long v) {
  return missing(v) ? missing_data_5 : static_cast<float>(v);
}

float tenths(long v) {
  return missing(v) ? missing_data_5 : static_cast<float>(v) / 10.0f;
}

// Tenths of deg C to kelvin: the division in double precision, the 273
// added in single precision.
float kelvin(long tp) {
  if (missing(tp)) return missing_data_5;
  const float celsius = static_cast<float>(tp / 10.0);
  return celsius + 273.0f;
}

float depression(long tp, long dp) {
  if (missing(tp) || missing(dp)) return missing_data_5;
  return (static_cast<float>(tp) - static_cast<float>(dp)) / 10.0f;
}

// The station's initials, three blanks, then NULs up to the width.
std::array<char, kStaNameLen> station_name(const STATREC& station) {
  std::array<char, kStaNameLen> name{};
  const std::size_t len = strnlen(station.init, sizeof station.init);
  std::size_t n = 0;
  for (std::size_t i = 0; i < len && n < name.size(); ++i)
    name[n++] = station.init[i];
  for (int i = 0; i < 3 && n < name.size(); ++i) name[n++] = ' ';
  return name;
}

void put_int(int varid, const long* index, long value) {
  const int v = static_cast<int>(value);
  ncvarput1(cdfid, varid, index, &v);
}

static_assert(kSigTLevels >= kManLevels && kSigTLevels >= kSigWLevels &&
                  kSigTLevels >= kTropLevels && kSigTLevels >= kMaxWLevels,
              "the significant temperature class has the most slots");

void put_float(int varid, const long* index, float value) {
  ncvarput1(cdfid, varid, index, &value);
}

void put_double(int varid, const long* index, double value) {
  ncvarput1(cdfid, varid, index, &value);
}

}  // namespace

void netcdf_format(short indx, long nstat) {
  if (nstat == 0) make_uacdf_file();
  write_uacdf_file(nstat, indx);
  // The header's record count is brought up to date now and then, so that
  // a run killed outright loses at most the records since.
  if ((nstat + 1) % kRecordsBetweenSyncs == 0) nc_sync(cdfid);
}

void write_uacdf_file(long nstat, short indx) {
  const STATREC& station = Stn_His[indx];
  const HEADER_TYPE& hdr = Snd_Hdr;
  const long mindex[2] = {nstat, 0};

  const double syn_time =
      time2sec(hdr.year, hdr.month, hdr.day, hdr.hour, 0, 0);
  double rel_time = missing_data_5;
  if (!missing(hdr.reltime)) {
    const int rel_hr = static_cast<int>(hdr.reltime / 100);
    const int rel_mn = static_cast<int>(hdr.reltime % 100);
    rel_time = time2sec(hdr.year, hdr.month, hdr.day, rel_hr, rel_mn, 0);
    // Released before midnight for a synoptic hour after it.
    if (hdr.hour < rel_hr) rel_time -= 86400.0;
  }

  const std::array<char, kStaNameLen> statid = station_name(station);
  const long name_count[2] = {1, kStaNameLen};
  ncvarput(cdfid, sta_name_id, mindex, name_count, statid.data());
  put_int(wmo_stat_id, mindex, station.wmo);
  put_int(wban_stat_id, mindex, station.wban);
  put_double(reltime_id, mindex, rel_time);
  put_double(syntime_id, mindex, syn_time);
  put_int(sndtyp_id, mindex, hdr.sondtype);
  put_float(sta_lat_id, mindex, station.lat);
  put_float(sta_lon_id, mindex, station.lon);
  put_float(sta_elev_id, mindex, static_cast<float>(station.elev));

  // Each level goes to the next free slot of its class. The file is
  // written without the library's filling of new records (see
  // make_uacdf_file), so every slot of every class is written here: the
  // slots left over hold the fill value the library would have put there.
  // Each quantity of a class takes one call.
  long counters[kClassCount] = {};
  // The rows hold the fill value between records: the slots a record uses
  // are put back after it.
  static float values[kClassCount][kQuantityCount][kSigTLevels];
  static bool filled = false;
  if (!filled) {
    for (auto& cls : values)
      for (auto& row : cls) std::fill(std::begin(row), std::end(row), NC_FILL_FLOAT);
    filled = true;
  }
  const long levels =
      std::min<long>(hdr.levels, static_cast<long>(Snd_Data.size()));
  for (long i = 0; i < levels; ++i) {
    const DATA_TYPE& lev = Snd_Data[static_cast<std::size_t>(i)];
    const int cls = class_of(lev.fr);
    if (cls < 0) continue;
    long& counter = counters[cls];
    if (counter >= kClassSlots[cls]) {
      std::printf("stn = %d month = %d day = %d\n\n",
                  static_cast<int>(station.wmo), hdr.month, hdr.day);
      std::printf("%s\n", kClassFull[cls]);
      continue;
    }
    const float converted[kQuantityCount] = {
        tenths(lev.pr), whole(lev.ht),
        kelvin(lev.tp), depression(lev.tp, lev.dp),
        whole(lev.wd),  tenths(lev.ws)};
    for (int q = 0; q < kQuantityCount; ++q)
      values[cls][q][counter] = converted[q];
    ++counter;
  }
  for (int cls = 0; cls < kClassCount; ++cls) {
    const long count[2] = {1, kClassSlots[cls]};
    for (int q = 0; q < kQuantityCount; ++q) {
      ncvarput(cdfid, *kLevelIds[cls][q], mindex, count, values[cls][q]);
      std::fill(values[cls][q], values[cls][q] + counters[cls], NC_FILL_FLOAT);
    }
  }

  for (const CountVar& v : kCountVars) put_int(*v.id, mindex, counters[v.cls]);
}
