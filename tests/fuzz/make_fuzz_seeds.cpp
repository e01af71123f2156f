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
  // With browser answers and a catalogue: a date filter, searches of every
  // kind, the whole list, HELP inside the browser, and leaving it.
  const std::string sep("\0ANSWERS\n", 9);
  const std::string help =
      "VIEW_STAT_HELP\n  search kinds\nEND\nDATE_HIS_HELP\n  dates\nEND\n";
  const std::string catalogue =
      "2\n"
      "DEN 23062 72469 39.77 104.87 1611 19460101 20991231 "
      "DENVER/STAPLETON        CO US\n"
      "PIT 94823 72520 40.53  80.23  360 19520101 19971231 "
      "PITTSBURGH              PA US\n";
  write(dir, "seed-browser",
        help + sep +
            "y\n19950101\n0\nDEN\ny\nPIT\nn\n\n1\nCO\nn\n\n2\nUS\nn\n"
            "\n3\n94823\nn\n\n4\n72469\nn\n\n5\nHELP\nEXIT\n" +
            sep + catalogue);
  write(dir, "seed-browser-help",
        help + sep + "HELP\nn\nHELP\n9\n5\n\n\nSTAT\nn\n5\nexit\nexit\n" +
            sep + catalogue);
}

// Whole sessions on standard input, against the session entry point's
// archive (WMO 72469 / WBAN 23062 and 72520 / 94823, 1995 and 1996) and a
// station list file "stations.txt" in the working directory.
void session_seeds(const fs::path& dir) {
  const char* const sessions[][2] = {
      // ZIR files, one per day (the README's example, in the working
      // directory).
      {"zir-files",
       "\n1995010100\n1995013112\n1\n0\n0\nN\n1\n72469\n"
       "0\nY\n0\n0\n0\n1\n\n3\nN\nN\n"},
      // ZIR to the screen with paging, then another request.
      {"zir-screen",
       "\n1995010100\n1995020212\n0\n0\n0\nN\n1\n72469\n"
       "0\nN\n0\n1\n0\n0\n\n\nc\nN\nY\n"
       "1996010100\n1996011512\n2\n0\n1\nN\n2\n23062\n94823\n"
       "4\n1\n0\n1\n0\n\na\n"},
      // FAA604 messages in files, climatological order, one file per
      // station.
      {"faa604",
       "\n1995010100\n1995123112\n0\n0\n0\nN\n2\n72469\n72520\n"
       "1\n0\n1\n1\n\n1\nY\n\n\n0\n\n\n2\nN\nN\n"},
      // NetCDF in one file, then again with the station order.
      {"netcdf",
       "\n1995010100\n1995010212\n0\n0\n0\nn\n1\n72469\n"
       "2\ny\n0\n0\nout\n0\n"
       "y\n\n\n\n1\n\n2\nn\nn\n"},
      // A station list file, WBAN numbers.
      {"station-list",
       "\n1995060100\n1996063012\n3\n0\n1\nY\nmissing.txt\nY\n"
       "stations.txt\n2\nY\n2\n1\n\n2\nN\nN\n"},
      // A latitude/longitude box and a whole region.
      {"areas",
       "\n1995010100\n1995010212\n0\n1\n30.0\n50.0\n-110.0\n-70.0\n"
       "0\nY\n0\n0\n0\n1\n\n5\nN\nY\n"
       "\n\n\n2\n1\n0\n1\n1\n\n0\nN\nN\n"},
      // The skew-T plot.
      {"skewt",
       "\n1995010100\n1995010100\n0\n0\nN\n1\n72469\n"
       "3\nY\nN\nN\n"},
      // HELP and STAT at prompts, refused answers, bad dates.
      {"help-stat",
       "HELP\n\nSTAT\nY\n19950101\n0\nDEN\nN\nEXIT\n"
       "19950101\n2001010100\n1995133100\nHELP\n1995010100\n\n"
       "7\n1\nHELP\n9\n0\n-3\n0\nN\n0\n101\n1\n99999999999\n72469\n"
       "HELP\n0\nY\n0\n0\n0\n0\na\n"},
      // Standard input ends in the middle of a request.
      {"cut-short", "\n1995010100\n1995013112\n1\n0\n0\nN\n1\n"},
  };
  for (const auto& s : sessions) write(dir, std::string("seed-") + s[0], s[1]);
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
  session_seeds(corpus / "session");
  return 0;
}
