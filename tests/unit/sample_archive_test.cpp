// The sample archive and the packing program: files where the programs look
// for them, records that decode, and soundings that make physical sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "sounding_fixture.h"
#include "test_support.h"
#include "unpacking.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr long M = 99999;

struct SampleStation {
  long file_number;
  long record_wban;
  double lat;
  long elev;
};

const SampleStation kSample[] = {
    {23062, 23062, 39.77, 1611}, {94823, 94823, 40.53, 360},
    {24011, 24011, 46.77, 503},  {12919, 12919, 25.92, 7},
    {3190, 3190, 32.85, 134},    {93734, 93734, 38.98, 88},
    {94703, 94703, 40.87, 20},   {3948, 3948, 35.18, 357},
    {94983, 94983, 44.85, 287},  {92803, 92803, 25.75, 4},
    {903005, 3005, 60.13, 82},   {910868, 10868, 48.25, 484}};

const long kMandatory[22] = {10000, 9250, 8500, 7000, 5000, 4000, 3500, 3000,
                             2500,  2000, 1500, 1000, 700,  500,  300,  200,
                             100,   70,   50,   30,   20,   10};

std::string sample_dir() {
  return testing_support::source_dir() + "/data/sample-archive";
}

Bytes read_bytes(const std::string& path) {
  const std::string s = testing_support::read_file(path);
  return Bytes(s.begin(), s.end());
}

using testing_support::be;

class SampleArchive : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::prepare_unpacking(); }
};

// Thickness between two levels from their mean temperature.
double thickness(long p1, long p2, long t1, long t2) {
  const double tm = (t1 + t2) / 20.0 + 273.15;
  return 287.05 / 9.80665 * tm * std::log(static_cast<double>(p1) / p2);
}

// What the realism rules count over every sounding.
struct Counts {
  long soundings = 0;
  long missing_winds = 0, missing_dew = 0;
  long below_ground = 0;      // soundings with levels below the ground
  long below_ground_bad = 0;  // ... not as real archives hold them
  long end_5_to_30 = 0, end_below_100 = 0, end_below_400 = 0, end_at_1 = 0;
};

// Height of pressure p below a surface at p0, z0 and t0 (tenths of a
// degree) down the standard atmosphere's lapse rate.
double standard_height(long p0, long z0, long t0, long p) {
  const double lapse = 0.0065;
  return z0 + (t0 / 10.0 + 273.15) / lapse *
                  (1.0 - std::pow(static_cast<double>(p) / p0,
                                  287.05 * lapse / 9.80665));
}

