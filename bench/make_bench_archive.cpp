// make_bench_archive: builds a large synthetic archive for the benchmarks,
// with a support directory whose station catalogue names its stations.
//
//   make_bench_archive [--days N] [--levels N] [--first-year Y]
//                      DIR STATIONS YEARS SYNOPTIC_STATIONS
//
// writes
//   DIR/db/Raob1990 .. Raob(1990 + YEARS - 1): STATIONS station files each
//                    (from Raob<Y> with --first-year Y; the series ends
//                    before 2010),
//   DIR/db/Raob2010: SYNOPTIC_STATIONS station files (the synoptic-order
//                    benchmark over many stations; none when it is 0),
//   DIR/support/stat2000.txt (the larger of STATIONS and SYNOPTIC_STATIONS
//                    entries, the first STATIONS of them are the stations
//                    of the long series; the dialogue reads the first 2000,
//                    rawinq-extract all of them),
//   DIR/support/international_sites.txt (no entries), raobhelp.txt copied,
//   DIR/bench.conf   the sizes, read by the benchmark runner (written last).
//
// Every station has a 00 and a 12 UTC sounding on every day, of some 35
// levels of every type (surface, mandatory, significant temperature and
// wind, tropopause, maximum wind). For the archives of thousands of
// stations, --days N keeps the first N days of each month and --levels N
// keeps the surface and the lowest mandatory levels, N levels at most. The profiles come from a standard
// atmosphere with pseudo-random departures from a fixed seed, so the
// archive is the same on every run; they are plausible, not realistic.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "bench_sounding.h"

namespace {

namespace fs = std::filesystem;
using archive_writer::Sounding;
using bench::Random;
using bench::days_in_month;
using bench::sounding_at;

constexpr int kFirstYear = 1990;
constexpr int kSynopticYear = 2010;
constexpr long kFirstWban = 30001;
constexpr long kFirstWmo = 71001;
constexpr long kMaxStations = 9999;  // WBAN and WMO numbers stay 5 digits

// What each station-year holds.
struct Shape {
  int days = 31;    // the first days of each month
  int levels = 0;   // 0: every level; else surface and lowest mandatory
};

// The surface and the lowest mandatory levels, at most n of them; no
// tropopause or maximum-wind level remains to point at.
void keep_lowest_levels(Sounding& s, std::size_t n) {
  std::vector<archive_writer::Level> kept;
  for (const archive_writer::Level& l : s.levels)
    if ((l.flag == bench::kSurface || l.flag == bench::kMand) && kept.size() < n)
      kept.push_back(l);
  s.levels = std::move(kept);
  s.troplv = archive_writer::kMissing;
  s.maxwind = archive_writer::kMissing;
  s.top_hyd = archive_writer::kMissing;
  for (std::size_t i = 0; i < s.levels.size(); ++i)
    if (s.levels[i].dp != archive_writer::kMissing)
      s.top_hyd = static_cast<long>(i) + 1;
}

void write_year(const fs::path& db, int year, long station, const Shape& shape) {
  const long wban = kFirstWban + station;
  Random r(static_cast<std::uint64_t>(wban) * 7919u + static_cast<std::uint64_t>(year));
  std::vector<Sounding> soundings;
  for (int month = 1; month <= 12; ++month)
    for (int day = 1; day <= std::min(shape.days, days_in_month(year, month)); ++day)
      for (int hour : {0, 12}) {
        soundings.push_back(sounding_at(wban, year, month, day, hour, r));
        if (shape.levels > 0)
          keep_lowest_levels(soundings.back(),
                             static_cast<std::size_t>(shape.levels));
      }
  archive_writer::write_station_year(db.string(), year, wban, soundings);
}

// A whole number from a command-line word, or -1.
long number(const char* text) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && v >= 0 ? v : -1;
}

// One catalogue line of the North-American layout; western longitudes are
// written as positive numbers.
std::string catalogue_line(long station) {
  char init[8];
  std::snprintf(init, sizeof init, "B%03ld", station % 1000);
  char name[32];
  std::snprintf(name, sizeof name, "BENCH STATION %-11ld", station + 1);
  char line[160];
  std::snprintf(line, sizeof line,
                "%-4s %05ld %5ld %6.2f %7.2f %5d %8d %8d %-25.25s %2s %2s\n",
                init, kFirstWban + station, kFirstWmo + station,
                25.0 + static_cast<double>(station % 45),
                70.0 + static_cast<double>((station * 7) % 90),
                static_cast<int>(station % 1500), 19480101, 20991231, name,
                "XX", "US");
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  Shape shape;
  long first_year = kFirstYear;
  int a = 1;
  for (; a + 1 < argc && argv[a][0] == '-' && argv[a][1] == '-'; a += 2) {
    const std::string opt = argv[a];
    const long v = number(argv[a + 1]);
    if (opt == "--days" && v >= 1 && v <= 31) {
      shape.days = static_cast<int>(v);
    } else if (opt == "--levels" && v >= 2 && v <= 22) {
      shape.levels = static_cast<int>(v);
    } else if (opt == "--first-year" && v >= 1950 && v < kSynopticYear) {
      first_year = v;
    } else {
      std::cerr << "make_bench_archive: " << opt << " " << argv[a + 1]
                << ": unknown option or value out of range\n";
      return 2;
    }
  }
  if (argc - a != 4) {
    std::cerr << "usage: make_bench_archive [--days N] [--levels N] "
                 "[--first-year Y] DIR STATIONS YEARS SYNOPTIC_STATIONS\n";
    return 2;
  }
  const fs::path root = argv[a];
  const long stations = number(argv[a + 1]);
  const long years = number(argv[a + 2]);
  const long syn_stations = number(argv[a + 3]);
  // The long series ends before the synoptic year.
  if (stations < 1 || stations > kMaxStations || years < 1 ||
      first_year + years > kSynopticYear ||
      (syn_stations != 0 && syn_stations < stations) ||
      syn_stations > kMaxStations) {
    std::cerr << "make_bench_archive: sizes out of range\n";
    return 2;
  }
  const long catalogued = std::max(stations, syn_stations);
  try {
    fs::remove_all(root);
    const fs::path db = root / "db";
    const fs::path support = root / "support";
    fs::create_directories(db);
    fs::create_directories(support);
    for (long y = 0; y < years; ++y)
      for (long k = 0; k < stations; ++k)
        write_year(db, static_cast<int>(first_year + y), k, shape);
    for (long k = 0; k < syn_stations; ++k)
      write_year(db, kSynopticYear, k, shape);

    std::ofstream cat(support / "stat2000.txt");
    cat << catalogued << "\n";
    for (long k = 0; k < catalogued; ++k) cat << catalogue_line(k);
    std::ofstream(support / "international_sites.txt") << "0\n";
    fs::copy_file(fs::path(RAWINQ_SOURCE_DIR) / "data/support/raobhelp.txt",
                  support / "raobhelp.txt",
                  fs::copy_options::overwrite_existing);
    cat.close();
    if (!cat) throw std::runtime_error("cannot write the catalogue");

    std::ofstream conf(root / "bench.conf");
    conf << "stations " << stations << "\nfirst_wmo " << kFirstWmo
         << "\nfirst_year " << first_year << "\nyears " << years
         << "\nsynoptic_stations " << syn_stations << "\nsynoptic_year "
         << kSynopticYear << "\n";
    conf.close();
    if (!conf) throw std::runtime_error("cannot write bench.conf");
  } catch (const std::exception& e) {
    std::cerr << "make_bench_archive: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
