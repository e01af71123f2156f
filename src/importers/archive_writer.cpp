// Packing of sounding records and station-year files.
#include "archive_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <tuple>

namespace archive_writer {
namespace {

// Appends bit fields most significant bit first, with no alignment.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void put(unsigned long value, int width, const char* what) {
    if (width < 32 && value >> width != 0)
      throw std::out_of_range(std::string("value does not fit its field: ") +
                              what);
    // As many bits at a time as the last byte has room for.
    while (width > 0) {
      if (used_ == 0) out_.push_back(0);
      const int n = std::min(8 - used_, width);
      const unsigned long chunk = (value >> (width - n)) & ((1ul << n) - 1);
      out_.back() = static_cast<std::uint8_t>(out_.back() |
                                              (chunk << (8 - used_ - n)));
      used_ = (used_ + n) % 8;
      width -= n;
    }
  }
  // Whole bytes, big-endian; only at a byte boundary.
  void bytes(unsigned long value, int count, const char* what) {
    put(value, 8 * count, what);
  }
  void zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }

 private:
  std::vector<std::uint8_t>& out_;
  int used_ = 0;  // bits already used of the last byte
};

unsigned long all_ones(int width) { return (1ul << width) - 1; }

// A decoded value (99999 = missing) as its stored code.
// The all-ones code is the missing value, so the largest value stored is
// one below it; the range is checked before the offset is added, so that no
// value of a long overflows.
unsigned long code_of(long value, int width, long offset, const char* what) {
  if (value == kMissing) return all_ones(width);
  if (value < -offset ||
      value >= static_cast<long>(all_ones(width)) - offset)
    throw std::out_of_range(std::string("value out of range: ") + what);
  return static_cast<unsigned long>(value + offset);
}

// A header code (99999 = missing) as its stored value; the all-ones code
// reads back as missing and is no value.
unsigned long header_code(long value, int width, const char* what) {
  return code_of(value, width, 0, what);
}

// A 1-based level number; 0 and 99999 are stored as the missing code 255.
unsigned long pointer_code(long value, const char* what) {
  if (value == kMissing || value == 0) return 255;
  return header_code(value, 8, what);
}

void check_range(long v, long lo, long hi, const char* what) {
  if (v < lo || v > hi)
    throw std::out_of_range(std::string("out of range: ") + what);
}

}  // namespace

long decoded_height(unsigned long code) {
  return static_cast<long>((static_cast<double>(code) - 400.0) / 0.98 + 0.5);
}

long lowest_height() { return decoded_height(0); }
long highest_height() { return decoded_height(all_ones(17) - 1); }

unsigned long height_code(long metres) {
  if (metres < lowest_height() || metres > highest_height())
    throw std::out_of_range("height cannot be stored: " +
                            std::to_string(metres) + " m");
  // Of the codes that decode to `metres`, the one nearest the exact
  // inverse; when none does, the first code that decodes above it.
  const double ideal = static_cast<double>(metres) * 0.98 + 400.0;
  const long start = std::max(0l, static_cast<long>(std::floor(ideal)) - 3);
  long best = -1;
  long above = -1;
  for (long c = start; c < start + 8 && c < static_cast<long>(all_ones(17));
       ++c) {
    const long h = decoded_height(static_cast<unsigned long>(c));
    if (h == metres &&
        (best < 0 || std::fabs(static_cast<double>(c) - ideal) <
                         std::fabs(static_cast<double>(best) - ideal)))
      best = c;
    if (h > metres && above < 0) above = c;
  }
  if (best < 0) best = above;
  if (best < 0) throw std::out_of_range("height cannot be stored");
  return static_cast<unsigned long>(best);
}

std::size_t header_block_offset(const Sounding& s) {
  std::size_t off = 24;
  if (s.nstat >= 0) off += 6 + 2 + 5 * static_cast<std::size_t>(s.nstat) +
                           (s.nstat % 2 == 1 ? 1 : 0);
  return off + 11 + 2 + 7;
}

void set_record_length(std::vector<std::uint8_t>& record,
                       unsigned long length) {
  if (record.size() < 7 || length > 0xFFFFFFul)
    throw std::out_of_range("record length cannot be stored");
  record[4] = static_cast<std::uint8_t>(length >> 16);
  record[5] = static_cast<std::uint8_t>(length >> 8);
  record[6] = static_cast<std::uint8_t>(length);
}

