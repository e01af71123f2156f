// Fuzz entry point: one packed sounding record, decoded and written in the
// ZIR, FAA604 or NetCDF format. The first byte chooses the format, the
// levels, the wind units and the ZIR variant; the rest is the record, held
// in a buffer of exactly its size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dialogue_fixture.h"
#include "fuzz_setup.h"
#include "rawinq/decoder.h"
#include "rawinq/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  if (size < 1) return 0;
  const unsigned choice = data[0];
  const OutputFormat* format = format_by_choice(static_cast<short>(choice % 3));
  WriteOptions options;
  options.levels = static_cast<short>(choice / 3 % 3);
  options.knots = choice / 9 % 2 == 0;
  options.above_100mb = choice / 18 % 2 == 0;
  const std::vector<unsigned char> record(data + 1, data + size);

  fuzz_setup::select_one_station(23062, 72469);
  DecodeOptions decode_options;
  decode_options.cut_at_100mb = format->cut_at_100mb;
  Sounding sounding;
  if (decode_sounding(record.data(), record.size(), decode_options,
                      sounding) != SoundingCheck::decoded)
    return 0;
  try {
    OutputSession out(fuzz_setup::file_session(format, dir));
    out.open_unit(1995010100, 1995010100, &dialogue_state().Stn_His[0], true);
    out.write(sounding, dialogue_state().Stn_His[0], options);
    out.close_unit();
  } catch (const OutputFailure&) {
  }
  return 0;
}
