// rawinq-extract against the dialogue: for every request of the table the
// files it writes are byte for byte those the dialogue writes for the same
// request over the sample archive; then its exit statuses and the
// inventory of the sample archive.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string extract_bin() { return binary_dir() + "/rawinq-extract"; }
std::string sample() { return source_dir() + "/data/sample-archive"; }
std::string support() { return source_dir() + "/data/support"; }

struct Request {
  const char* name;
  // The dialogue's answers after the welcome prompt, up to the file
  // structure question; DIR stands for the output directory and LIST for
  // the station list file.
  std::string answers;
  std::vector<std::string> options;  // rawinq-extract's, without --out
};

// The sample stations by number: DEN 72469/23062, PIT 72520/94823,
// BIS 72764/24011, BRO 72250/12919, LWK 3005 (international).
const Request kRequests[] = {
    {"WMO numbers, synoptic, one file, ZIR in knots",
     "1995010100\n1995010512\n1\n0\n0\nn\n2\n72469\n72520\n"
     "0\ny\n0\n0\n0\n1\nDIR\n0\n",
     {"--from", "1995010100", "--to", "1995010512", "--wmo", "72469,72520",
      "--hours", "0,12", "--format", "zir", "--wind", "knots"}},
    {"WBAN list file, station order, one file per station, FAA604",
     "1995020100\n1995021012\n1\n0\n1\ny\nLIST\n"
     "1\n1\n1\n1\nDIR\n1\n",
     {"--from", "1995020100", "--to", "1995021012", "--station-list", "LIST",
      "--numbers", "wban", "--order", "station", "--split", "station",
      "--format", "faa604", "--levels", "mandatory"}},
    {"box, synoptic, one file per day, NetCDF",
     "1999030100\n1999030312\n1\n1\n30.0\n45.0\n-110.0\n-75.0\n"
     "2\ny\n2\n0\nDIR\n3\n",
     {"--from", "1999030100", "--to", "1999030312", "--box",
      "30,45,-110,-75", "--split", "day", "--format", "netcdf", "--levels",
      "mandatory+significant"}},
    {"North America, synoptic, one file per month, ZIR cut at 100 mb",
     "2003013000\n2003020212\n2\n2\n0\nn\n2\n1\n0\n1\nDIR\n2\n",
     {"--from", "2003013000", "--to", "2003020212", "--region",
      "north-america", "--hours", "0", "--above-100mb", "no", "--levels",
      "mandatory+significant", "--wind", "ms", "--split", "month"}},
    {"the world, station order, one file per sounding, every hour",
     "1995010100\n1995010112\n0\n3\n0\ny\n0\n0\n1\n1\nDIR\n2\n",
     {"--from", "1995010100", "--to", "1995010112", "--region", "global",
      "--hours", "all", "--order", "station", "--split", "sounding"}},
    {"WMO numbers, synoptic, one file per year, FAA604",
     "1995123100\n1999010112\n3\n0\n0\nn\n2\n3005\n72764\n"
     "1\n0\n0\n1\nDIR\n1\n",
     {"--from", "1995123100", "--to", "1999010112", "--wmo", "3005,72764",
      "--hours", "12", "--format", "faa604", "--split", "year"}},
    {"box, synoptic, one file per time, NetCDF",
     "1995070100\n1995070212\n1\n1\n20.0\n50.0\n-120.0\n-90.0\n"
     "2\nn\n1\n0\nDIR\n4\n",
     {"--from", "1995070100", "--to", "1995070212", "--box",
      "20,50,-120,-90", "--format", "netcdf", "--levels", "mandatory",
      "--split", "time"}},
    {"WBAN numbers, synoptic, one file per sounding, ZIR",
     "1999123000\n1999123112\n1\n0\n1\nn\n2\n12919\n23062\n"
     "0\ny\n1\n0\n0\n1\nDIR\n5\n",
     {"--from", "1999123000", "--to", "1999123112", "--wban", "12919,23062",
      "--levels", "mandatory", "--split", "sounding"}},
    {"WMO numbers, station order, one file, NetCDF",
     "2003060100\n2003060512\n1\n0\n0\nn\n3\n72469\n72250\n10868\n"
     "2\ny\n0\n1\nDIR\n0\n",
     {"--from", "2003060100", "--to", "2003060512", "--wmo",
      "72469,72250,10868", "--format", "netcdf", "--order", "station"}},
};