std::vector<std::uint8_t> pack_record(const Sounding& s) {
  check_range(s.year, 1900, 1900 + 255, "year");
  check_range(s.month, 0, 255, "month");
  check_range(s.day, 0, 255, "day");
  check_range(s.hour, 0, 255, "hour");
  check_range(s.nstat, -1, 65535, "nstat");
  const long nlev =
      s.stored_levels >= 0 ? s.stored_levels : static_cast<long>(s.levels.size());
  check_range(nlev, 0, 65535, "levels");

  std::vector<std::uint8_t> rec;
  BitWriter w(rec);
  w.zeros(4);
  w.zeros(3);  // record length, filled in at the end
  w.zeros(8);
  w.bytes(s.nstat >= 0 ? 1 : 0, 1, "option");
  w.zeros(4);
  w.bytes(static_cast<unsigned long>(s.year - 1900), 1, "year");
  w.bytes(static_cast<unsigned long>(s.month), 1, "month");
  w.bytes(static_cast<unsigned long>(s.day), 1, "day");
  w.bytes(static_cast<unsigned long>(s.hour), 1, "hour");
  if (s.nstat >= 0) {
    w.zeros(6);
    w.bytes(static_cast<unsigned long>(s.nstat), 2, "nstat");
    w.zeros(5 * static_cast<std::size_t>(s.nstat));
    if (s.nstat % 2 == 1) w.zeros(1);
  }
  w.zeros(11);
  w.bytes(static_cast<unsigned long>(nlev), 2, "levels");
  w.zeros(7);

  w.put(header_code(s.reltime, 12, "reltime"), 12, "reltime");
  w.put(header_code(s.sondtype, 4, "sondtype"), 4, "sondtype");
  w.put(header_code(s.source, 3, "source"), 3, "source");
  w.put(pointer_code(s.top_hyd, "top_hyd"), 8, "top_hyd");
  w.put(pointer_code(s.troplv, "troplv"), 8, "troplv");
  w.put(header_code(s.tropind, 4, "tropind"), 4, "tropind");
  w.put(pointer_code(s.maxwind, "maxwind"), 8, "maxwind");
  check_range(s.wban, 0, 131071, "wban");
  w.put(static_cast<unsigned long>(s.wban), 17, "wban");

  for (const Level& l : s.levels) {
    w.put(code_of(l.pr, 14, 0, "pr"), 14, "pr");
    w.put(l.flag, 7, "flag");
    w.put(l.ht == kMissing ? all_ones(17) : height_code(l.ht), 17, "ht");
    w.put(code_of(l.tp, 12, 2731, "tp"), 12, "tp");
    w.put(code_of(l.dp, 12, 2731, "dp"), 12, "dp");
    w.put(code_of(l.wd, 9, 0, "wd"), 9, "wd");
    w.put(code_of(l.ws, 12, 0, "ws"), 12, "ws");
  }
  set_record_length(rec, rec.size());
  return rec;
}

std::vector<std::uint8_t> file_head(
    const std::vector<RecordPlace>& records) {
  for (const RecordPlace& r : records) {
    check_range(r.month, 1, 12, "month");
    check_range(r.day, 1, 31, "day");
    check_range(r.hour, 0, 23, "hour");
  }
  for (std::size_t k = 1; k < records.size(); ++k)
    if (std::make_tuple(records[k].month, records[k].day, records[k].hour) <
        std::make_tuple(records[k - 1].month, records[k - 1].day,
                        records[k - 1].hour))
      throw std::invalid_argument("records out of order");
  const std::size_t index_size = kDayEntries * 5 + 5 * records.size();
  if (kFileHeadSize + index_size > kHeadWindow)
    throw std::out_of_range("day index beyond the first 20000 bytes");
  std::vector<std::uint8_t> head;
  BitWriter w(head);
  w.zeros(kFileHeadSize);
  std::size_t offset = kFileHeadSize + index_size;
  std::size_t k = 0;  // next record, in index order
  for (int month = 1; month <= 12; ++month) {
    for (int day = 1; day <= 31; ++day) {
      std::size_t end = k;
      while (end < records.size() && records[end].month == month &&
             records[end].day == day)
        ++end;
      if (end - k > 255) throw std::out_of_range("more than 255 soundings a day");
      w.bytes(end - k, 1, "count");
      w.zeros(4);
      for (; k < end; ++k) {
        if (records[k].size > kMaxRecordSize)
          throw std::out_of_range("record longer than the program reads");
        w.bytes(static_cast<unsigned long>(records[k].hour), 1, "hour");
        if (offset > 0xFFFFFFFFul) throw std::out_of_range("file too large");
        w.bytes(offset, 4, "offset");
        offset += records[k].size;
      }
    }
  }
  return head;
}

std::vector<std::uint8_t> pack_station_year(std::vector<Sounding> soundings) {
  for (const Sounding& s : soundings) {
    check_range(s.month, 1, 12, "month");
    check_range(s.day, 1, 31, "day");
    check_range(s.hour, 0, 23, "hour");
  }
  std::stable_sort(soundings.begin(), soundings.end(),
                   [](const Sounding& a, const Sounding& b) {
                     if (a.month != b.month) return a.month < b.month;
                     if (a.day != b.day) return a.day < b.day;
                     return a.hour < b.hour;
                   });
  std::vector<std::vector<std::uint8_t>> records;
  std::vector<RecordPlace> places;
  records.reserve(soundings.size());
  for (const Sounding& s : soundings) {
    records.push_back(pack_record(s));
    if (records.back().size() > kMaxRecordSize)
      throw std::out_of_range("record longer than the program reads");
    places.push_back({s.month, s.day, s.hour, records.back().size()});
  }
  std::vector<std::uint8_t> file = file_head(places);
  for (const auto& r : records) file.insert(file.end(), r.begin(), r.end());
  return file;
}

namespace {
const char* const kPrefix[3] = {"raob", "RAOB", "Raob"};
const char* const kSuffix[3] = {".buf", ".BUF;1", ".buf"};

void check_variant(int variant) {
  if (variant < 0 || variant > 2) throw std::out_of_range("name variant");
}
}  // namespace

std::string year_directory(int variant, int year, bool north_american) {
  check_variant(variant);
  const int text = north_american && year <= 1999 ? year - 1900 : year;
  return kPrefix[variant] + std::to_string(text);
}

std::string station_file_name(int variant, int year, long wban) {
  check_variant(variant);
  std::string station = std::to_string(wban);
  if (wban > 900000) station[0] = 'I';
  char yy[8];
  std::snprintf(yy, sizeof yy, "%02d", ((year % 100) + 100) % 100);
  return station + "_" + yy + kSuffix[variant];
}

std::string write_station_year(const std::string& db_dir, int year, long wban,
                               const std::vector<Sounding>& soundings,
                               int variant, bool north_american) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::path(db_dir.empty() ? "." : db_dir) /
      year_directory(variant, year, north_american);
  fs::create_directories(dir);
  const fs::path path = dir / station_file_name(variant, year, wban);
  const std::vector<std::uint8_t> bytes = pack_station_year(soundings);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
  return path.string();
}

}  // namespace archive_writer
