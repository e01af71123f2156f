// Packs soundings into station-year database files of the archive layout:
// the exact inverse of the program's decoder. Tests build their archives
// with it; tools/archive_writer/make_sample_archive builds the sample one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace archive_writer {

constexpr long kMissing = 99999;

// One level in decoded units (99999 = missing): pressure in tenths of mb,
// height in metres, temperature and dew point in tenths of deg C, direction
// in degrees, speed in tenths of m/s. `flag` is the stored 7-bit type flag:
// 1 surface, 2 mandatory, 4 tropopause, 8 maximum wind, 16 significant
// (temperature), 32 significant (wind); any other value is stored as is.
struct Level {
  unsigned flag = 2;
  long pr = kMissing;
  long ht = kMissing;
  long tp = kMissing;
  long dp = kMissing;
  long wd = kMissing;
  long ws = kMissing;
};

// One sounding. Header codes are stored values (99999 = missing, stored as
// the all-ones code of the field). Level pointers are 1-based level numbers
// (0 or 99999 = missing, stored as 255).
struct Sounding {
  int year = 1995;  // stored as year - 1900
  int month = 1;
  int day = 1;
  int hour = 0;
  long wban = 0;                 // 17-bit station number of the record
  long reltime = kMissing;       // hhmm
  long sondtype = kMissing;      // stored code 0..14
  long source = kMissing;        // 0..6
  long tropind = kMissing;       // 0..14
  long top_hyd = kMissing;       // 1-based level number
  long troplv = kMissing;        // 1-based level number
  long maxwind = kMissing;       // 1-based level number
  int nstat = -1;                // >= 0: write the optional block with nstat entries
  std::vector<Level> levels;
  // >= 0: the level count stored in the record instead of levels.size()
  // (only for building damaged records; the level blocks written are still
  // those of `levels`).
  long stored_levels = -1;
};

// The packed record of one sounding (length in bytes 4..6).
std::vector<std::uint8_t> pack_record(const Sounding& s);

// The stored 17-bit height code whose decoded value is `metres` (or, for
// the few whole metres that no code decodes to, the nearest one above).
unsigned long height_code(long metres);
// The height in metres that the stored code `code` decodes to.
long decoded_height(unsigned long code);
// The range of heights the 17-bit code holds; height_code throws
// std::out_of_range outside it.
long lowest_height();
long highest_height();

// Byte offset, within the packed record of `s`, of the header bit block; the
// first level block follows 8 bytes later.
std::size_t header_block_offset(const Sounding& s);
// Rewrites the 24-bit record length held in bytes 4..6 of a packed record.
void set_record_length(std::vector<std::uint8_t>& record, unsigned long length);

// Size of the file head and number of entries of the day index.
constexpr std::size_t kFileHeadSize = 34;
constexpr std::size_t kDayEntries = 12 * 31;
// The program reads the first 20000 bytes of a file for its day index and
// 20000 bytes from a record's start, the next record's hour included, so
// a file must hold its whole index in the first 20000 bytes and no record
// may be longer than 19976 bytes; pack_station_year refuses other files.
constexpr std::size_t kHeadWindow = 20000;
constexpr std::size_t kMaxRecordSize = 19976;

// A whole station-year file: 34-byte head, day index of 12 x 31 entries,
// then the records, each day's records in ascending hour order. Soundings
// are placed by their month, day and hour (any order is accepted).
std::vector<std::uint8_t> pack_station_year(std::vector<Sounding> soundings);

// Where one packed record goes: its day and hour and its length in bytes.
struct RecordPlace {
  int month;
  int day;
  int hour;
  std::size_t size;
};
// The file head and day index of a station-year file whose records, in
// the order given (ascending month, day and hour), follow it.
std::vector<std::uint8_t> file_head(const std::vector<RecordPlace>& records);

// File name forms: variant 2 "Raob"/".buf", 1 "RAOB"/".BUF;1",
// 0 "raob"/".buf". The year directory is the prefix and the year text
// (year - 1900 up to 1999 for the North-American edition).
std::string year_directory(int variant, int year, bool north_american);
std::string station_file_name(int variant, int year, long wban);

// Writes a station-year file under db_dir (creating the year directory) and
// returns its path.
std::string write_station_year(const std::string& db_dir, int year, long wban,
                               const std::vector<Sounding>& soundings,
                               int variant = 2, bool north_american = false);

}  // namespace archive_writer