std::string replaced(std::string text, const std::string& what,
                     const std::string& with) {
  for (std::size_t at; (at = text.find(what)) != std::string::npos;)
    text.replace(at, what.size(), with);
  return text;
}

// Every file of a directory with its contents, in name order.
std::vector<std::pair<std::string, std::string>> files_of(
    const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& name : dir_entries(dir))
    files.emplace_back(name, read_file(dir + "/" + name));
  return files;
}

TEST(Extract, WritesTheDialoguesFilesForEveryRequest) {
  for (const Request& rq : kRequests) {
    TempDir dir;
    make_dir(dir / "dialogue");
    write_file(dir / "stations.txt", "23062\n94823\n24011\n");
    const std::string answers =
        replaced(replaced(rq.answers, "DIR", dir / "dialogue"), "LIST",
                 dir / "stations.txt");
    const RunResult d = run_program(rawinq_bin(), {sample(), support(), "500"},
                                    "\n" + answers + "n\nn\n");
    ASSERT_EQ(d.err, "") << rq.name;

    std::vector<std::string> args;
    for (const std::string& o : rq.options)
      args.push_back(o == "LIST" ? dir / "stations.txt" : o);
    for (const std::string& a : {std::string("--out"), dir / "cli",
                                 std::string("--quiet"), sample(), support()})
      args.push_back(a);
    const RunResult c = run_program(extract_bin(), args, "");
    EXPECT_EQ(c.status, 0) << rq.name << "\n" << c.err;
    EXPECT_EQ(c.err, "") << rq.name;
    EXPECT_EQ(c.out, "") << rq.name;

    const auto want = files_of(dir / "dialogue");
    const auto got = files_of(dir / "cli");
    EXPECT_FALSE(want.empty()) << rq.name;
    ASSERT_EQ(got.size(), want.size()) << rq.name;
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_EQ(got[k].first, want[k].first) << rq.name;
      EXPECT_TRUE(got[k].second == want[k].second)
          << rq.name << ": " << want[k].first << " differs";
    }
  }
}

// Without --out the text goes to standard output, as the one file of the
// request would hold it, and the summary to standard error.
TEST(Extract, TextToStandardOutput) {
  TempDir dir;
  const std::vector<std::string> request = {
      "--from", "1995010100", "--to", "1995010512", "--wmo", "72469,72520",
      "--hours", "0,12"};
  std::vector<std::string> args = request;
  for (const std::string& a : {std::string("--out"), dir / "one",
                               std::string("--quiet"), sample(), support()})
    args.push_back(a);
  ASSERT_EQ(run_program(extract_bin(), args, "").status, 0);
  args = request;
  args.push_back(sample());
  args.push_back(support());
  const RunResult c = run_program(extract_bin(), args, "");
  EXPECT_EQ(c.status, 0);
  EXPECT_TRUE(c.out == read_file(dir / "one/1995010100.txt"));
  EXPECT_EQ(c.err, "20 soundings of 2 stations written to 0 files, " +
                       std::to_string(c.out.size()) + " bytes\n");
}

