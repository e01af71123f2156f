// rawinq-pack: ZIR text extracted from the sample archive packs back into
// station-year files that give the same text again; faults in the input
// write nothing; existing files are kept unless replaced.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <zip.h>
#include <zlib.h>

#include "igra2_text.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string pack_bin() { return binary_dir() + "/rawinq-pack"; }
std::string extract_bin() { return binary_dir() + "/rawinq-extract"; }
std::string dump_bin() { return binary_dir() + "/rawinq-dump"; }
std::string sample() { return source_dir() + "/data/sample-archive"; }
std::string support() { return source_dir() + "/data/support"; }

// The summary's lines on stations filed as international sites, before
// and after their WMO numbers.
const std::string kInternationalNote =
    "filed as international sites (WMO + 900000, files I<WMO>_YY.buf), no "
    "WBAN number being known: WMO ";
const std::string kInternationalHow =
    ".\nThe programs find them through a support directory whose "
    "international_sites.txt lists them and whose stat2000.txt does not;\n"
    "to file them under their WBAN numbers, pack again with --catalogue "
    "naming a stat2000.txt that gives them.\n";

// Extracts 1995 for WMO 72469, 10868 and 3005 (two international sites)
// as ZIR into dir/out_dir, all data in one file: wind units 0 knots or 1
// tenths of m/s, sort 0 synoptic or 1 climatological (file structure 0 for
// both). Returns the text.
std::string extract(const std::string& db, const TempDir& dir,
                    const std::string& out_dir, int wind, int sort) {
  make_dir(dir / out_dir);
  std::string answers;
  for (const std::string& a :
       std::vector<std::string>{"", "1995010100", "1995123112", "0", "0", "0",
                                "N", "3", "72469", "10868", "3005", "0", "Y",
                                "0", std::to_string(wind), std::to_string(sort),
                                "1", out_dir, "0", "N", "N"})
    answers += a + "\n";
  RunOptions o;
  o.cwd = dir.path();
  const RunResult r = run_program(rawinq_bin(), {db, support()}, answers, o);
  const std::vector<std::string> files = dir_entries(dir / out_dir);
  EXPECT_EQ(files.size(), 1u) << r.out;
  if (files.size() != 1) return "";
  return read_file(dir / (out_dir + "/" + files[0]));
}

TEST(RawinqPack, RoundTripGivesIdenticalZirText) {
  for (const auto& [wind, sort] : {std::pair{1, 0}, std::pair{0, 1}}) {
    TempDir dir;
    const std::string first = extract(sample(), dir, "a", wind, sort);
    ASSERT_GT(first.size(), 100000u);
    const RunResult p = run_program(pack_bin(), {dir / "db", dir / "a/1995010100.txt"}, "");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.err, "");
    const std::string a = dir / "a/1995010100.txt";
    // Files in the order their stations first appear in the text.
    EXPECT_EQ(p.out, dir / "db/Raob1995/I03005_95.buf: 724 soundings\n" +
                         dir / "db/Raob1995/I10868_95.buf: 723 soundings\n" +
                         dir / "db/Raob1995/23062_95.buf: 722 soundings\n" +
                         "2169 soundings read, 2169 packed, 0 skipped\n");
    const std::string again = extract(dir / "db", dir, "b", wind, sort);
    EXPECT_TRUE(again == first) << "wind " << wind << " sort " << sort;
    // Packed from tenths of m/s, the files are those of the sample archive
    // (knots come back as the same knots, not as the same tenths).
    for (const char* f : {"Raob1995/23062_95.buf", "Raob1995/I10868_95.buf",
                          "Raob1995/I03005_95.buf"}) {
      if (wind == 0) break;
      EXPECT_TRUE(read_file(dir / ("db/" + std::string(f))) ==
                  read_file(sample() + "/" + f))
          << f;
    }
    const RunResult d = run_program(
        dump_bin(), {"-q", dir / "db/Raob1995/I03005_95.buf"}, "");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.out, dir / "db/Raob1995/I03005_95.buf: 724 soundings on 365 "
                           "days, 0 faults\n");
  }
}

const char kBlock[] =
    "    254      0      2      JAN    1996\n"
    "      1  23062  72469  39.77N104.87W  1611   2315\n"
    "      2   8500   5000   7000      9      2      1\n"
    "      3           DEN                   49     ms\n"
    "      9   8370   1611     52    -23    350     50\n"
    "      4   8500   1450    -10    -45  99999  99999\n"
    "      4   7000   3012    -41    -90    270    120\n"
    "      4   5000   5600   -180   -260    260    250\n"
    "      6   4500   6400  99999  99999    255    260\n";

// The summary that ends the report of a run of one sounding.
const std::string kOne = "1 sounding read, 1 packed, 0 skipped\n";

TEST(RawinqPack, OwnSoundingsFromStandardInputAndFileNames) {
  TempDir dir;
  // Standard input; the North-American edition's directory name, the
  // upper-case name form.
  RunResult p = run_program(pack_bin(), {"--na", "-v", "1", dir / "db"}, kBlock);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/RAOB96/23062_96.BUF;1: 1 sounding\n" + kOne);
  // Both editions read a file packed so.
  p = run_program(pack_bin(), {dir / "db2"}, kBlock);
  ASSERT_EQ(p.status, 0) << p.err;
  const std::string answers =
      "\n1996010200\n1996010200\n0\n0\nN\n1\n72469\n0\nY\n0\n1\n0\n0\nN\nN\n";
  const RunResult na = run_program(rawinq_na_bin(), {dir / "db", support()}, answers);
  const RunResult g = run_program(rawinq_bin(), {dir / "db2", support()}, answers);
  EXPECT_EQ(na.status, 1) << na.out;
  EXPECT_EQ(g.status, 1) << g.out;
  EXPECT_NE(g.out.find(kBlock), std::string::npos) << g.out;
  EXPECT_NE(na.out.find(kBlock), std::string::npos) << na.out;
}

