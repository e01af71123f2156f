// Fuzz entry point: one packed sounding record, decoded and written in the
// ZIR, FAA604 or NetCDF format. The first byte chooses the format, the
// levels, the wind units and the ZIR variant; the rest is the record, held
// in a buffer of exactly its size.
#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_setup.h"
#include "rawinq/archive.h"
#include "rawinq/globals.h"
#include "rawinq/output.h"
#include "rawinq/program_exit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  if (size < 1) return 0;
  const unsigned choice = data[0];
  const short oformat = static_cast<short>(choice % 3);
  const short ltype = static_cast<short>(choice / 3 % 3);
  const short wformat = static_cast<short>(choice / 9 % 2);
  Original_ZIR_Format = static_cast<short>(choice / 18 % 2);
  const std::vector<unsigned char> record(data + 1, data + size);

  fuzz_setup::select_one_station(23062, 72469);
  fuzz_setup::text_sink();
  Max_Lines = 0;
  Screen_Scroll = 0;
  try {
    if (oformat == 2) {
      cdfid = nccreate((dir + "/sounding.cdf").c_str(), NC_CLOBBER);
      io_sounding(record.data(), record.size(), ltype, wformat, oformat, 0,
                  0);
      close_outfile(2);
    } else {
      io_sounding(record.data(), record.size(), ltype, wformat, oformat, 0,
                  0);
    }
  } catch (const ProgramExit&) {
    close_outfile(2);
  }
  return 0;
}
