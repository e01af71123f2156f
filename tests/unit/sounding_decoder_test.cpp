// Decoding of packed sounding records: units, level types, level pointers,
// duplicate removal, the coded-format cut, short and damaged records.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstdint>
#include <random>
#include <vector>

#include "archive_writer.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "sounding_fixture.h"
#include "test_support.h"
#include "unpacking.h"

namespace {

using archive_writer::kMissing;
using archive_writer::Level;
using archive_writer::Sounding;
using Bytes = std::vector<std::uint8_t>;

constexpr long M = kMissing;

// Flags as stored.
constexpr unsigned SFC = 1, MAN = 2, TROP = 4, MAXW = 8, SIGT = 16, SIGW = 32;

Level lev(unsigned flag, long pr, long ht = 1000, long tp = -100,
          long dp = -150, long wd = 270, long ws = 100) {
  return Level{flag, pr, ht, tp, dp, wd, ws};
}

// A plain sounding of `n` significant levels from 900 mb upwards.
Sounding plain(int n) {
  Sounding s;
  s.year = 1999;
  s.month = 6;
  s.day = 15;
  s.hour = 12;
  s.wban = 23062;
  for (int i = 0; i < n; ++i) s.levels.push_back(lev(SIGT, 9000 - 500 * i));
  return s;
}

// Overwrites `width` bits of a record, most significant first, starting
// `bit` bits after its first byte.
void poke(Bytes& rec, std::size_t bit, int width, unsigned long value) {
  for (int k = 0; k < width; ++k, ++bit) {
    const unsigned mask = 0x80u >> (bit % 8);
    if ((value >> (width - 1 - k)) & 1u)
      rec.at(bit / 8) = static_cast<std::uint8_t>(rec.at(bit / 8) | mask);
    else
      rec.at(bit / 8) = static_cast<std::uint8_t>(rec.at(bit / 8) & ~mask);
  }
}

// Bit position of a field of level `i` (offsets within the 83-bit block:
// pr 0, flag 14, ht 21, tp 38, dp 50, wd 62, ws 71).
std::size_t level_bit(const Sounding& s, int i, int field_offset) {
  return (archive_writer::header_block_offset(s) + 8) * 8 + 83 * i +
         field_offset;
}

class Decoder : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::prepare_unpacking(); }
  static short decode(const Bytes& rec, short oformat = 0) {
    return io_sounding(rec.data(), rec.size(), 0, 0, oformat, 0, 0);
  }
  static short decode(const Sounding& s, short oformat = 0) {
    return decode(archive_writer::pack_record(s), oformat);
  }
  static std::vector<long> pressures() {
    std::vector<long> p;
    for (long i = 0; i < Snd_Hdr.levels; ++i)
      p.push_back(Snd_Data[static_cast<std::size_t>(i)].pr);
    return p;
  }
};

TEST_F(Decoder, HeaderFieldsAndDate) {
  Sounding s = plain(5);
  s.year = 2005;
  s.month = 12;
  s.day = 31;
  s.hour = 23;
  s.reltime = 2315;
  s.source = 6;
  s.tropind = 14;
  s.wban = 131070;
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.year, 2005);
  EXPECT_EQ(Snd_Hdr.month, 12);
  EXPECT_EQ(Snd_Hdr.day, 31);
  EXPECT_EQ(Snd_Hdr.hour, 23);
  EXPECT_EQ(Snd_Hdr.reltime, 2315);
  EXPECT_EQ(Snd_Hdr.source, 6);
  EXPECT_EQ(Snd_Hdr.tropind, 14);
  EXPECT_EQ(Snd_Hdr.wban, 131070);
  EXPECT_EQ(Snd_Hdr.levels, 5);

  s.year = 1995;
  s.reltime = M;
  s.source = M;
  s.tropind = M;
  s.wban = 131071;  // all ones, yet a station number: kept as read
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.year, 1995);
  EXPECT_EQ(Snd_Hdr.reltime, M);
  EXPECT_EQ(Snd_Hdr.source, M);
  EXPECT_EQ(Snd_Hdr.tropind, M);
  EXPECT_EQ(Snd_Hdr.wban, 131071);
}