// Each exit status once, each refusal before anything is written.
TEST(Extract, ExitStatusesAndMessages) {
  TempDir dir;
  struct Case {
    std::vector<std::string> options;
    int status;
    std::string message;  // the start of standard error
  } cases[] = {
      {{"--from", "1995010100", "--wmo", "72469"}, 0, "1 sounding of 1 station"},
      {{"--from", "1995010100", "--wmo", "99999,72469", "--hours", "12"},
       1,
       "0 soundings of 0 stations written to 0 files, 0 bytes\n"
       "rawinq-extract: WMO station numbers not in the catalogue: 99999\n"},
      {{"--from", "1997010100", "--wmo", "72469"},
       1,
       "0 soundings of 0 stations written to 0 files, 0 bytes\n"
       "rawinq-extract: no station files in "},
      {{"--from", "1995013200", "--wmo", "72469"},
       2,
       "rawinq-extract: --from: 1995013200 is not a date and hour\n"},
      {{"--from", "1995010100", "--wmo", "72469", "--box", "1,2,3,4"},
       2,
       "rawinq-extract: --box: only one of"},
      {{"--from", "1995010100", "--wmo", "72469", "--levels", "most"},
       2,
       "rawinq-extract: --levels: 'most' is not one of "
       "all|mandatory|mandatory+significant\n"},
      {{"--from", "1995010100", "--wmo", "72469", "--colour"},
       2,
       "rawinq-extract: --colour: unknown option\n"},
      {{"--from", "1995010100", "--box", "30,x,1,2"},
       2,
       "rawinq-extract: --box: 'x' is not a number of degrees\n"},
      {{"--from", "1995010100", "--wmo", "72469", "--derived"},
       2,
       "rawinq-extract: --derived: only with --format csv or cf\n"},
      {{"--from", "1995010100", "--wmo", "72469", "--plot-range", "-30,60"},
       2,
       "rawinq-extract: --plot-range: only with --format png, svg or pdf\n"},
      {{"--from", "1995010100", "--wmo", "72469", "--format", "png", "--plot-range", "60,0"},
       2,
       "rawinq-extract: --plot-range: TMAX must be at least 10 degrees above TMIN\n"},
      {{"--from", "1995010100", "--wmo", "72469", "--format", "png",
        "--split", "month"},
       2,
       "rawinq-extract: --split: --format png writes one file per sounding\n"},
      // Stations by the identifiers people use, dates as they write them.
      {{"--from", "1995-01-01T12:00+00:00", "--station", "KDNR,LWK"},
       0,
       "2 soundings of 2 stations"},
      {{"--from", "1995-01-01", "--station", "usm00072469"},
       0,
       "2 soundings of 1 station"},
      {{"--from", "1995-02-29", "--wmo", "72469"},
       2,
       "rawinq-extract: --from: 1995-02-29 is not a date and hour\n"},
      {{"--from", "1995", "--station", "72469,XYZ"},
       2,
       "rawinq-extract: --station: no station 'XYZ' in the catalogue; the "
       "nearest names: "},
      {{"--from", "1995", "--station-name", "san"},
       2,
       "rawinq-extract: --station-name: 'san' names 3 stations; give one of "
       "them:\n  WMO 72293, WBAN 3190, NKX SAN DIEGO/MIRAMAR\n"},
      // Cubes: the grid's levels and what may go with them.
      {{"--from", "1995-01-01", "--station", "KDNR", "--format", "cf", "--grid",
        "height:0,500,1000", "--out", dir / "cube"},
       0,
       "2 soundings of 1 station written to 1 file"},
      {{"--from", "1995", "--wmo", "72469", "--format", "cf", "--grid", "pressure:850,1200"},
       2,
       "rawinq-extract: --grid: 1200 hPa is not a pressure of 0 to 1100 hPa\n"},
      {{"--from", "1995", "--wmo", "72469", "--format", "cf", "--grid", "height:0,x"},
       2,
       "rawinq-extract: --grid: 'x' is not a height in m\n"},
      {{"--from", "1995", "--wmo", "72469", "--format", "cf", "--grid", "pressure:500,500.0"},
       2,
       "rawinq-extract: --grid: a level is given twice\n"},
      {{"--from", "1995", "--wmo", "72469", "--format", "csv", "--grid", "pressure"},
       2,
       "rawinq-extract: --grid: only with --format cf\n"},
      {{"--from", "1995", "--wmo", "72469", "--format", "cf", "--grid", "pressure",
        "--split", "month", "--out", dir / "cube"},
       2,
       "rawinq-extract: --grid: one cube of the period, or one a station "
       "(--split one|station)\n"},
      // Inputs that are not files are refused at once, not read for ever.
      {{"--from", "1995010100", "--station-list", dir / "list.fifo"},
       2,
       "rawinq-extract: --station-list: " + (dir / "list.fifo") +
           ": not a regular file\n"},
      {{"--from", "1995010100", "--station-list", "/dev/zero"},
       2,
       "rawinq-extract: --station-list: /dev/zero: not a regular file\n"},
  };
  mkfifo((dir / "list.fifo").c_str(), 0644);
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    // A refused request makes no output directory.
    for (const std::string& a : {std::string("--out"), dir / "made",
                                 sample(), support()})
      args.push_back(a);
    RunOptions quick;
    quick.timeout_seconds = 20;
    const RunResult r = run_program(extract_bin(), args, "", quick);
    std::string at;
    for (const std::string& o : c.options) at += o + " ";
    EXPECT_EQ(r.status, c.status) << at << "\n" << r.err;
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << at << "\n" << r.err;
    EXPECT_EQ(file_exists(dir / "made"), c.status != 2) << at;
    std::system(("rm -rf '" + (dir / "made") + "'").c_str());
  }
  // A catalogue that is a FIFO, or whose count line cannot be read.
  for (const std::string count : {"", "99999999999999999999\n"}) {
    TempDir sup;
    if (count.empty()) mkfifo((sup / "stat2000.txt").c_str(), 0644);
    else write_file(sup / "stat2000.txt", count + kDenEntry);
    RunOptions quick;
    quick.timeout_seconds = 20;
    const RunResult r = run_program(
        extract_bin(), {"--from", "1995010100", "--wmo", "72469", sample(), sup.path()},
        "", quick);
    EXPECT_EQ(r.status, 2) << count;
    EXPECT_EQ(r.err, "rawinq-extract: " + (sup / "stat2000.txt") +
                         (count.empty() ? ": not a regular file\n"
                                        : " line 1: the count of entries "
                                          "'99999999999999999999' cannot be read\n"));
  }
  const RunResult nc = run_program(
      extract_bin(),
      {"--from", "1995010100", "--wmo", "72469", "--format", "netcdf",
       sample(), support()},
      "");
  EXPECT_EQ(nc.status, 2);
  EXPECT_EQ(nc.err,
            "rawinq-extract: --format netcdf: needs --out, it is written to "
            "files only\nTry 'rawinq-extract --help'.\n");
  // The indices of CSV go to a file of their own: no standard output.
  const RunResult csv = run_program(
      extract_bin(),
      {"--from", "1995010100", "--wmo", "72469", "--format", "csv",
       "--derived", sample(), support()},
      "");
  EXPECT_EQ(csv.status, 2);
  EXPECT_EQ(csv.err.rfind("rawinq-extract: --derived: with --format csv "
                          "needs --out", 0), 0u) << csv.err;
  // A write error: the output file cannot be replaced by a file.
  make_dir(dir / "blocked/1995010100.txt");
  const RunResult w = run_program(
      extract_bin(),
      {"--from", "1995010100", "--wmo", "72469", "--out", dir / "blocked",
       sample(), support()},
      "");
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.err.find("rawinq-extract: write error: " + (dir / "blocked") +
                       "/1995010100.txt: Is a directory"),
            std::string::npos)
      << w.err;
}