TEST(RawinqPack, FaultsWriteNothingAndFilesAreKeptUnlessReplaced) {
  TempDir dir;
  write_file(dir / "good.txt", kBlock);
  std::string bad = kBlock;
  bad.replace(bad.find("JAN"), 3, "JNA");
  write_file(dir / "bad.txt", bad);
  // One faulty file among good ones: nothing is written.
  RunResult p = run_program(pack_bin(), {dir / "db", dir / "good.txt", dir / "bad.txt"}, "");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: " + dir / "bad.txt" + ":1: not a month: JNA\n");
  EXPECT_FALSE(file_exists(dir / "db"));
  // Packing the same sounding twice into one file: both are kept.
  p = run_program(pack_bin(), {dir / "db", dir / "good.txt", "-"}, kBlock);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/23062_96.buf: 2 soundings\n" +
                       "2 soundings read, 2 packed, 0 skipped\n");
  const std::string before = read_file(dir / "db/Raob1996/23062_96.buf");
  p = run_program(pack_bin(), {dir / "db", dir / "good.txt"}, "");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: " + dir / "db/Raob1996/23062_96.buf" +
                       " exists (--replace replaces it)\n");
  EXPECT_TRUE(read_file(dir / "db/Raob1996/23062_96.buf") == before);
  p = run_program(pack_bin(), {"--replace", dir / "db", dir / "good.txt"}, "");
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/23062_96.buf: 1 sounding\n" + kOne);
  EXPECT_EQ(dir_entries(dir / "db/Raob1996"),
            std::vector<std::string>{"23062_96.buf"});
  // More soundings in a day than the index can hold.
  std::string many;
  for (int i = 0; i < 256; ++i) many += kBlock;
  p = run_program(pack_bin(), {dir / "db3"}, many);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: station WBAN 23062, year 1996: more than 255 "
                   "soundings a day\n");
  // Empty input, and a wrong command line.
  p = run_program(pack_bin(), {dir / "db3"}, "");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: no sounding in the input\n");
  p = run_program(pack_bin(), {"-v", "7", dir / "db3"}, kBlock);
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.err.rfind("usage: rawinq-pack", 0), 0u);
  EXPECT_FALSE(file_exists(dir / "db3"));
}

TEST(RawinqPack, ItemTextStaysAnOption) {
  TempDir dir;
  const std::string items =
      "sounding 01 02 00 reltime=2315 sondtype=3 maxwind=2\n"
      "level 1 8370 1611 52 -23 350 50\n"
      "level 2 8500 1450 -10 -45 M M\n"
      "level 2 7000 3012 -41 -90 270 120\n"
      "level 2 5000 5600 -180 -260 260 250\n"
      "level 32 4500 6400 M M 255 260\n";
  const RunResult p = run_program(
      pack_bin(), {"--items", dir / "db", "1996", "23062", "-"}, items);
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/23062_96.buf: 1 sounding\n" + kOne);
  const RunResult d =
      run_program(dump_bin(), {dir / "db/Raob1996/23062_96.buf"}, "");
  EXPECT_NE(d.out.find("  1996010200  wban 23062  levels 5  reltime 2315  "
                       "sondtype 49  source 99999  tropind 99999  top_hyd "
                       "99999  troplv 99999  maxwind 8500\n"),
            std::string::npos)
      << d.out;
  const RunResult v = run_program(pack_bin(), {"--version"}, "");
  EXPECT_EQ(v.out, std::string("rawinq-pack ") + RAWINQ_VERSION_TEXT + "\n");
}

}  // namespace

namespace {

using testing_support::igra_header;
using testing_support::igra_level;

void write_zip(const std::string& path, const std::string& member,
               const std::string& text) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  zip_source_t* src = zip_source_buffer(z, text.data(), text.size(), 0);
  ASSERT_GE(zip_file_add(z, member.c_str(), src, ZIP_FL_OVERWRITE), 0);
  ASSERT_EQ(zip_close(z), 0);
}

void write_gzip(const std::string& path, const std::string& text) {
  gzFile f = gzopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(gzwrite(f, text.data(), static_cast<unsigned>(text.size())),
            static_cast<int>(text.size()));
  EXPECT_EQ(gzclose(f), Z_OK);
}

// Two soundings of Lerwick (an international site) and one of Denver (WBAN
// 23062 in the catalogue given), in IGRA2 records.
std::string igra_soundings() {
  std::string t = igra_header("UKM00003005", 1996, 1, 2, 0, 2315, 6);
  t += igra_level("21", 99580, 82, -119, 800, 51, 180, 52);
  t += igra_level("10", 85000, 1274, -197, 700, 70, 358, 109, 'A');
  t += igra_level("20", 80120, -9999, -221, -9999, -8888, -9999, -9999);
  t += igra_level("10", 70000, 2688, -289, 500, 102, 261, 157);
  t += igra_level("22", 24470, 9500, -731, -9999, -9999, 258, 459);
  t += igra_level("30", -9999, 4431, -9999, -9999, -9999, 250, 261);
  // Hour 99: the release hour.
  t += igra_header("UKM00003005", 1996, 1, 3, 99, 1121, 5);
  t += igra_level("21", 100100, 82, -79, 900, 42, 175, 16);
  t += igra_level("10", 100000, 90, -79, 900, 52, 170, 16);
  t += igra_level("10", 92500, 691, -117, 800, 60, 200, 21);
  t += igra_level("10", 85000, 1333, -159, 700, 80, 220, 52);
  t += igra_level("10", 70000, 2768, -253, 500, 100, 280, 140);
  t += igra_header("USM00072469", 1996, 1, 2, 12, 1115, 5);
  t += igra_level("21", 83500, 1611, 43, 700, 27, 140, 51);
  t += igra_level("10", 70000, 3052, -62, 500, 100, 300, 206);
  t += igra_level("10", 50000, 5600, -180, -9999, 80, 260, 250);
  t += igra_level("20", 45000, -9999, -230, -9999, -9999, -9999, -9999);
  t += igra_level("10", 40000, 7180, -290, -9999, -9999, 255, 300);
  return t;
}

