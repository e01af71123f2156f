// BUFR output: each sounding one WMO BUFR edition 4 message of template
// 3 09 052 (no displacements, no wind shear), encoded by ecCodes, the
// messages of an output file one after another. Section 1 carries the
// nominal date and hour; the data the station's WMO block and station
// number (or its identifier when it has no WMO number), position and
// elevation, the release time as the launch time, and each level's
// pressure, geopotential height, temperature, dew point and wind with the
// vertical sounding significance of its level type.
#include <eccodes.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "rawinq/formats.h"
#include "rawinq/level_types.h"

namespace {

// 0 08 042, bit n of 18 being 2^(18 - n): 1 surface, 2 standard level,
// 3 tropopause, 4 maximum wind, 5 significant temperature, 7 significant
// wind.
double significance(long fr) {
  switch (fr) {
    case kLevelSurface: return 1 << 17;
    case kLevelMandatory: return 1 << 16;
    case kLevelTropopause: return 1 << 15;
    case kLevelMaxWind: return 1 << 14;
    case kLevelSigTemperature: return 1 << 13;
    case kLevelSigWind: return 1 << 11;
    default: return 0;
  }
}

double real(long stored, double scale, double offset = 0) {
  return is_missing(stored) ? CODES_MISSING_DOUBLE
                            : static_cast<double>(stored) / scale + offset;
}

// A failure of ecCodes while encoding a sounding.
struct EncodeError {
  std::string what;
};

class Handle {
 public:
  Handle() : h_(codes_bufr_handle_new_from_samples(nullptr, "BUFR4")) {
    if (h_ == nullptr) throw EncodeError{"ecCodes has no BUFR4 sample"};
  }
  ~Handle() { codes_handle_delete(h_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  void set(const char* key, long v) {
    check(codes_set_long(h_, key, v), key);
  }
  void set(const char* key, double v) {
    check(codes_set_double(h_, key, v), key);
  }
  void set(const char* key, const std::vector<double>& v) {
    check(codes_set_double_array(h_, key, v.data(), v.size()), key);
  }
  void set_longs(const char* key, const std::vector<long>& v) {
    check(codes_set_long_array(h_, key, v.data(), v.size()), key);
  }
  void set(const char* key, const std::string& v) {
    std::size_t n = v.size();
    check(codes_set_string(h_, key, v.c_str(), &n), key);
  }
  std::string message() {
    check(codes_set_long(h_, "pack", 1), "pack");
    const void* bytes = nullptr;
    std::size_t n = 0;
    check(codes_get_message(h_, &bytes, &n), "message");
    return std::string(static_cast<const char*>(bytes), n);
  }

 private:
  static void check(int error, const char* key) {
    if (error != CODES_SUCCESS)
      throw EncodeError{std::string(key) + ": " + codes_get_error_message(error)};
  }
  codes_handle* h_;
};

int days_in_month(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30,
                                    31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string encode(const Sounding& s, const STATREC& station,
                   const std::vector<const DATA_TYPE*>& levels) {
  const HEADER_TYPE& h = s.header;
  Handle m;
  // No originating centre (all bits set: missing) rather than the
  // sample's own.
  m.set("bufrHeaderCentre", 65535L);
  m.set("dataCategory", 2L);
  m.set("internationalDataSubCategory", 4L);
  m.set("typicalYear", static_cast<long>(h.year));
  m.set("typicalMonth", static_cast<long>(h.month));
  m.set("typicalDay", static_cast<long>(h.day));
  m.set("typicalHour", static_cast<long>(h.hour));
  m.set("typicalMinute", 0L);
  m.set("numberOfSubsets", 1L);
  m.set("observedData", 1L);
  m.set("compressedData", 0L);
  m.set_longs("inputExtendedDelayedDescriptorReplicationFactor",
              {static_cast<long>(levels.size())});
  m.set_longs("inputDelayedDescriptorReplicationFactor", {0});  // no shear
  m.set_longs("unexpandedDescriptors", {309052});

  if (station.wmo > 0 && station.wmo <= 99999) {
    m.set("blockNumber", station.wmo / 1000);
    m.set("stationNumber", station.wmo % 1000);
  } else {
    m.set("shipOrMobileLandStationIdentifier", std::string(station.init));
  }
  // The launch: the release time, on the day before when it is later in
  // the day than the nominal hour (an ascent of 23:05 for 00 UTC).
  if (!is_missing(h.reltime) && h.reltime >= 0 && h.reltime / 100 < 24 &&
      h.reltime % 100 < 60) {
    int y = h.year, mo = h.month, d = h.day;
    if (h.reltime / 100 > h.hour + 3 && --d < 1) {
      if (--mo < 1) {
        mo = 12;
        --y;
      }
      d = days_in_month(y, mo);
    }
    m.set("timeSignificance", 18L);
    m.set("year", static_cast<long>(y));
    m.set("month", static_cast<long>(mo));
    m.set("day", static_cast<long>(d));
    m.set("hour", h.reltime / 100);
    m.set("minute", h.reltime % 100);
  }
  m.set("latitude", static_cast<double>(station.lat));
  m.set("longitude", static_cast<double>(station.lon));
  m.set("heightOfStationGroundAboveMeanSeaLevel", static_cast<double>(station.elev));

  if (levels.empty()) return m.message();
  std::vector<double> sig, p, z, t, td, dir, ff;
  for (const DATA_TYPE* l : levels) {
    sig.push_back(significance(l->fr));
    p.push_back(real(l->pr, 0.1));
    z.push_back(real(l->ht, 1));
    t.push_back(real(l->tp, 10, 273.15));
    td.push_back(real(l->dp, 10, 273.15));
    dir.push_back(real(l->wd, 1));
    ff.push_back(real(l->ws, 10));
  }
  m.set("extendedVerticalSoundingSignificance", sig);
  m.set("pressure", p);
  m.set("nonCoordinateGeopotentialHeight", z);
  m.set("airTemperature", t);
  m.set("dewpointTemperature", td);
  m.set("windDirection", dir);
  m.set("windSpeed", ff);
  return m.message();
}

class BufrSoundingWriter final : public SoundingWriter {
 public:
  void write(OutputUnit& out, const Sounding& sounding, const STATREC& station,
             const WriteOptions& options) override {
    // In the order of the ascent: the archive stores the surface first and
    // the levels under the ground (of a higher pressure) right after it.
    std::vector<const DATA_TYPE*> levels;
    for (const DATA_TYPE& l : sounding.levels)
      if (level_selected(l.fr, options.levels)) levels.push_back(&l);
    if (!levels.empty() && levels[0]->fr == kLevelSurface &&
        !is_missing(levels[0]->pr)) {
      std::size_t below = 1;
      while (below < levels.size() && !is_missing(levels[below]->pr) &&
             levels[below]->pr > levels[0]->pr)
        ++below;
      std::rotate(levels.begin(), levels.begin() + 1, levels.begin() + below);
    }
    try {
      bytes_ += encode(sounding, station, levels);
    } catch (const EncodeError& e) {
      char when[48];
      std::snprintf(when, sizeof when, "%04d-%02d-%02d %02dh",
                    sounding.header.year, sounding.header.month,
                    sounding.header.day, sounding.header.hour);
      throw OutputFailure{EINVAL, out.path(),
                          "the sounding of station " +
                              std::to_string(station.wmo) + " at " + when +
                              " cannot be encoded in BUFR: " + e.what};
    }
  }

  // The messages make the file whole.
  void end(OutputUnit& out) override {
    if (bytes_.empty()) return;
    const std::string& path = out.file_path();
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) throw OutputFailure{errno, out.path()};
    std::size_t done = 0;
    int error = 0;
    while (done < bytes_.size()) {
      const ssize_t n = ::write(fd, bytes_.data() + done, bytes_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : EIO;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    bytes_.clear();
    if (error != 0) throw OutputFailure{error, out.path()};
  }

 private:
  std::string bytes_;
};

}  // namespace

std::unique_ptr<SoundingWriter> make_bufr_writer() {
  return std::make_unique<BufrSoundingWriter>();
}
