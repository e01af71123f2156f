// Fuzz entry point: the input is a file of BUFR messages (with headings
// or anything else between them), read by rawinq-pack's importer (ecCodes
// decodes each message) and packed sounding by sounding.
#include "import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  return import_fuzz::run(
      data, size, [](archive_writer::LineSource& in, import_fuzz::PackingSink& sink) {
        archive_writer::read_bufr(in, sink, {});
      });
}
