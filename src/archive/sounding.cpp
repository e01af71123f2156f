// Decoding of a packed sounding record into Snd_Hdr and Snd_Data, and its
// hand-off to the writer of the chosen output format.
#include <cstddef>
#include <cstdint>

#include "rawinq/archive.h"
#include "rawinq/cdf.h"
#include "rawinq/globals.h"
#include "rawinq/output.h"
#include "rawinq/upack.h"

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

// The bit reader over the record: position and missing-code handling.
class FieldReader {
 public:
  unsigned long raw(short width) {
    unsigned long v = 0;
    bit_ = UnpackData(&v, 1, width, bit_);
    return v;
  }
  // The field, or 99999 when it holds its all-ones missing code.
  long value(short width) {
    const unsigned long v = raw(width);
    return v == Missing[width] ? kMissingValue : static_cast<long>(v);
  }
  void skip(unsigned long bytes) { skip_unpack_bytes(bytes); }

 private:
  short bit_ = 7;
};

// Reads fields of up to 25 bits, most significant bit first, from a bit
// position onwards: the same values as UnpackData, without its per-byte
// steps. Bytes at or beyond the end read as zero bits.
class LevelBits {
 public:
  LevelBits(const unsigned char* begin, const unsigned char* end)
      : begin_(begin), end_(end) {}
  unsigned long raw(int width) {
    const unsigned char* p = begin_ + (pos_ >> 3);
    const unsigned shift = static_cast<unsigned>(pos_ & 7);
    std::uint32_t v;
    if (end_ - p >= 4) {
      v = static_cast<std::uint32_t>(p[0]) << 24 |
          static_cast<std::uint32_t>(p[1]) << 16 |
          static_cast<std::uint32_t>(p[2]) << 8 | p[3];
    } else {
      v = 0;
      for (int k = 0; k < 4; ++k) {
        v <<= 8;
        if (p + k < end_) v |= p[k];
      }
    }
    pos_ += static_cast<unsigned long>(width);
    return (v << shift) >> (32 - width);
  }
  // The field, or 99999 when it holds its all-ones missing code.
  long value(int width) {
    const unsigned long v = raw(width);
    return v == (1ul << width) - 1 ? kMissingValue : static_cast<long>(v);
  }

 private:
  const unsigned char* begin_;
  const unsigned char* end_;
  unsigned long pos_ = 0;  // bits from begin_
};

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
long resolve_pointer(long pointer, long levels) {
  if (pointer == kMissingValue || pointer < 1 || pointer > levels)
    return kMissingValue;
  return Snd_Data[static_cast<std::size_t>(pointer - 1)].pr;
}

void remove_level(long i, long& levels) {
  for (long k = i; k < levels - 1; ++k)
    Snd_Data[static_cast<std::size_t>(k)] =
        Snd_Data[static_cast<std::size_t>(k + 1)];
  --levels;
}

// One forward pass over the levels: of two adjacent mandatory levels at the
// same pressure the one with more missing fields goes (the second on a tie),
// and every surface level after the first goes. A level that moves into the
// place just examined is not compared again.
void remove_duplicates(long& levels) {
  bool surface_seen = false;
  for (long i = 0; i < levels - 1; ++i) {
    const DATA_TYPE& a = Snd_Data[static_cast<std::size_t>(i)];
    const DATA_TYPE& b = Snd_Data[static_cast<std::size_t>(i + 1)];
    const bool later_surface = a.fr == kLevelSurface && surface_seen;
    if ((a.fr == kLevelMandatory && b.fr == kLevelMandatory && a.pr == b.pr) ||
        later_surface) {
      if (missing_fields(a) > missing_fields(b) || later_surface)
        remove_level(i, levels);
      else
        remove_level(i + 1, levels);
    }
    if (Snd_Data[static_cast<std::size_t>(i)].fr == kLevelSurface &&
        !surface_seen)
      surface_seen = true;
  }
}

// The coded format ends at the 100 mb surface: keep the levels up to the
// last one (of all but the last level) at 100 mb or below; none at all when
// there is no such level.
void faa604_cut(long& levels) {
  long keep = 0;
  for (long i = 0; i < levels - 1; ++i)
    if (Snd_Data[static_cast<std::size_t>(i)].pr > 999) keep = i + 1;
  levels = keep;
}

}  // namespace

SoundingCheck Sounding_Check = SoundingCheck::decoded;

long decoded_height_metres(long code) {
  // (code - 400) / 0.98 + 0.5, cut toward zero, is (100 code - 40000 + 49)
  // / 98 in whole numbers: the exact quotient is never within 1/98 of a
  // whole number, far more than the rounding of the division in double
  // precision, so both cut to the same value.
  return (100 * code - 40000 + 49) / 98;
}

