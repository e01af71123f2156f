// The retrieval drivers: a request value in, soundings through the decoder
// into an output session, a result out. They ask nothing: whatever needs
// an answer from the user is the caller's.
#pragma once

#include <bitset>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "rawinq/formats.h"
#include "rawinq/output_session.h"
#include "rawinq/records.h"
#include "rawinq/selection.h"

enum class Order { synoptic, station };
// Where a new output file begins: synoptic order knows one, year, month,
// day, time and sounding; station order one, station and sounding.
enum class Split { one, year, month, day, time, sounding, station };

struct RetrievalRequest {
  long bdate = 0, edate = 0;  // YYYYMMDDHH
  std::bitset<24> hours;      // the sounding hours wanted
  Order order = Order::synoptic;
  Split split = Split::one;
  WriteOptions write;
  Selection selection;
  std::string data_dir;       // the archive, "/"-terminated or ""
  bool trace_opens = false;   // list every attempt to open a station file
  bool both_year_forms = false;  // year directories of either edition
  // Station files of one year that keep their own read-ahead (the others
  // share a buffer).
  int keyed_slots = 1000;
  // Called with every sounding of the request as it is decoded, before it
  // is written; with only_visit nothing is written (the session's output
  // is never opened when it writes files).
  std::function<void(const Sounding&, const STATREC&)> visit;
  bool only_visit = false;
};

// The times (YYYYMMDDHH, ascending, each once) at which the day indexes of
// the request's station-year files list a sounding of its period and
// hours: the time axis of a cube. Read from the files' heads only; a file
// that cannot be read adds nothing.
std::vector<long> sounding_times(const RetrievalRequest& request);

// One station-year file of a request, from its day index: the soundings it
// lists in the period at the request's hours, the first and last of them
// (YYYYMMDDHH, 0 when none), and the catalogue entry in force (null when
// none is).
struct InventoryRow {
  long wmo = 0, wban = 0;
  int year = 0;
  long soundings = 0, first = 0, last = 0;
  const STATREC* entry = nullptr;
};
// Every station-year file of the request's selection and period, station
// by station; a file that cannot be read gives its warning to messages
// (and a row when its head was read).
std::vector<InventoryRow> inventory(const RetrievalRequest& request,
                                    const std::function<void(const std::string&)>& messages);

// The status lines of a retrieval.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void begin() {}
  // Called between soundings, where the run can stop with nothing half
  // done (an interruption ends it from here by an exception).
  virtual void checkpoint() {}
  virtual void opening_files() {}
  virtual void reading_file(int /*k*/, int /*n*/) {}
  virtual void date(long /*date*/) {}
  virtual void date_station(long /*date*/, long /*station*/) {}
  virtual void station_date(long /*station*/, long /*date*/) {}
  // The soundings written to the file that has just ended; tail closes the
  // line.
  virtual void unit_count(long /*n*/, const char* /*tail*/) {}
  // No station file of the year could be opened; err is the system's
  // reason when files are there but no descriptor was free, else 0.
  virtual void no_files_for_year(int /*year*/, int /*err*/) {}
  virtual void no_data() {}
  // A warning or a trace line of the archive layer (a station file that
  // cannot be read, every attempt to open one when the request traces
  // them), whole lines with their line ends.
  virtual void message(const std::string& /*text*/) {}

  // How far the run is, for a display of it. The request's work is
  // `station_years` (selected stations times requested years), of which
  // `done` are read: in station order whole station-years; in synoptic
  // order, where a year's files are read together, the current year counts
  // by the share of its requested hours walked. `soundings` have been
  // written; `station` (WMO or, for a selection by WBAN numbers, WBAN
  // number) and `date` (YYYYMMDDHH) are those of the last one, 0 before the
  // first. Reported after every sounding and between hours or files.
  struct Advance {
    double done = 0;
    long station_years = 0;
    long soundings = 0;
    long station = 0;
    long date = 0;
  };
  virtual void advance(const Advance& /*a*/) {}
};

struct RetrievalResult {
  long soundings = 0;       // written in all
  long unit_soundings = 0;  // written to the last output file
  long stations = 0;        // stations with at least one sounding written
  bool files_found = false; // a station file was opened
  std::vector<int> years_without_files;     // synoptic order
  std::vector<long> stations_without_files; // WBAN numbers, station order
};

RetrievalResult retrieve(const RetrievalRequest& request,
                         OutputSession& session, Progress& progress);

// Whether the sounding hour hr passes the dialogue's hours choice stim
// (0 all, 1 0z and 12z, 2 0z, 3 12z).
bool hour_wanted(short stim, int hr);
std::bitset<24> hours_of_choice(short stim);

// The selected catalogue entry of station wban for the day YYYYMMDD: the
// last selected entry of that station covering the day, else the one whose
// period lies nearest (the later on a tie); -1 when the station has no
// selected entry. entries: the station's selected entries in order.
int choose_station_entry(const STATREC* catalogue,
                         const std::vector<int>& entries, long day);
// The selected entries of station wban.
std::vector<int> station_entries(const Selection& selection, long wban);