// The IGRA2 station list in its columns.
std::string igra_station_list() {
  struct Entry {
    const char* id;
    double lat, lon, elev;
    const char* state;
    const char* name;
  };
  std::string out;
  for (const Entry& e : {Entry{"UKM00003005", 60.1333, -1.1833, 82.0, "", "LERWICK"},
                         Entry{"USM00072469", 39.7667, -104.8667, 1611.0, "CO",
                               "DENVER/STAPLETON"},
                         Entry{"USM00072520", 40.5333, -80.2333, 360.0, "PA",
                               "PITTSBURGH"}}) {
    char line[120];
    std::snprintf(line, sizeof line, "%-11s %8.4f %9.4f %6.1f %-2s %-30s %4d %4d %6d\n",
                  e.id, e.lat, e.lon, e.elev, e.state, e.name, 1946, 2024, 60000);
    out += line;
  }
  return out;
}

// ZIR text of all levels, data above 100 mb, tenths of m/s, from db with
// the support files of support_dir for the stations given.
std::string zir_of(const std::string& db, const std::string& support_dir,
                   const TempDir& dir, const std::string& out,
                   const std::vector<std::string>& stations) {
  make_dir(dir / out);
  std::string answers = "\n1996010100\n1996010312\n0\n0\n0\nN\n" +
                        std::to_string(stations.size()) + "\n";
  for (const std::string& s : stations) answers += s + "\n";
  answers += "0\nY\n0\n1\n0\n1\n" + out + "\n0\nN\nN\n";
  RunOptions o;
  o.cwd = dir.path();
  run_program(rawinq_bin(), {db, support_dir}, answers, o);
  const std::vector<std::string> files = dir_entries(dir / out);
  return files.size() == 1 ? read_file(dir / (out + "/" + files[0])) : "";
}