void check_sounding(const SampleStation& st, int year, int month, int day,
                    int hour, std::map<int, std::vector<double>>& sfc_temps,
                    Counts& c) {
  SCOPED_TRACE(std::to_string(st.file_number) + " " + std::to_string(year) +
               "-" + std::to_string(month) + "-" + std::to_string(day) + " " +
               std::to_string(hour));
  EXPECT_EQ(Snd_Hdr.year, year);
  EXPECT_EQ(Snd_Hdr.month, month);
  EXPECT_EQ(Snd_Hdr.day, day);
  EXPECT_EQ(Snd_Hdr.hour, hour);
  EXPECT_EQ(Snd_Hdr.wban, st.record_wban);
  // Released in the hour before the synoptic time.
  EXPECT_EQ(Snd_Hdr.reltime / 100, hour == 0 ? 23 : 11);
  EXPECT_LT(Snd_Hdr.reltime % 100, 60);
  const std::set<long> sondes = {45, 46, 49, 51, 37, 52, 61, 63};
  EXPECT_EQ(sondes.count(Snd_Hdr.sondtype), 1u);

  const long n = Snd_Hdr.levels;
  const auto& d = Snd_Data;
  ASSERT_GE(n, 3);
  EXPECT_EQ(d[0].fr, 9);
  EXPECT_NEAR(d[0].ht, st.elev, 1);
  sfc_temps[month].push_back(d[0].tp / 10.0);
  // The mandatory levels below the ground follow the surface: 1000, 925
  // and 850 mb where the surface pressure is lower, heights only.
  long ground = 1;
  bool as_real = true;
  for (long p : {10000l, 9250l, 8500l}) {
    if (p <= d[0].pr) continue;
    const auto& l = d[static_cast<std::size_t>(ground++)];
    as_real = as_real && l.fr == 4 && l.pr == p && l.tp == M && l.dp == M &&
              l.wd == M && l.ws == M &&
              std::fabs(l.ht - standard_height(d[0].pr, d[0].ht, d[0].tp, p)) <
                  2.5;  // whole metres, some a metre off as stored
  }
  ASSERT_LT(ground, n);
  if (ground > 1) ++c.below_ground;
  if (!as_real || d[static_cast<std::size_t>(ground)].pr > d[0].pr)
    ++c.below_ground_bad;
  // Where the balloon burst.
  const long end = d[static_cast<std::size_t>(n - 1)].pr;
  if (end >= 50 && end <= 300) ++c.end_5_to_30;
  if (end > 1000) ++c.end_below_100;
  if (end > 4000) ++c.end_below_400;
  if (end <= 10) ++c.end_at_1;
  std::set<long> mandatory_seen;
  long strongest = 0;
  long last_temp = -1;  // index of the last level with a temperature
  long top_humid = -1;
  // The surface and the levels above it.
  for (long i = 0; i < n; i = i == 0 ? ground : i + 1) {
    if (i > 0) {
      const long below = i == ground ? 0 : i - 1;
      ASSERT_LT(d[i].pr, d[below].pr) << i;
      ASSERT_GT(d[i].ht, d[below].ht) << i;
      ASSERT_NE(d[i].fr, 9) << i;
    }
    if (d[i].fr == 4) mandatory_seen.insert(d[i].pr);
    if (d[i].tp != M && d[i].dp != M) {
      EXPECT_LE(d[i].dp, d[i].tp) << i;
      top_humid = i;
    }
    if (d[i].dp == M && d[i].tp != M) ++c.missing_dew;
    if (d[i].ws == M) ++c.missing_winds;
    if (d[i].ws != M) strongest = std::max(strongest, d[i].ws);
    if (d[i].tp != M) {
      EXPECT_GT(d[i].tp, -950) << i;
      EXPECT_LT(d[i].tp, 500) << i;
      if (last_temp >= 0) {
        const auto& lo = d[static_cast<std::size_t>(last_temp)];
        const double dz = static_cast<double>(d[i].ht - lo.ht);
        EXPECT_NEAR(dz, thickness(lo.pr, d[i].pr, lo.tp, d[i].tp),
                    0.01 * dz + 3.0)
            << "between " << lo.pr << " and " << d[i].pr;
      }
      last_temp = i;
    }
  }
  // Every mandatory level between the ground and the burst is there but
  // 350 mb, which radiosondes do not report: in the coded messages a
  // mandatory level there would end the mandatory part before 300 mb.
  for (long p : kMandatory)
    if (p < d[0].pr && p >= end) {
      EXPECT_EQ(mandatory_seen.count(p), p == 3500 ? 0u : 1u) << p;
    }
  // A balloon that passed 100 mb passed the tropopause and the jet.
  if (end <= 1000) {
    ASSERT_NE(Snd_Hdr.troplv, M);
    ASSERT_NE(Snd_Hdr.maxwind, M);
  }
  ASSERT_GE(top_humid, 0);
  EXPECT_EQ(Snd_Hdr.top_hyd, d[static_cast<std::size_t>(top_humid)].pr);
  for (long i = 0; i < n; ++i) {
    if (d[i].pr == Snd_Hdr.troplv) {
      EXPECT_EQ(d[i].fr, 7);
    }
    if (d[i].pr == Snd_Hdr.maxwind) {
      EXPECT_EQ(d[i].fr, 8);
      EXPECT_EQ(d[i].ws, strongest);
    }
  }
}

