// The library used as another program uses it: archives, catalogues and
// requests as values, soundings read as values, and requests run side by
// side in two threads giving the files they give one after the other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "rawinq/dates.h"
#include "rawinq/rawinq.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;

const rawinq::Archive& sample_archive() {
  static const rawinq::Archive a = rawinq::Archive::open(
      testing_support::source_dir() + "/data/sample-archive");
  return a;
}
const rawinq::Catalogue& sample_catalogue() {
  static const rawinq::Catalogue c =
      rawinq::Catalogue::load(testing_support::source_dir() + "/data/support/");
  return c;
}

// Every file a request wrote, by name.
std::map<std::string, std::string> files_in(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : testing_support::dir_entries(dir))
    files[name] = testing_support::read_file(dir + "/" + name);
  return files;
}

struct Job {
  const char* format;
  rawinq::Order order;
  rawinq::Split split;
  long from, to;
  std::vector<long> wmo;
  bool derived;
};

// Runs a request into dir; the soundings written.
long run(const Job& job, const std::string& dir) {
  rawinq::Request rq;
  rq.from = job.from;
  rq.to = job.to;
  rq.stations.numbers = job.wmo;
  rq.order = job.order;
  rq.split = job.split;
  rq.write.derived = job.derived;
  rawinq::SessionConfig config;
  config.format = rawinq::format_by_name(job.format);
  config.to_files = true;
  config.dir = dir + "/";
  rawinq::OutputSession session(config);
  rawinq::Progress progress;
  const long n = rawinq::retrieve(sample_archive(), sample_catalogue(), rq,
                                  session, progress)
                     .soundings;
  session.close_unit();
  return n;
}

TEST(LibraryApi, ArchiveCatalogueAndSoundingsAsValues) {
  EXPECT_EQ(sample_archive().years(), (std::vector<int>{1995, 1999, 2003}));
  EXPECT_THROW(rawinq::Archive::open("/nonexistent/archive"),
               rawinq::ArchiveError);
  // A station-year file comes as an owned handle; the short year form is
  // found too.
  const auto y = sample_archive().open_station_year(23062, 1995);
  EXPECT_TRUE(y.file);
  EXPECT_EQ(y.path, sample_archive().folder() + "Raob1995/23062_95.buf");
  EXPECT_GT(y.size, 0u);
  EXPECT_FALSE(sample_archive().open_station_year(23062, 1996).file);
  EXPECT_EQ(sample_catalogue().find(72469).empty(), false);
  EXPECT_THROW(rawinq::Catalogue::load("/nonexistent/", {true, 0, true, false}),
               rawinq::CatalogueError);

  // The soundings read as values are those a request writes.
  rawinq::Request rq;
  rq.from = 1995010100;
  rq.to = 1995013112;
  rq.stations.numbers = {72469, 3005};
  const std::vector<rawinq::StationSounding> soundings =
      rawinq::read_soundings(sample_archive(), sample_catalogue(), rq);
  TempDir dir;
  const Job csv{"csv", rawinq::Order::station, rawinq::Split::one,
                rq.from, rq.to, rq.stations.numbers, false};
  ASSERT_GT(soundings.size(), 60u);
  EXPECT_EQ(static_cast<long>(soundings.size()), run(csv, dir.path()));
  EXPECT_EQ(soundings.front().station.wmo, 3005);  // sorted by WMO number
  EXPECT_EQ(soundings.back().station.wmo, 72469);

  // Physical units, missing as NaN; the indices of the station's elevation.
  rawinq::Sounding s = soundings.back().sounding;
  s.levels[1].dp = kMissingValue;
  const rawinq::PhysicalLevels p = rawinq::physical_levels(s);
  ASSERT_EQ(p.pressure_hpa.size(), s.levels.size());
  EXPECT_DOUBLE_EQ(p.pressure_hpa[0], s.levels[0].pr / 10.0);
  EXPECT_DOUBLE_EQ(p.temperature_c[0], s.levels[0].tp / 10.0);
  EXPECT_DOUBLE_EQ(p.wind_speed_ms[0], s.levels[0].ws / 10.0);
  EXPECT_TRUE(std::isnan(p.dewpoint_c[1]));
  const auto ix = rawinq::sounding_indices(s, soundings.back().station);
  EXPECT_TRUE(std::isfinite(ix.lifted_index_k));

  // A month written as ZIR text and imported into a new archive reads back
  // as the same soundings; an input with a fault writes nothing.
  TempDir zir, db;
  const Job text{"zir", rawinq::Order::station, rawinq::Split::one,
                 rq.from, rq.to, {72469}, false};
  ASSERT_GT(run(text, zir.path()), 0);
  rawinq::ImportOptions imp;
  imp.inputs = {zir / "1995010100.txt"};
  EXPECT_EQ(rawinq::import_files(db.path(), imp).stations,
            (std::set<long>{23062}));
  rq.stations.numbers = {72469};
  const auto again = rawinq::read_soundings(
      rawinq::Archive::open(db.path()), sample_catalogue(), rq);
  std::vector<rawinq::StationSounding> denver;
  for (const auto& x : soundings)
    if (x.station.wmo == 72469) denver.push_back(x);
  ASSERT_EQ(again.size(), denver.size());
  EXPECT_EQ(again.back().sounding.levels.size(),
            denver.back().sounding.levels.size());
  EXPECT_EQ(again.back().sounding.levels[0].tp,
            denver.back().sounding.levels[0].tp);
  testing_support::write_file(zir / "bad.txt", "    254      0      1      JAN    1995\nnot a level\n");
  imp.inputs = {zir / "bad.txt"};
  EXPECT_THROW(rawinq::import_files(db / "second", imp), rawinq::ImportError);
  EXPECT_FALSE(testing_support::file_exists(db / "second/Raob1995"));
}

