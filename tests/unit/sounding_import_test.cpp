// The importers of rawinq-pack, one table of cases per format: each row an
// excerpt of input and the soundings (or the fault) it gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bufr_messages.h"
#include "catalogues.h"
#include "igra2_text.h"
#include "import.h"
#include "line_source.h"
#include "test_support.h"

namespace {

using archive_writer::Imported;
using archive_writer::InputError;
using archive_writer::Level;
using archive_writer::LineSource;
using archive_writer::WbanOfWmo;

struct Collect : archive_writer::ImportSink {
  std::vector<Imported> got;
  std::vector<std::string> skipped_reasons;
  std::vector<std::string> warnings;
  void sounding(Imported& s) override { got.push_back(s); }
  void skipped(const std::string& where, const std::string& reason) override {
    skipped_reasons.push_back(where + " " + reason);
  }
  void warning(const std::string& text) override { warnings.push_back(text); }
};

// A sounding as one line: station, date, header values, then each level as
// "flag pr ht tp dp wd ws".
std::string text(const Imported& i) {
  const auto& s = i.sounding;
  char head[160];
  std::snprintf(head, sizeof head,
                "%ld %04d%02d%02d%02d wban %ld rel %ld sonde %ld trop %ld "
                "maxw %ld:",
                i.station, s.year, s.month, s.day, s.hour, s.wban, s.reltime,
                s.sondtype, s.troplv, s.maxwind);
  std::string out = head;
  for (const Level& l : s.levels)
    out += " " + std::to_string(l.flag) + " " + std::to_string(l.pr) + " " +
           std::to_string(l.ht) + " " + std::to_string(l.tp) + " " +
           std::to_string(l.dp) + " " + std::to_string(l.wd) + " " +
           std::to_string(l.ws) + ";";
  return out;
}

struct Case {
  const char* what;
  std::string input;
  std::vector<std::string> soundings;  // text() of each
  std::string fault;                   // or the fault's message
  std::vector<std::string> skipped = {};
};

template <typename Read>
void run_cases(const std::vector<Case>& cases, Read read) {
  for (const Case& c : cases) {
    LineSource in(c.input, "in.txt");
    Collect sink;
    std::string fault;
    try {
      read(in, sink);
    } catch (const InputError& e) {
      fault = e.what();
    }
    EXPECT_EQ(fault, c.fault) << c.what;
    std::vector<std::string> got;
    for (const Imported& i : sink.got) got.push_back(text(i));
    if (c.fault.empty()) {
      EXPECT_EQ(got, c.soundings) << c.what;
    }
    EXPECT_EQ(sink.skipped_reasons, c.skipped) << c.what;
  }
}

using testing_support::igra_header;
using testing_support::igra_level;

TEST(SoundingImport, Igra2SoundingFiles) {
  const char* den = "USM00072469";
  const std::string five =
      igra_header(den, 1996, 1, 2, 0, 2315, 6) +
      igra_level("21", 83700, 1611, 52, 580, 75, 350, 26) +
      igra_level("10", 85000, 1457, -10, -9999, 35, -9999, -9999, 'A') +
      igra_level("10", 70000, 3012, -41, 300, 49, 270, 62) +
      igra_level("20", 55430, -9999, -221, -9999, -8888, -9999, -9999) +
      igra_level("22", 20000, 11800, -560, -9999, -8888, 260, 300) +
      igra_level("30", -9999, 6400, -9999, -9999, -9999, 255, 134);
  const std::string one = igra_level("21", 83700, 1611, 52, 580, 75, 350, 26);
  const std::vector<Case> cases = {
      {"surface, mandatory, significant, tropopause, height-only wind; "
       "-9999 and -8888 missing; the tropopause pointer",
       five,
       {"972469 1996010200 wban 72469 rel 2315 sonde 99999 trop 5 maxw 99999:"
        " 1 8370 1611 52 -23 350 26; 2 8500 1457 -10 -45 99999 99999;"
        " 2 7000 3012 -41 -90 270 62; 16 5543 99999 -221 99999 99999 99999;"
        " 4 2000 11800 -560 99999 260 300; 32 99999 6400 99999 99999 255 134;"},
       ""},
      {"hour 99 takes the release hour; HH99 keeps the hour; without either "
       "the sounding is skipped",
       igra_header(den, 1996, 1, 2, 99, 1130, 1) + one +
           igra_header(den, 1996, 1, 3, 12, 1199, 1) + one +
           igra_header(den, 1996, 1, 4, 99, 9999, 1) + one +
           igra_header(den, 1996, 1, 5, 99, 9999, 1) + one,
       {"972469 1996010211 wban 72469 rel 1130 sonde 99999 trop 99999 maxw "
        "99999: 1 8370 1611 52 -23 350 26;",
        "972469 1996010312 wban 72469 rel 1100 sonde 99999 trop 99999 maxw "
        "99999: 1 8370 1611 52 -23 350 26;"},
       "",
       {"in.txt:5 hour missing and no release time",
        "in.txt:7 hour missing and no release time"}},
      {"a station of the W network is filed under its WBAN number; one of "
       "another network is skipped",
       igra_header("USW00023062", 1996, 1, 2, 0, 9999, 1) + one +
           igra_header("USV00012345", 1996, 1, 2, 0, 9999, 1) + one,
       {"23062 1996010200 wban 23062 rel 99999 sonde 99999 trop 99999 maxw "
        "99999: 1 8370 1611 52 -23 350 26;"},
       "",
       {"in.txt:3 station with neither a WMO nor a WBAN number"}},
      {"an elevated station: 1000 and 925 hPa under the ground before the "
       "surface, which has no height, go right after it; the release time "
       "2315 is kept, 2475 is no time and missing",
       igra_header(den, 1996, 1, 2, 0, 2315, 5) +
           igra_level("10", 100000, 99, -9999, -9999, -9999, -9999, -9999) +
           igra_level("10", 92500, 760, -9999, -9999, -9999, -9999, -9999) +
           igra_level("21", 83700, -9999, 52, 580, 75, 350, 26) +
           igra_level("22", 80000, 2010, 22, -9999, -9999, 10, 20) +
           igra_level("10", 70000, 3012, -41, 300, 49, 270, 62) +
           igra_header(den, 1996, 1, 2, 12, 2475, 1) + one,
       {"972469 1996010200 wban 72469 rel 2315 sonde 99999 trop 4 maxw 99999:"
        " 1 8370 99999 52 -23 350 26; 2 10000 99 99999 99999 99999 99999;"
        " 2 9250 760 99999 99999 99999 99999; 4 8000 2010 22 99999 10 20;"
        " 2 7000 3012 -41 -90 270 62;",
        "972469 1996010212 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
        "99999: 1 8370 1611 52 -23 350 26;"},
       ""},
      {"more levels than counted", igra_header(den, 1996, 1, 2, 0, 9999, 1) +
                                       one + one,
       {}, "in.txt:3: more level records than the header counts (1)"},
      {"fewer levels than counted",
       igra_header(den, 1996, 1, 2, 0, 9999, 2) + one +
           igra_header(den, 1996, 1, 3, 0, 9999, 1),
       {}, "in.txt:1: the header counts 2 levels, 1 follow"},
      {"a level before any header", one, {},
       "in.txt:1: a level record before any header record"},
      {"a level record cut short", igra_header(den, 1996, 1, 2, 0, 9999, 1) +
                                       one.substr(0, 30) + "\n",
       {}, "in.txt:2: a level record of 30 characters; it has 51 or more"},
      {"letters in a number", igra_header(den, 1996, 1, 2, 0, 9999, 1) +
                                  "21     0  83700  16x1    52   580    75   "
                                  "350    26\n",
       {}, "in.txt:2: no geopotential height in columns 17-21"},
  };
  run_cases(cases, [](LineSource& in, Collect& sink) {
    archive_writer::read_igra2(in, sink, {});
  });
  // A WMO number that the catalogue gives a WBAN number is filed under it.
  const std::string input = igra_header(den, 1996, 1, 2, 0, 9999, 1) + one;
  LineSource in(input, "in.txt");
  Collect sink;
  archive_writer::read_igra2(in, sink, WbanOfWmo{{72469, 23062}});
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(sink.got[0].station, 23062);
  EXPECT_EQ(sink.got[0].sounding.wban, 23062);
}

const char kListingHead[] =
    "<H2>72469 DNR Denver Observations at 00Z 02 Jan 1996</H2>\n"
    "<PRE>\n"
    "-----------------------------------------------------------------------------\n"
    "   PRES   HGHT   TEMP   DWPT   RELH   MIXR   DRCT   SKNT   THTA   THTE   THTV\n"
    "    hPa     m      C      C      %    g/kg    deg   knot     K      K      K \n"
    "-----------------------------------------------------------------------------\n";
const char kListingLevels[] =
    " 1000.0     99                                                               \n"
    "  925.0    760                                                               \n"
    "  837.0   1611    5.2   -2.3     58   3.97    350      5  291.5  303.0  292.2\n"
    "  700.0   3012   -4.1   -9.0     69   2.98    270     12  296.3  305.4  296.8\n"
    "  552.0   5030  -22.1                                                        \n"
    "  450.0   6400                                255    111                     \n";
const char kListingInfo[] =
    "</PRE><H3>Station information and sounding indices</H3><PRE>\n"
    "                         Station identifier: DNR\n"
    "                             Station number: 72469\n"
    "                           Observation time: 960102/0000\n"
    "                           Station latitude: 39.77\n"
    "</PRE>\n";

const char kCsvListing[] =
    "time,longitude,latitude,pressure_hPa,geopotential height_m,temperature_C,"
    "dew point temperature_C,ice point temperature_C,relative humidity_%,"
    "humidity wrt ice_%,mixing ratio_g/kg,wind direction_degree,wind speed_m/s\n"
    "1996-01-01 23:05:03,-104.87,39.77,1000.0,99,,,,,,,,\n"
    "1996-01-01 23:05:03,-104.87,39.77,925.0,760,,,,,,,,\n"
    "1996-01-01 23:05:03,-104.87,39.77,837.0,1611,5.2,-2.3,,58,,3.97,350,2.6\n"
    "1996-01-01 23:15:00,-104.8,39.8,700.0,3012,-4.1,-9.0,,69,,2.98,270,6.2\n"
    "1996-01-01 23:30:00,-104.7,39.9,552.0,5030,-22.1,,,,,,,\n"
    "1996-01-01 23:45:00,-104.6,40.0,450.0,6400,,,,,,,255,57.1\n";

TEST(SoundingImport, WyomingListings) {
  const std::string whole =
      std::string(kListingHead) + kListingLevels + kListingInfo;
  std::string second = whole;
  second.replace(second.find("960102/0000"), 11, "960102/1200");
  std::string bad_time = whole;
  bad_time.replace(bad_time.find("960102/0000"), 11, "9601020000");
  std::string bad_number = whole;
  bad_number.replace(bad_number.find("  -4.1"), 6, "  -4.x");
  // 111 kt is 57.1 m/s (57.7 through the inverse of the ZIR factor).
  const std::string levels =
      " 1 8370 1611 52 -23 350 26; 2 10000 99 99999 99999 99999 99999;"
      " 2 9250 760 99999 99999 99999 99999; 2 7000 3012 -41 -90 270 62;"
      " 16 5520 5030 -221 99999 99999 99999; 32 4500 6400 99999 99999 255 571;";
  const std::vector<Case> cases = {
      {"the first level with a temperature is the surface, stored first with "
       "the standard levels under the ground listed before it right after it;"
       " standard pressures mandatory, others significant; knots to tenths of"
       " m/s with 1 kt = 0.514444 m/s",
       whole,
       {"972469 1996010200 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
        "99999:" + levels},
       ""},
      {"two listings in one file", whole + second,
       {"972469 1996010200 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
        "99999:" + levels,
        "972469 1996010212 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
        "99999:" + levels},
       ""},
      {"an observation time of another form", bad_time, {},
       "in.txt:16: not an observation time (YYMMDD/HHMM): 9601020000"},
      {"a value that is no number", bad_number, {},
       "in.txt:10: not a number in column TEMP: -4.x"},
      {"a row that is not one of the table", [&] {
         std::string t = whole;
         t.replace(t.find("  552.0"), 7, " 552.05");
         return t;
       }(), {}, "in.txt:11: not a row of the level table: 552.05   5030  -22.1"},
      {"a table without its station block",
       std::string(kListingHead) + kListingLevels, {},
       "in.txt:4: a listing without its station number and observation time"},
      // The same sounding as a comma-separated listing (station 72469 given):
      // released 23:05, nominally 00 UTC of the next day; speeds in m/s.
      {"the comma-separated listing", kCsvListing,
       {"972469 1996010200 wban 72469 rel 2305 sonde 99999 trop 99999 maxw "
        "99999:" + levels},
       ""},
      {"a comma-separated row of other fields than its heading",
       std::string(kCsvListing) + "1996-01-01 23:50:00,450.0\n", {},
       "in.txt:8: a row of 2 fields under a heading of 13"},
  };
  run_cases(cases, [](LineSource& in, Collect& sink) {
    archive_writer::read_wyoming(in, sink, {}, 72469);
  });
  // Without the station's number a comma-separated listing is refused.
  LineSource in(kCsvListing, "in.txt");
  Collect sink;
  try {
    archive_writer::read_wyoming(in, sink, {});
    ADD_FAILURE() << "a listing without its station was read";
  } catch (const archive_writer::InputError& e) {
    EXPECT_NE(std::string(e.what()).find("give its WMO number with --wmo"), std::string::npos);
  }
}

TEST(SoundingImport, TempMessages) {
  const std::string head = "972469 1996";
  const std::vector<Case> cases = {
      {"standard encoding: temperature parity, depression codes 0-50 and "
       "56-99, 500 added for 100 kt and more, '/' forms, the wind indicator "
       "leaving out the winds above 700 mb, heights by pressure band",
       "TTAA 52007 72469 99837 05275 35005 00099 ///// ///// 85457 01158 "
       "27515 70012 04370 77020 50560 221// 40718 33185 88250 551// 26525 "
       "77999=\n",
       {head + "010200 wban 72469 rel 99999 sonde 99999 trop 7 maxw 99999: "
               "1 8370 99999 52 -198 350 26; 2 10000 99 99999 99999 99999 "
               "99999; 2 8500 1457 -11 -91 275 77; 2 7000 3012 -43 -243 270 "
               "617; 2 5000 5600 -221 99999 99999 99999;"
               " 2 4000 7180 -331 -681 99999 99999;"
               " 4 2500 99999 -551 99999 265 129;"},
       ""},
      {"below-sea 1000 mb height; winds in m/s when the day has no 50 "
       "added; 66PPP with the wind shear group",
       "TTAA 02001 03005 99015 05511 14503 00505 05906 15500 88999 66250 "
       "25540 40510=\n",
       {"903005 1996010200 wban 3005 rel 99999 sonde 99999 trop 99999 maxw 3:"
        " 1 10150 99999 -55 -66 145 30; 2 10000 -5 -59 -65 155 0;"
        " 8 2500 99999 99999 99999 255 400;"},
       ""},
      {"the coded-message output: station before the part, maximum wind "
       "with its temperature, TTBB with sss// and hhmm/ after 31313, PPBB "
       "heights in thousands of feet (7000 ft is 2134 m)",
       "DENMANDEN\n72469 TTAA  52007 72469 99013 15251 27010 00156 14450 "
       "27515 \n85498 04260 29030 70052 06360 30040 88999 77600 ///// 31058 "
       "\nDENSGLDEN\n72469 TTBB  5200/ 72469 00013 15251 11750 06360 31313 "
       "052// \n1115/=\nPPBB  52000 72469 9007/ 27010 29535 \n\n",
       {head + "010200 wban 72469 rel 1115 sonde 6 trop 99999 maxw 7:"
               " 1 10130 99999 152 101 270 51; 2 10000 156 144 94 275 77;"
               " 2 8500 1498 42 -58 290 154; 16 7500 99999 -63 -163 99999 "
               "99999; 32 99999 2134 99999 99999 295 180;"
               " 2 7000 3052 -63 -163 300 206; 8 6000 99999 99999 99999 310 "
               "298;"},
       ""},
      {"an elevated station: the surface, then 1000 and 925 mb under the "
       "ground; 1 kt = 0.514444 m/s (111 kt is 57.1 m/s); PPBB heights with "
       "1 ft = 0.3048 m",
       "TTAA 52008 72469 99837 05275 35005 00099 ///// ///// 92760 ///// "
       "///// 85457 01158 27515=\nPPBB 52000 72469 9068/ 35111 30010=\n",
       {head + "010200 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
               "99999: 1 8370 99999 52 -198 350 26; 2 10000 99 99999 99999 "
               "99999 99999; 2 9250 760 99999 99999 99999 99999; 2 8500 1457 "
               "-11 -91 275 77; 32 99999 1829 99999 99999 350 571;"
               " 32 99999 2438 99999 99999 300 51;"},
       ""},
      {"a day before the last starts the next month",
       "TTAA 80001 72469 99837 05275 35005 00099 ///// /////=\n"
       "TTAA 52001 72469 99837 05275 35005 00099 ///// /////=\n",
       {head + "013000 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
               "99999: 1 8370 99999 52 -198 350 26; 2 10000 99 99999 99999 99999"
               " 99999;",
        head + "020200 wban 72469 rel 99999 sonde 99999 trop 99999 maxw "
               "99999: 1 8370 99999 52 -198 350 26; 2 10000 99 99999 99999 99999"
               " 99999;"},
       ""},
      {"a NIL message is skipped", "TTAA 52001 72469 NIL=\n", {}, "",
       {"in.txt:1 NIL message"}},
      {"a group outside any message", "72469 99837\n", {},
       "in.txt:1: a group outside any message: 72469"},
      {"no day and hour", "TTAA 5//01 72469 99837=\n", {},
       "in.txt:1: not a day and hour group: 5//01"},
      {"a direction beyond 360 degrees",
       "TTAA 52001 72469 99837 05275 40005=\n", {},
       "in.txt:1: not a wind group: 40005"},
  };
  run_cases(cases, [](LineSource& in, Collect& sink) {
    archive_writer::read_temp(in, sink, {}, 199601);
  });
}

TEST(SoundingImport, MonthAndYearOfCodedMessageFiles) {
  EXPECT_EQ(archive_writer::coded_file_month("out/JA019512.skt"), 199501);
  EXPECT_EQ(archive_writer::coded_file_month("DE310312.skt"), 200312);
  EXPECT_EQ(archive_writer::coded_file_month("AG150000.skt"), 200008);
  EXPECT_EQ(archive_writer::coded_file_month("XX019512.skt"), 0);
  EXPECT_EQ(archive_writer::coded_file_month("JA019512.txt"), 0);
  EXPECT_EQ(archive_writer::coded_file_month("JA01951.skt"), 0);
}

}  // namespace