// No fixed limits: a catalogue of 40000 entries is read whole (the dialogue
// reads the first 2000), so a station listed past them is found, with a
// note; and a station-year directory named the North-American way is read.
TEST(Extract, CatalogueOfMoreThan2000EntriesAndBothYearForms) {
  TempDir dir;
  std::string cat = "40000\n";
  for (int k = 0; k < 39999; ++k) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "X%03d  %5d %5d  10.00  10.00   100 19000101 20991231 "
                  "FILLER                    CO US\n",
                  k % 1000, 50000 + k, 60000 + k + (60000 + k >= 72469));
    cat += line;
  }
  cat += "DEN  23062 72469  39.77  104.87  1611 19960101 20991231 "
         "DENVER/STAPLETON          CO US\n";
  make_dir(dir / "support");
  write_file(dir / "support/stat2000.txt", cat);
  // Only the directory Raob99 of the year 1999.
  make_dir(dir / "db/Raob99");
  write_file(dir / "db/Raob99/23062_99.buf",
             read_file(sample() + "/Raob1999/23062_99.buf"));
  const RunResult r = run_program(
      extract_bin(),
      {"--from", "1999010100", "--to", "1999010212", "--wmo", "72469",
       dir / "db", dir / "support"},
      "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("rawinq-extract: note: the catalogues hold 40000 "
                        "entries",
                        0),
            0u)
      << r.err;
  EXPECT_EQ(count_of(r.out, "      JAN    1999\n"), 4);
}