TEST_F(SampleArchive, EveryStationYearDecodesToPlausibleSoundings) {
  std::map<long, double> annual_mean;
  Counts c;
  for (int year : {1995, 1999, 2003}) {
    for (const SampleStation& st : kSample) {
      const std::string path =
          sample_dir() + "/" + archive_writer::year_directory(2, year, false) +
          "/" + archive_writer::station_file_name(2, year, st.file_number);
      ASSERT_TRUE(testing_support::file_exists(path)) << path;
      const Bytes file = read_bytes(path);
      std::map<int, std::vector<double>> sfc_temps;
      std::size_t entry = archive_writer::kFileHeadSize;
      std::size_t expected_offset = entry + 5 * archive_writer::kDayEntries;
      std::size_t in_file = 0;
      for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= 31; ++day) {
          const unsigned count = file.at(entry);
          ASSERT_LE(count, 2u);
          in_file += count;
          int previous_hour = -1;
          for (unsigned k = 0; k < count; ++k) {
            const int hour = file.at(entry + 5 + 5 * k);
            const std::size_t off = be(file, entry + 6 + 5 * k, 4);
            ASSERT_TRUE(hour == 0 || hour == 12);
            ASSERT_GT(hour, previous_hour);
            previous_hour = hour;
            ASSERT_EQ(file.at(off + 23), hour);
            const std::size_t len = be(file, off + 4, 3);
            ASSERT_LE(off + len, file.size());
            ASSERT_LE(len, 19976u);
            ASSERT_EQ(io_sounding(file.data() + off, file.size() - off, 0, 0,
                                  0, 0, 0),
                      1);
            ++c.soundings;
            check_sounding(st, year, month, day, hour, sfc_temps, c);
            if (HasFatalFailure()) return;
            expected_offset = off + len;
          }
          entry += 5 + 5 * count;
        }
      }
      EXPECT_EQ(expected_offset, file.size());
      EXPECT_GT(in_file, 700u);  // 00 and 12 UTC, a few missing
      double jan = 0, jul = 0, all = 0;
      std::size_t n_all = 0;
      for (double t : sfc_temps[1]) jan += t / sfc_temps[1].size();
      for (double t : sfc_temps[7]) jul += t / sfc_temps[7].size();
      for (const auto& m : sfc_temps)
        for (double t : m.second) all += t, ++n_all;
      EXPECT_GT(jul, jan + 3.0) << st.file_number;
      annual_mean[st.file_number] += all / n_all / 3.0;
    }
  }
  // Warmer in the south than in the north.
  EXPECT_GT(annual_mean[12919], annual_mean[24011] + 5.0);
  EXPECT_GT(annual_mean[92803], annual_mean[903005] + 5.0);
  EXPECT_GT(c.missing_winds, 0);
  EXPECT_GT(c.missing_dew, c.soundings);  // dry high up in every sounding
  // Levels below the ground as real archives hold them, in every sounding
  // of the six stations whose ground lies above the 1000 mb surface.
  EXPECT_EQ(c.below_ground_bad, 0);
  EXPECT_GT(c.below_ground, 6 * 3 * 700);
  // Balloons burst where real ones do: most between 30 and 5 mb, one in
  // twenty before 100 mb, a few before 400 mb, none at 1 mb.
  EXPECT_GT(c.end_5_to_30, c.soundings * 85 / 100);
  EXPECT_GT(c.end_below_100, c.soundings * 3 / 100);
  EXPECT_LT(c.end_below_100, c.soundings * 7 / 100);
  EXPECT_GT(c.end_below_400, 0);
  EXPECT_LT(c.end_below_400, c.soundings / 100);
  EXPECT_EQ(c.end_at_1, 0);
}

TEST_F(SampleArchive, BothEditionsFindTheFilesOfEveryYear) {
  for (int year : {1995, 1999, 2003}) {
    for (bool na : {false, true}) {
      for (const SampleStation& st : kSample) {
        const std::string path =
            sample_dir() + "/" + archive_writer::year_directory(2, year, na) +
            "/" + archive_writer::station_file_name(2, year, st.file_number);
        EXPECT_TRUE(testing_support::file_exists(path)) << path;
      }
    }
  }
}

TEST_F(SampleArchive, GeneratorIsDeterministic) {
  testing_support::TempDir dir;
  const auto r = testing_support::run_program(
      testing_support::binary_dir() + "/make_sample_archive", {dir.path()},
      "");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"Raob1995/23062_95.buf", "Raob2003/I10868_03.buf",
                           "Raob99/3190_99.buf", "README.txt"}) {
    EXPECT_TRUE(testing_support::read_file(dir / name) ==
                testing_support::read_file(sample_dir() + "/" + name))
        << name;
  }
}

