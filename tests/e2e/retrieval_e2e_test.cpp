// Whole requests through the dialogue of both programs over a small archive:
// exact standard output of the retrieval and the output files it writes,
// in both orders.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "test_support.h"
#include "zir_lines.h"

using namespace testing_support;

namespace {

const std::string kContinue =
    "\n Do you wish to continue accessing this data? [Y/N] [N]\b\b";
const std::string kMore = " Would you like to request more data? [Y/N] [N]\b\b";
const std::string k16(16, ' ');
const std::string k20(20, ' ');

struct Station {
  long wban, wmo;
  const char* init;
  const char* lat;
  const char* lon;
  int elev;
};
const Station kDen{23062, 72469, "DEN", "39.75", "104.87", 1611};
const Station kLbf{24023, 72562, "LBF", "41.13", "100.68", 847};

// The levels every test sounding carries (more than four, so none is
// dropped).
std::vector<archive_writer::Level> levels() {
  using L = archive_writer::Level;
  const long m = archive_writer::kMissing;
  return {L{1, 8300, 1611, 50, -20, 180, 30},
          L{2, 7000, 3100, -50, -120, 200, 80},
          L{2, 5000, 5700, -200, -300, 230, 150},
          L{16, 4500, 6400, -250, -350, m, m},
          L{2, 3000, 9400, -450, m, 250, 300}};
}

archive_writer::Sounding at(long wban, int y, int mo, int d, int h) {
  archive_writer::Sounding s;
  s.year = y;
  s.month = mo;
  s.day = d;
  s.hour = h;
  s.wban = wban;
  s.levels = levels();
  return s;
}

// The ZIR block of one test sounding of station st, current layout, all
// levels, tenths of m/s.
std::string zir_block(const Station& st, int y, int mo, int d, int h) {
  using namespace zir_lines;
  static const char* const kMon[] = {" JAN", " FEB", " MAR", " APR",
                                     " MAY", " JUN", " JUL", " AUG",
                                     " SEP", " OCT", " NOV", " DEC"};
  std::string b = date_line(h, d, kMon[mo - 1], y) +
                  station_line(st.wban, st.wmo, std::atof(st.lat), 'N',
                               std::atof(st.lon), 'W', st.elev, 99999) +
                  summary_line(99999, 99999, 99999, 9, 99999, 99999) +
                  ident_line(st.init, 99999, "ms");
  const long fr_of_flag[33] = {0, 9, 4, 0, 7, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 5,
                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6};
  for (const auto& l : levels()) {
    b += level_line(
        fr_of_flag[l.flag], l.pr,
        archive_writer::decoded_height(archive_writer::height_code(l.ht)), l.tp,
        l.dp, l.wd, l.ws);
  }
  return b;
}

std::string date_line(long date) {
  return " STATUS:  processing date: " + std::to_string(date) + "\r";
}
std::string station_line(long date, long number) {
  return " STATUS:  processing date: " + std::to_string(date) +
         " station: " + std::to_string(number) + "\r";
}
std::string written(long n, const std::string& blanks) {
  return " STATUS:  number of soundings written: " + std::to_string(n) +
         blanks + "\n\n";
}

class Retrieval : public ::testing::Test {
 protected:
  void SetUp() override { make_dir(dir / "out"); }
  void archive(bool north_american) {
    archive_writer::write_station_year(
        dir / "db", 1995, kDen.wban,
        {at(kDen.wban, 1995, 1, 1, 0), at(kDen.wban, 1995, 1, 1, 12),
         at(kDen.wban, 1995, 1, 2, 0)},
        2, north_american);
    archive_writer::write_station_year(dir / "db", 1995, kLbf.wban,
                                       {at(kLbf.wban, 1995, 1, 1, 0)}, 2,
                                       north_american);
  }
  RunResult run(const std::string& bin, const std::string& answers) {
    return dir.run(bin, "\n" + answers, {"500"});
  }
  RunDir dir{"GENERAL_INFO\nwelcome text\nEND.\nNO_FILES_OPEN\nno files\nEND.\n",
             catalogue({kDenEntry, kLbfEntry})};
};

// Dates, 0z and 12z, both stations by WMO number, ZIR with all levels in
// tenths of m/s.
const std::string kRequest =
    "1995010100\n1995010200\n1\n0\n0\nn\n2\n72469\n72562\n0\ny\n0\n1\n";

TEST_F(Retrieval, SynopticOrderOneFilePerDayInBothEditions) {
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    std::filesystem::remove_all(dir / "db");
    std::filesystem::remove_all(dir / "out");
    make_dir(dir / "out");
    archive(bin == rawinq_na_bin());
    const RunResult r = run(bin, kRequest + "0\n1\nout\n3\nn\nn\n");
    std::string expect = "\n\n STATUS:  opening database files ...\r"
                         " STATUS:  reading database file 1 of 2\r"
                         " STATUS:  reading database file 2 of 2\r";
    for (int hr = 0; hr <= 23; ++hr) {
      const long date = 1995010100 + hr;
      expect += date_line(date);
      if (hr == 0) {
        expect += station_line(date, 72469) +
                  " STATUS:  Writing output file: out/1995010100.txt        \n" +
                  station_line(date, 72469) + station_line(date, 72562) +
                  station_line(date, 72562);
      } else if (hr == 12) {
        expect += station_line(date, 72469) + station_line(date, 72469);
      }
    }
    expect += date_line(1995010200) + station_line(1995010200, 72469) +
              written(3, k16) +
              " STATUS:  Writing output file: out/1995010200.txt        \n" +
              station_line(1995010200, 72469) + written(1, k20) + kContinue +
              kMore;
    ASSERT_GE(r.out.size(), expect.size()) << bin;
    EXPECT_EQ(r.out.substr(r.out.size() - expect.size()), expect) << bin;
    EXPECT_EQ(read_file(dir / "out/1995010100.txt"),
              zir_block(kDen, 1995, 1, 1, 0) + zir_block(kLbf, 1995, 1, 1, 0) +
                  zir_block(kDen, 1995, 1, 1, 12))
        << bin;
    EXPECT_EQ(read_file(dir / "out/1995010200.txt"),
              zir_block(kDen, 1995, 1, 2, 0))
        << bin;
    EXPECT_EQ(r.status, 1) << bin;  // the count of the last file
  }
}