// Stations by the identifiers people use: the WMO numbers of the catalogue
// stations each names (none, one, or several: the caller's error).
TEST(LibraryApi, StationsByTheirIdentifiers) {
  ASSERT_FALSE(sample_catalogue().world().empty());
  const struct {
    const char* id;
    std::vector<long> wmo;
  } cases[] = {
      {"72469", {72469}},       {"W23062", {72469}},  {"w23062", {72469}},
      {"KDNR", {72469}},        {"kdnr", {72469}},    {"DNR", {72469}},
      {"DEN", {72469}},         {"USM00072469", {72469}},
      {"OUN", {72357}},         {"KOUN", {72357}},    {"LWK", {3005}},
      {"UKM00003005", {3005}},  {"99999", {}},        {"W99999", {}},
      {"XYZ", {}},              {"USM00099999", {}},  {"7246", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<long> wmo;
    for (const StationRow& r : sample_catalogue().resolve(c.id))
      wmo.push_back(r.wmo);
    EXPECT_EQ(wmo, c.wmo);
  }
  // The one identifier the analysis outputs give a station: its ICAO code,
  // else its 3-letter code, else the entry's letters, else its number.
  const struct {
    long wmo, wban;
    const char* init;
    const char* id;
  } labels[] = {
      {72357, 3948, "OUN", "KOUN"},  {57972, 957972, "", "CI1"},
      {3005, 903005, "LWK", "LWK"},  {12345, 54321, "", "12345"},
      {kMissingValue, 94999, "", "W94999"},
  };
  const StationIdTable& ids = *sample_catalogue().station_ids();
  for (const auto& l : labels) {
    STATREC e{};
    e.wmo = l.wmo;
    e.wban = l.wban;
    std::snprintf(e.init, sizeof e.init, "%s", l.init);
    EXPECT_EQ(ids.id_of(e), l.id) << l.wmo;
  }
  // A world table with a row that cannot be read is named with its line.
  TempDir dir;
  testing_support::write_file(dir / "world_stations.csv",
                              "# comment\nigra2_id,wmo,wban,icao,codes,name\n"
                              "USM00072469,72469,,KDNR,DNR,DENVER\n\"UNCLOSED,1\n");
  try {
    read_world_table(dir / "world_stations.csv");
    ADD_FAILURE() << "a row with an open quote was read";
  } catch (const CatalogueError& e) {
    EXPECT_EQ(std::string(e.what()), dir / "world_stations.csv" + " line 4: not a row of the world table");
  }
  EXPECT_EQ(sample_catalogue().named("stapleton").size(), 1u);
  EXPECT_EQ(sample_catalogue().named("san").size(), 3u);
  EXPECT_EQ(sample_catalogue().closest_names("LERWIK", 1),
            (std::vector<std::string>{"LERWICK"}));
}

// Dates as people write them: the first and last whole hour each covers,
// or the error (0, 0).
TEST(LibraryApi, DatesAsPeopleWriteThem) {
  const struct {
    const char* text;
    long first, last;
  } cases[] = {
      {"1999050400", 1999050400, 1999050400},
      {"1999-05-04T00Z", 1999050400, 1999050400},
      {"1999-05-04T12:00Z", 1999050412, 1999050412},
      {"1999-05-04T23:00:00Z", 1999050423, 1999050423},
      {"1999-05-04 06", 1999050406, 1999050406},       // UTC without Z
      {"1999-05-04T00:30Z", 1999050401, 1999050400},   // between two hours
      {"1999-05-04T00:00:01Z", 1999050401, 1999050400},
      {"1999-05-04T09:00+09:00", 1999050400, 1999050400},
      {"1999-05-04T02:00+0300", 1999050323, 1999050323},  // the day before
      {"1999-12-31T22:00-05", 2000010103, 2000010103},    // the next year
      {"2000-03-01T01:00+02:00", 2000022923, 2000022923}, // leap day
      {"1999-05-04", 1999050400, 1999050423},
      {"19990504", 1999050400, 1999050423},
      {"1999-02", 1999020100, 1999022823},
      {"2000-02", 2000020100, 2000022923},
      {"1999", 1999010100, 1999123123},
      {"1999-02-29", 0, 0},
      {"1999022924", 0, 0},
      {"1999-05-04T24Z", 0, 0},
      {"1999-05-04T10:60Z", 0, 0},
      {"1999-13", 0, 0},
      {"1899", 0, 0},
      {"1900-01-01T00:00+01:00", 0, 0},  // before 1900 in UTC
      {"99-05-04", 0, 0},
      {"1999-5-4", 0, 0},
      {"yesterday", 0, 0},
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.first == 0) {
      EXPECT_THROW(rawinq::parse_time_span(c.text), rawinq::DateError);
      continue;
    }
    const rawinq::TimeSpan t = rawinq::parse_time_span(c.text);
    EXPECT_EQ(t.first, c.first);
    EXPECT_EQ(t.last, c.last);
  }
}