TEST_F(Decoder, SondeTypeCodes) {
  const long want[16] = {0,  45, 46, 49, 51, 37, 52, 61,
                         63, 9,  10, 11, 12, 13, 14, M};
  Sounding s = plain(5);
  for (long code = 0; code <= 15; ++code) {
    s.sondtype = code == 15 ? M : code;
    ASSERT_EQ(decode(s), 1);
    EXPECT_EQ(Snd_Hdr.sondtype, want[code]) << "stored " << code;
  }
}

TEST_F(Decoder, StoredCodesBecomePhysicalUnits) {
  const Sounding s = plain(5);
  Bytes rec = archive_writer::pack_record(s);
  // Level 0: height code 400, temperature 2731, dew point 2500.
  poke(rec, level_bit(s, 0, 21), 17, 400);
  poke(rec, level_bit(s, 0, 38), 12, 2731);
  poke(rec, level_bit(s, 0, 50), 12, 2500);
  // Level 1: height code 1380, temperature and dew point all ones.
  poke(rec, level_bit(s, 1, 21), 17, 1380);
  poke(rec, level_bit(s, 1, 38), 12, 4095);
  poke(rec, level_bit(s, 1, 50), 12, 4095);
  // Level 2: everything missing but the type flag.
  poke(rec, level_bit(s, 2, 0), 14, 16383);
  poke(rec, level_bit(s, 2, 21), 17, 131071);
  poke(rec, level_bit(s, 2, 62), 9, 511);
  poke(rec, level_bit(s, 2, 71), 12, 4095);
  // Level 3: the largest values that are not missing.
  poke(rec, level_bit(s, 3, 0), 14, 16382);
  poke(rec, level_bit(s, 3, 21), 17, 131070);
  poke(rec, level_bit(s, 3, 62), 9, 510);
  poke(rec, level_bit(s, 3, 71), 12, 4094);
  // Level 4: a code below 400 lies below sea level.
  poke(rec, level_bit(s, 4, 21), 17, 351);
  ASSERT_EQ(decode(rec), 1);
  const auto& d = Snd_Data;
  EXPECT_EQ(d[0].ht, 0);
  EXPECT_EQ(d[0].tp, 0);
  EXPECT_EQ(d[0].dp, -231);
  EXPECT_EQ(d[1].ht, 1000);
  EXPECT_EQ(d[1].tp, M);
  EXPECT_EQ(d[1].dp, M);
  EXPECT_EQ(d[2].pr, M);
  EXPECT_EQ(d[2].ht, M);
  EXPECT_EQ(d[2].wd, M);
  EXPECT_EQ(d[2].ws, M);
  EXPECT_EQ(d[2].fr, 5);
  EXPECT_EQ(d[3].pr, 16382);
  EXPECT_EQ(d[3].ht, 133337);  // (131070 - 400) / 0.98 + 0.5
  EXPECT_EQ(d[3].wd, 510);
  EXPECT_EQ(d[3].ws, 4094);
  EXPECT_EQ(d[4].ht, -49);  // -49.5 cut towards zero
}

TEST_F(Decoder, LevelTypesFromFlags) {
  Sounding s = plain(0);
  s.levels = {lev(SFC, 9700), lev(MAN, 9250), lev(TROP, 2000),
              lev(MAXW, 2500), lev(SIGT, 6000), lev(SIGW, 5500)};
  ASSERT_EQ(decode(s), 1);
  const long want[] = {9, 4, 7, 8, 5, 6};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Snd_Data[i].fr, want[i]) << i;

  // Flags that are no single known type give type 0, whatever the entry
  // held before.
  s.levels = {lev(3, 9700), lev(0, 9250), lev(64, 2000), lev(127, 2500),
              lev(SIGT | SIGW, 6000), lev(MAN, 5000)};
  ASSERT_EQ(decode(s), 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Snd_Data[i].fr, 0) << i;
  EXPECT_EQ(Snd_Data[5].fr, 4);
}