TEST_F(Retrieval, SynopticOrderToTheScreen) {
  archive(false);
  const RunResult r = run(rawinq_bin(), kRequest + "0\n0\nn\nn\n");
  const std::string expect =
      "\n\n STATUS:  opening database files ...\r"
      " STATUS:  reading database file 1 of 2\r"
      " STATUS:  reading database file 2 of 2\r" +
      zir_block(kDen, 1995, 1, 1, 0) + zir_block(kLbf, 1995, 1, 1, 0) +
      zir_block(kDen, 1995, 1, 1, 12) + zir_block(kDen, 1995, 1, 2, 0) +
      kContinue + kMore;
  ASSERT_GE(r.out.size(), expect.size());
  EXPECT_EQ(r.out.substr(r.out.size() - expect.size()), expect);
}

TEST_F(Retrieval, ClimatologicalOrderOneStationPerFile) {
  archive(false);
  const RunResult r = run(rawinq_bin(), kRequest + "1\n1\nout\n1\nn\nn\n");
  const std::string expect =
      "\n STATUS:  Writing output file: out/72469_DEN_1995010100.txt        \n"
      " STATUS:  processing station: 72469 date: 1995010100\r"
      " STATUS:  processing station: 72469 date: 1995010112\r"
      " STATUS:  processing station: 72469 date: 1995010200\r" +
      written(3, k20) +
      " STATUS:  Writing output file: out/72562_LBF_1995010100.txt        \n"
      " STATUS:  processing station: 72562 date: 1995010100\r" +
      written(1, k20) + kContinue + kMore;
  ASSERT_GE(r.out.size(), expect.size());
  EXPECT_EQ(r.out.substr(r.out.size() - expect.size()), expect);
  EXPECT_EQ(read_file(dir / "out/72469_DEN_1995010100.txt"),
            zir_block(kDen, 1995, 1, 1, 0) + zir_block(kDen, 1995, 1, 1, 12) +
                zir_block(kDen, 1995, 1, 2, 0));
  EXPECT_EQ(read_file(dir / "out/72562_LBF_1995010100.txt"),
            zir_block(kLbf, 1995, 1, 1, 0));
}

TEST_F(Retrieval, ClimatologicalOrderWithoutAnyFile) {
  make_dir(dir / "db/Raob1995");  // a year with data, but not these stations
  const RunResult r = run(rawinq_bin(), kRequest + "1\n0\n\nn\n");
  const std::string expect =
      "\n\tWARNING:  No database files could be opened in: " + dir.path() +
      "/db/\n\n\a\a"
      "\tEnter HELP for more information \n"
      "\tEnter <return> for another database access \n"
      "    Your choice? " +
      kMore;
  ASSERT_GE(r.out.size(), expect.size());
  EXPECT_EQ(r.out.substr(r.out.size() - expect.size()), expect);
  EXPECT_EQ(r.status, 255);  // the last request's result, -1
}

}  // namespace