namespace {

// The catalogues made from the station list keep the entries they hold,
// and a note says when the programs will not load them all.
TEST(SoundingImport, CataloguesGrowPastWhatTheProgramsLoadWithANote) {
  testing_support::TempDir dir;
  std::string stat2000 = "2000\n";
  for (int k = 0; k < 2000; ++k)
    stat2000 += archive_writer::stat2000_entry("ABC", 10000 + k, 99999, 40.0,
                                               -100.0, 100, 1950, 2000,
                                               "SOMEWHERE", "CO", "US") +
                "\n";
  testing_support::write_file(dir / "stat2000.txt", stat2000);
  testing_support::write_file(dir / "raobhelp.txt", "help\n");
  char line[120];
  std::snprintf(line, sizeof line, "%-11s %8.4f %9.4f %6.1f %-2s %-30s %4d %4d %6d\n",
                "UKM00003005", 60.1333, -1.1833, 82.0, "", "LERWICK", 1930,
                2024, 5);
  testing_support::write_file(dir / "list.txt", line);
  const auto update = archive_writer::igra2_catalogues(
      dir / "list.txt", dir.path(), {903005, 903808}, {});
  // Links planted at the names a temporary file once had (NAME.tmp<PID>)
  // are not written through.
  testing_support::write_file(dir / "victim.txt", "mine\n");
  for (const char* name : {"stat2000.txt", "international_sites.txt"})
    ASSERT_EQ(symlink((dir / "victim.txt").c_str(),
                      (dir / name + ".tmp" + std::to_string(getpid())).c_str()),
              0);
  std::ostringstream out;
  archive_writer::write_catalogues(update, out);
  EXPECT_EQ(testing_support::read_file(dir / "victim.txt"), "mine\n");
  EXPECT_EQ(out.str(),
            dir / "stat2000.txt" + ": 0 entries added, 2000 in all\n" +
                dir / "international_sites.txt" +
                ": 1 entry added, 1 in all\n"
                "rawinq-pack: warning: the catalogues hold 2001 entries; "
                "rawinq loads the first 2000 (those of stat2000.txt first)\n"
                "rawinq-pack: warning: the station list does not name "
                "station WMO 3808; it has no catalogue entry\n");
  EXPECT_EQ(testing_support::read_file(dir / "stat2000.txt"), stat2000);
  EXPECT_EQ(testing_support::read_file(dir / "international_sites.txt"),
            "1\nLER  03005  60.13N   1.18W    82 19300101 20241231 LERWICK"
            "                       UK\n");
}

}  // namespace