TEST(RawinqPack, Igra2FilesPlainZippedAndGzippedGiveOneArchiveAndCatalogues) {
  TempDir dir;
  const std::string text = igra_soundings();
  write_file(dir / "UKM00003005-data.txt", text);
  write_zip(dir / "UKM00003005-data.txt.zip", "UKM00003005-data.txt", text);
  write_gzip(dir / "UKM00003005-data.txt.gz", text);
  write_file(dir / "igra2-station-list.txt", igra_station_list());
  // A support directory that holds one entry already.
  make_dir(dir / "support");
  write_file(dir / "support/stat2000.txt",
             "1\nPIT  94823 72520  40.53   80.23   360 19480101 20991231 "
             "PITTSBURGH                PA US\n");
  const std::string stat2000 = support() + "/stat2000.txt";
  RunResult p = run_program(
      pack_bin(),
      {"--from", "igra2", "--catalogue", stat2000, "--stations",
       dir / "igra2-station-list.txt", "--support", dir / "support", dir / "db",
       dir / "UKM00003005-data.txt"},
      "");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out,
            dir / "db/Raob1996/I03005_96.buf: 2 soundings\n" +
                dir / "db/Raob1996/23062_96.buf: 1 sounding\n" +
                "3 soundings read, 3 packed, 0 skipped\n" +
                dir / "support/stat2000.txt: 1 entry added, 2 in all\n" +
                dir / "support/international_sites.txt: 1 entry added, 1 in "
                      "all\n" +
                dir / "support/world_stations.csv: copied from " + support() +
                "/world_stations.csv\n" +
                dir / "support/raobhelp.txt: copied from " + support() +
                "/raobhelp.txt\n");
  // Denver's 3-letter code from the world table; Lerwick has none there,
  // and takes three letters of its name.
  EXPECT_EQ(read_file(dir / "support/stat2000.txt"),
            "2\nPIT  94823 72520  40.53   80.23   360 19480101 20991231 "
            "PITTSBURGH                PA US\n"
            "DNR  23062 72469  39.77  104.87  1611 19460101 20241231 "
            "DENVER/STAPLETON          CO US\n");
  // The folder serves the programs: stations by their codes.
  const RunResult listed = run_program(
      extract_bin(), {"--list-stations", "--station", "kdnr,LER", dir / "db", dir / "support"},
      "");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("\nLER,3005,,UKM00003005,,,LERWICK,60.13,-1.18,82,1996\n"),
            std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\nKDNR,72469,23062,USM00072469,KDNR,DNR,DENVER/STAPLETON,"),
            std::string::npos) << listed.out;
  EXPECT_EQ(read_file(dir / "support/international_sites.txt"),
            "1\nLER  03005  60.13N   1.18W    82 19460101 20241231 "
            "LERWICK                       UK\n");
  EXPECT_TRUE(read_file(dir / "support/raobhelp.txt") ==
              read_file(support() + "/raobhelp.txt"));

  // The zipped and the gzipped file give the same files.
  for (const char* packed : {"UKM00003005-data.txt.zip", "UKM00003005-data.txt.gz"}) {
    TempDir other;
    p = run_program(pack_bin(),
                    {"--from", "igra2", "--catalogue", stat2000, other / "db",
                     dir / packed},
                    "");
    ASSERT_EQ(p.status, 0) << packed << p.err;
    for (const char* f : {"Raob1996/I03005_96.buf", "Raob1996/23062_96.buf"})
      EXPECT_TRUE(read_file(other / ("db/" + std::string(f))) ==
                  read_file(dir / ("db/" + std::string(f))))
          << packed << " " << f;
  }

  // A second sounding of a station, date and hour is skipped and counted;
  // the first is kept.
  {
    TempDir other;
    p = run_program(pack_bin(),
                    {"--from", "igra2", "--catalogue", stat2000, other / "db",
                     dir / "UKM00003005-data.txt", dir / "UKM00003005-data.txt.gz"},
                    "");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.out, other / "db/Raob1996/I03005_96.buf: 2 soundings\n" +
                         other / "db/Raob1996/23062_96.buf: 1 sounding\n" +
                         "6 soundings read, 3 packed, 3 skipped\n"
                         "  3 skipped: a second sounding of the same station, "
                         "date and hour (the first is kept)\n" +
                         kInternationalNote + "3005" + kInternationalHow);
    EXPECT_TRUE(read_file(other / "db/Raob1996/I03005_96.buf") ==
                read_file(dir / "db/Raob1996/I03005_96.buf"));
  }

  // The programs read the archive with the catalogues made: each value as
  // the IGRA2 records give it (pressure Pa -> tenths of mb, dew point =
  // temperature - depression, -9999 and -8888 missing).
  const std::string zir = zir_of(dir / "db", dir / "support/", dir, "out",
                                 {"3005", "72469"});
  EXPECT_EQ(zir,
            "    254      0      2      JAN    1996\n"
            "      1  99999   3005  60.13N  1.18W    82   2315\n"
            "      2  99999  99999   2447     10  99999  99999\n"
            "      3           LER                99999     ms\n"
            "      9   9958     82   -119   -170    180     52\n"
            "      4   8500   1274   -197   -267    358    109\n"
            "      5   8012  99999   -221  99999  99999  99999\n"
            "      4   7000   2688   -289   -391    261    157\n"
            "      7   2447   9500   -731  99999    258    459\n"
            "      6  99999   4431  99999  99999    250    261\n"
            "    254     12      2      JAN    1996\n"
            "      1  23062  72469  39.77N104.87W  1611   1115\n"
            "      2  99999  99999  99999      9  99999  99999\n"
            "      3           DNR                99999     ms\n"
            "      9   8350   1611     43     16    140     51\n"
            "      4   7000   3052    -62   -162    300    206\n"
            "      4   5000   5600   -180   -260    260    250\n"
            "      5   4500  99999   -230  99999  99999  99999\n"
            "      4   4000   7180   -290  99999    255    300\n"
            "    254     11      3      JAN    1996\n"
            "      1  99999   3005  60.13N  1.18W    82   1121\n"
            "      2  99999  99999  99999      9  99999  99999\n"
            "      3           LER                99999     ms\n"
            "      9  10010     82    -79   -121    175     16\n"
            "      4  10000     90    -79   -131    170     16\n"
            "      4   9250    691   -117   -177    200     21\n"
            "      4   8500   1333   -159   -239    220     52\n"
            "      4   7000   2768   -253   -353    280    140\n");
}

// A value that cannot be stored is a fault naming the file and line, and
// nothing is written; one that comes back changed is a warning.
TEST(RawinqPack, UnstorableValuesAreFaultsNamingFileAndLine) {
  struct Row {
    std::string year, items, error;
  };
  const std::string head = "sounding 01 02 00";
  const std::string level = "level 1 8370 1611 52 -23 350 50\n";
  const std::vector<Row> rows = {
      {"1996", head + "\nlevel 1 8370 -5000 52 -23 350 50\n",
       "in.txt:1: height cannot be stored: -5000 m"},
      {"1996", head + " reltime=4095\n" + level,
       "in.txt:1: value out of range: reltime"},
      {"1996", head + " tropind=15\n" + level,
       "in.txt:1: value out of range: tropind"},
      {"1996", head + " source=7\n" + level, "in.txt:1: value out of range: source"},
      {"1996", head + "\nlevel 1 8370 1611 9223372036854775807 -23 350 50\n",
       "in.txt:1: value out of range: tp"},
      {"1996", head + "\nlevel 4294967297 8370 1611 52 -23 350 50\n",
       "in.txt:2: flag 4294967297 cannot be stored (0 to 127)"},
      {"1996", "sounding 4294967297 02 00\n" + level,
       "in.txt:1: month 4294967297 cannot be stored (1 to 12)"},
      {"4294969291", head + "\n" + level,
       "year 4294969291 cannot be stored (1900 to 2155)"},
  };
  for (const Row& r : rows) {
    TempDir dir;
    write_file(dir / "in.txt", r.items);
    const RunResult p = run_program(
        pack_bin(), {"--items", dir / "db", r.year, "23062", dir / "in.txt"}, "");
    EXPECT_EQ(p.status, 1) << r.items;
    const std::string want = r.error.rfind("in.txt", 0) == 0 ? dir / r.error : r.error;
    EXPECT_EQ(p.err, "rawinq-pack: " + want + "\n") << r.items;
    EXPECT_FALSE(file_exists(dir / "db")) << r.items;
  }
  // 2975 m has no code of its own: stored as 2976 m, with a warning.
  TempDir dir;
  write_file(dir / "in.txt", head + "\nlevel 1 8370 2975 52 -23 350 50\n");
  const RunResult p = run_program(
      pack_bin(), {"--items", dir / "db", "1996", "23062", dir / "in.txt"}, "");
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.err, "rawinq-pack: warning: " + dir / "in.txt" +
                       ":1: level 1: the height 2975 m is stored as 2976 m\n");
}

