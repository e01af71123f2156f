// The NetCDF sounding writer: one record per sounding, the station taken
// from the catalogue, times in epoch seconds, levels in physical units and
// sorted into their classes.
#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "rawinq/cdf.h"
#include "rawinq/formats.h"
#include "uacdf_layout.h"

namespace {

using namespace uacdf;

constexpr std::size_t kRecordsBetweenSyncs = 1000;

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
  int UacdfIds::*id;
  LevelClass cls;
};

const CountVar kCountVars[] = {
    {&UacdfIds::nmand_lev, kMan},  {&UacdfIds::nsigt_lev, kSigT},
    {&UacdfIds::nsigw_lev, kSigW}, {&UacdfIds::nmaxw_lev, kMaxW},
    {&UacdfIds::ntrop_lev, kTrop},
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

static_assert(kSigTLevels >= kManLevels && kSigTLevels >= kSigWLevels &&
                  kSigTLevels >= kTropLevels && kSigTLevels >= kMaxWLevels,
              "the significant temperature class has the most slots");

// One record per sounding; the file's layout is defined when its first
// sounding comes (a file that gets none stays as it was created).
class NetcdfWriter final : public SoundingWriter {
 public:
  NetcdfWriter() {
    for (auto& cls : values_)
      for (auto& row : cls)
        std::fill(std::begin(row), std::end(row), NC_FILL_FLOAT);
  }
  void write(OutputUnit& out, const Sounding& sounding, const STATREC& station,
             const WriteOptions& options) override;

 private:
  void put_int(OutputUnit& out, int varid, long value) {
    const int v = static_cast<int>(value);
    out.check(nc_put_var1_int(out.ncid(), varid, index_, &v));
  }
  void put_float(OutputUnit& out, int varid, float value) {
    out.check(nc_put_var1_float(out.ncid(), varid, index_, &value));
  }
  void put_double(OutputUnit& out, int varid, double value) {
    out.check(nc_put_var1_double(out.ncid(), varid, index_, &value));
  }

  UacdfIds ids_;
  std::size_t records_ = 0;
  std::size_t index_[2] = {0, 0};
  // The rows hold the fill value between records: the slots a record uses
  // are put back after it.
  float values_[kClassCount][kQuantityCount][kSigTLevels];
};

}  // namespace

void NetcdfWriter::write(OutputUnit& out, const Sounding& sounding,
                         const STATREC& station, const WriteOptions&) {
  const NetcdfLock hold(netcdf_mutex());
  if (records_ == 0) ids_ = make_uacdf_ids(out);
  const HEADER_TYPE& hdr = sounding.header;
  index_[0] = records_;
  index_[1] = 0;
  const int ncid = out.ncid();

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
  const std::size_t name_count[2] = {1, kStaNameLen};
  out.check(nc_put_vara_text(ncid, ids_.sta_name, index_, name_count,
                             statid.data()));
  put_int(out, ids_.wmo_stat, station.wmo);
  put_int(out, ids_.wban_stat, station.wban);
  put_double(out, ids_.reltime, rel_time);
  put_double(out, ids_.syntime, syn_time);
  put_int(out, ids_.sndtyp, hdr.sondtype);
  put_float(out, ids_.sta_lat, station.lat);
  put_float(out, ids_.sta_lon, station.lon);
  put_float(out, ids_.sta_elev, static_cast<float>(station.elev));

  // Each level goes to the next free slot of its class. The file is
  // written without the library's filling of new records (see
  // make_uacdf_file), so every slot of every class is written here: the
  // slots left over hold the fill value the library would have put there.
  // Each quantity of a class takes one call.
  long counters[kClassCount] = {};
  for (const DATA_TYPE& lev : sounding.levels) {
    const int cls = class_of(lev.fr);
    if (cls < 0) continue;
    long& counter = counters[cls];
    if (counter >= kClassSlots[cls]) {
      out.note("stn = " + std::to_string(static_cast<int>(station.wmo)) +
               " month = " + std::to_string(hdr.month) +
               " day = " + std::to_string(hdr.day) + "\n\n" +
               kClassFull[cls] + "\n");
      continue;
    }
    const float converted[kQuantityCount] = {
        tenths(lev.pr), whole(lev.ht),
        kelvin(lev.tp), depression(lev.tp, lev.dp),
        whole(lev.wd),  tenths(lev.ws)};
    for (int q = 0; q < kQuantityCount; ++q)
      values_[cls][q][counter] = converted[q];
    ++counter;
  }
  for (int cls = 0; cls < kClassCount; ++cls) {
    const std::size_t count[2] = {1,
                                  static_cast<std::size_t>(kClassSlots[cls])};
    for (int q = 0; q < kQuantityCount; ++q) {
      out.check(nc_put_vara_float(ncid, ids_.level[cls][q], index_, count,
                                  values_[cls][q]));
      std::fill(values_[cls][q], values_[cls][q] + counters[cls],
                NC_FILL_FLOAT);
    }
  }

  for (const CountVar& v : kCountVars)
    put_int(out, ids_.*v.id, counters[v.cls]);
  ++records_;
  // The header's record count is brought up to date now and then, so that
  // a run killed outright loses at most the records since.
  if (records_ % kRecordsBetweenSyncs == 0) out.check(nc_sync(ncid));
}

std::unique_ptr<SoundingWriter> make_netcdf_writer() {
  return std::make_unique<NetcdfWriter>();
}
