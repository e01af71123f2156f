// Soundings written as records of the NetCDF output file.
#include "stdio_redirect.h"
#include "uacdf_test_support.h"

namespace {

using namespace uacdf_test;
using testing_support::TempDir;

std::string sta_name(const Reader& r, size_t rec) {
  const size_t start[2] = {rec, 0}, count[2] = {1, 6};
  char text[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(nc_get_vara_text(r.id(), r.var("staName"), start, count, text),
            NC_NOERR);
  return std::string(text, 6);
}

// Four soundings of one station in one file: release times around midnight,
// at the synoptic hour and missing; initials of 4, 3, 2 and 0 letters.
TEST(UacdfWriter, StationAndTimesOfSeveralRecords) {
  TempDir dir;
  {
    OutputFile out(dir / "times.cdf");
    const struct {
      const char* init;
      short y, m, d, h;
      long rel;
    } rows[] = {{"KDEN", 2000, 3, 1, 0, 2315},
                {"DEN", 2000, 3, 1, 0, 5},
                {"AB", 1995, 1, 1, 12, 1200},
                {"", 1995, 1, 1, 12, 99999}};
    for (long n = 0; n < 4; ++n) {
      set_station(7, rows[n].init, 94767, 994767, -33.95f, 151.18f, -3);
      set_header(rows[n].y, rows[n].m, rows[n].d, rows[n].h, rows[n].rel,
                 n == 3 ? 99999 : 52);
      add_level(9, 10130, 6, 200, 150, 180, 40);
      netcdf_format(7, n);
    }
  }
  Reader r(dir / "times.cdf");
  EXPECT_EQ(r.get_double("synTime", 0), 951868800.0);
  EXPECT_EQ(r.get_double("relTime", 0), 951866100.0);
  EXPECT_EQ(r.get_double("relTime", 1), 951869100.0);
  EXPECT_EQ(r.get_double("synTime", 2), 788961600.0);
  EXPECT_EQ(r.get_double("relTime", 2), 788961600.0);
  EXPECT_EQ(r.get_double("relTime", 3), 99999.0);
  EXPECT_EQ(sta_name(r, 0), "KDEN  ");
  EXPECT_EQ(sta_name(r, 1), "DEN   ");
  EXPECT_EQ(sta_name(r, 2), std::string("AB   \0", 6));
  EXPECT_EQ(sta_name(r, 3), std::string("   \0\0\0", 6));
  EXPECT_EQ(r.get_int("wmoStat", 3), 94767);
  EXPECT_EQ(r.get_int("wbanStat", 3), 994767);
  EXPECT_EQ(r.get_int("sondTyp", 2), 52);
  EXPECT_EQ(r.get_int("sondTyp", 3), 99999);
  // Outside the declared valid ranges, still written as they are.
  EXPECT_EQ(r.get_float("staLat", 1), -33.95f);
  EXPECT_EQ(r.get_float("staLon", 1), 151.18f);
  EXPECT_EQ(r.get_float("staElev", 1), -3.0f);
  size_t records = 0;
  nc_inq_dimlen(r.id(), 0, &records);
  EXPECT_EQ(records, 4u);
  EXPECT_EQ(file_size(dir / "times.cdf"),
            classic_header_size(r.id()) + 4 * kRecordBytes);
}

TEST(UacdfWriter, LevelsConvertedAndSortedIntoClasses) {
  TempDir dir;
  set_station(0, "DEN", 72469, 23062, 39.77f, -104.87f, 1611);
  set_header(1995, 1, 1, 0, 2300);
  add_level(9, 8370, 1611, 0, -562, 155, 155);  // surface
  for (long k = 0; k < 21; ++k)                 // 21 mandatory levels
    add_level(4, 8000 - 300 * k, 2000 + 500 * k, -562, 99999, 270, 100);
  add_level(5, 7900, 99999, 99999, -300, 99999, 99999);
  add_level(0, 7800, 1, 1, 1, 1, 1);   // of no class
  add_level(10, 7700, 1, 1, 1, 1, 1);  // of no class
  add_level(6, 7600, 2300, 99999, 99999, 45, 255);
  add_level(8, 2500, 10400, -500, -600, 260, 601);
  {
    OutputFile out(dir / "levels.cdf");
    netcdf_format(0, 0);
  }
  Reader r(dir / "levels.cdf");
  EXPECT_EQ(r.get_int("numMand", 0), 22);
  EXPECT_EQ(r.get_int("numSigT", 0), 1);
  EXPECT_EQ(r.get_int("numSigW", 0), 1);
  EXPECT_EQ(r.get_int("numMwnd", 0), 1);
  EXPECT_EQ(r.get_int("numTrop", 0), 0);
  // Surface in slot 0: 837.0 hPa, 0 C is 273 K, depression 56.2 K.
  EXPECT_EQ(r.get_float("prMan", 0, 0), 837.0f);
  EXPECT_EQ(r.get_float("htMan", 0, 0), 1611.0f);
  EXPECT_EQ(r.get_float("tpMan", 0, 0), 273.0f);
  EXPECT_EQ(r.get_float("tdMan", 0, 0), 56.2f);
  EXPECT_EQ(r.get_float("wdMan", 0, 0), 155.0f);
  EXPECT_EQ(r.get_float("wsMan", 0, 0), 15.5f);
  // -56.2 C: the tenths divided in double, 273 added in single precision.
  const float cold = static_cast<float>(-562 / 10.0) + 273.0f;
  EXPECT_NEAR(cold, 216.8f, 1e-4);
  EXPECT_EQ(r.get_float("tpMan", 0, 21), cold);
  EXPECT_EQ(r.get_float("prMan", 0, 21), 200.0f);
  EXPECT_EQ(r.get_float("tdMan", 0, 21), 99999.0f);  // no dew point
  // Missing values, and a depression that needs the temperature.
  EXPECT_EQ(r.get_float("htSigT", 0, 0), 99999.0f);
  EXPECT_EQ(r.get_float("tpSigT", 0, 0), 99999.0f);
  EXPECT_EQ(r.get_float("tdSigT", 0, 0), 99999.0f);
  EXPECT_EQ(r.get_float("wsSigT", 0, 0), 99999.0f);
  EXPECT_EQ(r.get_float("prSigW", 0, 0), 760.0f);
  EXPECT_EQ(r.get_float("wsSigW", 0, 0), 25.5f);  // never knots
  EXPECT_EQ(r.get_float("tdMaxW", 0, 0), 10.0f);
  // Slots after a class's count keep the library's fill value.
  EXPECT_EQ(r.get_float("prSigT", 0, 1), NC_FILL_FLOAT);
  EXPECT_EQ(r.get_float("wsSigT", 0, 249), NC_FILL_FLOAT);
  EXPECT_EQ(r.get_float("prMaxW", 0, 1), NC_FILL_FLOAT);
  EXPECT_EQ(r.get_float("prTrop", 0, 0), NC_FILL_FLOAT);
}

// Levels beyond a class's slots are reported and left out; the sounding
// and the next one are still written.
TEST(UacdfWriter, FullClassReportsEveryExtraLevelAndGoesOn) {
  TempDir dir;
  set_station(1, "BIS", 72764, 24011, 46.77f, -100.75f, 503);
  set_header(1996, 7, 14, 12, 1100);
  for (long k = 0; k < 23; ++k)
    add_level(4, 10000 - 400 * k, 100 * k, 0, 0, 0, 0);
  for (long k = 0; k < 6; ++k)
    add_level(7, 2000 - k, 12000 + k, -600, -700, 10, 20);
  add_level(8, 3000, 9000, -450, -500, 250, 400);
  OutputFile out(dir / "full.cdf");
  testing_support::CaptureStdout cap;
  netcdf_format(1, 0);
  netcdf_format(1, 1);
  const std::string said = cap.text();
  out.close();
  const std::string stn = "stn = 72764 month = 7 day = 14\n\n";
  const std::string once = stn + "mand levels exceeded.  Exiting\n" + stn +
                           "trop levels exceeded.  Exiting\n" + stn +
                           "trop levels exceeded.  Exiting\n";
  EXPECT_EQ(said, once + once);
  Reader r(dir / "full.cdf");
  for (size_t rec = 0; rec < 2; ++rec) {
    EXPECT_EQ(r.get_int("numMand", rec), 22);
    EXPECT_EQ(r.get_int("numTrop", rec), 4);
    EXPECT_EQ(r.get_int("numMwnd", rec), 1);
    EXPECT_EQ(r.get_float("prMan", rec, 21), 160.0f);
    EXPECT_EQ(r.get_float("htTrop", rec, 3), 12003.0f);
    EXPECT_EQ(r.get_float("wsMaxW", rec, 0), 40.0f);
  }
}

// Records are written whole, so the file is byte for byte the one the
// library gives when it fills every new record with fill values first:
// slots left over, a full class, a missing release time, a record of a
// single class.
TEST(UacdfWriter, EveryByteOfARecordIsWrittenAsTheFilledFileHasIt) {
  TempDir dir;
  set_station(1, "BIS", 72764, 24011, 46.77f, -100.75f, 503);
  auto write_records = [&](const std::string& path, bool library_fills) {
    OutputFile out(path);
    testing_support::CaptureStdout cap;
    for (long rec = 0; rec < 3; ++rec) {
      set_header(1996, 7, static_cast<short>(14 + rec), 12,
                 rec == 1 ? 99999 : 1100);
      if (rec == 0) {
        for (long k = 0; k < 23; ++k)
          add_level(4, 10000 - 400 * k, 100 * k, 0, 0, 0, 0);
        add_level(5, 8000, 2000, 50, 40, 99999, 99999);
        add_level(6, 7500, 2500, 99999, 99999, 250, 300);
        add_level(8, 3000, 9000, -450, -500, 250, 400);
      } else if (rec == 1) {
        add_level(9, 9800, 300, 150, 100, 180, 50);
      } else {
        for (long k = 0; k < 6; ++k)
          add_level(7, 2000 - k, 12000 + k, -600, -700, 10, 20);
      }
      netcdf_format(1, rec);
      if (rec == 0 && library_fills) {
        int old = 0;
        nc_set_fill(OutputFile::current()->ncid(), NC_FILL, &old);
      }
    }
  };
  write_records(dir / "written.cdf", false);
  write_records(dir / "filled.cdf", true);
  const std::string written = testing_support::read_file(dir / "written.cdf");
  EXPECT_EQ(written.size(),
            testing_support::read_file(dir / "filled.cdf").size());
  EXPECT_TRUE(written == testing_support::read_file(dir / "filled.cdf"));
}

}  // namespace