// A fault found when the second year's file is made writes no file at
// all, and a file that cannot be renamed into place leaves no temporary
// file behind.
TEST(RawinqPack, AFailedRunLeavesNoFileAndNoTemporaryFile) {
  TempDir dir;
  std::string text = kBlock;
  text.replace(text.find("1996"), 4, "1995");
  for (int i = 0; i < 256; ++i) text += kBlock;
  RunResult p = run_program(pack_bin(), {dir / "db"}, text);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "rawinq-pack: station WBAN 23062, year 1996: more than 255 "
                   "soundings a day\n");
  EXPECT_FALSE(file_exists(dir / "db"));

  // The second file's name is a directory that holds a file: its rename
  // fails after the first file was made.
  std::string two = kBlock;
  two.replace(two.find("1996"), 4, "1995");
  two += kBlock;
  make_dir(dir / "db/Raob1996/23062_96.buf");
  write_file(dir / "db/Raob1996/23062_96.buf/keep", "");
  p = run_program(pack_bin(), {"--replace", dir / "db"}, two);
  EXPECT_EQ(p.status, 1);
  EXPECT_NE(p.err.find("cannot write " + dir / "db/Raob1996/23062_96.buf"),
            std::string::npos)
      << p.err;
  EXPECT_NE(p.err.find("Is a directory"), std::string::npos) << p.err;
  EXPECT_EQ(dir_entries(dir / "db/Raob1996"),
            std::vector<std::string>{"23062_96.buf"});
  // The first file, already in place, is taken back with the directory
  // made for it: after a failure nothing has changed.
  EXPECT_FALSE(file_exists(dir / "db/Raob1995")) << p.err;
}

// Merging into the support folder, one row per way a merge went wrong: the
// catalogue's link, mode and lines beyond its count are kept; a failure
// names the system's reason and changes nothing, in the archive either;
// no temporary file is left.
TEST(RawinqPack, SupportFolderMergeKeepsWhatItFinds) {
  const std::string pit =
      "PIT  94823 72520  40.53   80.23   360 19480101 20991231 PITTSBURGH"
      "                PA US\n";
  const std::string both = "2\n" + pit +
                           "DNR  23062 72469  39.77  104.87  1611 19460101 "
                           "20241231 DENVER/STAPLETON          CO US\n";
  struct Row {
    const char* what;
    std::string link;  // stat2000.txt is a link to this, or a file when ""
    std::string before;
    mode_t mode;
    long file_size_limit;
    int status;
    std::string message;  // in the output or the error output
    std::string after;    // of the file written ("" not read)
  };
  const std::vector<Row> rows = {
      {"a link to a shared catalogue", "../shared/stat2000.txt", "1\n" + pit,
       0644, -1, 0, "stat2000.txt: 1 entry added, 2 in all", both},
      {"a private catalogue", "", "1\n" + pit, 0600, -1, 0,
       "stat2000.txt: 1 entry added, 2 in all", both},
      {"lines beyond the count line", "", "1\n" + pit + "LOST 1 2\n", 0644, -1,
       0, "stat2000.txt: 1 line after the counted entries, kept after them",
       both + "LOST 1 2\n"},
      {"a link into a folder that is not there", "../gone/stat2000.txt", "",
       0644, -1, 1, "No such file or directory", ""},
      // Room for the station files and catalogues, not for the help file
      // and the world table.
      {"a full file system", "", "1\n" + pit, 0644, 8000, 1, "File too large",
       "1\n" + pit},
  };
  for (const Row& r : rows) {
    TempDir dir;
    write_file(dir / "in.txt", igra_soundings());
    write_file(dir / "list.txt", igra_station_list());
    make_dir(dir / "sup");
    make_dir(dir / "shared");
    const std::string written = dir / (r.link.empty() ? "sup" : "shared") +
                                "/stat2000.txt";
    if (!r.before.empty()) write_file(written, r.before);
    chmod(written.c_str(), r.mode);
    if (!r.link.empty()) {
      ASSERT_EQ(symlink(r.link.c_str(), (dir / "sup/stat2000.txt").c_str()), 0);
    }
    RunOptions o;
    o.file_size_limit = r.file_size_limit;
    const RunResult p = run_program(
        pack_bin(),
        {"--from", "igra2", "--catalogue", support() + "/stat2000.txt",
         "--stations", dir / "list.txt", "--support", dir / "sup", dir / "db",
         dir / "in.txt"},
        "", o);
    EXPECT_EQ(p.status, r.status) << r.what << ": " << p.err;
    EXPECT_NE((p.out + p.err).find(r.message), std::string::npos)
        << r.what << ": " << p.out << p.err;
    struct stat st {};
    lstat((dir / "sup/stat2000.txt").c_str(), &st);
    EXPECT_EQ(S_ISLNK(st.st_mode), !r.link.empty()) << r.what;
    if (!r.after.empty()) {
      EXPECT_EQ(read_file(written), r.after) << r.what;
      EXPECT_EQ(stat(written.c_str(), &st) == 0 ? st.st_mode & 07777 : 0, r.mode)
          << r.what;
    }
    EXPECT_EQ(file_exists(dir / "db"), r.status == 0) << r.what;
    // The catalogues, the help file and the world table.
    EXPECT_EQ(dir_entries(dir / "sup").size(), r.status == 0 ? 4u : 1u) << r.what;
    for (const char* d : {"sup", "shared", "db", "db/Raob1996"})
      for (const std::string& e : file_exists(dir / d) ? dir_entries(dir / d)
                                                       : std::vector<std::string>{})
        EXPECT_EQ(e.find(".tmp"), std::string::npos) << r.what << ": " << e;
  }
}

