// What every fuzz entry point needs once per process: the unpacking tables
// and missing codes the program builds at start-up, standard input and
// output on the null device (nothing waits for an answer, nothing floods
// the terminal), a scratch directory removed at exit, and a text output
// stream that swallows what the writers produce.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dialogue_fixture.h"
#include "rawinq/output_session.h"

namespace fuzz_setup {

inline void remove_scratch();

inline std::string& scratch_path() {
  static std::string path;
  return path;
}

inline void remove_scratch() {
  std::error_code ec;
  if (!scratch_path().empty()) std::filesystem::remove_all(scratch_path(), ec);
}

// Prepares the process once; returns the scratch directory (no trailing /).
inline const std::string& prepare() {
  static const bool done = [] {
    if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") +
                        "/rawinq-fuzz-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) std::abort();
    scratch_path() = templ;
    std::atexit(remove_scratch);
    return true;
  }();
  (void)done;
  return scratch_path();
}

// The null device, for the warnings and status lines of a run.
inline std::FILE* null_stream() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) std::abort();
  return sink;
}

// A session writing files of the format into dir (each file a fresh one of
// the same name, so that the scratch directory does not grow).
inline SessionConfig file_session(const OutputFormat* format,
                                  const std::string& dir) {
  SessionConfig config;
  config.format = format;
  config.to_files = true;
  config.dir = dir + "/";
  return config;
}

inline void write_bytes(const std::string& path, const std::uint8_t* data,
                        std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
}

// One selected catalogue entry for station wban (WMO number wmo), valid on
// every day, as the only station of the request.
inline void select_one_station(long wban, long wmo) {
  STATREC& e = dialogue_state().Stn_His[0];
  e = STATREC{};
  std::snprintf(e.init, sizeof e.init, "FZZ");
  e.wban = wban;
  e.wmo = wmo;
  e.lat = 40.0f;
  e.lon = -100.0f;
  e.Clat = 'N';
  e.Clon = 'W';
  e.elev = 500;
  e.bdate = 19000101;
  e.edate = 20991231;
  std::snprintf(e.name, sizeof e.name, "%-29s", "FUZZ STATION");
  std::snprintf(e.state, sizeof e.state, "CO");
  std::snprintf(e.country, sizeof e.country, "US");
  dialogue_state().Stn_Index[0] = 0;
  dialogue_state().Stn_His_Num = dialogue_state().Stn_Count =
      dialogue_state().Usr_Stn_Count = 1;
  dialogue_state().User_Stations[0][0] = wmo;
  dialogue_state().User_Stations[0][1] = wban;
}

}  // namespace fuzz_setup
