// Decoding of a packed sounding record into a Sounding value.
#include "rawinq/decoder.h"

#include <cstddef>
#include <vector>

#include "rawinq/bit_reader.h"

namespace {

// The 22 mandatory pressures, tenths of mb (350 mb among them).
constexpr long mandlv[22] = {10000, 9250, 8500, 7000, 5000, 4000, 3500, 3000,
                             2500,  2000, 1500, 1000, 700,  500,  300,  200,
                             100,   70,   50,   30,   20,   10};

// Stored type flag -> level type.
struct LevelKind {
  unsigned long flag;
  long fr;
};
constexpr LevelKind kLevelKinds[6] = {
    {1, kLevelSurface},  {2, kLevelMandatory},       {4, kLevelTropopause},
    {8, kLevelMaxWind},  {16, kLevelSigTemperature}, {32, kLevelSigWind}};

// Stored radiosonde types 1..8.
constexpr long kSondeTypes[8] = {45, 46, 49, 51, 37, 52, 61, 63};

constexpr int kHeaderBits = 64;
constexpr int kLevelBits = 83;

long level_type(unsigned long flag) {
  for (const LevelKind& k : kLevelKinds)
    if (k.flag == flag) return k.fr;
  return 0;  // no known type: no writer takes such a level
}

bool is_mandatory_pressure(long pr) {
  for (long p : mandlv)
    if (p == pr) return true;
  return false;
}

int missing_fields(const DATA_TYPE& d) {
  const long f[7] = {d.fr, d.pr, d.ht, d.tp, d.dp, d.wd, d.ws};
  int n = 0;
  for (long v : f) n += v == kMissingValue ? 1 : 0;
  return n;
}

// A 1-based level pointer as the pressure of that level; 99999 when it is
// missing or names no level of the sounding.
long resolve_pointer(long pointer, const std::vector<DATA_TYPE>& levels) {
  if (pointer == kMissingValue || pointer < 1 ||
      pointer > static_cast<long>(levels.size()))
    return kMissingValue;
  return levels[static_cast<std::size_t>(pointer - 1)].pr;
}

void remove_level(std::vector<DATA_TYPE>& levels, long i) {
  levels.erase(levels.begin() + i);
}

// One forward pass over the levels: of two adjacent mandatory levels at the
// same pressure the one with more missing fields goes (the second on a tie),
// and every surface level after the first goes. A level that moves into the
// place just examined is not compared again.
void remove_duplicates(std::vector<DATA_TYPE>& levels) {
  bool surface_seen = false;
  for (long i = 0; i < static_cast<long>(levels.size()) - 1; ++i) {
    const DATA_TYPE& a = levels[static_cast<std::size_t>(i)];
    const DATA_TYPE& b = levels[static_cast<std::size_t>(i + 1)];
    const bool later_surface = a.fr == kLevelSurface && surface_seen;
    if ((a.fr == kLevelMandatory && b.fr == kLevelMandatory && a.pr == b.pr) ||
        later_surface) {
      if (missing_fields(a) > missing_fields(b) || later_surface)
        remove_level(levels, i);
      else
        remove_level(levels, i + 1);
    }
    if (levels[static_cast<std::size_t>(i)].fr == kLevelSurface &&
        !surface_seen)
      surface_seen = true;
  }
}

// The coded format ends at the 100 mb surface: keep the levels up to the
// last one at 100 mb or below (a missing pressure counts as below); none at
// all when there is no such level. Every level is examined, the last one
// too, so that a sounding ending at or below 100 mb keeps its top level.
void faa604_cut(std::vector<DATA_TYPE>& levels) {
  std::size_t keep = 0;
  for (std::size_t i = 0; i < levels.size(); ++i)
    if (levels[i].pr > 999) keep = i + 1;
  levels.resize(keep);
}

}  // namespace

long decoded_height_metres(long code) {
  // (code - 400) / 0.98 + 0.5, cut toward zero, is (100 code - 40000 + 49)
  // / 98 in whole numbers: the exact quotient is never within 1/98 of a
  // whole number, far more than the rounding of the division in double
  // precision, so both cut to the same value.
  return (100 * code - 40000 + 49) / 98;
}