// Inputs the importers refuse (status 1, the file and line named, nothing
// written) or pack with a warning, one row each, in every format.
TEST(RawinqPack, BadInputsAreRefusedNamingFileAndLine) {
  struct Row {
    const char* what;
    std::vector<std::string> args;  // before DBDIR
    std::string name, input;
    int status;
    std::string message;  // in the error output, "@" standing for dir/
  };
  std::string zir_feb30 = kBlock;  // and the ZIR reader's sums
  zir_feb30.replace(zir_feb30.find("2      JAN"), 10, "30     FEB");
  std::string zir_wmo = kBlock;
  zir_wmo.replace(zir_wmo.find("23062  72469"), 12,
                  "99999  9223372036854775807");
  const std::string wyoming =
      "<PRE>\n   PRES   HGHT   TEMP   DWPT   RELH   MIXR   DRCT   SKNT\n"
      "  837.0   1611    5.2   -2.3     58   3.97    350      5\n</PRE><PRE>\n"
      "Station number: 72469\nObservation time: 960230/0000\n</PRE>\n";
  std::string igra = igra_header("USM00072469", 1996, 2, 30, 12, 1115, 1) +
                     igra_level("21", 83500, 1611, 43, 700, 27, 140, 51);
  // A gzip file cut short, a zip member with damaged data, and 3 MB of
  // blank lines in a few KB.
  TempDir scratch;
  write_gzip(scratch / "whole.gz", igra_soundings());
  std::string cut_gz = read_file(scratch / "whole.gz");
  cut_gz.resize(cut_gz.size() - 12);
  write_zip(scratch / "whole.zip", "in.txt", igra_soundings() + igra_soundings());
  std::string bad_zip = read_file(scratch / "whole.zip");
  for (std::size_t k = 60; k < 100; ++k) bad_zip[k] = static_cast<char>(~bad_zip[k]);
  write_gzip(scratch / "bomb.gz", std::string(3 << 20, '\n'));
  const std::vector<Row> rows = {
      {"30 February, ZIR", {}, "in.txt", zir_feb30, 1,
       "@in.txt:1: no such date: 1996-02-30"},
      {"30 February, item text", {"--items"}, "in.txt",
       "sounding 02 30 00\nlevel 1 8370 1611 52 -23 350 50\n", 1,
       "@in.txt:1: no such date: 1996-02-30"},
      {"30 February, IGRA2", {"--from", "igra2"}, "in.txt", igra, 1,
       "@in.txt:1: no such date: 1996-02-30"},
      {"30 February, Wyoming", {"--from", "wyoming"}, "in.txt", wyoming, 1,
       "@in.txt:2: no such date: 1996-02-30"},
      {"30 February, TEMP", {"--from", "temp", "--date", "199602"}, "in.txt",
       "TTAA 80001 72469 99837 05275 35005 00099 ///// /////=\n", 1,
       "@in.txt:1: no such date: 1996-02-30"},
      {"a WMO number past any sum", {}, "in.txt", zir_wmo, 1,
       "@in.txt:2: no station file for WBAN 99999, WMO 9223372036854775807"},
      {"a gzip file cut short", {"--from", "igra2"}, "in.txt.gz", cut_gz, 1,
       "@in.txt.gz: not a whole gzip file: unexpected end of file"},
      {"a damaged zip member", {"--from", "igra2"}, "in.zip", bad_zip, 1,
       "@in.zip:in.txt: not a whole zip member"},
      {"a small gzip file of a huge text", {"--from", "igra2"}, "big.txt.gz",
       read_file(scratch / "bomb.gz"), 1,
       "@big.txt.gz: unpacks to more than 200 times its"},
      {"a temperature below -120 deg C", {"--items"}, "in.txt",
       "sounding 02 28 00\nlevel 1 8370 1611 -1300 -1400 350 50\n", 0,
       "@in.txt:1: level 1: a temperature of -130.0 deg C is stored as missing"},
      {"a dew point above the temperature", {"--items"}, "in.txt",
       "sounding 02 28 00\nlevel 1 8370 1611 52 80 350 50\n", 0,
       "@in.txt:1: level 1: a dew point of 8.0 deg C above the temperature"},
  };
  for (const Row& r : rows) {
    TempDir dir;
    write_file(dir / r.name, r.input);
    std::vector<std::string> args = r.args;
    args.push_back(dir / "db");
    if (r.args.size() == 1 && r.args[0] == "--items") {
      args.push_back("1996");
      args.push_back("23062");
    }
    args.push_back(dir / r.name);
    const RunResult p = run_program(pack_bin(), args, "");
    EXPECT_EQ(p.status, r.status) << r.what << ": " << p.err;
    std::string message = r.message;
    if (message[0] == '@') message = dir / message.substr(1);
    EXPECT_NE(p.err.find(message), std::string::npos) << r.what << ": " << p.err;
    EXPECT_EQ(file_exists(dir / "db"), r.status == 0) << r.what;
  }
}

}  // namespace


