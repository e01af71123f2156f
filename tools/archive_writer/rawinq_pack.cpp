// rawinq_pack: packs soundings described in a text file into one
// station-year database file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "item_text.h"

namespace {

const char* const kUsage =
    "usage: rawinq_pack [-v VARIANT] [-na] DBDIR YEAR STATION INPUT\n"
    "\n"
    "Writes the station-year file of STATION (its file station number,\n"
    "e.g. 23062 or 903005) and YEAR under DBDIR, creating the year\n"
    "directory. INPUT is a text file, or - for standard input.\n"
    "  -v VARIANT  name form: 2 Raob/.buf (default), 1 RAOB/.BUF;1, 0 raob/.buf\n"
    "  -na         year directory named by year - 1900 up to 1999\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
  int variant = 2;
  bool north_american = false;
  std::vector<std::string> pos;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-v" && i + 1 < argc) {
      const std::string v = argv[++i];
      variant = v.size() == 1 && v[0] >= '0' && v[0] <= '2' ? v[0] - '0' : -1;
    } else if (a == "-na") {
      north_american = true;
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage << archive_writer::kItemFormatHelp;
      return 0;
    } else {
      pos.push_back(a);
    }
  }
  if (pos.size() != 4 || variant < 0 || variant > 2) {
    std::cerr << kUsage << archive_writer::kItemFormatHelp;
    return 2;
  }
  try {
    const int year = static_cast<int>(
        archive_writer::item_value(pos[1], 0, 1900, 2155, "year"));
    const long station =
        archive_writer::item_value(pos[2], 0, 1, 999999, "station");
    std::vector<archive_writer::Sounding> soundings;
    if (pos[3] == "-") {
      soundings = archive_writer::read_items(std::cin, year, station);
    } else {
      std::ifstream in(pos[3]);
      if (!in) throw std::runtime_error("cannot read " + pos[3]);
      soundings = archive_writer::read_items(in, year, station);
    }
    const std::string path = archive_writer::write_station_year(
        pos[0], year, station, soundings, variant, north_american);
    std::cout << path << ": " << soundings.size() << " soundings\n";
  } catch (const std::exception& e) {
    std::cerr << "rawinq_pack: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
