// Fuzz entry point: the input is the whole standard input of a session (of
// the edition the program is linked with) against a small archive (two stations, 1995 and 1996)
// and the project's own support files. The session runs in this process:
// the run-wide tables and settings are put back to their start-up values
// before each input, standard input is the input file, the working
// directory is a scratch directory holding only the station list file
// "stations.txt" (relative output paths land there), and outside programs
// are not started.
//
// A failing NetCDF call ends the program through the library's exit(3),
// which would end the fuzzing process too: here the library's errors are
// reported without ending the process (a NetCDF file that cannot be
// created still ends the session, through the program's own check).
//
// Answers may name files and directories. So that no input can write
// outside the scratch directory, inputs holding ".." or a '/' that starts
// a path (at the start of a line or after a blank) are not run.
#include <netcdf.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "fuzz_setup.h"
#include "rawinq/archive.h"
#include "rawinq/edition.h"
#include "rawinq/output.h"

// The plotter and the metafile translator are not started: the plot data
// file is still written and closed, and the dialogue after the plot runs.
int run_command(const std::string&) { return 0; }

namespace {

namespace fs = std::filesystem;
using archive_writer::kMissing;
using archive_writer::Sounding;

Sounding sounding(int year, int month, int day, int hour, long wban) {
  Sounding s;
  s.year = year;
  s.month = month;
  s.day = day;
  s.hour = hour;
  s.wban = wban;
  s.reltime = hour == 0 ? 2315 : 1115;
  s.sondtype = 3;
  s.source = 1;
  s.tropind = 2;
  s.levels = {
      {1, 8400, 1611, 150, 20, 200, 50},
      {2, 7000, 3010, 20, -100, 240, 80},
      {16, 6200, 3950, -40, -180, kMissing, kMissing},
      {2, 5000, 5580, -180, -300, 250, 150},
      {32, 4000, 7200, kMissing, kMissing, 255, 220},
      {2, 3000, 9150, -440, kMissing, 260, 300},
      {4, 2300, 10900, -560, kMissing, 265, 350},
      {8, 2000, 11800, -580, kMissing, 270, 420},
      {2, 1000, 16200, -620, kMissing, 280, 200},
  };
  s.top_hyd = 4;
  s.troplv = 7;
  s.maxwind = 8;
  if (day == 2) s.nstat = 2;
  return s;
}

struct World {
  std::string archive;  // database directory, "/"-terminated
  std::string support;  // support directory, "/"-terminated
  fs::path work;        // the working directory of the sessions
  fs::path answers;     // the input, as standard input
};

const World& world() {
  static const World w = [] {
    const fs::path scratch = fuzz_setup::prepare();
    World made;
    made.archive = (scratch / "archive").string() + "/";
    made.support = (scratch / "support").string() + "/";
    made.work = scratch / "work";
    made.answers = scratch / "answers";
    // Days 1, 2 and 15 of every month at 00 and 12 UTC.
    for (int year : {1995, 1996}) {
      for (long wban : {23062L, 94823L}) {
        std::vector<Sounding> soundings;
        for (int month = 1; month <= 12; ++month)
          for (int day : {1, 2, 15})
            for (int hour : {0, 12})
              soundings.push_back(sounding(year, month, day, hour, wban));
        archive_writer::write_station_year(made.archive, year, wban,
                                           soundings, 2,
                                           edition::kNorthAmerican);
      }
    }
    fs::create_directories(made.support);
    for (const char* name :
         {"raobhelp.txt", "stat2000.txt", "international_sites.txt"})
      fs::copy_file(fs::path(RAWINQ_SUPPORT_DIR) / name,
                    fs::path(made.support) / name,
                    fs::copy_options::overwrite_existing);
    ncopts = NC_VERBOSE;
    fs::create_directories(made.work);
    if (chdir(made.work.c_str()) != 0) std::abort();
    return made;
  }();
  return w;
}

// Whether the input cannot name a path outside the working directory.
bool stays_inside(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '.' && i + 1 < size && data[i + 1] == '.') return false;
    if (data[i] == '/' &&
        (i == 0 || data[i - 1] == '\n' || data[i - 1] == '\0' ||
         std::isspace(data[i - 1])))
      return false;
  }
  return true;
}

// The start-up values of everything a session changes.
void reset_run_state() {
  dialogue_state().Data_Loc.clear();
  dialogue_state().Max_Lines = 20;
  for (STATREC& e : dialogue_state().Stn_His) e = STATREC{};
  dialogue_state().Stn_His_Num = 0;
  for (short& i : dialogue_state().Stn_Index) i = 0;
  dialogue_state().Stn_Count = 0;
  for (auto& s : dialogue_state().User_Stations) s[0] = s[1] = 0;
  dialogue_state().Usr_Stn_Count = 1;
  dialogue_state().Stn_Type = 0;
  dialogue_state().Sort_Type = 1;
  dialogue_state().Original_ZIR_Format = 0;
  for (short& y : dialogue_state().Years) y = 0;
  dialogue_state().Begin_Date = "00000000";
  dialogue_state().helpfile.close();
  dialogue_state().Screen_Lines = 0;
  dialogue_state().Screen_Scroll = 0;
}

// The descriptors open in the process.
std::size_t open_descriptors() {
  std::size_t n = 0;
  std::error_code ec;
  for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
       it.increment(ec))
    ++n;
  return n;
}

void empty_work_directory(const fs::path& work) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(work, ec))
    fs::remove_all(entry.path(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const World& w = world();
  if (!stays_inside(data, size)) return 0;
  empty_work_directory(w.work);
  const std::string list = "72469\n94823\n  3005 extra\nnone\n";
  fuzz_setup::write_bytes(
      (w.work / "stations.txt").string(),
      reinterpret_cast<const std::uint8_t*>(list.data()), list.size());
  fuzz_setup::write_bytes(w.answers.string(), data, size);
  if (std::freopen(w.answers.c_str(), "r", stdin) == nullptr) std::abort();
  reset_run_state();
  const std::size_t descriptors = open_descriptors();

  std::string prog = "rawinq";
  std::string archive = w.archive;
  std::string support = w.support;
  char* argv[] = {prog.data(), archive.data(), support.data(), nullptr};
  rawinq_main(3, argv);

  dialogue_state().helpfile.close();
  // Whatever way the session ended, every output it opened is closed.
  if (open_descriptors() != descriptors) std::abort();
  return 0;
}
