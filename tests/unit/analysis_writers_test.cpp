// The CSV and CF writers on hand-made soundings: exact CSV text (header,
// missing values as empty fields, level selection, knots, the WBAN of an
// international site, the indices table), and a CF file read back through
// the netCDF API and through xarray with its default options.
#include <netcdf.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rawinq/cf_grid.h"
#include "rawinq/cf_writer.h"
#include "rawinq/csv_writer.h"
#include "rawinq/derived_fields.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;

constexpr long M = kMissingValue;

STATREC station(long wmo, long wban, const char* name, float lat, float lon,
                short elev) {
  STATREC s{};
  std::strncpy(s.init, "DEN", sizeof s.init - 1);
  s.wmo = wmo;
  s.wban = wban;
  s.lat = lat;
  s.lon = lon;
  s.elev = elev;
  std::snprintf(s.name, sizeof s.name, "%-29s", name);
  return s;
}

Sounding sounding(short year, short month, short day, short hour,
                  std::vector<DATA_TYPE> levels) {
  Sounding s;
  s.header.year = year;
  s.header.month = month;
  s.header.day = day;
  s.header.hour = hour;
  s.header.reltime = kMissingValue;
  s.header.levels = static_cast<long>(levels.size());
  s.levels = std::move(levels);
  return s;
}

// Surface, a significant wind level without temperature, a mandatory
// level, a level of an unknown type (never written), a tropopause.
const std::vector<DATA_TYPE> kLevels = {
    {9, 8400, 1611, 252, 31, 170, 51},  {6, 8000, 2010, M, M, 200, 100},
    {4, 7000, 3150, 128, -75, 230, 150}, {0, 6500, 3700, 50, -150, M, M},
    {7, 2000, 11800, -563, M, 260, 255}};