// The plot formats: one file per sounding, named WMO_INI_YYYYMMDDHH like
// the ZIR files of one sounding each in station order, in either order.
TEST(Extract, PlotsOneFilePerSoundingNamedAfterIt) {
  TempDir dir;
  const std::vector<std::string> request = {
      "--from", "1999070100", "--to", "1999070212", "--wmo", "72469,3005"};
  std::vector<std::string> zir = request;
  for (const char* a : {"--order", "station", "--split", "sounding", "--out"})
    zir.push_back(a);
  zir.push_back(dir / "zir");
  zir.push_back(sample());
  zir.push_back(support());
  ASSERT_EQ(run_program(extract_bin(), zir, "").status, 0);
  std::vector<std::string> stems;
  for (const std::string& f : dir_entries(dir / "zir"))
    stems.push_back(f.substr(0, f.rfind('.')));
  ASSERT_EQ(stems.size(), 8u);  // two stations, four soundings each

  const struct {
    const char* format;
    const char* order;
    std::string magic;
    std::vector<std::string> options;
  } kinds[] = {{"png", "synoptic", "\x89PNG\r\n\x1a\n", {}},
               {"svg", "station", "<?xml", {"--plot-range", "-30,60", "--parcel", "mixed-layer"}},
               {"pdf", "synoptic", "%PDF-", {"--parcel", "most-unstable"}}};
  for (const auto& k : kinds) {
    std::vector<std::string> args = request;
    args.insert(args.end(), k.options.begin(), k.options.end());
    for (const std::string& a :
         {std::string("--format"), std::string(k.format),
          std::string("--order"), std::string(k.order), std::string("--out"),
          dir / k.format, sample(), support()})
      args.push_back(a);
    const RunResult r = run_program(extract_bin(), args, "");
    EXPECT_EQ(r.status, 0) << k.format << r.err;
    EXPECT_EQ(r.err.rfind("8 soundings of 2 stations written to 8 files", 0),
              0u)
        << r.err;
    std::vector<std::string> expected;
    for (const std::string& stem : stems)
      expected.push_back(stem + "." + k.format);
    EXPECT_EQ(dir_entries(dir / k.format), expected) << k.format;
    for (const std::string& f : expected) {
      const std::string bytes = read_file(dir / k.format + "/" + f);
      EXPECT_EQ(bytes.rfind(k.magic, 0), 0u) << f;
      EXPECT_GT(bytes.size(), 20000u) << f;
    }
  }

  // A plot that cannot be put in place is a write error of its file.
  make_dir(dir / "blocked/72469_DEN_1999070100.png");
  std::vector<std::string> args = request;
  for (const std::string& a : {std::string("--format"), std::string("png"),
                               std::string("--out"), dir / "blocked",
                               sample(), support()})
    args.push_back(a);
  const RunResult w = run_program(extract_bin(), args, "");
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.err.find("rawinq-extract: write error: " + (dir / "blocked") +
                       "/72469_DEN_1999070100.png: Is a directory"),
            std::string::npos)
      << w.err;
  // No temporary file is left behind.
  for (const std::string& f : dir_entries(dir / "blocked"))
    EXPECT_EQ(f.find(".tmp"), std::string::npos) << f;
}

