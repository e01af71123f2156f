// Fuzz entry point: the input is the one station-year file of an archive,
// read through both retrievals (synoptic, then climatological) for the
// whole year. The first two bytes of the file head, which the reader does
// not use, choose the output format and the sounding hours.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "dialogue_fixture.h"
#include "fuzz_setup.h"
#include "rawinq/archive.h"
#include "rawinq/program_exit.h"
#include "rawinq/retrieval.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  constexpr short kYear = 1995;
  constexpr long kWban = 23062;
  dialogue_state().Data_Loc = dir + "/";
  const std::string path =
      database_path(dialogue_state().Data_Loc, 2, kYear, kWban, false);
  std::filesystem::create_directories(
      std::filesystem::path(path).parent_path());
  fuzz_setup::write_bytes(path, data, size);

  const OutputFormat* format =
      format_by_choice(static_cast<short>(size > 0 ? data[0] % 3 : 0));
  const short stim = static_cast<short>(size > 1 ? data[1] % 4 : 0);
  fuzz_setup::select_one_station(kWban, 72469);

  RetrievalRequest rq;
  rq.bdate = 1995010100;
  rq.edate = 1995123123;
  rq.hours = hours_of_choice(stim);
  rq.write.levels = static_cast<short>(size > 1 ? data[1] / 4 % 3 : 0);
  rq.selection.catalogue = dialogue_state().Stn_His;
  rq.selection.catalogue_size = 1;
  rq.selection.entries = {0};
  rq.selection.stations = {StationRow{72469, kWban}};
  rq.data_dir = dir + "/";
  Progress quiet;
  for (const Order order : {Order::synoptic, Order::station}) {
    rq.order = order;
    rq.split = Split::one;
    try {
      OutputSession out(fuzz_setup::file_session(format, dir + "/out"));
      retrieve(rq, out, quiet);
    } catch (const OutputFailure&) {
    }
  }
  return 0;
}
