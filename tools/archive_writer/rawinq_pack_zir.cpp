// rawinq-pack: builds station-year files of an archive from ZIR text, the
// program's own output in the current layout, so that users can add their
// own soundings; or, with --items, from the archive writer's item text.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "archive_writer.h"
#include "item_text.h"
#include "zir_text.h"
#include "rawinq/standard_output.h"

namespace {

const char kUsage[] =
    "usage: rawinq-pack [OPTIONS] DBDIR [ZIRFILE...]\n"
    "       rawinq-pack --items [OPTIONS] DBDIR YEAR STATION INPUT\n"
    "       rawinq-pack --help | --version\n"
    "\n"
    "Writes under DBDIR the station-year file of every station and year of\n"
    "the ZIR text in the ZIRFILEs (standard input when none is given, or\n"
    "for -): the blocks rawinq writes with data above 100 mb, wind speeds in\n"
    "knots or tenths of m/s. With --items, writes the one file of STATION\n"
    "and YEAR from the item text INPUT (- for standard input).\n"
    "\n"
    "  --replace   replace station-year files that exist already\n"
    "  -v VARIANT  file names: 2 Raob1995/23062_95.buf (default),\n"
    "              1 RAOB1995/23062_95.BUF;1, 0 raob1995/23062_95.buf\n"
    "  --na        year directories up to 1999 named by year - 1900 (Raob95)\n"
    "\n"
    "Exit status: 0 files written, 1 a fault in the input or a file that\n"
    "could not be written (nothing is written then), 2 a wrong command line.\n";

struct Options {
  bool items = false;
  bool replace = false;
  bool north_american = false;
  int variant = 2;
  std::vector<std::string> args;
};

// One station-year file to write.
struct Target {
  long station;
  int year;
  std::vector<archive_writer::Sounding> soundings;
};

std::string station_text(long station) {
  return station > 900000 ? "WMO " + std::to_string(station - 900000)
                          : "WBAN " + std::to_string(station);
}

std::vector<Target> from_zir(const std::vector<std::string>& files) {
  std::vector<Target> targets;
  std::map<std::pair<long, int>, std::size_t> where;
  auto add = [&](const archive_writer::ZirText& text) {
    for (const std::string& w : text.warnings)
      std::cerr << "rawinq-pack: warning: " << w << "\n";
    for (const archive_writer::ZirSounding& z : text.soundings) {
      const auto key = std::make_pair(z.station, z.sounding.year);
      auto it = where.find(key);
      if (it == where.end()) {
        it = where.emplace(key, targets.size()).first;
        targets.push_back({z.station, z.sounding.year, {}});
      }
      targets[it->second].soundings.push_back(z.sounding);
    }
  };
  if (files.empty()) add(archive_writer::read_zir(std::cin, "-"));
  for (const std::string& f : files) {
    if (f == "-") {
      add(archive_writer::read_zir(std::cin, "-"));
      continue;
    }
    std::ifstream in(f);
    if (!in) throw std::runtime_error("cannot read " + f);
    add(archive_writer::read_zir(in, f));
  }
  return targets;
}

std::vector<Target> from_items(const std::vector<std::string>& args) {
  const int year = static_cast<int>(archive_writer::item_value(args[0], 0));
  const long station = archive_writer::item_value(args[1], 0);
  Target t{station, year, {}};
  if (args[2] == "-") {
    t.soundings = archive_writer::read_items(std::cin, year, station);
  } else {
    std::ifstream in(args[2]);
    if (!in) throw std::runtime_error("cannot read " + args[2]);
    t.soundings = archive_writer::read_items(in, year, station);
  }
  return {t};
}

// Writes bytes to path through a temporary file beside it, so that a file
// is either whole or untouched.
void write_whole(const std::filesystem::path& path,
                 const std::vector<std::uint8_t>& bytes) {
  const std::filesystem::path tmp =
      path.string() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(tmp, ec);
      throw std::runtime_error("cannot write " + path.string());
    }
  }
  std::filesystem::rename(tmp, path);
}

int run(const Options& o) {
  namespace fs = std::filesystem;
  const fs::path db = o.args[0];
  const std::vector<std::string> rest(o.args.begin() + 1, o.args.end());
  const std::vector<Target> targets = o.items ? from_items(rest) : from_zir(rest);
  if (targets.empty()) throw std::runtime_error("no sounding in the input");

  // Pack everything and check every name before anything is written.
  std::vector<std::pair<fs::path, std::vector<std::uint8_t>>> files;
  for (const Target& t : targets) {
    const fs::path dir =
        db / archive_writer::year_directory(o.variant, t.year, o.north_american);
    const fs::path path =
        dir / archive_writer::station_file_name(o.variant, t.year, t.station);
    std::vector<std::uint8_t> bytes;
    try {
      bytes = archive_writer::pack_station_year(t.soundings);
    } catch (const std::out_of_range& e) {
      throw std::runtime_error("station " + station_text(t.station) +
                               ", year " + std::to_string(t.year) + ": " +
                               e.what());
    }
    if (!o.replace && fs::exists(path))
      throw std::runtime_error(path.string() +
                               " exists (--replace replaces it)");
    files.emplace_back(path, std::move(bytes));
  }
  for (std::size_t k = 0; k < files.size(); ++k) {
    fs::create_directories(files[k].first.parent_path());
    write_whole(files[k].first, files[k].second);
    const std::size_t n = targets[k].soundings.size();
    std::cout << files[k].first.string() << ": " << n << " sounding"
              << (n == 1 ? "" : "s") << "\n";
  }
  return 0;
}

int pack_main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (argc == 2 && a == "--help") {
      std::cout << kUsage << "\nThe item text of --items:\n"
                << archive_writer::kItemFormatHelp;
      return 0;
    }
    if (argc == 2 && a == "--version") {
      std::cout << "rawinq-pack " << RAWINQ_VERSION << "\n";
      return 0;
    }
    if (a == "--items") {
      o.items = true;
    } else if (a == "--replace") {
      o.replace = true;
    } else if (a == "--na") {
      o.north_american = true;
    } else if (a == "-v" && i + 1 < argc &&
               (std::string(argv[i + 1]) == "0" ||
                std::string(argv[i + 1]) == "1" ||
                std::string(argv[i + 1]) == "2")) {
      o.variant = argv[++i][0] - '0';
    } else if (a.size() > 1 && a[0] == '-') {
      std::cerr << kUsage;
      return 2;
    } else {
      o.args.push_back(a);
    }
  }
  if (o.args.empty() || (o.items && o.args.size() != 4)) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    return run(o);
  } catch (const std::exception& e) {
    std::cerr << "rawinq-pack: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  return checked_exit_status(pack_main(argc, argv));
}