// Two requests in two threads over one archive and catalogue write, byte
// for byte, what they write one after the other: nothing of one request
// leaks into the other (file slots, read-ahead, NetCDF state, names).
TEST(LibraryApi, TwoRequestsInTwoThreadsWriteWhatTheyWriteAlone) {
  using rawinq::Order;
  using rawinq::Split;
  const std::pair<Job, Job> pairs[] = {
      {{"zir", Order::synoptic, Split::month, 1995010100, 1995123112,
        {72469, 72520, 3005}, false},
       {"csv", Order::synoptic, Split::one, 1995010100, 1995123112,
        {72764, 72250, 72293, 10868}, true}},
      {{"netcdf", Order::synoptic, Split::one, 1999010100, 1999063012,
        {72357, 72649}, false},
       {"cf", Order::station, Split::one, 1999010100, 1999123112,
        {72357, 10868, 72403}, true}},
      {{"faa604", Order::station, Split::one, 2003010100, 2003123112,
        {72469, 72764}, false},
       {"png", Order::station, Split::sounding, 2003030100, 2003030212,
        {72250}, false}},
  };
  for (const auto& pair : pairs) {
    const Job& a = pair.first;
    const Job& b = pair.second;
    SCOPED_TRACE(std::string(a.format) + " with " + b.format);
    TempDir alone_a, alone_b, side_a, side_b;
    const long na = run(a, alone_a.path());
    const long nb = run(b, alone_b.path());
    ASSERT_GT(na, 0);
    ASSERT_GT(nb, 0);
    long ta = 0, tb = 0;
    std::thread first([&] { ta = run(a, side_a.path()); });
    std::thread second([&] { tb = run(b, side_b.path()); });
    first.join();
    second.join();
    EXPECT_EQ(ta, na);
    EXPECT_EQ(tb, nb);
    EXPECT_EQ(files_in(side_a.path()), files_in(alone_a.path()));
    EXPECT_EQ(files_in(side_b.path()), files_in(alone_b.path()));
  }
}

}  // namespace
