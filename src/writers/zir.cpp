// The ZIR text format: four header lines and one line per selected level.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <unordered_map>

#include "rawinq/formats.h"

namespace {

// Month names of the date line, index 1 to 12; index 0 stands for a month
// outside that range.
constexpr const char* kMonthNames[13] = {" ???", " JAN", " FEB", " MAR",
                                         " APR", " MAY", " JUN", " JUL",
                                         " AUG", " SEP", " OCT", " NOV",
                                         " DEC"};

// Code printed for a missing value in the original layout.
constexpr long kOriginalMissing = 32767;

__attribute__((format(printf, 1, 2))) std::string line(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, n);
  // Longer than any ZIR line can be; format again into a buffer that fits.
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  return std::string(big.data(), n);
}

long missing_to_original(long v) {
  return v == kMissingValue ? kOriginalMissing : v;
}

// Original layout: whole mb, cut where the pressure falls below 100 mb,
// missing values as 32767.
void to_original_layout(HEADER_TYPE& hdr, std::vector<DATA_TYPE>& levels) {
  for (size_t i = 0; i < levels.size(); ++i) {
    DATA_TYPE& d = levels[i];
    d.pr = d.pr == kMissingValue ? kOriginalMissing : (d.pr + 5) / 10;
    if (d.pr <= 99) {
      levels.resize(i);
      break;
    }
    for (long* v : {&d.ht, &d.tp, &d.dp, &d.wd, &d.ws})
      *v = missing_to_original(*v);
  }
  for (long* p : {&hdr.top_hyd, &hdr.troplv, &hdr.maxwind})
    *p = *p == kMissingValue ? kOriginalMissing : *p / 10;
  if (hdr.top_hyd <= 99) hdr.top_hyd = 100;
  if (hdr.maxwind <= 99) hdr.maxwind = 100;
  for (long* v : {&hdr.tropind, &hdr.source, &hdr.reltime, &hdr.sondtype})
    *v = missing_to_original(*v);
}

bool selected(long fr, short ltype) {
  switch (fr) {
    case kLevelSurface:
    case kLevelMandatory:
      return true;
    case kLevelSigTemperature:
      return ltype != 1;
    case kLevelSigWind:
    case kLevelTropopause:
    case kLevelMaxWind:
      return ltype == 0;
    default:
      return false;
  }
}