TEST_F(Decoder, MandatoryFlagAtOtherPressuresBecomesSignificant) {
  const long mand[22] = {10000, 9250, 8500, 7000, 5000, 4000, 3500, 3000,
                         2500,  2000, 1500, 1000, 700,  500,  300,  200,
                         100,   70,   50,   30,   20,   10};
  Sounding s = plain(0);
  for (long p : mand) s.levels.push_back(lev(MAN, p));
  ASSERT_EQ(decode(s), 1);
  ASSERT_EQ(Snd_Hdr.levels, 22);
  for (int i = 0; i < 22; ++i) EXPECT_EQ(Snd_Data[i].fr, 4) << mand[i];

  s.levels = {lev(MAN, 9000), lev(MAN, 3400), lev(MAN, M), lev(MAN, 10001),
              lev(MAN, 11), lev(SIGT, 5000)};
  ASSERT_EQ(decode(s), 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Snd_Data[i].fr, 5) << i;
  EXPECT_EQ(Snd_Data[5].fr, 5);  // a significant level stays one
}

TEST_F(Decoder, LevelPointersNameLevelsAsStored) {
  Sounding s = plain(0);
  // Levels 2 and 3 (1-based) are duplicates: one of them is removed
  // afterwards, yet the pointers keep the pressures they named.
  s.levels = {lev(SFC, 9700), lev(MAN, 9250, 800, -100, M),
              lev(MAN, 9250), lev(MAXW, 2480), lev(TROP, 2000),
              lev(SIGT, 1500)};
  s.maxwind = 4;
  s.troplv = 5;
  s.top_hyd = 3;
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.levels, 5);
  EXPECT_EQ(Snd_Hdr.maxwind, 2480);
  EXPECT_EQ(Snd_Hdr.troplv, 2000);
  EXPECT_EQ(Snd_Hdr.top_hyd, 9250);
  EXPECT_EQ(Snd_Data[2].pr, 2480);  // the maximum wind moved down a place

  s.maxwind = M;
  s.troplv = 6;   // the last level
  s.top_hyd = 7;  // beyond the last level
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.maxwind, M);
  EXPECT_EQ(Snd_Hdr.troplv, 1500);
  EXPECT_EQ(Snd_Hdr.top_hyd, M);

  // A pointer stored as 0 names no level.
  Bytes rec = archive_writer::pack_record(s);
  const std::size_t hdr = archive_writer::header_block_offset(s) * 8;
  poke(rec, hdr + 19, 8, 0);   // top_hyd
  poke(rec, hdr + 27, 8, 0);   // troplv
  poke(rec, hdr + 39, 8, 0);   // maxwind
  ASSERT_EQ(decode(rec), 1);
  EXPECT_EQ(Snd_Hdr.top_hyd, M);
  EXPECT_EQ(Snd_Hdr.troplv, M);
  EXPECT_EQ(Snd_Hdr.maxwind, M);

  // A pointer to a level whose pressure is missing gives 99999 too.
  s.levels[4].pr = M;
  s.troplv = 5;
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.troplv, M);
}

TEST_F(Decoder, DuplicateMandatoryLevels) {
  Sounding s = plain(0);
  // The first of the pair lacks its dew point: it goes.
  s.levels = {lev(SFC, 9700), lev(MAN, 5000, 5500, -200, M),
              lev(MAN, 5000, 5600, -210, -300), lev(SIGT, 4500),
              lev(SIGT, 4200), lev(MAN, 4000)};
  ASSERT_EQ(decode(s), 1);
  ASSERT_EQ(Snd_Hdr.levels, 5);
  EXPECT_EQ(Snd_Data[1].ht, 5600);
  EXPECT_EQ(Snd_Data[1].dp, -300);

  // Equal counts of missing fields: the second goes.
  s.levels[1].dp = -250;
  ASSERT_EQ(decode(s), 1);
  ASSERT_EQ(Snd_Hdr.levels, 5);
  EXPECT_EQ(Snd_Data[1].ht, 5500);
  EXPECT_EQ(Snd_Data[2].pr, 4500);

  // The second lacks more: the second goes.
  s.levels[2].wd = M;
  s.levels[2].ws = M;
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Data[1].ht, 5500);

  // Same pressure but not both mandatory, or both mandatory at different
  // pressures: nothing goes.
  s.levels[2] = lev(SIGT, 5000);
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.levels, 6);
  s.levels[2] = lev(MAN, 4000);
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.levels, 6);
}

