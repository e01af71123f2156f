// A NetCDF request through the whole program: the dialogue without a
// destination question, the names of a single file (the begin date) and of
// station files (WMO_INI_date), the files' records read back with ncdump,
// and the exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "archive_writer.h"
#include "test_support.h"

using namespace testing_support;

namespace {

archive_writer::Sounding den(int day, int hour, long reltime) {
  archive_writer::Sounding s;
  s.year = 1995;
  s.day = day;
  s.hour = hour;
  s.wban = 23062;
  s.reltime = reltime;
  // Surface, two mandatory, one significant, a tropopause, a maximum wind.
  s.levels = {{1, 8370, 1611, 50, -20, 180, 30},
              {2, 7000, 3000, -50, -100, 200, 80},
              {16, 6000, 4200, -120, -180, 210, 100},
              {2, 5000, 5600, -200, -260, 230, 150},
              {8, 2500, 10400, -500, -600, 260, 601},
              {4, 2000, 11800, -562, 99999, 255, 300}};
  return s;
}

std::string ncdump_data(const std::string& path) {
  const std::string out = shell_output(
      "ncdump -v wmoStat,staName,synTime,relTime,numMand,numSigT,numMwnd,"
      "numTrop " +
      path);
  const size_t at = out.find("data:\n");
  return at == std::string::npos ? out : out.substr(at);
}

// The data part of ncdump's listing of those variables (in id order) for
// records of DEN with the given times and 3, 1, 1, 1 levels per class.
std::string expected_data(int records, const std::string& syn,
                          const std::string& rel) {
  auto row = [records](const std::string& v) {
    std::string text = v;
    for (int k = 1; k < records; ++k) text += ", " + v;
    return text;
  };
  std::string names;
  for (int k = 0; k < records; ++k)
    names += std::string("  \"DEN   \"") + (k + 1 < records ? ",\n" : " ;\n");
  return "data:\n\n wmoStat = " + row("72469") + " ;\n\n staName =\n" + names +
         "\n synTime = " + syn + " ;\n\n numMand = " + row("3") +
         " ;\n\n numSigT = " + row("1") + " ;\n\n numMwnd = " + row("1") +
         " ;\n\n numTrop = " + row("1") + " ;\n\n relTime = " + rel + " ;\n}\n";
}

TEST(NetcdfRequest, SynopticThenStationSeriesFiles) {
  RunDir dir("GENERAL_INFO\nwelcome\nEND.\n", catalogue({kDenEntry}));
  make_dir(dir / "out");
  archive_writer::write_station_year(
      dir / "db", 1995, 23062,
      {den(1, 12, 1100), den(2, 0, 2315), den(2, 12, 99999)});

  const std::string input =
      "\n1995010100\n1995010212\n0\n0\n0\nn\n1\n72469\n"
      "2\ny\n0\n0\nout\n0\n"  // NetCDF, synoptic sort, all in one file
      "y\n\n\n\n1\n\n2\n"     // again: station series, one sounding per file
      "n\nn\n";
  const RunResult r = dir.run(rawinq_bin(), input);
  // A normal end returns the count of the last retrieval, which is the
  // soundings written to its last output file: 1 with one sounding per file
  // (the request wrote 3). A failing NetCDF library call would instead end
  // the run with 3 and a line on standard error.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  const std::string note = "\n NOTE: ALL NetCDF output is to a file\n";
  // Once for each pass through the output questions.
  const size_t first_note = r.out.find(note);
  ASSERT_NE(first_note, std::string::npos) << r.out;
  EXPECT_NE(r.out.find(note, first_note + 1), std::string::npos);
  // Neither the destination nor the wind units are asked for NetCDF.
  EXPECT_EQ(r.out.find("Where do you want to direct the output?"),
            std::string::npos);
  EXPECT_EQ(r.out.find(" What type of wind speed units do you want?"),
            std::string::npos);
  // The single file is named after the begin date, not after its first
  // sounding (1 January 12 UTC).
  for (const char* name :
       {"1995010100.cdf", "72469_DEN_1995010112.cdf",
        "72469_DEN_1995010200.cdf", "72469_DEN_1995010212.cdf"})
    EXPECT_NE(r.out.find(std::string(" STATUS:  Writing output file: out/") +
                         name + "        \n"),
              std::string::npos)
        << name;
  EXPECT_FALSE(file_exists(dir / "out/1995010112.cdf"));

  // 1 January 12 UTC released 11:00, 2 January 00 UTC released 23:15 the
  // day before, 2 January 12 UTC without release time.
  EXPECT_EQ(ncdump_data(dir / "out/1995010100.cdf"),
            expected_data(3, "788961600, 789004800, 789048000",
                          "788958000, 789002100, 99999"));
  EXPECT_EQ(ncdump_data(dir / "out/72469_DEN_1995010112.cdf"),
            expected_data(1, "788961600", "788958000"));
  EXPECT_EQ(ncdump_data(dir / "out/72469_DEN_1995010200.cdf"),
            expected_data(1, "789004800", "789002100"));
  EXPECT_EQ(ncdump_data(dir / "out/72469_DEN_1995010212.cdf"),
            expected_data(1, "789048000", "99999"));
}

}  // namespace
