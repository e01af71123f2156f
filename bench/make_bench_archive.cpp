// make_bench_archive: builds a large synthetic archive for the benchmarks,
// with a support directory whose station catalogue names its stations.
//
//   make_bench_archive DIR STATIONS YEARS SYNOPTIC_STATIONS
//
// writes
//   DIR/db/Raob1990 .. Raob(1990 + YEARS - 1): STATIONS station files each,
//   DIR/db/Raob2010: SYNOPTIC_STATIONS station files (the synoptic-order
//                    benchmark over many stations),
//   DIR/support/stat2000.txt (SYNOPTIC_STATIONS entries, the first STATIONS
//                    of them are the stations of the long series),
//   DIR/support/international_sites.txt (no entries), raobhelp.txt copied,
//   DIR/bench.conf   the sizes, read by the benchmark runner (written last).
//
// Every station has a 00 and a 12 UTC sounding on every day, of some 35
// levels of every type (surface, mandatory, significant temperature and
// wind, tropopause, maximum wind). The profiles come from a standard
// atmosphere with pseudo-random departures from a fixed seed, so the
// archive is the same on every run; they are plausible, not realistic.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
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

void write_year(const fs::path& db, int year, long station) {
  const long wban = kFirstWban + station;
  Random r(static_cast<std::uint64_t>(wban) * 7919u + static_cast<std::uint64_t>(year));
  std::vector<Sounding> soundings;
  for (int month = 1; month <= 12; ++month)
    for (int day = 1; day <= days_in_month(year, month); ++day)
      for (int hour : {0, 12})
        soundings.push_back(sounding_at(wban, year, month, day, hour, r));
  archive_writer::write_station_year(db.string(), year, wban, soundings);
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
  if (argc != 5) {
    std::cerr << "usage: make_bench_archive DIR STATIONS YEARS "
                 "SYNOPTIC_STATIONS\n";
    return 2;
  }
  const fs::path root = argv[1];
  const long stations = std::atol(argv[2]);
  const int years = std::atoi(argv[3]);
  const long syn_stations = std::atol(argv[4]);
  if (stations < 1 || years < 1 || years > 20 || syn_stations < stations ||
      syn_stations > 1900) {
    std::cerr << "make_bench_archive: sizes out of range\n";
    return 2;
  }
  try {
    fs::remove_all(root);
    const fs::path db = root / "db";
    const fs::path support = root / "support";
    fs::create_directories(db);
    fs::create_directories(support);
    for (int y = 0; y < years; ++y)
      for (long k = 0; k < stations; ++k) write_year(db, kFirstYear + y, k);
    for (long k = 0; k < syn_stations; ++k) write_year(db, kSynopticYear, k);

    std::ofstream cat(support / "stat2000.txt");
    cat << syn_stations << "\n";
    for (long k = 0; k < syn_stations; ++k) cat << catalogue_line(k);
    std::ofstream(support / "international_sites.txt") << "0\n";
    fs::copy_file(fs::path(RAWINQ_SOURCE_DIR) / "data/support/raobhelp.txt",
                  support / "raobhelp.txt",
                  fs::copy_options::overwrite_existing);
    cat.close();
    if (!cat) throw std::runtime_error("cannot write the catalogue");

    std::ofstream conf(root / "bench.conf");
    conf << "stations " << stations << "\nfirst_wmo " << kFirstWmo
         << "\nfirst_year " << kFirstYear << "\nyears " << years
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