TEST(AnalysisWriters, CsvRows) {
  const STATREC den = station(72469, 23062, "DENVER", 39.77f, -104.87f, 1611);
  const STATREC intl = station(10410, 910410, "ESSEN", 51.4f, 6.97f, 150);
  Sounding s = sounding(1995, 7, 4, 0, kLevels);
  s.header.reltime = 2315;  // the evening before

  // Levels as the archive keeps them: the surface, a mandatory level below
  // the ground, a wind level reported by height only, one with neither.
  const STATREC named = station(72469, 23062, "DENVER, CO", 39.77f, -104.87f, 1611);
  const std::vector<DATA_TYPE> archive_order = {
      {9, 8400, 1611, 252, 31, 170, 51}, {4, 8500, 1500, M, M, M, M},
      {4, 7000, 3150, 128, -75, 230, 150}, {6, M, 2500, M, M, 210, 120},
      {6, M, M, M, M, 250, 200}};
  StationIds kdnr;
  kdnr.wmo = 72469;
  kdnr.icao = {"KDNR"};
  kdnr.codes = {"DNR"};
  const auto world = std::make_shared<StationIdTable>(std::vector<StationIds>{kdnr});
  const std::string key = "72469,23062,DEN,DENVER,39.77,-104.87,1611,1995-07-04T00:00:00Z,"
                          "1995-07-03T23:15:00Z,";
  const std::string named_key =
      "72469,23062,KDNR,\"DENVER, CO\",39.77,-104.87,1611,1995-07-04T00:00:00Z,"
      "1995-07-03T23:15:00Z,";
  const std::string intl_key =
      "10410,,DEN,ESSEN,51.4,6.97,150,1995-07-04T00:00:00Z,1995-07-03T23:15:00Z,";
  const std::string head =
      "station_wmo,station_wban,station_id,station_name,latitude_deg,longitude_deg,"
      "elevation_m,time,release_time,level_type,pressure_hPa,height_m,"
      "temperature_C,dewpoint_C,wind_direction_deg,";
  struct Case {
    const char* what;
    CsvOptions options;
    const STATREC& station;
    const std::vector<DATA_TYPE>& levels;
    std::string expected;
  } cases[] = {
      // 25.5 m/s is 49.57 kt (49 through the ZIR factor).
      {"all levels, knots of the exact factor", {0, true, false, nullptr}, den, kLevels,
       head + "wind_speed_kt\n" +
       key + "surface,840.0,1611,25.2,3.1,170,10\n" +
       key + "significant_wind,800.0,2010,,,200,19\n" +
       key + "mandatory,700.0,3150,12.8,-7.5,230,29\n" +
       key + "tropopause,200.0,11800,-56.3,,260,50\n"},
      {"mandatory levels, m/s, international site", {1, false, false, nullptr}, intl, kLevels,
       head + "wind_speed_m_s\n" +
       intl_key + "surface,840.0,1611,25.2,3.1,170,5.1\n" +
       intl_key + "mandatory,700.0,3150,12.8,-7.5,230,15.0\n"},
      // Decreasing pressure, the level below the ground marked; the level
      // by height between those it lies between, the one without either
      // last; the ICAO code of the world table, a name with a comma quoted.
      {"pressure order, identifier and quoted name", {0, false, false, world.get()}, named,
       archive_order,
       head + "wind_speed_m_s\n" +
       named_key + "below_ground,850.0,1500,,,,\n" +
       named_key + "surface,840.0,1611,25.2,3.1,170,5.1\n" +
       named_key + "significant_wind,,2500,,,210,12.0\n" +
       named_key + "mandatory,700.0,3150,12.8,-7.5,230,15.0\n" +
       named_key + "significant_wind,,,,,250,20.0\n"},
  };
  for (const Case& c : cases) {
    const CsvWriter w(c.options);
    std::string out = w.levels_header();
    Sounding x = s;
    x.levels = c.levels;
    EXPECT_EQ(w.write(x, c.station, out, nullptr),
              testing_support::count_of(c.expected, "\n") - 1) << c.what;
    EXPECT_EQ(out, c.expected) << c.what;
  }

  // The release time (hhmm) goes to the day nearest to the nominal time.
  const struct { short y, m, d, h; long rel; const char* iso; } releases[] = {
      {1996, 1, 1, 0, 2350, "1995-12-31T23:50:00Z"},
      {1996, 2, 28, 23, 10, "1996-02-29T00:10:00Z"},
      {1995, 7, 4, 12, 1260, ""}};
  for (const auto& r : releases) {
    Sounding x = sounding(r.y, r.m, r.d, r.h, {});
    x.header.reltime = r.rel;
    EXPECT_EQ(iso8601_release_time(x.header), r.iso) << r.rel;
  }

  // Derived columns and the indices table: the header names every column,
  // each row has as many fields, a level without dew point has empty
  // humidity fields but a potential temperature.
  const CsvWriter w({0, false, true, nullptr});
  std::string levels = w.levels_header(), indices = w.indices_header();
  w.write(s, den, levels, &indices);
  w.write(sounding(1995, 7, 4, 12, {}), den, levels, &indices);  // no rows at all
  std::vector<std::string> lines;
  std::istringstream in(levels);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find(",wind_speed_m_s,theta_K,theta_e_K,theta_v_K,mixing_ratio_g_kg,"
                          "relative_humidity_pct"),
            std::string::npos);
  for (const std::string& l : lines) {
    EXPECT_EQ(testing_support::count_of(l, ","), 20) << l;
  }
  // 800 hPa, no temperature: all five empty; 200 hPa tropopause: theta only
  // (216.85 K at 200 hPa is 343.45 K).
  EXPECT_EQ(lines[2].substr(lines[2].size() - 5), ",,,,,");
  EXPECT_NE(lines[4].find(",343.45,"), std::string::npos) << lines[4];
  EXPECT_EQ(lines[4].substr(lines[4].size() - 4), ",,,,");

  std::istringstream ix(indices);
  std::vector<std::string> rows;
  for (std::string line; std::getline(ix, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rfind("station_wmo,station_wban,station_id,station_name,latitude_deg,"
                          "longitude_deg,elevation_m,time,release_time,lcl_pressure_hPa,", 0), 0u);
  EXPECT_EQ(testing_support::count_of(rows[0], ","), testing_support::count_of(rows[1], ","));
  EXPECT_EQ(rows[1].rfind(key, 0), 0u);
}