namespace {

// A JSON value, enough of JSON for the decoded sample: lists, numbers,
// strings, true, false and null.
struct Json {
  enum Kind { kNull, kNumber, kText, kBool, kList } kind = kNull;
  double number = 0;
  std::vector<Json> items;
};

Json parse_json(const std::string& s, std::size_t& at) {
  while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
  if (at >= s.size()) throw std::runtime_error("JSON ends early");
  Json v;
  const char c = s[at];
  if (c == '[') {
    v.kind = Json::kList;
    ++at;
    for (;;) {
      while (at < s.size() && (std::isspace(static_cast<unsigned char>(s[at])) || s[at] == ','))
        ++at;
      if (at < s.size() && s[at] == ']') {
        ++at;
        return v;
      }
      v.items.push_back(parse_json(s, at));
    }
  }
  if (c == '"') {
    v.kind = Json::kText;
    for (++at; at < s.size() && s[at] != '"'; ++at)
      if (s[at] == '\\') ++at;
    ++at;
    return v;
  }
  for (const char* word : {"null", "true", "false"})
    if (s.compare(at, std::strlen(word), word) == 0) {
      at += std::strlen(word);
      v.kind = word[0] == 'n' ? Json::kNull : Json::kBool;
      return v;
    }
  std::size_t used = 0;
  v.kind = Json::kNumber;
  v.number = std::stod(s.substr(at, 32), &used);
  at += used;
  return v;
}

// The shared sample, a bulletin of Giles (WMO 94461) with 127 levels of
// template 3 09 052, read level by level against the values an independent
// decoder gave (data/bufr-sample/*.json: the sections as lists, the
// subset's values in the order of the expanded descriptors).
TEST(SoundingImport, BufrSampleAgreesWithAnIndependentDecoding) {
  const std::string dir = std::string(RAWINQ_SOURCE_DIR) + "/data/bufr-sample/";
  const std::string json_text =
      testing_support::read_file(dir + "IUSK73_AMMC_182300.json");
  std::size_t at = 0;
  const Json root = parse_json(json_text, at);
  ASSERT_EQ(root.kind, Json::kList);
  ASSERT_GE(root.items.size(), 4u);
  const std::vector<Json>& v = root.items[3].items.at(2).items.at(0).items;
  // Before the levels: the identification, launch time and place, cloud
  // and sea data (28 values), then the level count; each level is time
  // displacement, significance, pressure, height, two displacements,
  // temperature, dew point, direction and speed.
  constexpr std::size_t kCount = 28, kPerLevel = 10;
  ASSERT_GT(v.size(), kCount);
  const std::size_t n = static_cast<std::size_t>(v[kCount].number);
  ASSERT_EQ(n, 127u);
  ASSERT_GE(v.size(), kCount + 1 + n * kPerLevel);

  LineSource in(dir + "IUSK73_AMMC_182300.bufr");
  Collect sink;
  archive_writer::read_bufr(in, sink, {});
  ASSERT_EQ(sink.got.size(), 1u);
  const Imported& got = sink.got[0];
  EXPECT_EQ(got.station, 994461);
  EXPECT_EQ(got.sounding.wban, 94461);
  EXPECT_EQ(got.sounding.year * 1000000L + got.sounding.month * 10000L +
                got.sounding.day * 100L + got.sounding.hour,
            2016021823L);  // section 1's time
  EXPECT_EQ(got.sounding.reltime, 2317);  // launched 23:17:44
  ASSERT_EQ(got.sounding.levels.size(), n);

  const auto scaled = [](const Json& j, double offset, double scale) {
    return j.kind == Json::kNull ? archive_writer::kMissing
                                 : std::lround((j.number - offset) * scale);
  };
  std::vector<Level> want;
  for (std::size_t k = 0; k < n; ++k) {
    const Json* l = &v[kCount + 1 + k * kPerLevel];
    Level w;
    const long sig = static_cast<long>(l[1].number);
    // 0 08 042: bit 1 (2^17) surface, 2 standard, 3 tropopause, 4 maximum
    // wind, 5 temperature, 6 humidity, 7 wind.
    w.flag = sig & (1 << 17)   ? 1
             : sig & (1 << 16) ? 2
             : sig & (1 << 15) ? 4
             : sig & (1 << 14) ? 8
             : sig & (3 << 12) ? 16
             : sig & (1 << 11) ? 32
             : l[6].kind != Json::kNull ? 16 : 32;
    w.pr = scaled(l[2], 0, 0.1);
    w.ht = scaled(l[3], 0, 1);
    w.tp = scaled(l[6], 273.15, 10);
    w.dp = scaled(l[7], 273.15, 10);
    w.wd = scaled(l[8], 0, 1);
    w.ws = scaled(l[9], 0, 10);
    want.push_back(w);
  }
  // The archive stores the surface first, the standard levels under the
  // ground (here 1000 hPa) after it, then the ascent.
  EXPECT_EQ(got.sounding.levels[0].flag, 1u);
  EXPECT_EQ(got.sounding.levels[1].pr, 10000);
  const auto by_pressure = [](std::vector<Level> ls) {
    std::stable_sort(ls.begin(), ls.end(),
                     [](const Level& a, const Level& b) { return a.pr > b.pr; });
    return ls;
  };
  const std::vector<Level> a = by_pressure(got.sounding.levels);
  const std::vector<Level> b = by_pressure(want);
  for (std::size_t k = 0; k < n; ++k) {
    SCOPED_TRACE("level at " + std::to_string(b[k].pr / 10.0) + " hPa");
    EXPECT_EQ(a[k].flag, b[k].flag);
    EXPECT_EQ(a[k].pr, b[k].pr);
    EXPECT_EQ(a[k].ht, b[k].ht);
    EXPECT_EQ(a[k].tp, b[k].tp);
    EXPECT_EQ(a[k].dp, b[k].dp);
    EXPECT_EQ(a[k].wd, b[k].wd);
    EXPECT_EQ(a[k].ws, b[k].ws);
  }
}

}  // namespace