TEST_F(SampleArchive, PackingProgramReadsItsTextFormat) {
  testing_support::TempDir dir;
  const std::string input =
      "# two soundings, given out of order\n"
      "sounding 02 03 12 reltime=1115 sondtype=3 maxwind=3 troplv=4 "
      "top_hyd=2 source=1 tropind=2\n"
      "level 1 9700 360 52 M 270 40   # surface\n"
      "level 2 9250 760 21 -11 275 80\n"
      "level 8 8000 1950 -40 M 280 300\n"
      "level 4 2000 11800 -560 M 285 150\n"
      "level 32 1800 12500 M M M M\n"
      "\n"
      "sounding 02 03 00 nstat=3\n"
      "level 2 10000 100 150 100 0 0\n";
  const auto r = testing_support::run_program(
      testing_support::binary_dir() + "/rawinq_pack",
      {"-v", "1", "-na", dir.path(), "1999", "903005", "-"}, input);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string path = dir / "RAOB99/I03005_99.BUF;1";
  ASSERT_TRUE(testing_support::file_exists(path));
  const Bytes file = read_bytes(path);
  // 3 February is day entry 31 + 2.
  const std::size_t entry = 34 + 5 * (31 + 2);
  ASSERT_EQ(file.at(entry), 2);
  EXPECT_EQ(file.at(entry + 5), 0);
  EXPECT_EQ(file.at(entry + 10), 12);
  const std::size_t off = be(file, entry + 11, 4);
  ASSERT_EQ(io_sounding(file.data() + off, file.size() - off, 0, 0, 0, 0, 0),
            1);
  EXPECT_EQ(Snd_Hdr.year, 1999);
  EXPECT_EQ(Snd_Hdr.month, 2);
  EXPECT_EQ(Snd_Hdr.hour, 12);
  EXPECT_EQ(Snd_Hdr.wban, 3005);
  EXPECT_EQ(Snd_Hdr.reltime, 1115);
  EXPECT_EQ(Snd_Hdr.sondtype, 49);
  EXPECT_EQ(Snd_Hdr.source, 1);
  EXPECT_EQ(Snd_Hdr.tropind, 2);
  EXPECT_EQ(Snd_Hdr.maxwind, 8000);
  EXPECT_EQ(Snd_Hdr.troplv, 2000);
  EXPECT_EQ(Snd_Hdr.top_hyd, 9250);
  ASSERT_EQ(Snd_Hdr.levels, 5);
  EXPECT_EQ(Snd_Data[0].fr, 9);
  EXPECT_EQ(Snd_Data[0].ht, 360);
  EXPECT_EQ(Snd_Data[0].tp, 52);
  EXPECT_EQ(Snd_Data[0].dp, M);
  EXPECT_EQ(Snd_Data[1].dp, -11);
  EXPECT_EQ(Snd_Data[2].fr, 8);
  EXPECT_EQ(Snd_Data[2].ws, 300);
  EXPECT_EQ(Snd_Data[4].fr, 6);
  EXPECT_EQ(Snd_Data[4].wd, M);

  // Faults in the text are reported, and nothing is written.
  for (const char* bad : {"level 2 1000 1 1 1 1 1\n",
                          "sounding 1 1 0\nlevel 2 1000 1 1 1 1\n",
                          "sounding 1 1 0 colour=3\n",
                          "sounding 1 1 0\nlevel 2 10x 1 1 1 1 1\n",
                          "sounding 1 32 0\n"}) {
    testing_support::TempDir other;
    const auto f = testing_support::run_program(
        testing_support::binary_dir() + "/rawinq_pack",
        {other.path(), "1999", "23062", "-"}, bad);
    EXPECT_EQ(f.status, 1) << bad;
    EXPECT_NE(f.err.find("rawinq_pack: "), std::string::npos) << bad;
    EXPECT_FALSE(testing_support::file_exists(other / "Raob1999/23062_99.buf"))
        << bad;
  }
}

}  // namespace
