// Fuzz entry point: the input is an IGRA2 sounding file (WMO 72469 filed under WBAN 23062), read by rawinq-pack's importer and
// packed sounding by sounding.
#include "import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  return import_fuzz::run(
      data, size, [](archive_writer::LineSource& in, import_fuzz::PackingSink& sink) {
        archive_writer::read_igra2(in, sink, {{72469, 23062}});
      });
}
