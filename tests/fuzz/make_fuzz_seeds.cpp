// make_fuzz_seeds: writes the starting inputs of the fuzz entry points,
//   make_fuzz_seeds CORPUS_DIR
// into CORPUS_DIR/<target>/seed-*: packed records and station-year files
// built with the archive writer (whole, damaged and cut short), catalogue
// and station list texts, and a help file.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive_writer.h"

namespace {

namespace fs = std::filesystem;
using archive_writer::kMissing;
using archive_writer::Level;
using archive_writer::Sounding;
using Bytes = std::vector<std::uint8_t>;

void write(const fs::path& dir, const std::string& name, const Bytes& b) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()),
            static_cast<std::streamsize>(b.size()));
}

void write(const fs::path& dir, const std::string& name,
           const std::string& text) {
  write(dir, name, Bytes(text.begin(), text.end()));
}

// A plausible sounding: surface, mandatory levels, a significant level,
// a tropopause and a maximum wind, with the level pointers set.
Sounding sounding(int month, int day, int hour) {
  Sounding s;
  s.month = month;
  s.day = day;
  s.hour = hour;
  s.wban = 23062;
  s.reltime = hour == 0 ? 2315 : 1115;
  s.sondtype = 3;
  s.source = 1;
  s.tropind = 2;
  s.levels = {
      {1, 8400, 1611, 150, 20, 200, 50},
      {2, 7000, 3010, 20, -100, 240, 80},
      {16, 6200, 3950, -40, -180, kMissing, kMissing},
      {2, 5000, 5580, -180, -300, 250, 150},
      {2, 3000, 9150, -440, kMissing, 260, 300},
      {4, 2300, 10900, -560, kMissing, 265, 350},
      {8, 2000, 11800, -580, kMissing, 270, 420},
      {2, 1000, 16200, -620, kMissing, 280, 200},
  };
  s.top_hyd = 4;
  s.troplv = 6;
  s.maxwind = 7;
  return s;
}

void sounding_seeds(const fs::path& dir) {
  const Sounding plain = sounding(1, 1, 0);
  Sounding with_block = plain;
  with_block.nstat = 3;
  Sounding duplicates = plain;
  duplicates.levels.insert(duplicates.levels.begin() + 1,
                           duplicates.levels[1]);
  duplicates.levels.push_back(duplicates.levels[0]);
  Sounding overstated = plain;
  overstated.stored_levels = 400;
  Sounding odd_codes = plain;
  odd_codes.levels[2].flag = 64;
  odd_codes.sondtype = 14;
  odd_codes.top_hyd = 200;

  const Sounding* kinds[] = {&plain, &with_block, &duplicates, &overstated,
                             &odd_codes};
  const std::uint8_t choices[] = {0, 1, 2, 5, 13, 22, 35};
  int n = 0;
  for (const Sounding* s : kinds) {
    const Bytes rec = archive_writer::pack_record(*s);
    for (std::uint8_t c : choices) {
      Bytes input{c};
      input.insert(input.end(), rec.begin(), rec.end());
      write(dir, "seed-" + std::to_string(n++), input);
    }
  }
  // Cut short, and with a record length beyond the bytes held.
  Bytes rec = archive_writer::pack_record(plain);
  Bytes cut{0};
  cut.insert(cut.end(), rec.begin(), rec.begin() + rec.size() / 2);
  write(dir, "seed-" + std::to_string(n++), cut);
  archive_writer::set_record_length(rec, 19000);
  Bytes longer{1};
  longer.insert(longer.end(), rec.begin(), rec.end());
  write(dir, "seed-" + std::to_string(n++), longer);
}

void station_year_seeds(const fs::path& dir) {
  std::vector<Sounding> year;
  for (int day = 1; day <= 3; ++day) {
    year.push_back(sounding(1, day, 0));
    year.push_back(sounding(1, day, 12));
  }
  year.push_back(sounding(2, 28, 0));
  year.push_back(sounding(12, 31, 12));
  Sounding with_block = sounding(6, 15, 6);
  with_block.nstat = 2;
  year.push_back(with_block);

  const Bytes whole = archive_writer::pack_station_year(year);
  int n = 0;
  for (std::uint8_t head : {0, 1}) {
    for (std::uint8_t hours : {0, 1, 6, 11}) {
      Bytes f = whole;
      f[0] = head;
      f[1] = hours;
      write(dir, "seed-" + std::to_string(n++), f);
    }
  }
  // The index alone, the index cut short, a file cut inside a record.
  const std::size_t index_end = archive_writer::kFileHeadSize +
                                archive_writer::kDayEntries * 5 + 5 * 11;
  write(dir, "seed-" + std::to_string(n++),
        Bytes(whole.begin(), whole.begin() + index_end));
  write(dir, "seed-" + std::to_string(n++),
        Bytes(whole.begin(), whole.begin() + index_end / 2));
  write(dir, "seed-" + std::to_string(n++),
        Bytes(whole.begin(), whole.end() - 100));
  write(dir, "seed-" + std::to_string(n++),
        archive_writer::pack_station_year({}));
}

void catalogue_seeds(const fs::path& dir) {
  write(dir, "seed-stat2000",
        "3\n"
        "DEN 23062 72469 39.77 104.87 1611 19460101 20991231 "
        "DENVER/STAPLETON        CO US\n"
        "PIT 94823 72520 40.53  80.23  360 19520101 20991231 "
        "PITTSBURGH              PA US\n"
        "BRO 12919 72250 25.92  97.42    7 19480101 20991231 "
        "BROWNSVILLE             TX\n");
  write(dir, "seed-international",
        "2\n"
        "LWK   3005 60.13N  1.18W    82 19570101 20991231 "
        "LERWICK                      UK\n"
        "SYO  89532 69.00S 39.58E    21 19570101 20991231 "
        "SYOWA                        AA\n");
  write(dir, "seed-station-list", "72469\n72520\n  3005 extra\nnone\n\n");
  write(dir, "seed-long-lines",
        "99999999999999999999 " + std::string(150, 'X') + "\n" +
            std::string(40, '7') + "\n-5\n");
}

void help_seeds(const fs::path& dir) {
  write(dir, "seed-help",
        "GENERAL_INFO\n"
        "  The archive holds upper-air soundings.\n"
        "  line two\nline three\nline four\nline five\nEND\n"
        "NO_FILES_OPEN\n"
        "  No database file could be opened.\n"
        "END\n"
        "STATION_FILE\n" +
            std::string(120, 'h') + "\nEND\n");
  write(dir, "seed-unended", "NO_FILES_OPEN\n  no end line follows\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_DIR\n");
    return 2;
  }
  const fs::path corpus(argv[1]);
  sounding_seeds(corpus / "sounding_record");
  station_year_seeds(corpus / "station_year");
  catalogue_seeds(corpus / "catalogue_text");
  help_seeds(corpus / "help_file");
  return 0;
}