// The output folder: each row a fault of a name in --out or of the disk
// under it. The run fails with exit 2 and the reason, leaves no temporary
// file, and changes neither the earlier file at the name nor a file outside
// --out. Links of another user (uid 4242) need root to be made.
TEST(Extract, OutputFolderFaults) {
  const std::string earlier = "an earlier run's file\n";
  const struct {
    const char* format;
    const char* name;   // of the file in out/
    std::string fault;  // link:TARGET (in outside/), read-only, fifo, file, none
    long file_size_limit;
    std::string message;
  } cases[] = {
      {"zir", "1995010100.txt", "link:notes.txt", -1, "not followed"},
      {"zir", "1995010100.txt", "link:new.txt", -1, "not followed"},
      {"png", "72469_DEN_1995010100.png", "read-only", -1, std::strerror(EACCES)},
      {"svg", "72469_DEN_1995010100.svg", "read-only", -1, std::strerror(EACCES)},
      {"csv", "1995010100_indices.csv", "fifo", -1, "not a regular file"},
      {"csv", "1995010100_indices.csv", "file", 2000, std::strerror(EFBIG)},
      {"cf", "1995010100.nc", "file", 20000, std::strerror(EFBIG)},
      {"cf", "1995010100.nc", "none", 1, std::strerror(EFBIG)},
  };
  for (const auto& c : cases) {
    const bool link = c.fault.rfind("link:", 0) == 0;
    if (link && geteuid() != 0) {
      std::printf("skipped %s: a link of another user needs root\n", c.fault.c_str());
      continue;
    }
    TempDir dir;
    make_dir(dir / "out");
    make_dir(dir / "outside");
    write_file(dir / "outside/notes.txt", earlier);
    const std::string at = dir / "out/" + c.name;
    if (link) {
      chmod((dir / "out").c_str(), 01777);
      symlink((dir / "outside/" + c.fault.substr(5)).c_str(), at.c_str());
      lchown(at.c_str(), 4242, 4242);
    } else if (c.fault == "fifo") {
      mkfifo(at.c_str(), 0644);
    } else if (c.fault != "none") {
      write_file(at, earlier);
      if (c.fault == "read-only") chmod(at.c_str(), 0444);
    }
    RunOptions o;
    o.file_size_limit = c.file_size_limit;
    o.timeout_seconds = 20;
    const RunResult r = run_program(
        extract_bin(),
        {"--format", c.format, "--from", "1995010100", "--to", "1995013112", "--wmo",
         "72469", std::string(c.format) == "csv" ? "--derived" : "--quiet", "--out",
         dir / "out", sample(), support()},
        "", o);
    SCOPED_TRACE(std::string(c.format) + " " + c.fault + "\n" + r.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos);
    if (c.fault == "file" || c.fault == "read-only") {
      EXPECT_EQ(read_file(at), earlier);
    }
    EXPECT_EQ(read_file(dir / "outside/notes.txt"), earlier);
    EXPECT_EQ(dir_entries(dir / "outside").size(), 1u);
    for (const std::string& f : dir_entries(dir / "out")) EXPECT_EQ(f.find(".tmp"), std::string::npos) << f;
  }
  // A sounding that cannot be drawn (too few levels): no plot, none counted.
  TempDir dir;
  archive_writer::Sounding s;
  s.year = 1995;
  s.month = s.day = 1;
  s.wban = 23062;
  s.levels = {{1, 8370, 1611, 50, -20, 180, 30}, {2, 7000, 3012, -40, -90, 270, 120}};
  archive_writer::write_station_year(dir / "db", 1995, 23062, {s});
  const RunResult r = run_program(extract_bin(), {"--from", "1995010100", "--wmo", "72469",
      "--format", "png", "--out", dir / "out", dir / "db", support()}, "");
  EXPECT_EQ(r.err.rfind("0 soundings of 0 stations written to 0 files", 0), 0u) << r.err;
  EXPECT_TRUE(dir_entries(dir / "out").empty());
}