// Writes v right-aligned in a field of `width` characters (wider when the
// number needs it), as "%*ld" does, at out; returns the end of what was
// written. out must have room for max(width, 8) + 20 characters.
inline char* put_number(char* out, long v, int width) {
  // Most values fit their field: the digits go straight into place.
  if (width >= 6 && width <= 8 && v > -100000 && v < 1000000) {
    static const char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233"
        "34353637383940414243444546474849505152535455565758596061626364656667"
        "6869707172737475767778798081828384858687888990919293949596979899";
    std::memcpy(out, "        ", 8);
    char* p = out + width;
    auto u = static_cast<std::uint32_t>(v < 0 ? -v : v);
    while (u >= 10) {  // two digits at a time
      const std::uint32_t pair = u % 100;
      u /= 100;
      p -= 2;
      std::memcpy(p, kPairs + 2 * pair, 2);
    }
    // The leading digit left over, or the only digit of 0.
    if (u != 0 || p == out + width) *--p = static_cast<char>('0' + u);
    if (v < 0) *--p = '-';
    return out + width;
  }
  char digits[24];
  char* d = digits + sizeof digits;
  unsigned long u = v < 0 ? 0ul - static_cast<unsigned long>(v)
                          : static_cast<unsigned long>(v);
  do {
    *--d = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *--d = '-';
  const int n = static_cast<int>(digits + sizeof digits - d);
  for (int k = n; k < width; ++k) *out++ = ' ';
  for (int k = 0; k < n; ++k) *out++ = d[k];
  return out;
}

// Writes text right-aligned in a field of `width` characters, as "%*s"
// does (text of at most 27 characters here).
char* put_text(char* out, const char* text, int width) {
  const int n = static_cast<int>(std::strlen(text));
  for (int k = n; k < width; ++k) *out++ = ' ';
  std::memcpy(out, text, static_cast<std::size_t>(n));
  return out + n;
}

// The text of one sounding, reused from sounding to sounding.
struct Block {
  std::string text;
  int lines = 0;
  void add(const std::string& line) {
    text += line;
    text += '\n';
    ++lines;
  }
  // Ends the line held in buf[0 .. end) and adds it.
  void add(char* buf, char* end) {
    *end++ = '\n';
    text.append(buf, static_cast<std::size_t>(end - buf));
    ++lines;
  }
};

// The station part of the second header line ("%7d %6ld %6ld %6.2f%c%5.2f%c
// %5d " or with "% 6.2f" for the longitude), kept for each catalogue entry
// and made again when the entry has changed.
class StationParts {
 public:
  const std::string& of(const STATREC& stn) {
    Kept& k = kept_[&stn];
    if (k.made && std::memcmp(&k.entry, &stn, sizeof stn) == 0) return k.text;
    const long wban = stn.wban > 900000 ? kMissingValue : stn.wban;
    const double plat = stn.Clat == 'S' ? -stn.lat : stn.lat;
    const double plon = stn.Clon == 'W' ? -stn.lon : stn.lon;
    if (plon >= 100.0)
      k.text = line("%7d %6ld %6ld %6.2f%c%5.2f%c %5d ", 1, wban, stn.wmo,
                    plat, stn.Clat, plon, stn.Clon, stn.elev);
    else
      k.text = line("%7d %6ld %6ld %6.2f%c% 6.2f%c %5d ", 1, wban, stn.wmo,
                    plat, stn.Clat, plon, stn.Clon, stn.elev);
    std::memcpy(&k.entry, &stn, sizeof stn);
    k.made = true;
    return k.text;
  }

 private:
  struct Kept {
    bool made = false;
    STATREC entry;
    std::string text;
  };
  std::unordered_map<const STATREC*, Kept> kept_;
};

class ZirWriter final : public SoundingWriter {
 public:
  void write(OutputUnit& out, const Sounding& sounding, const STATREC& stn,
             const WriteOptions& options) override;

 private:
  StationParts parts_;
  std::vector<DATA_TYPE> levels_;  // the original layout's copy
  Block block_;
};

void ZirWriter::write(OutputUnit& out, const Sounding& sounding,
                      const STATREC& stn, const WriteOptions& options) {
  // The sounding stays as the decoder left it: the original layout works
  // on copies, and the knots are worked out as the lines are made.
  HEADER_TYPE hdr = sounding.header;
  const DATA_TYPE* first = sounding.levels.data();
  const DATA_TYPE* last = first + sounding.levels.size();
  if (!options.above_100mb) {
    levels_.assign(first, last);
    to_original_layout(hdr, levels_);
    first = levels_.data();
    last = first + levels_.size();
  }
  const short ltype = options.levels;

  const bool knots = options.knots;
  const char* wsunits = knots ? "kt" : "ms";
  auto speed = [knots](long ws) {
    if (!knots || ws == kMissingValue || ws == kOriginalMissing) return ws;
    return static_cast<long>(static_cast<double>(ws) * 0.1925 + 0.5);
  };

  long nlevels = 0;
  for (const DATA_TYPE* d = first; d != last; ++d)
    if (selected(d->fr, ltype)) ++nlevels;
  if (nlevels == 0) return;

  const std::string init(stn.init, strnlen(stn.init, sizeof stn.init));

  Block& block = block_;
  block.text.clear();
  block.lines = 0;
  const char* chmon = (hdr.month >= 1 && hdr.month <= 12)
                          ? kMonthNames[hdr.month]
                          : kMonthNames[0];
  char buf[256];
  // "%7d %6d %6d %8s %7d"
  char* end = put_number(buf, 254, 7);
  *end++ = ' ';
  end = put_number(end, hdr.hour, 6);
  *end++ = ' ';
  end = put_number(end, hdr.day, 6);
  *end++ = ' ';
  end = put_text(end, chmon, 8);
  *end++ = ' ';
  end = put_number(end, hdr.year, 7);
  block.add(buf, end);

  // The station part, then "%6ld" of the release time.
  const std::string& part = parts_.of(stn);
  block.text += part;
  end = put_number(buf, hdr.reltime, 6);
  block.add(buf, end);

  // "%7d %6ld %6ld %6ld %6ld %6ld %6ld"
  end = put_number(buf, 2, 7);
  for (long v : {hdr.top_hyd, hdr.maxwind, hdr.troplv, nlevels + 4,
                 hdr.tropind, hdr.source}) {
    *end++ = ' ';
    end = put_number(end, v, 6);
  }
  block.add(buf, end);

  // "%7d %13s %20ld %6s", or "%7d %13s %27s" up to 1990.
  end = put_number(buf, 3, 7);
  *end++ = ' ';
  end = put_text(end, init.c_str(), 13);
  *end++ = ' ';
  if (hdr.year > 1990) {
    end = put_number(end, hdr.sondtype, 20);
    *end++ = ' ';
    end = put_text(end, wsunits, 6);
  } else {
    end = put_text(end, wsunits, 27);
  }
  block.add(buf, end);

  // "%7ld %6ld %6ld %6ld %6ld %6ld %6ld" for each selected level.
  for (const DATA_TYPE* d = first; d != last; ++d) {
    if (!selected(d->fr, ltype)) continue;
    end = put_number(buf, d->fr, 7);
    for (long v : {d->pr, d->ht, d->tp, d->dp, d->wd, speed(d->ws)}) {
      *end++ = ' ';
      end = put_number(end, v, 6);
    }
    block.add(buf, end);
  }
  out.put_lines(block.text, block.lines);
}

}  // namespace

std::unique_ptr<SoundingWriter> make_zir_writer() {
  return std::make_unique<ZirWriter>();
}
