// Fuzz entry point: a sounding of arbitrary levels drawn as a skew-T plot.
// The first byte chooses the kind of file and the station's hemisphere and
// elevation; every following 21 bytes are one level, seven numbers of three
// bytes each (type code, pressure, height, temperature, dew point, wind
// direction and speed, as the decoder gives them), little-endian and
// signed; the numbers 0x7ffffe and up stand for the missing value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_setup.h"
#include "rawinq/plot.h"

namespace {

long number(const std::uint8_t* p) {
  long v = p[0] | p[1] << 8 | p[2] << 16;
  if (v >= 0x800000) v -= 0x1000000;
  return v >= 0x7ffffe ? kMissingValue : v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  if (size < 1) return 0;
  const unsigned choice = data[0];
  static const PlotKind kKinds[] = {PlotKind::png, PlotKind::svg,
                                    PlotKind::pdf};
  const PlotKind kind = kKinds[choice % 3];
  STATREC station{};
  station.wmo = 72469;
  station.lat = choice / 3 % 2 ? -12.5f : 39.8f;
  station.elev = static_cast<short>(choice / 6 % 2 ? 1611 : 5);
  Sounding s;
  s.header.month = static_cast<short>(choice % 14);
  for (std::size_t at = 1; at + 21 <= size; at += 21) {
    const std::uint8_t* p = data + at;
    s.levels.push_back({number(p), number(p + 3), number(p + 6),
                        number(p + 9), number(p + 12), number(p + 15),
                        number(p + 18)});
  }
  s.header.levels = static_cast<long>(s.levels.size());
  render_skewt(s, station, kind, dir + "/plot");
  // The web page's drawing of the same sounding, every clip group closed.
  const std::string svg = skewt_svg_element(s, station);
  std::size_t open = 0, closed = 0;
  for (std::size_t at = svg.find("<g "); at != std::string::npos; at = svg.find("<g ", at + 1)) ++open;
  for (std::size_t at = svg.find("</g>"); at != std::string::npos; at = svg.find("</g>", at + 1)) ++closed;
  if (open != closed) __builtin_trap();
  return 0;
}