namespace {

using bufr_messages::flag18;
using bufr_messages::flag7;
constexpr double kNo = std::numeric_limits<double>::quiet_NaN();

// Every level type of 3 09 052, missing values among them; stored: the
// surface, the 1000 hPa level under the ground, then the ascent.
bufr_messages::Message ascent() {
  bufr_messages::Message m;
  m.levels = {
      {flag18(2), 100000, 99, kNo, kNo, kNo, kNo},
      {flag18(1) + flag18(5) + flag18(7), 83700, 1611, 278.35, 270.85, 350, 2.6},
      {flag18(6), 80000, 1950, 275.15, 265.15, kNo, kNo},
      {0, 75000, 2500, 271.15, kNo, kNo, kNo},
      {flag18(7), 70000, 3012, kNo, kNo, 270, 6.2},
      {0, 60000, 4200, kNo, kNo, 280, 10},
      {flag18(3) + flag18(5), 25000, 10500, 218.15, kNo, 265, 30},
      {flag18(4), 20000, 11800, 216.15, kNo, 270, 45.5},
      {flag18(5), 15000, 13600, 213.65, kNo, kNo, kNo},
  };
  return m;
}
const std::string kAscentLevels =
    " 1 8370 1611 52 -23 350 26; 2 10000 99 99999 99999 99999 99999;"
    " 16 8000 1950 20 -80 99999 99999; 16 7500 2500 -20 99999 99999 99999;"
    " 32 7000 3012 99999 99999 270 62; 32 6000 4200 99999 99999 280 100;"
    " 4 2500 10500 -550 99999 265 300; 8 2000 11800 -570 99999 270 455;"
    " 16 1500 13600 -595 99999 99999 99999;";
const std::string kAscent =
    "972469 1996010200 wban 72469 rel 2305 sonde 99999 trop 7 maxw 8:" +
    kAscentLevels;

template <typename Change>
std::string ascent_with(Change change) {
  bufr_messages::Message m = ascent();
  change(m);
  return bufr_messages::encode(m);
}

TEST(SoundingImport, BufrMessages) {
  const std::string one = bufr_messages::encode(ascent());
  // A bulletin as it comes over the GTS: start of heading, sequence
  // number, abbreviated heading, the message, end of text.
  const auto bulletin = [](const std::string& message) {
    return "\x01\r\r\n123\r\r\nIUSK73 AMMC 182300\r\r\n" + message + "\r\r\n\x03";
  };
  const std::string noon = ascent_with([](auto& m) { m.nominal[3] = 12; });
  bufr_messages::Message temp;
  temp.temp_sequence = true;
  temp.levels = {
      {flag7(1), 83700, 1611, 278.15, 270.15, 350, 2.6},
      {flag7(2), 70000, 3012, 269.15, 264.15, 270, 6.2},
      // 0 12 001 holds tenths of K: 218.15 K comes back as 218.2 K.
      {flag7(3), 25000, 10500, 218.15, kNo, 265, 30},
      {flag7(6), 20000, kNo, kNo, kNo, 270, 45.5},
  };
  const std::string no_station = ascent_with([](auto& m) {
    m.block = m.station = kNo;
    m.identifier = "SHIP1";
  });
  const std::string too_warm =
      ascent_with([](auto& m) { m.levels[1].t_k = 400; });
  const std::vector<Case> cases = {
      {"template 3 09 052: every level type, missing values, the first "
       "tropopause and maximum wind levels; the date of section 1, the "
       "launch time as the release time",
       one, {kAscent}, ""},
      {"two bulletins in one file, each with its heading",
       bulletin(one) + bulletin(noon),
       {kAscent, "972469 1996010212 wban 72469 rel 2305 sonde 99999 trop 7 "
                 "maxw 8:" + kAscentLevels},
       ""},
      {"the TEMP sequence 3 09 007: 0 08 001 flags, geopotential in m2 s-2",
       bufr_messages::encode(temp),
       {"972469 1996010200 wban 72469 rel 2305 sonde 99999 trop 3 maxw "
        "99999: 1 8370 1611 50 -30 350 26; 2 7000 3012 -40 -90 270 62;"
        " 4 2500 10500 -549 99999 265 300; 32 2000 99999 99999 99999 270 "
        "455;"},
       ""},
      {"a WMO number given as the identifier only",
       ascent_with([](auto& m) {
         m.block = m.station = kNo;
         m.identifier = "94461";
       }),
       {"994461 1996010200 wban 94461 rel 2305 sonde 99999 trop 7 maxw 8:" +
        kAscentLevels},
       ""},
      {"no nominal date: the launch time's",
       ascent_with([](auto& m) { m.nominal[1] = 13; }),
       {"972469 1996010123 wban 72469 rel 2305 sonde 99999 trop 7 maxw 8:" +
        kAscentLevels},
       ""},
      {"no station", no_station, {},
       "in.txt: message 1: no station: no WMO block and station number, and "
       "no WMO number as its identifier (SHIP1)"},
      {"no date at all", ascent_with([](auto& m) {
         m.nominal[1] = 13;
         for (double& v : m.launch) v = kNo;
       }), {},
       "in.txt: message 1: no date and hour: neither section 1 nor the data "
       "give one"},
      {"a temperature no sounding has", too_warm, {},
       "in.txt: message 1: level 2: temperature (K) 400 outside 120 to 350"},
      {"a message of another category than vertical soundings",
       ascent_with([](auto& m) { m.category = 0; }), {},
       "in.txt: message 1: not a vertical sounding (data category 0)"},
      {"a message cut short", one.substr(0, 100), {},
       "in.txt: message 1: cut short (100 of its " +
           std::to_string(one.size()) + " bytes)"},
      {"no message", "IUSK73 AMMC 182300\n", {}, "in.txt: no BUFR message"},
      {"every fault of the file, the messages between them still read",
       no_station + one + too_warm, {kAscent},
       "in.txt: message 1: no station: no WMO block and station number, and "
       "no WMO number as its identifier (SHIP1)\n"
       "in.txt: message 3: level 2: temperature (K) 400 outside 120 to 350"},
  };
  run_cases(cases, [](LineSource& in, Collect& sink) {
    archive_writer::read_bufr(in, sink, {});
  });

  // A message of two subsets, two soundings of 2 and 3 levels: each read
  // from its own subset.
  {
    codes_handle* h = codes_bufr_handle_new_from_samples(nullptr, "BUFR4");
    ASSERT_NE(h, nullptr);
    const std::unique_ptr<codes_handle, decltype(&codes_handle_delete)> owner(
        h, codes_handle_delete);
    const auto set = [h](const char* key, const std::vector<double>& v) {
      bufr_messages::set_values(h, key, v);
    };
    const auto set_longs = [h](const char* key, const std::vector<long>& v) {
      bufr_messages::check(codes_set_long_array(h, key, v.data(), v.size()), key);
    };
    for (const auto& [key, v] : std::vector<std::pair<const char*, long>>{
             {"dataCategory", 2}, {"typicalYear", 1996}, {"typicalMonth", 1},
             {"typicalDay", 2}, {"typicalHour", 0}, {"numberOfSubsets", 2},
             {"compressedData", 0}})
      bufr_messages::check(codes_set_long(h, key, v), key);
    set_longs("inputExtendedDelayedDescriptorReplicationFactor", {2, 3});
    set_longs("inputDelayedDescriptorReplicationFactor", {0, 0});
    set_longs("unexpandedDescriptors", {309052});
    set("blockNumber", {72, 94});
    set("stationNumber", {469, 461});
    set("extendedVerticalSoundingSignificance",
        {flag18(1), flag18(2), flag18(1), flag18(2), flag18(2)});
    set("pressure", {85000, 70000, 90000, 85000, 50000});
    set("airTemperature", {280.15, 270.15, 290.15, 285.15, 260.15});
    bufr_messages::check(codes_set_long(h, "pack", 1), "pack");
    const void* bytes = nullptr;
    std::size_t size = 0;
    bufr_messages::check(codes_get_message(h, &bytes, &size), "message");
    const std::string two(static_cast<const char*>(bytes), size);
    LineSource in(two, "in.txt");
    Collect sink;
    archive_writer::read_bufr(in, sink, {});
    std::vector<std::string> got;
    for (const Imported& i : sink.got) got.push_back(text(i));
    EXPECT_EQ(got, (std::vector<std::string>{
                       "972469 1996010200 wban 72469 rel 99999 sonde 99999 trop "
                       "99999 maxw 99999: 1 8500 99999 70 99999 99999 99999; 2 "
                       "7000 99999 -30 99999 99999 99999;",
                       "994461 1996010200 wban 94461 rel 99999 sonde 99999 trop "
                       "99999 maxw 99999: 1 9000 99999 170 99999 99999 99999; 2 "
                       "8500 99999 120 99999 99999 99999; 2 5000 99999 -130 99999 "
                       "99999 99999;"}));
  }
}

}  // namespace
