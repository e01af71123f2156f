// Climatological (station-series) retrieval: each selected station in turn,
// through all requested years, months, days and soundings.
#include <cstdio>

#include "rawinq/archive.h"
#include "rawinq/dialogue.h"
#include "rawinq/globals.h"
#include "rawinq/interruption.h"
#include "rawinq/output.h"
#include "rawinq/terminal.h"
#include "rawinq/upack.h"

namespace {

unsigned char Ibuff[kBufferSize];

// Closes the count line; puts adds a second line end, so an empty line
// follows.
const char* const kTwentyBlanks = "                    \n";

struct Request {
  short stim, ltype, wformat, oformat, statsort, outloc;
  std::string* pname;
  long bdate = 0, edate = 0;
  short bhr = 0, ehr = 0;
  long nsound = 0;
  bool files_open = false;
  short first = 1;
  bool output_opened = false;  // an output file was begun
  long prev_stat = 0;          // station of the current output file
};

// Closes the one open station file however its year ends.
struct SlotZeroCloser {
  ~SlotZeroCloser() { Input_File[0].infile.close(); }
};

void write_sounding(Request& rq, int si, long wban,
                    const std::vector<short>& entries, long date,
                    const DatabaseRecord& rec) {
  const short indx = choose_station_entry(entries, date / 100);
  if (indx < 0) return;  // a station outside the selection
  if (rq.outloc == 1 &&
      (!rq.output_opened || rq.statsort == 2 ||
       (rq.statsort == 1 && wban != rq.prev_stat))) {
    if (rq.nsound != 0 && rq.oformat != 3) {
      print_sounding_count(rq.nsound, kTwentyBlanks);
      rq.nsound = 0;
    }
    open_outfile(date, rq.bdate, *rq.pname, indx, rq.oformat, rq.statsort,
                 rq.first);
    rq.output_opened = true;
    rq.prev_stat = wban;
  }
  rq.first = 0;
  if (decode_record(rec, rq.ltype, rq.wformat, rq.oformat, indx,
                    rq.nsound) != 0)
    ++rq.nsound;
  if (rq.outloc == 1 && rq.oformat != 3) {
    const int column = Stn_Type == 1 ? 1 : 0;
    print_progress(" STATUS:  processing station: ", User_Stations[si][column],
                   " date: ", date);
  }
}

// Reads one station-year file already opened into slot 0.
// The file is read from start to end through the window: the days are
// walked in the order their records are stored.
void read_year(Request& rq, RecordWindow& window, int si, long wban,
               const std::vector<short>& entries, short yr, short byr,
               short bmo, short bdy, short eyr, short emo, short edy) {
  const int fd = slot_descriptor(Input_File[0]);
  const unsigned long size = Input_File[0].size;
  const std::string& path = Input_File_Path[0];
  window.forget();
  unsigned long n = 0;
  if (!read_file_head(Input_File[0], Ibuff, &n) ||
      !read_day_index(Ibuff, n, 0, 11, Input_File)) {
    warn_unreadable(path);
    return;
  }
  const int mo_first = yr == byr ? bmo : 1;
  const int mo_last = yr == eyr ? emo : 12;
  for (int mo = mo_first; mo <= mo_last; ++mo) {
    if (mo < 1 || mo > 12) continue;
    const int m = mo - 1;
    INPUT_FILES& month = Input_File[m];
    bool warned = false;  // once per file and month
    const int dy_first = yr == byr && mo == bmo ? bdy : 1;
    const int dy_last = yr == eyr && mo == emo ? edy : 31;
    for (int dy = dy_first; dy <= dy_last; ++dy) {
      if (dy < 1 || dy > 31) continue;
      const int d = dy - 1;
      for (int j = 0; j < month.cnt[d]; ++j) {
        stop_if_interrupted();
        const DatabaseRecord rec = window.read(0, fd, size, month.bytenum[d]);
        if (!rec.ok) {  // the later records of the day hang on this one
          if (!warned) warn_unreadable(path);
          warned = true;
          break;
        }
        const int hour = rec.data[23];
        month.hour[d] = static_cast<short>(hour);
        const long date = yr * 1000000L + mo * 10000L + dy * 100L + hour;
        bool found = hour_wanted(rq.stim, hour);
        if (date / 100 == rq.bdate / 100 && hour < rq.bhr) found = false;
        if (date / 100 == rq.edate / 100 && hour > rq.ehr) found = false;
        if (found) write_sounding(rq, si, wban, entries, date, rec);
        month.bytenum[d] += rec.length;
      }
    }
  }
}

}  // namespace

long station_series(const std::string& bdat, const std::string& edat,
                    short stim, short ltype, short wformat, short oformat,
                    short statsort, short outloc, std::string& pname) {
  Request rq{stim, ltype, wformat, oformat, statsort, outloc, &pname};
  short byr = 0, bmo = 0, bdy = 0;
  short eyr = 0, emo = 0, edy = 0;
  std::sscanf(bdat.c_str(), "%ld\n", &rq.bdate);
  std::sscanf(bdat.c_str(), "%4hd %2hd %2hd %2hd\n", &byr, &bmo, &bdy,
              &rq.bhr);
  std::sscanf(edat.c_str(), "%ld\n", &rq.edate);
  std::sscanf(edat.c_str(), "%4hd %2hd %2hd %2hd\n", &eyr, &emo, &edy,
              &rq.ehr);

  std::putchar('\n');
  if (outloc == 0) {
    Screen_Scroll = 1;
    Screen_Lines = 0;
  } else {
    Screen_Scroll = 0;
  }

  // Read ahead in large pieces: one file at a time is read from start to
  // end.
  RecordWindow window(256 * 1024);
  for (int si = 0; si < Usr_Stn_Count && si < kMaxStations; ++si) {
    const long wban = User_Stations[si][1];
    const std::vector<short> entries = station_entries(wban);
    for (short yr = byr; yr <= eyr; ++yr) {
      short status = 0;
      open_infile(yr, wban, &status, 0, 0);
      SlotZeroCloser closer;
      if (status != 1) continue;
      rq.files_open = true;
      read_year(rq, window, si, wban, entries, yr, byr, bmo, bdy, eyr, emo,
                edy);
    }
  }

  // The plot hand-off closes its own files; the file of a last sounding that
  // was dropped is still open and is closed here.
  if (rq.output_opened) close_outfile(oformat);
  long result = rq.nsound;
  if (rq.nsound == 0) {
    if (rq.files_open) {
      std::puts(" STATUS:  No data was available to meet your request.\n");
    } else {
      std::printf("\tWARNING:  No database files could be opened in: %s\n\n",
                  Data_Loc.c_str());
      std::putchar('\a');
      std::putchar('\a');
      std::puts("\tEnter HELP for more information ");
      std::puts("\tEnter <return> for another database access ");
      std::printf("    Your choice? ");
      std::fflush(stdout);
      get_help(read_answer(), "NO_FILES_OPEN");
      result = -1;
    }
  } else if (oformat != 3 && outloc == 1) {
    print_sounding_count(rq.nsound, kTwentyBlanks);
  }
  return result;
}
