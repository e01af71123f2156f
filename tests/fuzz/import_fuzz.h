// What the importers' fuzz entry points share: the input is read as one
// file of the format, and every sounding it gives is packed as rawinq-pack
// packs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "import.h"
#include "line_source.h"

namespace import_fuzz {

struct PackingSink : archive_writer::ImportSink {
  void sounding(archive_writer::Imported& s) override {
    try {
      const auto record = archive_writer::pack_record(s.sounding);
      for (const auto& l : s.sounding.levels)
        if (l.ht != archive_writer::kMissing)
          archive_writer::decoded_height(archive_writer::height_code(l.ht));
      (void)record;
    } catch (const std::out_of_range&) {
      // a value that cannot be stored: a fault the packer reports
    }
  }
  void skipped(const std::string&, const std::string&) override {}
  void warning(const std::string&) override {}
};

template <typename Read>
int run(const std::uint8_t* data, std::size_t size, Read read) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  archive_writer::LineSource in(text, "fuzz");
  PackingSink sink;
  try {
    read(in, sink);
  } catch (const archive_writer::InputError&) {
    // a fault of the input, named by file and line
  }
  return 0;
}

}  // namespace import_fuzz
