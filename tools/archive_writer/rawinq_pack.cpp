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

namespace {

const char* const kUsage =
    "usage: rawinq_pack [-v VARIANT] [-na] DBDIR YEAR STATION INPUT\n"
    "\n"
    "Writes the station-year file of STATION (its file station number,\n"
    "e.g. 23062 or 903005) and YEAR under DBDIR, creating the year\n"
    "directory. INPUT is a text file, or - for standard input.\n"
    "  -v VARIANT  name form: 2 Raob/.buf (default), 1 RAOB/.BUF;1, 0 raob/.buf\n"
    "  -na         year directory named by year - 1900 up to 1999\n"
    "\n"
    "INPUT format, one item per line; '#' starts a comment, blank lines are\n"
    "ignored, M stands for a missing value:\n"
    "  sounding MM DD HH [key=value ...]\n"
    "      starts a sounding of YEAR; keys (stored codes): wban (default\n"
    "      STATION, or its WMO part for numbers above 900000), reltime (hhmm),\n"
    "      sondtype (0-14), source (0-6), tropind (0-14), top_hyd, troplv,\n"
    "      maxwind (1-based level numbers), nstat (entries of the optional\n"
    "      block)\n"
    "  level FLAG PR HT TP DP WD WS\n"
    "      adds a level to the current sounding: FLAG the stored type flag\n"
    "      (1 surface, 2 mandatory, 4 tropopause, 8 maximum wind, 16\n"
    "      significant temperature, 32 significant wind), PR pressure in\n"
    "      tenths of mb, HT height in metres, TP and DP in tenths of deg C,\n"
    "      WD direction in degrees, WS speed in tenths of m/s\n"
    "Example:\n"
    "  sounding 01 15 00 reltime=2315 sondtype=3 maxwind=2\n"
    "  level 1 8350 1611 -52 -81 270 40\n"
    "  level 2 7000 3011 -121 M 275 120\n";

long value_of(const std::string& text, int line) {
  if (text == "M") return archive_writer::kMissing;
  std::size_t used = 0;
  long v = 0;
  try {
    v = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || text.empty())
    throw std::runtime_error("line " + std::to_string(line) +
                             ": not a number: " + text);
  return v;
}

std::vector<archive_writer::Sounding> parse(std::istream& in, int year,
                                            long station) {
  std::vector<archive_writer::Sounding> out;
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    const std::size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream words(text);
    std::string kind;
    if (!(words >> kind)) continue;
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    if (kind == "sounding") {
      if (args.size() < 3)
        throw std::runtime_error("line " + std::to_string(line) +
                                 ": sounding needs MM DD HH");
      archive_writer::Sounding s;
      s.year = year;
      s.month = static_cast<int>(value_of(args[0], line));
      s.day = static_cast<int>(value_of(args[1], line));
      s.hour = static_cast<int>(value_of(args[2], line));
      s.wban = station > 900000 ? station - 900000 : station;
      for (std::size_t i = 3; i < args.size(); ++i) {
        const std::size_t eq = args[i].find('=');
        const std::string key = args[i].substr(0, eq);
        if (eq == std::string::npos)
          throw std::runtime_error("line " + std::to_string(line) +
                                   ": expected key=value: " + args[i]);
        const long v = value_of(args[i].substr(eq + 1), line);
        if (key == "wban") s.wban = v;
        else if (key == "reltime") s.reltime = v;
        else if (key == "sondtype") s.sondtype = v;
        else if (key == "source") s.source = v;
        else if (key == "tropind") s.tropind = v;
        else if (key == "top_hyd") s.top_hyd = v;
        else if (key == "troplv") s.troplv = v;
        else if (key == "maxwind") s.maxwind = v;
        else if (key == "nstat") s.nstat = static_cast<int>(v);
        else
          throw std::runtime_error("line " + std::to_string(line) +
                                   ": unknown key " + key);
      }
      out.push_back(s);
    } else if (kind == "level") {
      if (out.empty())
        throw std::runtime_error("line " + std::to_string(line) +
                                 ": level before any sounding");
      if (args.size() != 7)
        throw std::runtime_error("line " + std::to_string(line) +
                                 ": level needs 7 values");
      archive_writer::Level l;
      l.flag = static_cast<unsigned>(value_of(args[0], line));
      l.pr = value_of(args[1], line);
      l.ht = value_of(args[2], line);
      l.tp = value_of(args[3], line);
      l.dp = value_of(args[4], line);
      l.wd = value_of(args[5], line);
      l.ws = value_of(args[6], line);
      out.back().levels.push_back(l);
    } else {
      throw std::runtime_error("line " + std::to_string(line) +
                               ": unknown item " + kind);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int variant = 2;
  bool north_american = false;
  std::vector<std::string> pos;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-v" && i + 1 < argc) {
      variant = std::atoi(argv[++i]);
    } else if (a == "-na") {
      north_american = true;
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    } else {
      pos.push_back(a);
    }
  }
  if (pos.size() != 4 || variant < 0 || variant > 2) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    const int year = static_cast<int>(value_of(pos[1], 0));
    const long station = value_of(pos[2], 0);
    std::vector<archive_writer::Sounding> soundings;
    if (pos[3] == "-") {
      soundings = parse(std::cin, year, station);
    } else {
      std::ifstream in(pos[3]);
      if (!in) throw std::runtime_error("cannot read " + pos[3]);
      soundings = parse(in, year, station);
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
