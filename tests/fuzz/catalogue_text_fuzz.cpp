// Fuzz entry point: the input is served as both catalogue files of the
// support directory (whose entries are then listed, selected by area and
// matched to sounding days), as one catalogue line to each line parser,
// and as a station list file (whose stations are then selected).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dialogue.h"
#include "dialogue_fixture.h"
#include "fuzz_setup.h"
#include "rawinq/archive.h"
#include "rawinq/program_exit.h"

namespace {

void use_selection() {
  for (int i = 0; i < dialogue_state().Usr_Stn_Count && i < kMaxStations; ++i) {
    for (long day : {19950101L, 19950701L, 19951231L})
      choose_station_entry(dialogue_state(),
                           dialogue_state().User_Stations[i][1], day);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  fuzz_setup::write_bytes(dir + "/stat2000.txt", data, size);
  fuzz_setup::write_bytes(dir + "/international_sites.txt", data, size);
  dialogue_state().Max_Lines = 1000000;
  try {
    load_catalogue(dialogue_state(), dir + "/");
    long line_count = 0;
    short header = 0;
    for (short i = 0; i < dialogue_state().Stn_His_Num && i < 50; ++i)
      write_station_entry(dialogue_state(), i, &line_count, &header);
    get_stations(dialogue_state(), -90.0f, 90.0f, -180.0f, 180.0f, 1, 19950101,
                 19951231);
    use_selection();
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
    dialogue_state().Stn_Type = static_cast<short>(size % 2);
    read_station_list(dialogue_state(), f);
    std::fclose(f);
    get_stations(dialogue_state(), 0.0f, 0.0f, 0.0f, 0.0f, 0, 19950101,
                 19951231);
    use_selection();
  }
  return 0;
}
