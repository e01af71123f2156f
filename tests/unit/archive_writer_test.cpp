// The archive writer's file layout: records, day index and file names.
#include "archive_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "dialogue_fixture.h"
#include "rawinq/bit_reader.h"
#include "test_support.h"
#include "unpacking.h"

namespace {

using archive_writer::kMissing;
using archive_writer::Level;
using archive_writer::Sounding;

using testing_support::be;

Sounding at(int month, int day, int hour, std::size_t nlev = 1) {
  Sounding s;
  s.month = month;
  s.day = day;
  s.hour = hour;
  s.levels.assign(nlev, Level{2, 10000, 100, 150, 100, 270, 50});
  return s;
}

class ArchiveWriter : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::prepare_unpacking(); }
};

TEST_F(ArchiveWriter, RecordPrefixHoldsLengthDateAndLevelCount) {
  Sounding s = at(7, 4, 12, 3);
  s.year = 2005;
  const auto rec = archive_writer::pack_record(s);
  // 52 bytes of prefix and header, then 3 x 83 bits rounded up to bytes.
  ASSERT_EQ(rec.size(), 52u + (3 * 83 + 7) / 8);
  EXPECT_EQ(be(rec, 4, 3), rec.size());
  EXPECT_EQ(rec[15], 0);  // no optional block
  EXPECT_EQ(rec[20], 105);
  EXPECT_EQ(rec[21], 7);
  EXPECT_EQ(rec[22], 4);
  EXPECT_EQ(rec[23], 12);
  EXPECT_EQ(be(rec, 24 + 11, 2), 3u);
  EXPECT_EQ(archive_writer::header_block_offset(s), 44u);
}

TEST_F(ArchiveWriter, OptionalBlockIsPaddedToAnEvenCount) {
  Sounding s = at(1, 1, 0);
  s.nstat = 3;
  auto rec = archive_writer::pack_record(s);
  EXPECT_EQ(rec[15], 1);
  EXPECT_EQ(be(rec, 30, 2), 3u);
  // 6 + 2 + 15 + 1 padding bytes before the 11 uninterpreted ones.
  EXPECT_EQ(archive_writer::header_block_offset(s), 24u + 24 + 20);
  EXPECT_EQ(be(rec, 24 + 24 + 11, 2), 1u);
  s.nstat = 2;
  rec = archive_writer::pack_record(s);
  EXPECT_EQ(archive_writer::header_block_offset(s), 24u + 18 + 20);
}

TEST_F(ArchiveWriter, HeaderAndLevelBitsFollowOneAnotherMostSignificantFirst) {
  Sounding s = at(1, 1, 0, 0);
  s.reltime = 2315;
  s.sondtype = 3;
  s.source = kMissing;
  s.top_hyd = 2;
  s.troplv = 0;  // stored as missing
  s.tropind = 5;
  s.maxwind = 1;
  s.wban = 94823;
  s.levels = {Level{1, 9700, 360, -52, kMissing, 511 - 1, 4094},
              Level{127, 16382, kMissing, kMissing, -2731, kMissing, 0}};
  const auto rec = archive_writer::pack_record(s);
  const unsigned long want[] = {
      2315, 3, 7, 2, 255, 5, 1, 94823,  // header block
      9700, 1, archive_writer::height_code(360), 2731 - 52, 4095, 510, 4094,
      16382, 127, 131071, 4095, 0, 511, 0};
  const short widths[] = {12, 4, 3, 8, 8, 4, 8, 17,
                          14, 7, 17, 12, 12, 9, 12,
                          14, 7, 17, 12, 12, 9, 12};
  BitReader in(rec.data() + 44, rec.size() - 44);
  for (std::size_t i = 0; i < sizeof widths / sizeof widths[0]; ++i)
    EXPECT_EQ(in.raw(widths[i]), want[i]) << "field " << i;
  EXPECT_FALSE(in.overrun());
  // 64 + 2 x 83 bits = 230 bits: 29 bytes, the last one partly used.
  EXPECT_EQ(rec.size(), 44u + 29);
}

TEST_F(ArchiveWriter, HeightCodeInvertsTheHeightFormula) {
  EXPECT_EQ(archive_writer::height_code(0), 400u);
  EXPECT_EQ(archive_writer::height_code(1000), 1380u);
  for (long m = -300; m < 40000; m += 7) {
    const unsigned long c = archive_writer::height_code(m);
    const long got = archive_writer::decoded_height(c);
    EXPECT_GE(got, m);
    EXPECT_LE(got, m + 1) << m;
    if (got != m) {
      EXPECT_LT(archive_writer::decoded_height(c - 1), m);
    }
  }
}