short io_sounding(const unsigned char* Ibuff, unsigned long len, short ltype,
                  short wformat, short oformat, short ind, long nsound) {
  Sounding_Check = SoundingCheck::past_bytes_read;
  if (Ibuff == nullptr) return 0;
  set_unpack_buffer(Ibuff, len);
  FieldReader in;

  // Fixed prefix: record length, option byte, date.
  in.skip(4);
  const unsigned long reclen = in.raw(24);
  in.skip(8);
  const unsigned long option = in.raw(8);
  in.skip(4);
  Snd_Hdr.year = static_cast<short>(in.raw(8) + 1900);
  Snd_Hdr.month = static_cast<short>(in.raw(8));
  Snd_Hdr.day = static_cast<short>(in.raw(8));
  Snd_Hdr.hour = static_cast<short>(in.raw(8));
  if (option == 1) {
    in.skip(6);
    const unsigned long nstat = in.raw(16);
    in.skip(nstat * 5 + (nstat % 2 == 1 ? 1 : 0));
  }
  in.skip(11);
  const long levels = static_cast<long>(in.raw(16));
  in.skip(7);
  if (Unpack_Overrun) return 0;

  // The level blocks must lie within the record and within the bytes held.
  const auto header_at = static_cast<unsigned long>(Ibuff_Ptr - Ibuff);
  const unsigned long end =
      header_at +
      (static_cast<unsigned long>(kHeaderBits) +
       static_cast<unsigned long>(levels) * kLevelBits + 7) / 8;
  if (end > reclen) {
    Sounding_Check = SoundingCheck::past_record_length;
    return 0;
  }
  if (end > len) return 0;
  if (Snd_Hdr.month < 1 || Snd_Hdr.month > 12 || Snd_Hdr.day < 1 ||
      Snd_Hdr.day > 31 || Snd_Hdr.hour > 23) {
    Sounding_Check = SoundingCheck::bad_date;
    return 0;
  }

  // Header bit block.
  Snd_Hdr.reltime = in.value(12);
  Snd_Hdr.sondtype = in.value(4);
  if (Snd_Hdr.sondtype >= 1 && Snd_Hdr.sondtype <= 8)
    Snd_Hdr.sondtype = kSondeTypes[Snd_Hdr.sondtype - 1];
  Snd_Hdr.source = in.value(3);
  Snd_Hdr.top_hyd = in.value(8);
  Snd_Hdr.troplv = in.value(8);
  Snd_Hdr.tropind = in.value(4);
  Snd_Hdr.maxwind = in.value(8);
  Snd_Hdr.wban = static_cast<long>(in.raw(17));

  // Level bit blocks: they lie within the bytes held (checked above), so
  // their fields are taken straight from the buffer.
  if (Snd_Data.size() < static_cast<std::size_t>(levels))
    Snd_Data.resize(static_cast<std::size_t>(levels));
  LevelBits bits(Ibuff_Ptr, Ibuff + len);
  for (long i = 0; i < levels; ++i) {
    DATA_TYPE& d = Snd_Data[static_cast<std::size_t>(i)];
    d.pr = bits.value(14);
    d.fr = level_type(bits.raw(7));
    if (d.fr == kLevelMandatory && !is_mandatory_pressure(d.pr))
      d.fr = kLevelSigTemperature;
    const long ht = bits.value(17);
    d.ht = ht == kMissingValue ? kMissingValue : decoded_height_metres(ht);
    d.tp = bits.value(12);
    if (d.tp != kMissingValue) d.tp -= 2731;
    d.dp = bits.value(12);
    if (d.dp != kMissingValue) d.dp -= 2731;
    d.wd = bits.value(9);
    d.ws = bits.value(12);
  }

  // Level pointers name levels as stored, before any is removed.
  Snd_Hdr.maxwind = resolve_pointer(Snd_Hdr.maxwind, levels);
  Snd_Hdr.troplv = resolve_pointer(Snd_Hdr.troplv, levels);
  Snd_Hdr.top_hyd = resolve_pointer(Snd_Hdr.top_hyd, levels);

  long kept = levels;
  remove_duplicates(kept);
  if (oformat == 1) faa604_cut(kept);
  Snd_Hdr.levels = kept;
  Sounding_Check = SoundingCheck::few_levels;
  if (kept <= 4) return 0;

  Sounding_Check = SoundingCheck::written;
  switch (oformat) {
    case 0:
    case 4:
      ksc_format(wformat, ltype, ind);
      return 1;
    case 1:
      faa_format(ltype, ind);
      return 1;
    case 2:
      netcdf_format(ind, nsound);
      return 1;
    case 3:
      ksc_format(wformat, ltype, ind);
      plot_skewt_data();
      return 1;
    default:
      Sounding_Check = SoundingCheck::decoded;
      return 0;
  }
}