namespace {

// The coded messages of 1995 for WMO 72469, 10868 and 3005, all levels,
// in one file (JA019500.skt) under dir/out_dir; returns its text.
std::string coded_messages(const std::string& db, const TempDir& dir,
                           const std::string& out_dir) {
  make_dir(dir / out_dir);
  std::string answers;
  for (const std::string& a :
       std::vector<std::string>{"", "1995010100", "1995123112", "0", "0", "0",
                                "N", "3", "72469", "10868", "3005", "1", "0",
                                "0", "1", out_dir, "0", "N", "N"})
    answers += a + "\n";
  RunOptions o;
  o.cwd = dir.path();
  run_program(rawinq_bin(), {db, support()}, answers, o);
  return read_file(dir / (out_dir + "/JA019500.skt"));
}

// The coded messages rawinq writes pack back into the soundings they came
// from: extracted again, the text is the same.
TEST(RawinqPack, CodedMessagesPackBackIntoTheirSoundings) {
  TempDir dir;
  const std::string first = coded_messages(sample(), dir, "a");
  ASSERT_GT(first.size(), 100000u);
  const RunResult p = run_program(
      pack_bin(), {"--from", "temp", "--catalogue", support() + "/stat2000.txt",
                   dir / "db", dir / "a/JA019500.skt"},
      "");
  ASSERT_EQ(p.status, 0) << p.err.substr(0, 2000);
  EXPECT_EQ(p.out, dir / "db/Raob1995/I03005_95.buf: 724 soundings\n" +
                       dir / "db/Raob1995/I10868_95.buf: 723 soundings\n" +
                       dir / "db/Raob1995/23062_95.buf: 722 soundings\n" +
                       "2169 soundings read, 2169 packed, 0 skipped\n" +
                       kInternationalNote + "3005, 10868" + kInternationalHow);
  const std::string again = coded_messages(dir / "db", dir, "b");
  // The coded format writes knots with its own factor (0.1925 knots to a
  // tenth of m/s, about 1 % below 1 kt = 0.514444 m/s) and TEMP input is
  // read with the exact one, so a speed of k knots may come back as k - d
  // with 0 <= d < 0.009695 k + 0.59625: the same below 45 kt, at most 1 kt
  // lower up to 144 kt. Every other group, heights by thousands of feet
  // included, is the same.
  std::istringstream a(first), b(again);
  std::vector<std::string> was, is;
  for (std::string w; a >> w;) was.push_back(w);
  for (std::string w; b >> w;) is.push_back(w);
  ASSERT_EQ(is.size(), was.size());
  EXPECT_EQ(count_of(again, "\n"), count_of(first, "\n"));
  // dddff, 500 added to the direction or its last figure raised by 1 for
  // each 100 knots.
  const auto wind = [](const std::string& g, long& ddd, long& ff) {
    if (g.size() != 5 || g.find_first_not_of("0123456789") != std::string::npos)
      return false;
    ddd = std::stol(g.substr(0, 3));
    ff = std::stol(g.substr(3));
    if (ddd >= 500) {
      ddd -= 500;
      ff += 100;
    }
    ff += 100 * (ddd % 5);
    ddd -= ddd % 5;
    return true;
  };
  long slower = 0;
  for (std::size_t k = 0; k < was.size(); ++k) {
    if (is[k] == was[k]) continue;
    long d1 = 0, f1 = 0, d2 = 0, f2 = 0;
    ASSERT_TRUE(wind(was[k], d1, f1) && wind(is[k], d2, f2))
        << "word " << k << ": " << was[k] << " -> " << is[k];
    EXPECT_EQ(d2, d1) << was[k] << " -> " << is[k];
    EXPECT_GT(f1 - f2, 0) << was[k] << " -> " << is[k];
    EXPECT_LT(static_cast<double>(f1 - f2), 0.009695 * f1 + 0.59625)
        << was[k] << " -> " << is[k];
    ++slower;
  }
  // Real winds of 45 knots and more are in the sample's messages.
  EXPECT_GT(slower, 0);
}

}  // namespace

namespace {

// A Wyoming listing and a standard TEMP message of Lerwick reach the
// archive and the programs read them; the summary says how a station of
// a WMO number only is filed, and one the support directory knows goes
// under its WBAN number.
TEST(RawinqPack, WyomingListingsAndTempMessagesReachTheArchive) {
  TempDir dir;
  const std::string rule(77, '-');
  write_file(dir / "listing.html",
             "<H2>03005 Lerwick Observations at 00Z 02 Jan 1996</H2>\n<PRE>\n" +
                 rule +
                 "\n   PRES   HGHT   TEMP   DWPT   RELH   MIXR   DRCT   SKNT"
                 "   THTA   THTE   THTV\n"
                 "    hPa     m      C      C      %    g/kg    deg   knot"
                 "     K      K      K \n" +
                 rule +
                 "\n  995.8     82  -11.9  -17.0     66   1.00    180     10\n"
                 "  850.0   1274  -19.7  -26.7     54   0.50    358     21\n"
                 "  801.2   1700  -22.1                                   \n"
                 "  700.0   2688  -28.9  -39.1     36   0.20    261     30\n"
                 "  650.0   3200                                255     35\n"
                 "</PRE><H3>Station information and sounding indices</H3>"
                 "<PRE>\n                             Station number: 03005\n"
                 "                           Observation time: 960102/0000\n"
                 "</PRE>\n");
  write_file(dir / "bulletin.txt",
             "USUK01 EGRR 021200\n"
             "TTAA 52121 03005 99001 05324 24509 00090 05332 24509 92697 "
             "09343 24515 85345 13544 25015 70794 22957 24529 88999 77999=\n");
  RunResult p = run_program(
      pack_bin(), {"--from", "wyoming", dir / "db", dir / "listing.html"}, "");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db/Raob1996/I03005_96.buf: 1 sounding\n" +
                       "1 sounding read, 1 packed, 0 skipped\n" +
                       kInternationalNote + "3005" + kInternationalHow);
  // A station that the support directory's stat2000.txt knows is filed
  // under its WBAN number, where the programs reading it look.
  std::string denver = read_file(dir / "listing.html");
  denver.replace(denver.find("Station number: 03005"), 21, "Station number: 72469");
  write_file(dir / "denver.html", denver);
  p = run_program(pack_bin(), {"--from", "wyoming", "--support", support(),
                               dir / "db3", dir / "denver.html"}, "");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, dir / "db3/Raob1996/23062_96.buf: 1 sounding\n" +
                       "1 sounding read, 1 packed, 0 skipped\n");
  p = run_program(pack_bin(),
                  {"--from", "temp", "--date", "199601", dir / "db2",
                   dir / "bulletin.txt"},
                  "");
  ASSERT_EQ(p.status, 0) << p.err;
  const std::string wyoming =
      zir_of(dir / "db", support() + "/", dir, "w", {"3005"});
  EXPECT_EQ(wyoming,
            "    254      0      2      JAN    1996\n"
            "      1  99999   3005  60.13N  1.18W    82  99999\n"
            "      2  99999  99999  99999      9  99999  99999\n"
            "      3           LWK                99999     ms\n"
            "      9   9958     82   -119   -170    180     51\n"
            "      4   8500   1274   -197   -267    358    108\n"
            "      5   8012   1700   -221  99999  99999  99999\n"
            "      4   7000   2688   -289   -391    261    154\n"
            "      6   6500   3200  99999  99999    255    180\n");
  const std::string temp =
      zir_of(dir / "db2", support() + "/", dir, "t", {"3005"});
  EXPECT_EQ(temp,
            "    254     12      2      JAN    1996\n"
            "      1  99999   3005  60.13N  1.18W    82  99999\n"
            "      2  99999  99999  99999      9  99999  99999\n"
            "      3           LWK                99999     ms\n"
            "      9  10010  99999    -53    -77    245     46\n"
            "      4  10000     90    -53    -85    245     46\n"
            "      4   9250    697    -93   -136    245     77\n"
            "      4   8500   1345   -135   -179    250     77\n"
            "      4   7000   2794   -229   -299    245    149\n");
}

}  // namespace

