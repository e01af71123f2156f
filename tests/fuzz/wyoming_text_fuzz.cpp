// Fuzz entry point: the input is a file of Wyoming text listings, read by rawinq-pack's importer and
// packed sounding by sounding.
#include "import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  return import_fuzz::run(
      data, size, [](archive_writer::LineSource& in, import_fuzz::PackingSink& sink) {
        archive_writer::read_wyoming(in, sink, {}, 72469);
      });
}