// Reads a whole float variable.
std::vector<float> floats(int ncid, const char* name) {
  int var = -1, dim = -1;
  size_t n = 0;
  EXPECT_EQ(nc_inq_varid(ncid, name, &var), NC_NOERR) << name;
  EXPECT_EQ(nc_inq_vardimid(ncid, var, &dim), NC_NOERR);
  EXPECT_EQ(nc_inq_dimlen(ncid, dim, &n), NC_NOERR);
  std::vector<float> v(n);
  if (n) {
    EXPECT_EQ(nc_get_var_float(ncid, var, v.data()), NC_NOERR) << name;
  }
  return v;
}

std::string text_att(int ncid, int var, const char* name) {
  size_t len = 0;
  if (nc_inq_attlen(ncid, var, name, &len) != NC_NOERR) return "(none)";
  std::string s(len, '\0');
  EXPECT_EQ(nc_get_att_text(ncid, var, name, s.data()), NC_NOERR);
  return s;
}

TEST(AnalysisWriters, CfFileReadBack) {
  TempDir dir;
  const std::string path = dir / "out.nc";
  const STATREC den = station(72469, 23062, "DENVER", 39.77f, -104.87f, 1611);
  const STATREC intl = station(10410, 910410, "ESSEN", 51.4f, 6.97f, 150);
  {
    CfWriter w(path, {0, true, "test", nullptr});
    Sounding released = sounding(1995, 7, 4, 0, kLevels);
    released.header.reltime = 2315;
    EXPECT_EQ(w.write(released, den), 4);
    EXPECT_EQ(w.write(sounding(1995, 7, 4, 12, {}), den), 0);
    // Out of order, with a level below the ground.
    EXPECT_EQ(w.write(sounding(1969, 12, 31, 12,
                               {kLevels[2], kLevels[0], {4, 8500, 1500, M, M, M, M}}),
                      intl),
              3);
    w.finish();
  }
  int ncid = -1;
  ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  int format = 0;
  EXPECT_EQ(nc_inq_format(ncid, &format), NC_NOERR);
  EXPECT_EQ(format, NC_FORMAT_NETCDF4_CLASSIC);
  EXPECT_EQ(text_att(ncid, NC_GLOBAL, "Conventions"), "CF-1.8");
  EXPECT_EQ(text_att(ncid, NC_GLOBAL, "featureType"), "profile");
  EXPECT_EQ(text_att(ncid, NC_GLOBAL, "history"), "test");

  int var = -1;
  ASSERT_EQ(nc_inq_varid(ncid, "row_size", &var), NC_NOERR);
  EXPECT_EQ(text_att(ncid, var, "sample_dimension"), "obs");
  int rows[2] = {};
  EXPECT_EQ(nc_get_var_int(ncid, var, rows), NC_NOERR);
  EXPECT_EQ(rows[0], 4);
  EXPECT_EQ(rows[1], 3);
  int shuffle = 0, deflate = 0, level = 0;
  ASSERT_EQ(nc_inq_varid(ncid, "air_temperature", &var), NC_NOERR);
  EXPECT_EQ(nc_inq_var_deflate(ncid, var, &shuffle, &deflate, &level), NC_NOERR);
  EXPECT_EQ(shuffle * deflate * level, 4);
  EXPECT_EQ(text_att(ncid, var, "valid_range"), "(none)");

  const std::vector<float> t = floats(ncid, "air_temperature");
  const std::vector<float> td = floats(ncid, "dew_point_temperature");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_FLOAT_EQ(t[0], 25.2f + 273.15f);
  EXPECT_EQ(t[1], NC_FILL_FLOAT);
  EXPECT_FLOAT_EQ(t[3], -56.3f + 273.15f);
  EXPECT_EQ(td[3], NC_FILL_FLOAT);
  EXPECT_FLOAT_EQ(floats(ncid, "air_pressure")[4], 850.0f);
  EXPECT_FLOAT_EQ(floats(ncid, "air_pressure")[6], 700.0f);
  EXPECT_FLOAT_EQ(floats(ncid, "wind_speed")[1], 10.0f);

  double times[2] = {};
  ASSERT_EQ(nc_inq_varid(ncid, "time", &var), NC_NOERR);
  EXPECT_EQ(nc_get_var_double(ncid, var, times), NC_NOERR);
  EXPECT_DOUBLE_EQ(times[0], 804816000.0);  // 1995-07-04T00:00:00Z
  EXPECT_DOUBLE_EQ(times[1], -43200.0);     // 1969-12-31T12:00:00Z
  ASSERT_EQ(nc_inq_varid(ncid, "release_time", &var), NC_NOERR);
  EXPECT_EQ(nc_get_var_double(ncid, var, times), NC_NOERR);
  EXPECT_DOUBLE_EQ(times[0], 804816000.0 - 45 * 60);  // 1995-07-03T23:15:00Z
  EXPECT_EQ(times[1], NC_FILL_DOUBLE);
  EXPECT_EQ(text_att(ncid, var, "standard_name"), "time");
  int wban[2] = {};
  ASSERT_EQ(nc_inq_varid(ncid, "station_wban", &var), NC_NOERR);
  EXPECT_EQ(nc_get_var_int(ncid, var, wban), NC_NOERR);
  EXPECT_EQ(wban[0], 23062);
  EXPECT_EQ(wban[1], NC_FILL_INT);
  EXPECT_EQ(floats(ncid, "sb_cape").size(), 2u);
  EXPECT_EQ(nc_close(ncid), NC_NOERR);

  // xarray, default options: times decoded, the ragged levels as one obs
  // dimension, fill values masked.
  const std::string script =
      "import sys, numpy as np, xarray as xr\n"
      "ds = xr.open_dataset(sys.argv[1])\n"
      "assert str(ds.time.values[0]) .startswith('1995-07-04T00:00:00'), ds.time.values\n"
      "assert str(ds.time.values[1]).startswith('1969-12-31T12:00:00'), ds.time.values\n"
      "assert ds.featureType == 'profile'\n"
      "t = ds.air_temperature.values\n"
      "assert abs(t[0] - 298.35) < 1e-3 and np.isnan(t[1])\n"
      "assert np.isnan(ds.dew_point_temperature.values[3])\n"
      "assert abs(float(ds.latitude[0]) - 39.77) < 1e-4 and abs(float(ds.longitude[0]) + 104.87) < 1e-4\n"
      "assert np.isnan(ds.station_wban.values[1])\n"
      "assert int(ds.row_size.sum()) == ds.sizes['obs'] == 7\n"
      "assert list(ds.level_type.values) == [9, 6, 4, 7, 0, 9, 4], ds.level_type.values\n"
      "assert ds.level_type.flag_meanings.split()[0] == 'below_ground'\n"
      "assert list(ds.station_name.values) == ['DENVER', 'ESSEN'], ds.station_name.values\n"
      "assert list(ds.station_id.values) == ['DEN', 'DEN'], ds.station_id.values\n"
      "assert ds.altitude.standard_name == 'surface_altitude'\n"
      "assert ds.sb_cape.dims == ('profile',)\n"
      "print('ok')\n";
  testing_support::write_file(dir / "check.py", script);
  const auto r = testing_support::run_program("/usr/bin/python3", {dir / "check.py", path}, "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "ok\n");
}

// Missing is missing in both formats: a station without a WMO number
// (99999), and derived values that are not finite (a dew point of -244 C
// gives an infinite relative humidity) or beyond a float's range (theta-e
// of 80 C with a dew point of 79 C at 500 hPa).
TEST(AnalysisWriters, MissingValuesInEveryFormat) {
  const STATREC wnet = station(M, 94999, "NOWMO", 40.0f, -100.0f, 500);
  const Sounding s = sounding(1995, 7, 4, 0, {{9, 8400, 1611, 252, -2440, 170, 51},
                                              {4, 5000, 5600, 800, 790, 260, 250}});
  std::string levels, indices;
  ASSERT_EQ(CsvWriter({0, false, true, nullptr}).write(s, wnet, levels, &indices), 2);
  for (const std::string& text : {levels, indices}) {
    EXPECT_EQ(text.rfind(",94999,", 0), 0u) << text;
    EXPECT_EQ(text.find("inf"), std::string::npos) << text;
  }
  TempDir dir;
  {
    CfWriter w(dir / "out.nc", {0, true, "test", nullptr});
    w.write(s, wnet);
    w.finish();
  }
  int ncid = -1, var = -1, wmo = 0, fill = 0, non_finite = 0;
  ASSERT_EQ(nc_open((dir / "out.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(ncid, "station_wmo", &var), NC_NOERR);
  EXPECT_EQ(nc_get_var_int(ncid, var, &wmo), NC_NOERR);
  EXPECT_EQ(nc_get_att_int(ncid, var, "_FillValue", &fill), NC_NOERR);
  EXPECT_EQ(wmo, fill);
  for (const LevelField& f : kLevelFields)
    for (float v : floats(ncid, f.cf_name)) non_finite += !std::isfinite(v);
  EXPECT_EQ(non_finite, 0);
  EXPECT_EQ(nc_close(ncid), NC_NOERR);
}

TEST(AnalysisWriters, CfCreateFailureIsReported) {
  EXPECT_THROW(CfWriter("/nonexistent-dir/x.nc", {}), CfError);
}

}  // namespace

// A sounding on both grids against values worked by hand (linear in ln p,
// or in the height above the station; winds as components), nothing
// below the ground or above the top; then a cube of two stations written
// and read by xarray, selected by station identifier and time.
TEST(AnalysisWriters, GridCube) {
  // Station at 1000 m; a mandatory level reported below the ground (925
  // hPa), a temperature level without height or wind (600 hPa).
  const Sounding s = sounding(1999, 5, 4, 0,
                              {{9, 9000, 1000, 200, 100, 270, 100},
                               {4, 9250, 770, 230, 120, 250, 50},
                               {4, 8500, 1500, 150, 50, 180, 200},
                               {5, 6000, M, -50, M, M, M},
                               {4, 5000, 5700, -150, -300, 90, 100}});
  GridOptions pressure = parse_grid("pressure:925,850,700,500,300");
  GridOptions height = parse_grid("height:8000,0,500,2000,5000");
  const GriddedSounding p = grid_sounding(s, pressure, 1000.0);
  const GriddedSounding h = grid_sounding(s, height, 1000.0);
  const double nan = std::nan("");
  const struct {
    const char* what;
    const std::vector<double>& got;
    std::vector<double> expected;
  } rows[] = {
      {"z on pressures", p.height_m, {nan, 1500, 3036.7732, 5700, nan}},
      {"T on pressures", p.temperature_k, {nan, 288.15, 277.0014, 258.15, nan}},
      {"Td on pressures", p.dew_point_k, {nan, 278.15, 265.3436, 243.15, nan}},
      {"u on pressures", p.u_ms, {nan, 0, -3.6590, -10, nan}},
      {"v on pressures", p.v_ms, {nan, 20, 12.6820, 0, nan}},
      {"p on heights", h.pressure_hpa, {900, 850, 703.2597, nan, nan}},
      {"T on heights", h.temperature_k, {293.15, 288.15, 277.2682, nan, nan}},
      {"Td on heights", h.dew_point_k, {283.15, 278.15, 265.65, nan, nan}},
      {"u on heights", h.u_ms, {10, 0, -3.5714, nan, nan}},
      {"v on heights", h.v_ms, {0, 20, 12.8571, nan, nan}},
  };
  for (const auto& r : rows) {
    ASSERT_EQ(r.got.size(), r.expected.size()) << r.what;
    for (std::size_t k = 0; k < r.got.size(); ++k) {
      if (std::isnan(r.expected[k]))
        EXPECT_TRUE(std::isnan(r.got[k])) << r.what << " level " << k << ": " << r.got[k];
      else
        EXPECT_NEAR(r.got[k], r.expected[k], 1e-3) << r.what << " level " << k;
    }
  }

  // The cube: KDNR by the world table, the other station by its letters;
  // Denver's second sounding before its first (the block is read back).
  TempDir dir;
  const std::string path = dir / "cube.nc";
  StationIds kdnr;
  kdnr.wmo = 72469;
  kdnr.icao = {"KDNR"};
  const StationIdTable ids(std::vector<StationIds>{kdnr});
  pressure.from = 1999050300;
  pressure.to = 1999050512;
  pressure.hours.set(0).set(12);
  {
    int ncid = -1;
    ASSERT_EQ(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4 | NC_CLASSIC_MODEL, &ncid),
              NC_NOERR);
    CfGridWriter w(ncid, pressure, "test", &ids);
    const STATREC den = station(72469, 23062, "DENVER", 39.77f, -104.87f, 1000);
    STATREC oun = station(72357, 3948, "NORMAN", 35.18f, -97.44f, 357);
    std::strncpy(oun.init, "OUN", sizeof oun.init - 1);
    Sounding later = s;
    later.header.day = 5;
    later.header.hour = 12;
    EXPECT_TRUE(w.write(s, den));
    EXPECT_TRUE(w.write(sounding(1999, 5, 3, 12, {{9, 9800, 357, 250, 150, 0, 0}}), oun));
    EXPECT_TRUE(w.write(later, den));
    EXPECT_FALSE(w.write(sounding(1999, 5, 6, 0, {}), den));  // after the period
    // Letters another station of the cube has already: its number instead,
    // so that every station can be selected by its label.
    STATREC other = station(72249, 3990, "FORT WORTH", 32.8f, -97.3f, 196);
    std::strncpy(other.init, "OUN", sizeof other.init - 1);
    EXPECT_TRUE(w.write(sounding(1999, 5, 4, 0, {{9, 9900, 196, 250, 150, 0, 0}}), other));
    w.finish();
    ASSERT_EQ(nc_close(ncid), NC_NOERR);
  }
  const std::string script =
      "import sys, numpy as np, xarray as xr\n"
      "ds = xr.open_dataset(sys.argv[1])\n"
      "assert ds.air_temperature.dims == ('station', 'time', 'level')\n"
      "assert list(ds.station.values) == ['KDNR', 'OUN', '72249'], ds.station.values\n"
      "assert list(ds.station_name.values) == ['DENVER', 'NORMAN', 'FORT WORTH']\n"
      "assert ds.sizes['time'] == 6 and list(ds.level.values) == [925, 850, 700, 500, 300]\n"
      "t = ds.air_temperature.sel(station='KDNR', time='1999-05-04T00')\n"
      "assert abs(float(t.sel(level=700)) - 277.0014) < 1e-3 and np.isnan(float(t.sel(level=925)))\n"
      "assert float(ds.air_temperature.sel(station='KDNR', time='1999-05-05T12', level=850)) == np.float32(288.15)\n"
      "assert np.isnan(ds.air_temperature.sel(station='KDNR', time='1999-05-03T12')).all()\n"
      "assert np.isnan(ds.air_temperature.sel(station='OUN')).all()  # surface at 980 hPa only\n"
      "assert ds.air_temperature.sel(station='KDNR').notnull().sum() == 2 * 3\n"
      "assert ds.station.cf_role == 'timeseries_id' and ds.level.standard_name == 'air_pressure'\n"
      "assert float(ds.altitude.sel(station='OUN')) == 357\n"
      "print('ok')\n";
  testing_support::write_file(dir / "check.py", script);
  const auto r = testing_support::run_program("/usr/bin/python3", {dir / "check.py", path}, "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "ok\n");
}
