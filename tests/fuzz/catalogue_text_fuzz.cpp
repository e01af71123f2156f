// Fuzz entry point: the input is served as both catalogue files of the
// support directory, as one catalogue line to each line parser, and as a
// station list file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_setup.h"
#include "rawinq/dialogue.h"
#include "rawinq/globals.h"
#include "rawinq/program_exit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  fuzz_setup::write_bytes(dir + "/stat2000.txt", data, size);
  fuzz_setup::write_bytes(dir + "/international_sites.txt", data, size);
  try {
    load_catalogue(dir + "/");
  } catch (const ProgramExit&) {
  }

  const std::string line(reinterpret_cast<const char*>(data), size);
  STATREC e{};
  parse_stat2000_line(line.c_str(), e);
  e = STATREC{};
  parse_international_line(line.c_str(), e);

  const std::string list = dir + "/stations.txt";
  fuzz_setup::write_bytes(list, data, size);
  if (std::FILE* f = std::fopen(list.c_str(), "r")) {
    Stn_Type = static_cast<short>(size % 2);
    read_station_list(f);
    std::fclose(f);
  }
  return 0;
}