TEST_F(ArchiveWriter, RejectsValuesThatDoNotFitTheirFields) {
  Sounding s = at(1, 1, 0);
  s.wban = 903005;  // 17 bits hold at most 131071
  EXPECT_THROW(archive_writer::pack_record(s), std::out_of_range);
  s = at(1, 1, 0);
  s.levels[0].pr = 16383;  // would read back as missing
  EXPECT_THROW(archive_writer::pack_record(s), std::out_of_range);
  s = at(1, 1, 0);
  s.levels[0].wd = 600;
  EXPECT_THROW(archive_writer::pack_record(s), std::out_of_range);
  s = at(1, 1, 0);
  s.levels[0].flag = 128;
  EXPECT_THROW(archive_writer::pack_record(s), std::out_of_range);
  s = at(13, 1, 0);  // a record may carry it, a file index cannot
  EXPECT_NO_THROW(archive_writer::pack_record(s));
  EXPECT_THROW(archive_writer::pack_station_year({s}), std::out_of_range);
  // Files the program could not read: a record above 19976 bytes, a day
  // index reaching beyond the first 20000 bytes.
  EXPECT_NO_THROW(archive_writer::pack_station_year({at(1, 1, 0, 1920)}));
  EXPECT_THROW(archive_writer::pack_station_year({at(1, 1, 0, 1921)}),
               std::out_of_range);
  std::vector<Sounding> many;
  for (int m = 1; m <= 12; ++m)
    for (int d = 1; d <= 28; ++d)
      for (int h = 0; h < 11; ++h) many.push_back(at(m, d, h));
  many.resize(3621);
  EXPECT_NO_THROW(archive_writer::pack_station_year(many));
  many.push_back(at(12, 31, 0));
  EXPECT_THROW(archive_writer::pack_station_year(many), std::out_of_range);
}

TEST_F(ArchiveWriter, DayIndexEntriesAndRecordChain) {
  // Given out of order: the file must hold each day's records by hour.
  const std::vector<Sounding> in = {at(1, 2, 12, 5), at(1, 2, 0, 6),
                                    at(1, 2, 6, 7), at(12, 31, 23, 8)};
  const auto file = archive_writer::pack_station_year(in);
  const std::size_t index_end = 34 + 372 * 5 + 4 * 5;
  // 1 January: count 0, five bytes.
  EXPECT_EQ(file[34], 0);
  // 2 January: count 3, twenty bytes.
  const std::size_t jan2 = 34 + 5;
  ASSERT_EQ(file[jan2], 3);
  const std::size_t jan3 = jan2 + 20;
  EXPECT_EQ(file[jan3], 0);
  const int hours[] = {0, 6, 12};
  const std::size_t nlev[] = {6, 7, 5};
  std::size_t off = be(file, jan2 + 6, 4);
  EXPECT_EQ(off, index_end);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(file[jan2 + 5 + 5 * k], hours[k]);
    EXPECT_EQ(be(file, jan2 + 6 + 5 * k, 4), off);
    EXPECT_EQ(file.at(off + 23), hours[k]);
    EXPECT_EQ(be(file, off + 35, 2), nlev[k]);
    off += be(file, off + 4, 3);  // the next record of the day
  }
  // 31 December is the last entry: its record is the last one of the file.
  const std::size_t dec31 = index_end - 10;
  ASSERT_EQ(file[dec31], 1);
  EXPECT_EQ(file[dec31 + 5], 23);
  EXPECT_EQ(be(file, dec31 + 6, 4), off);
  EXPECT_EQ(off + be(file, off + 4, 3), file.size());
}

TEST_F(ArchiveWriter, NameForms) {
  EXPECT_EQ(archive_writer::year_directory(2, 1999, false), "Raob1999");
  EXPECT_EQ(archive_writer::year_directory(1, 1999, false), "RAOB1999");
  EXPECT_EQ(archive_writer::year_directory(0, 1999, false), "raob1999");
  EXPECT_EQ(archive_writer::year_directory(2, 1999, true), "Raob99");
  EXPECT_EQ(archive_writer::year_directory(2, 1946, true), "Raob46");
  EXPECT_EQ(archive_writer::year_directory(2, 2000, true), "Raob2000");
  EXPECT_EQ(archive_writer::station_file_name(2, 1999, 23062), "23062_99.buf");
  EXPECT_EQ(archive_writer::station_file_name(1, 1999, 23062),
            "23062_99.BUF;1");
  EXPECT_EQ(archive_writer::station_file_name(0, 2005, 3190), "3190_05.buf");
  EXPECT_EQ(archive_writer::station_file_name(2, 2000, 900000),
            "900000_00.buf");
  EXPECT_EQ(archive_writer::station_file_name(2, 2003, 901234),
            "I01234_03.buf");
}

TEST_F(ArchiveWriter, WritesTheFileUnderItsYearDirectory) {
  testing_support::TempDir dir;
  const std::vector<Sounding> in = {at(3, 1, 0, 5)};
  const std::string path = archive_writer::write_station_year(
      dir.path(), 1995, 910868, in, 1, false);
  EXPECT_EQ(path, dir / "RAOB1995/I10868_95.BUF;1");
  const std::string bytes = testing_support::read_file(path);
  const auto want = archive_writer::pack_station_year(in);
  EXPECT_EQ(bytes, std::string(want.begin(), want.end()));
}

}  // namespace
