// Requests in the coded-message format, to files and to the paged screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_writer.h"
#include "test_support.h"

using namespace testing_support;
using archive_writer::Level;
using archive_writer::Sounding;

namespace {

constexpr long M = archive_writer::kMissing;
constexpr unsigned SFC = 1, MAN = 2, MAXW = 8, SIGT = 16, SIGW = 32;

Sounding sounding(int day, int hour) {
  Sounding s;
  s.year = 1995;
  s.month = 1;
  s.day = day;
  s.hour = hour;
  s.wban = 23062;
  s.reltime = 1115;
  s.sondtype = 6;
  s.levels = {Level{SFC, 10135, 100, 152, 101, 270, 52},
              Level{MAN, 10000, 156, 144, 94, 275, 76},
              Level{MAN, 8500, 1498, 42, -58, 290, 154},
              Level{SIGT, 7500, 2500, -62, -162, M, M},
              Level{SIGW, 7200, 2134, M, M, 295, 180},
              Level{MAN, 7000, 3052, -62, -162, 300, 206},
              Level{MAXW, 6000, 4200, M, M, 310, 299},
              Level{SIGT, 900, 17000, -600, M, M, M}};
  return s;
}

class FaaRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    make_dir(dir_ / "out");
    // The last sounding begins above the surface: it gives no group, so it
    // is neither written nor counted.
    Sounding no_surface = sounding(2, 12);
    no_surface.levels.erase(no_surface.levels.begin());
    archive_writer::write_station_year(
        dir_ / "db", 1995, 23062, {sounding(1, 12), sounding(2, 0), no_surface});
  }
  RunResult run(const std::string& input,
                const std::vector<std::string>& args = {}) {
    return dir_.run(rawinq_bin(), input, args);
  }
  RunDir dir_{"GENERAL_INFO\nwelcome\nEND.\n", catalogue({kDenEntry})};
};

// Dates 1995010100 to 1995010212, all hours, WMO 72469, coded format.
const std::string kAsk = "\n1995010100\n1995010212\n0\n0\n0\nn\n1\n72469\n1\n";

std::string ttaa(const char* date) {
  return std::string("DENMANDEN\n72469 TTAA  ") + date +
         " 72469 99013 15251 27010 00156 14450 27515 \n"
         "85498 04260 29030 70052 06360 30040 88999 77600 ///// 31058 \n";
}

// All levels, synoptic sort, to files in out/, one file per day.
TEST_F(FaaRequest, OneFilePerDayNamedByMonthCodeDayYearHour) {
  const RunResult r = run(kAsk + "0\n0\n1\nout\n3\nn\nn\n");
  EXPECT_NE(r.out.find(" STATUS:  Writing output file: out/JA019512.skt        \n"),
            std::string::npos);
  EXPECT_EQ(read_file(dir_ / "out/JA019512.skt"),
            ttaa("51127") + "\nDENSGLDEN\n"
            "72469 TTBB  5112/ 72469 00013 15251 11750 06360 31313 052// \n"
            "1115/=\nPPBB  51120 72469 9007/ 27010 29535 \n\n");
  EXPECT_EQ(read_file(dir_ / "out/JA029500.skt"),
            ttaa("52007") + "\nDENSGLDEN\n"
            "72469 TTBB  5200/ 72469 00013 15251 11750 06360 31313 052// \n"
            "1115/=\nPPBB  52000 72469 9007/ 27010 29535 \n\n");
}

// Mandatory levels to the screen, three lines a page: the empty line after
// each sounding is not counted.
TEST_F(FaaRequest, ScreenPagesCountEveryLineButTheOneAfterASounding) {
  const RunResult r = run(kAsk + "1\n0\n0\n\n\nn\nn\n", {"3"});
  const std::string pause =
      " Enter <return> to scroll, 'a' to abort, 'c' to continue:  ";
  const std::string first = ttaa("51127"), second = ttaa("52007");
  const std::size_t cut = second.rfind("85498");
  EXPECT_NE(r.out.find(first + pause + "\n\n" + second.substr(0, cut) + pause +
                       second.substr(cut) + "\n\n\n Do you wish to continue"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.status, 2);
}

}  // namespace
