// Reading ZIR text back into soundings for the archive writer: the blocks
// that rawinq writes in the current layout (pressures in tenths of mb,
// missing values 99999), wind speeds in knots or in tenths of m/s.
#pragma once

#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "line_source.h"

namespace archive_writer {

// One sounding of the text and the station-year file it belongs to:
// `station` is the file's station number (the WBAN number, or WMO + 900000
// when the WBAN column holds 99999, as it does for international sites).
struct ZirSounding {
  long station = 0;
  Sounding sounding;
  int line = 0;  // line of its date line, for messages
};

struct ZirText {
  std::vector<ZirSounding> soundings;
  // Things that will not come back as they were, one message each
  // ("line N: ...").
  std::vector<std::string> warnings;
};

// A fault of the text: "line N: what"; a fault of an input like every
// importer's.
struct ZirError : InputError {
  using InputError::InputError;
};

// Reads every block of the text; throws ZirError at the first line that is
// not part of a well-formed block. `name` prefixes the line numbers of the
// messages when not empty ("name:12: ...").
ZirText read_zir(std::istream& in, const std::string& name = "");

// The same, block by block: each sounding and each warning is given to
// `sink` as it is read, so that memory does not grow with the text.
class ImportSink;
class LineSource;
void read_zir(LineSource& in, ImportSink& sink);

// The tenths of m/s whose speed in knots, as rawinq writes it
// (trunc(v x 0.1925 + 0.5)), is `knots`; -1 when there is none.
long knots_to_tenths(long knots);

}  // namespace archive_writer
