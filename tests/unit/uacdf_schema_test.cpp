// The schema every NetCDF output file receives before its first sounding.
#include <algorithm>

#include "uacdf_test_support.h"

namespace {

using namespace uacdf_test;
using testing_support::TempDir;

// The header as CDL, written out from the schema tables.
std::string expected_cdl(const std::string& name, int records) {
  std::string cdl =
      "netcdf " + name +
      " {\ndimensions:\n"
      "\trecNum = UNLIMITED ; // (" +
      std::to_string(records) +
      " currently)\n"
      "\tmanLevel = 22 ;\n\tsigTLevel = 250 ;\n\tsigWLevel = 150 ;\n"
      "\tmWndNum = 5 ;\n\tmTropNum = 4 ;\n\tstaNameLen = 6 ;\n"
      "variables:\n"
      "\tint wmoStat(recNum) ;\n"
      "\t\twmoStat:long_name = \"WMO Station Number\" ;\n"
      "\t\twmoStat:reference = \"Volume A of WMO publication 9\" ;\n"
      "\t\twmoStat:missing_value = 99999 ;\n"
      "\tint wbanStat(recNum) ;\n"
      "\t\twbanStat:long_name = \"Weather Bureau Army Navy (WBAN) Station "
      "Number\" ;\n"
      "\t\twbanStat:reference = \"Quellmark WBAN Station Master List\" ;\n"
      "\tchar staName(recNum, staNameLen) ;\n"
      "\t\tstaName:long_name = \"Station Identifier\" ;\n"
      "\tfloat staLat(recNum) ;\n"
      "\t\tstaLat:long_name = \"Station Latitude\" ;\n"
      "\t\tstaLat:units = \"degrees_N\" ;\n"
      "\t\tstaLat:valid_range = 0.f, 90.f ;\n"
      "\tfloat staLon(recNum) ;\n"
      "\t\tstaLon:long_name = \"Station Longitude\" ;\n"
      "\t\tstaLon:units = \"degrees_E\" ;\n"
      "\t\tstaLon:valid_range = -180.f, -50.f ;\n"
      "\tfloat staElev(recNum) ;\n"
      "\t\tstaElev:long_name = \"Station Elevation\" ;\n"
      "\t\tstaElev:units = \"meters\" ;\n"
      "\t\tstaElev:valid_range = -100.f, 3500.f ;\n"
      "\tdouble synTime(recNum) ;\n"
      "\t\tsynTime:long_name = \"Synoptic Time\" ;\n"
      "\t\tsynTime:units = \"Seconds since (1970-1-1 00:00:0.0)\" ;\n";
  const char* counts[][3] = {{"numMand", "Mandatory Levels", "22"},
                             {"numSigT", "Significant Levels wrt T", "250"},
                             {"numSigW", "Significant Levels wrt W", "150"},
                             {"numMwnd", "Maximum Wind Levels", "5"},
                             {"numTrop", "Tropopause Levels", "4"}};
  for (auto& c : counts)
    cdl += std::string("\tint ") + c[0] + "(recNum) ;\n\t\t" + c[0] +
           ":long_name = \"Number of " + c[1] + "\" ;\n\t\t" + c[0] +
           ":valid_range = 0, " + c[2] + " ;\n";
  cdl +=
      "\tdouble relTime(recNum) ;\n"
      "\t\trelTime:long_name = \"Sounding Release Time\" ;\n"
      "\t\trelTime:units = \"Seconds since (1970-1-1 00:00:0.0)\" ;\n"
      "\tint sondTyp(recNum) ;\n"
      "\t\tsondTyp:long_name = \"Instrument Type\" ;\n"
      "\t\tsondTyp:reference = \"Federal Meteorological Handbook No. 4\" ;\n";
  const char* classes[][3] = {{"Man", "manLevel", "Mandatory level"},
                              {"SigT", "sigTLevel", "Significant level wrt T"},
                              {"SigW", "sigWLevel", "Significant level wrt W"},
                              {"Trop", "mTropNum", "Tropopause level"},
                              {"MaxW", "mWndNum", "Maximum wind level"}};
  const char* quantities[][4] = {
      {"pr", "Pressure", "hectopascals", "1.f, 1500.f"},
      {"ht", "Geopotential", "meters", "-250.f, 60000.f"},
      {"tp", "Temperature", "kelvin", "173.f, 373.f"},
      {"td", "Dew Point Depression", "kelvin", "0.f, 60.f"},
      {"wd", "Wind Direction", "degrees_true", "0.f, 360.f"},
      {"ws", "Wind Speed", "meter/sec", "0.f, 150.f"}};
  for (auto& c : classes)
    for (auto& q : quantities) {
      const std::string v = std::string(q[0]) + c[0];
      cdl += "\tfloat " + v + "(recNum, " + c[1] + ") ;\n\t\t" + v +
             ":long_name = \"" + q[1] + " - " + c[2] + "\" ;\n\t\t" + v +
             ":units = \"" + q[2] + "\" ;\n\t\t" + v +
             ":valid_range = " + q[3] + " ;\n\t\t" + v +
             ":missing_value = 99999.f ;\n";
    }
  return cdl +
         "\n// global attributes:\n"
         "\t\t:comment0 = \"First mandatory level is surface level\" ;\n"
         "\t\t:version = \"Vantorium 1.3\" ;\n}\n";
}

void write_one_sounding(const std::string& path) {
  OutputFile out(path);
  set_station(3, "DEN", 72469, 23062, 39.77f, -104.87f, 1611);
  set_header(1995, 1, 1, 12, 1100);
  add_level(9, 8370, 1611, 50, -20, 0, 0);
  netcdf_format(3, 0);
}

TEST(UacdfSchema, HeaderIsTheFixedSchemaInDefinitionOrder) {
  TempDir dir;
  write_one_sounding(dir / "one.cdf");
  EXPECT_EQ(testing_support::shell_output("ncdump -h " + (dir / "one.cdf")),
            expected_cdl("one", 1));

  Reader r(dir / "one.cdf");
  int ndims, nvars, ngatts, unlim, format;
  ASSERT_EQ(nc_inq(r.id(), &ndims, &nvars, &ngatts, &unlim), NC_NOERR);
  EXPECT_EQ(ndims * 100 + nvars, 7 * 100 + 44);
  EXPECT_EQ(ngatts, 2);
  EXPECT_EQ(unlim, 0);
  nc_inq_format(r.id(), &format);
  EXPECT_EQ(format, NC_FORMAT_CLASSIC);
  size_t len;
  nc_inq_attlen(r.id(), NC_GLOBAL, "version", &len);
  EXPECT_EQ(len, 13u);
  nc_inq_attlen(r.id(), NC_GLOBAL, "comment0", &len);
  EXPECT_EQ(len, 38u);
  int natts_total = 0;
  for (int v = 0; v < nvars; ++v) {
    int natts;
    nc_inq_varnatts(r.id(), v, &natts);
    natts_total += natts;
  }
  EXPECT_EQ(natts_total, 151);
  // The variables are numbered in definition order.
  EXPECT_EQ(r.var("wmoStat"), 0);
  EXPECT_EQ(r.var("sondTyp"), 13);
  EXPECT_EQ(r.var("prMan"), 14);
  EXPECT_EQ(r.var("wsMaxW"), 43);
  EXPECT_EQ(file_size(dir / "one.cdf"),
            classic_header_size(r.id()) + kRecordBytes);
}

TEST(UacdfSchema, EveryFileGetsTheSameSchemaAndIds) {
  TempDir dir;
  write_one_sounding(dir / "a.cdf");
  write_one_sounding(dir / "b.cdf");
  EXPECT_EQ(testing_support::shell_output("ncdump -h " + (dir / "a.cdf")),
            expected_cdl("a", 1));
  EXPECT_EQ(testing_support::shell_output("ncdump -h " + (dir / "b.cdf")),
            expected_cdl("b", 1));
}

TEST(UacdfSchema, FileWithoutSoundingKeepsAnEmptyHeader) {
  TempDir dir;
  OutputFile(dir / "empty.cdf").close();
  Reader r(dir / "empty.cdf");
  int ndims = -1, nvars = -1, ngatts = -1, unlim = 0;
  ASSERT_EQ(nc_inq(r.id(), &ndims, &nvars, &ngatts, &unlim), NC_NOERR);
  EXPECT_EQ(ndims + nvars + ngatts, 0);
  EXPECT_EQ(unlim, -1);
  // Magic, no records, and absent dimension, attribute and variable lists.
  const std::string bytes = testing_support::read_file(dir / "empty.cdf");
  EXPECT_EQ(bytes.substr(0, 32),
            std::string("CDF\1", 4) + std::string(28, '\0'));
  EXPECT_EQ(testing_support::shell_output("ncdump -h " + (dir / "empty.cdf")),
            "netcdf empty {\n}\n");
}

}  // namespace