SoundingCheck decode_sounding(const unsigned char* bytes, unsigned long len,
                              const DecodeOptions& options, Sounding& out) {
  HEADER_TYPE& hdr = out.header;
  hdr = HEADER_TYPE{};
  out.levels.clear();
  if (bytes == nullptr) return SoundingCheck::past_bytes_read;
  BitReader in(bytes, len);

  // Fixed prefix: record length, option byte, date.
  in.skip_bytes(4);
  const unsigned long reclen = in.raw(24);
  in.skip_bytes(8);
  const unsigned long option = in.raw(8);
  in.skip_bytes(4);
  hdr.year = static_cast<short>(in.raw(8) + 1900);
  hdr.month = static_cast<short>(in.raw(8));
  hdr.day = static_cast<short>(in.raw(8));
  hdr.hour = static_cast<short>(in.raw(8));
  if (option == 1) {
    in.skip_bytes(6);
    const unsigned long nstat = in.raw(16);
    in.skip_bytes(nstat * 5 + (nstat % 2 == 1 ? 1 : 0));
  }
  in.skip_bytes(11);
  const long levels = static_cast<long>(in.raw(16));
  in.skip_bytes(7);
  if (in.overrun()) return SoundingCheck::past_bytes_read;

  // The level blocks must lie within the record and within the bytes held.
  const unsigned long end =
      in.byte_position() +
      (static_cast<unsigned long>(kHeaderBits) +
       static_cast<unsigned long>(levels) * kLevelBits + 7) / 8;
  if (end > reclen) return SoundingCheck::past_record_length;
  if (end > len) return SoundingCheck::past_bytes_read;
  if (hdr.month < 1 || hdr.month > 12 || hdr.day < 1 || hdr.day > 31 ||
      hdr.hour > 23)
    return SoundingCheck::bad_date;

  // Header bit block.
  hdr.reltime = in.value(12, kMissingValue);
  hdr.sondtype = in.value(4, kMissingValue);
  if (hdr.sondtype >= 1 && hdr.sondtype <= 8)
    hdr.sondtype = kSondeTypes[hdr.sondtype - 1];
  hdr.source = in.value(3, kMissingValue);
  hdr.top_hyd = in.value(8, kMissingValue);
  hdr.troplv = in.value(8, kMissingValue);
  hdr.tropind = in.value(4, kMissingValue);
  hdr.maxwind = in.value(8, kMissingValue);
  hdr.wban = static_cast<long>(in.raw(17));

  // Level bit blocks: they lie within the bytes held (checked above).
  out.levels.resize(static_cast<std::size_t>(levels));
  for (DATA_TYPE& d : out.levels) {
    d.pr = in.value(14, kMissingValue);
    d.fr = level_type(in.raw(7));
    if (d.fr == kLevelMandatory && !is_mandatory_pressure(d.pr))
      d.fr = kLevelSigTemperature;
    const long ht = in.value(17, kMissingValue);
    d.ht = ht == kMissingValue ? kMissingValue : decoded_height_metres(ht);
    d.tp = in.value(12, kMissingValue);
    if (d.tp != kMissingValue) d.tp -= 2731;
    d.dp = in.value(12, kMissingValue);
    if (d.dp != kMissingValue) d.dp -= 2731;
    d.wd = in.value(9, kMissingValue);
    d.ws = in.value(12, kMissingValue);
  }

  // Level pointers name levels as stored, before any is removed.
  hdr.maxwind = resolve_pointer(hdr.maxwind, out.levels);
  hdr.troplv = resolve_pointer(hdr.troplv, out.levels);
  hdr.top_hyd = resolve_pointer(hdr.top_hyd, out.levels);

  remove_duplicates(out.levels);
  if (options.cut_at_100mb) faa604_cut(out.levels);
  hdr.levels = static_cast<long>(out.levels.size());
  if (hdr.levels <= 4) return SoundingCheck::few_levels;
  return SoundingCheck::decoded;
}