// The inventory of the whole sample archive: twelve stations in three
// years, 0 and 12 UTC on almost every day, as many soundings in all as the
// archive's README says, and for a station-year as many soundings as an
// extraction writes.
TEST(Extract, InventoryOfTheSampleArchive) {
  const RunResult r = run_program(
      extract_bin(),
      {"--inventory", "--from", "1995010100", "--to", "2003123123",
       "--region", "global", "--hours", "all", sample(), support()},
      "");
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::vector<std::string>> rows;
  std::size_t from = 0;
  for (std::size_t end; (end = r.out.find('\n', from)) != std::string::npos;
       from = end + 1) {
    std::vector<std::string> cells;
    const std::string line = r.out.substr(from, end - from);
    std::size_t c = 0;
    for (std::size_t tab; (tab = line.find('\t', c)) != std::string::npos;
         c = tab + 1)
      cells.push_back(line.substr(c, tab - c));
    cells.push_back(line.substr(c));
    rows.push_back(cells);
  }
  ASSERT_EQ(rows.size(), 1u + 12 * 3);
  EXPECT_EQ(rows[0], (std::vector<std::string>{
                         "wmo", "wban", "initials", "year", "soundings", "first",
                         "last", "station_id", "station_name", "latitude_deg",
                         "longitude_deg", "elevation_m"}));
  long total = 0;
  for (std::size_t k = 1; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), 12u);
    const long n = std::stol(rows[k][4]);
    total += n;
    EXPECT_GE(n, 700) << rows[k][0] << " " << rows[k][3];
    EXPECT_LE(n, 732) << rows[k][0] << " " << rows[k][3];
    EXPECT_LE(rows[k][5], rows[k][3] + "010212");
    EXPECT_GE(rows[k][6], rows[k][3] + "123000");
  }
  const std::string readme = read_file(sample() + "/README.txt");
  const std::size_t at = readme.find(" soundings in all.");
  ASSERT_NE(at, std::string::npos);
  const std::size_t start = readme.rfind('\n', at) + 1;
  EXPECT_EQ(total, std::stol(readme.substr(start, at - start)));
  // Denver, 1999, against what an extraction of that year writes.
  for (const auto& row : rows) {
    if (row[0] != "72469" || row[3] != "1999") continue;
    EXPECT_EQ(row[1], "23062");
    EXPECT_EQ(row[2], "DEN");
    // The ICAO code from the world table; the position of the catalogue.
    EXPECT_EQ(std::vector<std::string>(row.begin() + 7, row.end()),
              (std::vector<std::string>{"KDNR", "DENVER", "39.77", "-104.87", "1611"}));
    TempDir dir;
    const RunResult x = run_program(
        extract_bin(),
        {"--from", "1999010100", "--to", "1999123123", "--wmo", "72469",
         "--hours", "all", "--out", dir / "x", sample(), support()},
        "");
    EXPECT_EQ(x.err.rfind(row[4] + " soundings of 1 station", 0), 0u)
        << x.err;
  }
  // The station list: without a selection every station of the catalogue
  // (106 in its 109 entries),
  // the years the archive holds for each; with one, its stations.
  const struct {
    std::vector<std::string> args;
    std::size_t stations;
    const char* line;  // of Denver
  } lists[] = {
      {{}, 106, "KDNR,72469,23062,USM00072469,KDNR,DNR,DENVER,39.77,-104.87,1611,1995 1999 2003"},
      {{"--station", "KDNR,oun", "--from", "1999"}, 2,
       "KDNR,72469,23062,USM00072469,KDNR,DNR,DENVER,39.77,-104.87,1611,1999"},
  };
  for (const auto& l : lists) {
    std::vector<std::string> args = {"--list-stations"};
    args.insert(args.end(), l.args.begin(), l.args.end());
    args.push_back(sample());
    args.push_back(support());
    const RunResult list = run_program(extract_bin(), args, "");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.rfind("station_id,station_wmo,station_wban,igra2_id,icao,codes,"
                             "station_name,latitude_deg,longitude_deg,elevation_m,years\n", 0),
              0u);
    EXPECT_EQ(count_of(list.out, "\n"), static_cast<int>(l.stations) + 1);
    EXPECT_NE(list.out.find(std::string("\n") + l.line + "\n"), std::string::npos) << list.out;
  }
}

// The analysis formats against the ZIR text of the same request, in both
// orders: CSV and CF files hold the same soundings in the same order with
// the same values (a script reads the ZIR text, the CSV file, and the CF
// file through xarray with its default options), ncdump shows the
// conventions, and the indices file has a row for every sounding.
TEST(Extract, AnalysisFormatsHoldTheZirValues) {
  for (const char* order : {"synoptic", "station"}) {
    SCOPED_TRACE(order);
    TempDir dir;
    const std::vector<std::string> request = {
        "--from", "1995070100", "--to", "1995071023", "--region", "global",
        "--hours", "all", "--wind", "ms", "--order", order, "--quiet"};
    for (const std::string format : {"zir", "csv", "cf", "cube"}) {
      std::vector<std::string> args = request;
      for (const std::string& a :
           {std::string("--format"), format == "cube" ? std::string("cf") : format,
            std::string("--out"), dir / format, sample(), support()})
        args.push_back(a);
      if (format == "csv" || format == "cf") args.insert(args.begin(), "--derived");
      if (format == "cube") args.insert(args.begin(), {"--grid", "pressure"});
      const RunResult r = run_program(extract_bin(), args, "");
      ASSERT_EQ(r.status, 0) << format << "\n" << r.err;
    }
    RunOptions slow;
    slow.timeout_seconds = 120;
    const RunResult check = run_program(
        "/usr/bin/python3",
        {source_dir() + "/tests/e2e/analysis_outputs_check.py",
         dir / "zir/1995070100.txt", dir / "csv/1995070100.csv",
         dir / "cf/1995070100.nc", dir / "cube/1995070100.nc"},
        "", slow);
    EXPECT_EQ(check.status, 0) << check.err;
    // "N soundings, L levels in CSV, L in CF" for the twelve stations.
    const long soundings = std::atol(check.out.c_str());
    EXPECT_GT(soundings, 12 * 19) << check.out;

    const RunResult header = run_program("/usr/bin/ncdump", {"-h", dir / "cf/1995070100.nc"}, "");
    EXPECT_NE(header.out.find(":Conventions = \"CF-1.8\" ;"), std::string::npos);
    EXPECT_NE(header.out.find(":featureType = \"profile\" ;"), std::string::npos);
    EXPECT_NE(header.out.find("row_size:sample_dimension = \"obs\" ;"), std::string::npos);
    EXPECT_EQ(header.out.find("valid_range"), std::string::npos);

    const std::string indices = read_file(dir / "csv/1995070100_indices.csv");
    EXPECT_EQ(count_of(indices, "\n"), soundings + 1);
  }
}