TEST_F(Decoder, ThreeEqualMandatoryLevelsKeepOneDuplicate) {
  Sounding s = plain(0);
  s.levels = {lev(SFC, 9700), lev(MAN, 7000, 3000), lev(MAN, 7000, 3001),
              lev(MAN, 7000, 3002), lev(SIGT, 6000), lev(MAN, 5000)};
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(pressures(), (std::vector<long>{9700, 7000, 7000, 6000, 5000}));
  EXPECT_EQ(Snd_Data[1].ht, 3000);
  EXPECT_EQ(Snd_Data[2].ht, 3002);
}

TEST_F(Decoder, LaterSurfaceLevelsGoUnlessLast) {
  Sounding s = plain(0);
  // The second surface carries everything, the first lacks winds: the
  // second goes all the same.
  s.levels = {lev(SFC, 9700, 300, 150, 100, M, M), lev(MAN, 9250),
              lev(SFC, 9600), lev(SIGT, 8000), lev(MAN, 7000),
              lev(MAN, 5000)};
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(pressures(), (std::vector<long>{9700, 9250, 8000, 7000, 5000}));
  EXPECT_EQ(Snd_Data[0].wd, M);

  // Of two later surfaces in a row only the first goes: the second moves
  // into the place just examined and is not looked at again. The last level
  // is never examined.
  s.levels = {lev(SFC, 9700), lev(SFC, 9690), lev(SFC, 9680),
              lev(MAN, 9250), lev(MAN, 8500), lev(MAN, 7000),
              lev(SFC, 100)};
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(pressures(),
            (std::vector<long>{9700, 9680, 9250, 8500, 7000, 100}));
  EXPECT_EQ(Snd_Data[1].fr, 9);
  EXPECT_EQ(Snd_Data[5].fr, 9);

  // A surface level first seen further up is kept; the later one goes.
  s.levels = {lev(MAN, 10000), lev(SFC, 9700), lev(MAN, 9250),
              lev(SFC, 9300), lev(MAN, 8500), lev(MAN, 7000)};
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(pressures(),
            (std::vector<long>{10000, 9700, 9250, 8500, 7000}));
}

TEST_F(Decoder, CodedFormatKeepsLevelsUpTo100mb) {
  Sounding s = plain(0);
  for (int i = 0; i <= 10; ++i) s.levels.push_back(lev(SIGT, 9000 - 800 * i));
  for (int i = 0; i < 5; ++i) s.levels.push_back(lev(SIGT, 900 - 100 * i));
  ASSERT_EQ(s.levels[10].pr, 1000);
  ASSERT_EQ(decode(s, 1), 1);
  EXPECT_EQ(Snd_Hdr.levels, 11);
  ASSERT_EQ(decode(s, 0), 1);
  EXPECT_EQ(Snd_Hdr.levels, 16);

  // The last level is examined too: a sounding that stays at or below
  // 100 mb keeps its top level.
  s.levels.resize(11);
  ASSERT_EQ(decode(s, 1), 1);
  EXPECT_EQ(Snd_Hdr.levels, 11);

  // A missing pressure counts as one below 100 mb.
  s.levels = {lev(SIGT, 9000), lev(SIGT, 8000), lev(SIGT, 7000),
              lev(SIGT, 6000), lev(SIGT, 900), lev(SIGT, M),
              lev(SIGT, 800)};
  ASSERT_EQ(decode(s, 1), 1);
  EXPECT_EQ(Snd_Hdr.levels, 6);

  // Nothing at or below 100 mb: nothing is kept.
  s.levels = {lev(SIGT, 999), lev(SIGT, 900), lev(SIGT, 800),
              lev(SIGT, 700), lev(SIGT, 600), lev(SIGT, 500)};
  EXPECT_EQ(decode(s, 1), 0);
  EXPECT_EQ(Snd_Hdr.levels, 0);
  EXPECT_EQ(decode(s, 0), 1);
}

TEST_F(Decoder, SoundingsOfFourLevelsOrFewerAreDropped) {
  for (short oformat = 0; oformat <= 4; ++oformat) {
    // A kept sounding of the plot format goes on to the plotter and a
    // question on standard input; that path has tests of its own.
    if (oformat != 3) {
      EXPECT_EQ(decode(plain(5), oformat), 1) << oformat;
      EXPECT_EQ(Snd_Hdr.levels, 5);
    }
    EXPECT_EQ(decode(plain(4), oformat), 0) << oformat;
    EXPECT_EQ(Snd_Hdr.levels, 4);
  }
  EXPECT_EQ(decode(plain(0)), 0);
  // Five levels of which duplicate removal takes one.
  Sounding s = plain(0);
  s.levels = {lev(SFC, 9700), lev(MAN, 8500), lev(MAN, 8500),
              lev(MAN, 7000), lev(MAN, 5000)};
  EXPECT_EQ(decode(s), 0);
  EXPECT_EQ(Snd_Hdr.levels, 4);
}