namespace {

// Every file of a folder, by name, as one text.
std::string folder_text(const std::string& dir) {
  std::vector<std::string> names = dir_entries(dir);
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += n + "\n" + read_file(dir + "/" + n);
  return out;
}

// A year of two stations (one of a WBAN number, one an international site)
// extracted as BUFR, packed back with --from bufr and extracted again:
// the same values (CSV) and the same messages; a file with a message that
// cannot be decoded writes nothing unless --skip-bad leaves it out.
TEST(RawinqPack, BufrRoundTripGivesTheSameValues) {
  TempDir dir;
  const std::vector<std::string> request = {"--from", "1995", "--wmo", "72469,3005",
                                            "--hours", "all"};
  const auto extract_to = [&](const std::string& db, const std::string& format,
                              const std::string& out) {
    std::vector<std::string> args = request;
    for (const std::string& a : {std::string("--format"), format,
                                 std::string("--out"), dir / out, db, support()})
      args.push_back(a);
    const RunResult r = run_program(extract_bin(), args, "");
    EXPECT_EQ(r.status, 0) << r.err;
    return folder_text(dir / out);
  };
  const std::string bufr = extract_to(sample(), "bufr", "b1");
  ASSERT_FALSE(bufr.empty());
  std::vector<std::string> files;
  for (const std::string& n : dir_entries(dir / "b1")) files.push_back(dir / ("b1/" + n));
  // Packed from a gzip-compressed copy and a zip archive of the files.
  ASSERT_EQ(files.size(), 1u);
  write_gzip(dir / "b1.bufr.gz", read_file(files[0]));
  write_zip(dir / "b1.zip", "b1.bufr", read_file(files[0]));
  std::vector<std::string> args = {"--from", "bufr", "--catalogue",
                                   support() + "/stat2000.txt", dir / "db"};
  args.push_back(dir / "b1.bufr.gz");
  const RunResult p = run_program(pack_bin(), args, "");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_NE(p.out.find(" packed, 0 skipped\n"), std::string::npos) << p.out;
  EXPECT_EQ(extract_to(dir / "db", "csv", "c2"), extract_to(sample(), "csv", "c1"));
  EXPECT_EQ(extract_to(dir / "db", "bufr", "b2"), bufr);
  const RunResult z = run_program(
      pack_bin(), {"--from", "bufr", "--catalogue", support() + "/stat2000.txt",
                   dir / "dbz", dir / "b1.zip"}, "");
  ASSERT_EQ(z.status, 0) << z.err;
  EXPECT_EQ(extract_to(dir / "dbz", "csv", "cz"), extract_to(sample(), "csv", "c1"));

  // A message ecCodes cannot decode among good ones.
  std::string broken = read_file(files[0]);
  const std::size_t second = broken.find("BUFR", 4);
  ASSERT_NE(second, std::string::npos);
  for (std::size_t k = second + 40; k < second + 60; ++k) broken[k] = '\x55';
  write_file(dir / "broken.bufr", broken);
  RunResult bad = run_program(pack_bin(), {"--from", "bufr", dir / "db3", dir / "broken.bufr"}, "");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find(dir / "broken.bufr" + ": message 2: "), std::string::npos) << bad.err;
  EXPECT_FALSE(file_exists(dir / "db3"));
  bad = run_program(pack_bin(),
                    {"--from", "bufr", "--skip-bad", dir / "db3", dir / "broken.bufr"}, "");
  EXPECT_EQ(bad.status, 0) << bad.err;
  EXPECT_NE(bad.err.find("message 2: "), std::string::npos) << bad.err;
  EXPECT_NE(bad.out.find("1 skipped: a BUFR message with a fault (--skip-bad)"),
            std::string::npos) << bad.out;
  // --skip-bad is of BUFR input only.
  EXPECT_EQ(run_program(pack_bin(), {"--skip-bad", dir / "db4", files[0]}, "").status, 2);
}

}  // namespace