// The whole sample archive on a terminal 100 columns wide: the bar on
// standard error, narrower than the terminal, with the share, the rate, the
// time left, station and date, cleared before the summary; with --quiet
// nothing at all.
TEST(Extract, ProgressBarOnATerminal) {
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "--quiet" : "");
    TempDir dir;
    // The sample archive with one station-year file cut short: its
    // warning comes while the bar is shown.
    make_dir(dir / "db/Raob1995");
    for (const char* year : {"Raob1999", "Raob2003"})
      ASSERT_EQ(symlink((sample() + "/" + year).c_str(),
                        (dir / "db/" + year).c_str()), 0);
    for (const std::string& f : dir_entries(sample() + "/Raob1995")) {
      const std::string from = sample() + "/Raob1995/" + f;
      if (f == "23062_95.buf")
        write_file(dir / "db/Raob1995/" + f, read_file(from).substr(0, 5000));
      else
        ASSERT_EQ(symlink(from.c_str(), (dir / "db/Raob1995/" + f).c_str()), 0);
    }
    std::vector<std::string> args = {
        extract_bin(), "--from", "1995010100", "--to", "2003123112",
        "--region", "global", "--hours", "all", "--format", "netcdf",
        "--split", "month", "--out", dir / "out", dir / "db", support()};
    if (quiet) args.insert(args.begin() + 1, "--quiet");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    winsize ws{};
    ws.ws_row = 24;
    ws.ws_col = 100;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::string seen;
    char buf[4096];
    for (;;) {  // until the child's side closes (EIO)
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) seen.append(buf, static_cast<std::size_t>(n));
      else if (n < 0 && errno == EINTR) continue;
      else break;
    }
    close(master);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << seen;
    const std::string warning =
        " WARNING:  unable to read database file: " + dir / "db/Raob1995/23062_95.buf";
    // Each warning has a line of its own: the bar is cleared before it.
    int warnings = 0;
    for (std::size_t at = 0; (at = seen.find(warning, at)) != std::string::npos;
         at += warning.size(), ++warnings) {
      EXPECT_TRUE(at == 0 || seen[at - 1] == '\n' ||
                  seen.compare(at - 4, 4, "\r\x1b[K") == 0)
          << seen.substr(at > 80 ? at - 80 : 0, 120);
    }
    EXPECT_GE(warnings, 1) << seen.substr(0, 300);
    if (quiet) {
      EXPECT_EQ(seen.size(), warnings * (warning.size() + 2));
      continue;
    }
    const std::regex drawing(
        R"(\[[#.]{20}\] +\d+%(  \d+ soundings/s)?(  \d+:\d\d(:\d\d)? left)?)"
        R"((  \d+ \d{4}-\d\d-\d\d \d\dZ)?\x1b\[K)");
    int drawings = 0, with_rate = 0;
    for (std::size_t at = 0; (at = seen.find('\r', at)) != std::string::npos;) {
      ++at;
      const std::string piece = seen.substr(at, seen.find('\r', at) - at);
      if (piece.empty() || piece[0] != '[') continue;
      ++drawings;
      std::smatch m;
      ASSERT_TRUE(std::regex_match(piece, m, drawing)) << piece;
      EXPECT_LE(piece.size() - 3, 99u) << piece;  // less the \x1b[K
      if (m[1].matched && m[2].matched) ++with_rate;
    }
    EXPECT_GE(drawings, 2);
    EXPECT_GE(with_rate, 1) << "no drawing with a rate and the time left";
    // The bar is cleared, then the summary (the terminal ends lines in
    // CR LF).
    EXPECT_TRUE(std::regex_search(
        seen, std::regex("\r\x1b\\[K\\d+ soundings of 12 stations written to "
                         "\\d+ files, \\d+ bytes\r\n$")))
        << seen.substr(seen.size() > 300 ? seen.size() - 300 : 0);
  }
}

}  // namespace