TEST_F(Decoder, OptionalBlockIsSkipped) {
  Sounding s = plain(6);
  s.maxwind = 2;
  for (int nstat : {0, 1, 2, 7}) {
    s.nstat = nstat;
    ASSERT_EQ(decode(s), 1) << nstat;
    EXPECT_EQ(Snd_Hdr.levels, 6);
    EXPECT_EQ(Snd_Hdr.maxwind, 8500);
    EXPECT_EQ(Snd_Data[5].pr, 6500);
  }
  // An option byte other than 1 announces nothing.
  s.nstat = -1;
  Bytes rec = archive_writer::pack_record(s);
  rec[15] = 2;
  ASSERT_EQ(decode(rec), 1);
  EXPECT_EQ(Snd_Data[5].pr, 6500);
}

TEST_F(Decoder, RoundTripOfAVariedSounding) {
  Sounding s;
  s.year = 2003;
  s.month = 2;
  s.day = 28;
  s.hour = 0;
  s.wban = 94823;
  s.reltime = 2316;
  s.sondtype = 7;
  s.source = 2;
  s.tropind = 3;
  std::mt19937 rng(17);
  auto pick = [&rng](long lo, long hi) {
    return std::uniform_int_distribution<long>(lo, hi)(rng);
  };
  const unsigned flags[] = {SFC, MAN, TROP, MAXW, SIGT, SIGW};
  const long types[] = {9, 4, 7, 8, 5, 6};
  std::vector<int> kind;
  long pr = 10000;
  for (int i = 0; i < 120; ++i) {
    pr -= pick(1, 80);
    const int k = i == 0 ? 0 : static_cast<int>(pick(2, 5));
    kind.push_back(k);
    s.levels.push_back(Level{flags[k], pr, pick(-20, 40000), pick(-900, 450),
                             pick(0, 3) == 0 ? M : pick(-1000, -10),
                             pick(0, 9) == 0 ? M : pick(0, 360),
                             pick(0, 1500)});
  }
  s.maxwind = 50;
  s.troplv = 40;
  s.top_hyd = 70;
  ASSERT_EQ(decode(s), 1);
  ASSERT_EQ(Snd_Hdr.levels, 120);
  EXPECT_EQ(Snd_Hdr.sondtype, 61);
  EXPECT_EQ(Snd_Hdr.maxwind, s.levels[49].pr);
  EXPECT_EQ(Snd_Hdr.troplv, s.levels[39].pr);
  EXPECT_EQ(Snd_Hdr.top_hyd, s.levels[69].pr);
  for (std::size_t i = 0; i < s.levels.size(); ++i) {
    const Level& l = s.levels[i];
    const DATA_TYPE& d = Snd_Data[i];
    EXPECT_EQ(d.fr, types[kind[i]]) << i;
    EXPECT_EQ(d.pr, l.pr) << i;
    EXPECT_EQ(d.ht, archive_writer::decoded_height(
                        archive_writer::height_code(l.ht))) << i;
    EXPECT_NEAR(d.ht, l.ht, 1) << i;
    EXPECT_EQ(d.tp, l.tp) << i;
    EXPECT_EQ(d.dp, l.dp) << i;
    EXPECT_EQ(d.wd, l.wd) << i;
    EXPECT_EQ(d.ws, l.ws) << i;
  }
}

TEST_F(Decoder, RecordsOfMoreThan350LevelsAreDecodedWhole) {
  Sounding s = plain(0);
  for (int i = 0; i < 500; ++i) s.levels.push_back(lev(SIGW, 10000 - 19 * i));
  s.maxwind = 254;
  ASSERT_EQ(decode(s), 1);
  EXPECT_EQ(Snd_Hdr.levels, 500);
  ASSERT_GE(Snd_Data.size(), 500u);
  EXPECT_EQ(Snd_Data[499].pr, 10000 - 19 * 499);
  EXPECT_EQ(Snd_Data[499].fr, 6);
  EXPECT_EQ(Snd_Hdr.maxwind, 10000 - 19 * 253);
}

