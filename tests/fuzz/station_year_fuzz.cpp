// Fuzz entry point: the input is the one station-year file of an archive,
// read through both retrievals (synoptic, then climatological) for the
// whole year. The first two bytes of the file head, which the reader does
// not use, choose the output format and the sounding hours.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_setup.h"
#include "rawinq/archive.h"
#include "rawinq/globals.h"
#include "rawinq/program_exit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  constexpr short kYear = 1995;
  constexpr long kWban = 23062;
  Data_Loc = dir + "/";
  const std::string path = database_path(2, kYear, kWban);
  std::filesystem::create_directories(
      std::filesystem::path(path).parent_path());
  fuzz_setup::write_bytes(path, data, size);

  const short oformat = static_cast<short>(size > 0 ? data[0] % 2 : 0);
  const short stim = static_cast<short>(size > 1 ? data[1] % 4 : 0);
  const short ltype = static_cast<short>(size > 1 ? data[1] / 4 % 3 : 0);
  fuzz_setup::select_one_station(kWban, 72469);
  Stn_Type = 0;
  Sort_Type = 0;
  Max_Lines = 0;
  std::string pname = dir + "/";
  fuzz_setup::text_sink();
  try {
    time_series("1995010100", "1995123123", stim, ltype, 1, oformat, 0, 0,
                pname);
  } catch (const ProgramExit&) {
  }
  fuzz_setup::text_sink();
  try {
    station_series("1995010100", "1995123123", stim, ltype, 0, oformat, 0,
                   0, pname);
  } catch (const ProgramExit&) {
  }
  return 0;
}
