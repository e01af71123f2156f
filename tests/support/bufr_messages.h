// BUFR messages of known soundings, encoded by ecCodes for the tests and
// the benchmark: template 3 09 052 (edition 4) or the TEMP sequence
// 3 09 007 (levels of 3 03 014, geopotential in m2 s-2).
#pragma once

#include <eccodes.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace bufr_messages {

inline const double kNone = std::nan("");  // a value not given

struct Level {
  double significance;  // 0 08 042 (18 bits) or 0 08 001 (7 bits)
  double pressure_pa;
  double height_gpm;
  double t_k;
  double td_k;
  double dir_deg;
  double speed_ms;
};

struct Message {
  bool temp_sequence = false;  // 3 09 007 rather than 3 09 052
  double block = 72, station = 469;
  std::string identifier;  // 0 01 011 (3 09 052 only)
  // Section 1 (the nominal time) and the data's (launch) time.
  long nominal[4] = {1996, 1, 2, 0};
  double launch[5] = {1996, 1, 1, 23, 5};
  long category = 2;
  std::vector<Level> levels;
};

// The 18-bit flag with bit n (1-based, from the left) set.
inline double flag18(int bit) { return static_cast<double>(1L << (18 - bit)); }
inline double flag7(int bit) { return static_cast<double>(1L << (7 - bit)); }

inline void check(int error, const char* what) {
  if (error != CODES_SUCCESS)
    throw std::runtime_error(std::string("ecCodes: ") + what + ": " +
                             codes_get_error_message(error));
}

inline void set_values(codes_handle* h, const char* key,
                       const std::vector<double>& v) {
  std::vector<double> coded(v);
  for (double& x : coded)
    if (std::isnan(x)) x = CODES_MISSING_DOUBLE;
  check(codes_set_double_array(h, key, coded.data(), coded.size()), key);
}

inline void set_value(codes_handle* h, const char* key, double v) {
  check(codes_set_double(h, key, std::isnan(v) ? CODES_MISSING_DOUBLE : v),
        key);
}

// The encoded message.
inline std::string encode(const Message& m) {
  codes_handle* h = codes_bufr_handle_new_from_samples(nullptr, "BUFR4");
  if (h == nullptr) throw std::runtime_error("ecCodes: no BUFR4 sample");
  struct Owner {
    codes_handle* h;
    ~Owner() { codes_handle_delete(h); }
  } owner{h};
  check(codes_set_long(h, "dataCategory", m.category), "dataCategory");
  check(codes_set_long(h, "internationalDataSubCategory", 4), "subcategory");
  const char* time_keys[4] = {"typicalYear", "typicalMonth", "typicalDay",
                              "typicalHour"};
  for (int k = 0; k < 4; ++k)
    check(codes_set_long(h, time_keys[k], m.nominal[k]), time_keys[k]);
  check(codes_set_long(h, "numberOfSubsets", 1), "numberOfSubsets");
  check(codes_set_long(h, "observedData", 1), "observedData");
  check(codes_set_long(h, "compressedData", 0), "compressedData");
  const long n = static_cast<long>(m.levels.size());
  if (m.temp_sequence) {
    check(codes_set_long_array(h, "inputDelayedDescriptorReplicationFactor",
                               &n, 1),
          "replication");
    const long descriptors[] = {309007};
    check(codes_set_long_array(h, "unexpandedDescriptors", descriptors, 1),
          "unexpandedDescriptors");
  } else {
    const long shear = 0;
    check(codes_set_long_array(
              h, "inputExtendedDelayedDescriptorReplicationFactor", &n, 1),
          "replication");
    check(codes_set_long_array(h, "inputDelayedDescriptorReplicationFactor",
                               &shear, 1),
          "replication");
    const long descriptors[] = {309052};
    check(codes_set_long_array(h, "unexpandedDescriptors", descriptors, 1),
          "unexpandedDescriptors");
  }
  set_value(h, "blockNumber", m.block);
  set_value(h, "stationNumber", m.station);
  if (!m.identifier.empty()) {
    std::size_t size = m.identifier.size();
    check(codes_set_string(h, "shipOrMobileLandStationIdentifier",
                           m.identifier.c_str(), &size),
          "identifier");
  }
  const char* launch_keys[5] = {"year", "month", "day", "hour", "minute"};
  for (int k = 0; k < 5; ++k) set_value(h, launch_keys[k], m.launch[k]);
  std::vector<double> sig, p, z, t, td, dir, ff;
  for (const Level& l : m.levels) {
    sig.push_back(l.significance);
    p.push_back(l.pressure_pa);
    z.push_back(m.temp_sequence && !std::isnan(l.height_gpm)
                    ? l.height_gpm * 9.80665
                    : l.height_gpm);
    t.push_back(l.t_k);
    td.push_back(l.td_k);
    dir.push_back(l.dir_deg);
    ff.push_back(l.speed_ms);
  }
  if (n > 0) {
    set_values(h,
               m.temp_sequence ? "verticalSoundingSignificance"
                               : "extendedVerticalSoundingSignificance",
               sig);
    set_values(h, "pressure", p);
    set_values(h,
               m.temp_sequence ? "nonCoordinateGeopotential"
                               : "nonCoordinateGeopotentialHeight",
               z);
    set_values(h, "airTemperature", t);
    set_values(h, "dewpointTemperature", td);
    set_values(h, "windDirection", dir);
    set_values(h, "windSpeed", ff);
  }
  check(codes_set_long(h, "pack", 1), "pack");
  const void* bytes = nullptr;
  std::size_t size = 0;
  check(codes_get_message(h, &bytes, &size), "message");
  return std::string(static_cast<const char*>(bytes), size);
}

}  // namespace bufr_messages