TEST_F(Decoder, ImpossibleDatesAreDropped) {
  struct Date {
    int month, day, hour;
    short want;
  };
  const Date dates[] = {{0, 1, 0, 0},   {13, 1, 0, 0},  {1, 0, 0, 0},
                        {1, 32, 0, 0},  {1, 1, 24, 0},  {255, 1, 0, 0},
                        {1, 1, 0, 1},   {12, 31, 23, 1}};
  for (const Date& d : dates) {
    Sounding s = plain(6);
    s.month = d.month;
    s.day = d.day;
    s.hour = d.hour;
    EXPECT_EQ(decode(s), d.want) << d.month << " " << d.day << " " << d.hour;
  }
}

TEST_F(Decoder, LevelsBeyondTheRecordLengthOrTheBytesHeldDropTheRecord) {
  const Sounding s = plain(8);
  const Bytes good = archive_writer::pack_record(s);
  ASSERT_EQ(decode(good), 1);

  // More levels declared than the record holds.
  Sounding more = s;
  more.stored_levels = 9;
  EXPECT_EQ(decode(more), 0);

  // A declared length one byte short of the level blocks.
  Bytes rec = good;
  archive_writer::set_record_length(rec, good.size() - 1);
  EXPECT_EQ(decode(rec), 0);
  // A longer declared length is fine while the bytes are there.
  rec = good;
  rec.resize(good.size() + 40, 0);
  archive_writer::set_record_length(rec, rec.size());
  EXPECT_EQ(decode(rec), 1);

  // Fewer bytes held than the record says it has.
  for (std::size_t cut : {good.size() - 1, std::size_t{52}, std::size_t{44},
                          std::size_t{30}, std::size_t{16}, std::size_t{5},
                          std::size_t{0}}) {
    EXPECT_EQ(io_sounding(good.data(), cut, 0, 0, 0, 0, 0), 0) << cut;
  }

  // The largest level count with the largest length over a short buffer.
  Sounding huge = s;
  huge.stored_levels = 65535;
  rec = archive_writer::pack_record(huge);
  archive_writer::set_record_length(rec, 0xFFFFFF);
  EXPECT_EQ(decode(rec), 0);

  // An optional block that claims to run past the buffer.
  Sounding opt = s;
  opt.nstat = 0;
  rec = archive_writer::pack_record(opt);
  rec[30] = 0xFF;
  rec[31] = 0xFF;
  EXPECT_EQ(decode(rec), 0);
  EXPECT_EQ(io_sounding(nullptr, 100, 0, 0, 0, 0, 0), 0);
}

TEST_F(Decoder, ArbitraryBytesNeverReadOutsideTheBuffer) {
  // Each buffer is an exact-size heap block, so a read past its end would be
  // caught by the memory checkers the tests may run under.
  std::mt19937 rng(4711);
  const Sounding s = plain(12);
  const Bytes base = archive_writer::pack_record(s);
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes rec = base;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int f = 0; f < flips; ++f)
      rec[rng() % 52] = static_cast<std::uint8_t>(rng());
    rec.resize(rng() % (rec.size() + 1));
    Bytes exact(rec);
    exact.shrink_to_fit();
    const short r = io_sounding(exact.data(), exact.size(), 0, 0, 0, 0, 0);
    ASSERT_TRUE(r == 0 || r == 1);
    if (r == 1) {
      ++accepted;
      ASSERT_GE(Snd_Hdr.levels, 5);
      ASSERT_LE(static_cast<std::size_t>(Snd_Hdr.levels) * 83 / 8 + 52,
                exact.size() + 8);
    }
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace

namespace {

// Every 17-bit height code but the missing one decodes to the integer part
// of ((code - 400) / 0.98 + 0.5) computed in double precision.
TEST(HeightCodes, EveryCodeDecodesAsTheDoubleFormula) {
  for (long code = 0; code < 131071; ++code) {
    const long want =
        static_cast<long>((static_cast<double>(code) - 400.0) / 0.98 + 0.5);
    ASSERT_EQ(decoded_height_metres(code), want) << "code " << code;
  }
}

}  // namespace
