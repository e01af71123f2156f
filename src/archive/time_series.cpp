// Synoptic (time-series) retrieval: time runs from the first to the last
// requested hour and, at each hour, every selected station is visited.
#include <algorithm>
#include <cstdio>

#include "rawinq/archive.h"
#include "rawinq/dialogue.h"
#include "rawinq/globals.h"
#include "rawinq/output.h"
#include "rawinq/terminal.h"
#include "rawinq/upack.h"

namespace {

constexpr int kSlots = 2000;

unsigned char Ibuff[kBufferSize];

// What the driver knows of each slot for the current year.
struct SlotState {
  bool shared = false;  // takes turns with the one shared descriptor
  bool warned = false;  // the read warning was given this month
  bool lost = false;    // could not be reopened: skipped for the month
};

// The station files of one year. The slots 0 .. nfiles - 1 are in use;
// whatever happens, their streams are closed when the year ends.
class YearFiles {
 public:
  YearFiles() = default;
  YearFiles(const YearFiles&) = delete;
  YearFiles& operator=(const YearFiles&) = delete;
  ~YearFiles() { close_all(); }

  void close_all() {
    for (int k = 0; k < nfiles; ++k) Input_File[k].infile.close();
  }

  // A new month: every slot may warn again, and a slot that could not be
  // reopened gets another try.
  void begin_month(short file_num) {
    state[file_num].warned = false;
    state[file_num].lost = false;
  }

  // Gives the shared descriptor to slot file_num when it belongs to the
  // group that shares it and another slot of the group used it last. A
  // slot that cannot be reopened loses the rest of its month.
  void swap_if_needed(short yr, short file_num) {
    if (nfiles <= nfiles_open || !state[file_num].shared ||
        file_swap == file_num || state[file_num].lost) {
      return;
    }
    short status = -1;
    open_infile(yr, Input_File[file_num].wban, &status, file_num, file_swap);
    file_swap = file_num;
    if (status != 1) {
      state[file_num].lost = true;
      for (short& c : Input_File[file_num].cnt) c = 0;
      warn_once(file_num);
    }
  }

  void warn_once(short file_num) {
    if (state[file_num].warned) return;
    state[file_num].warned = true;
    warn_unreadable(Input_File_Path[file_num]);
  }

  // Loads the month's day index into the slot; a file that cannot be read
  // or whose index does not fit takes no part this month.
  void load_month(short file_num, int mo) {
    INPUT_FILES& slot = Input_File[file_num];
    bool ok = false;
    unsigned long n = 0;
    if (!state[file_num].lost && read_file_head(slot, Ibuff, &n))
      ok = read_day_index(Ibuff, n, mo - 1, mo - 1, &slot);
    if (!ok) {
      for (short& c : slot.cnt) c = 0;
      warn_once(file_num);
      return;
    }
    // A day whose first hour is no hour of the day would never be read.
    for (int d = 0; d < 31; ++d) {
      if (slot.cnt[d] > 0 && slot.hour[d] > 23) {
        slot.cnt[d] = 0;
        warn_once(file_num);
      }
    }
  }

  short nfiles = 0;
  short nfiles_open = 0;
  short file_swap = 0;
  SlotState state[kSlots];
  // The selected catalogue entries of each slot's station.
  std::vector<std::vector<short>> entries;
  // Records are read a chunk at a time (at least 1 KB, which mostly holds a
  // record and the next one's hour), and each slot keeps its last chunk, so
  // that the records that follow in the chunk need no read of their own.
  RecordWindow window{1024};
};

struct Request {
  short stim, ltype, wformat, oformat, timesort, outloc;
  std::string* pname;
  long bdate = 0;
  long nsound = 0;
  bool files_open = false;
  short first = 1;
  bool new_output_file = true;
  bool output_opened = false;
};

void status_line(long date, short indx) {
  const STATREC& e = Stn_His[indx];
  print_progress(" STATUS:  processing date: ", date, " station: ",
                 Stn_Type == 1 ? e.wban : e.wmo);
}

// Hands the record in Ibuff to the decoder, opening a new output file first
// when one is due.
void write_sounding(Request& rq, long date, const std::vector<short>& entries,
                    const DatabaseRecord& rec) {
  const short indx = choose_station_entry(entries, date / 100);
  if (indx < 0) return;  // a station outside the selection
  if (rq.outloc == 1) status_line(date, indx);
  if (rq.outloc == 1 && rq.new_output_file) {
    if (rq.nsound != 0) {
      print_sounding_count(rq.nsound, "                \n");
      rq.nsound = 0;
    }
    open_outfile(date, rq.bdate, *rq.pname, indx, rq.oformat, rq.timesort,
                 rq.first);
    rq.output_opened = true;
    rq.new_output_file = false;
  }
  rq.first = 0;
  if (decode_record(rec, rq.ltype, rq.wformat, rq.oformat, indx,
                    rq.nsound) != 0)
    ++rq.nsound;
  if (rq.outloc == 1 && rq.oformat != 3) status_line(date, indx);
}

// Reads the slot's records of day d up to hour hr, writing those of hour hr.
void read_hour(Request& rq, YearFiles& files, short yr, short file_num, int d,
               int hr, long date) {
  INPUT_FILES& slot = Input_File[file_num];
  while (slot.cnt[d] > 0 && slot.hour[d] <= hr) {
    // A slot of the group that shares a descriptor takes it only when the
    // record is not already in memory.
    const bool held = files.window.holds(file_num, slot.size, slot.bytenum[d]);
    if (!held) {
      files.swap_if_needed(yr, file_num);
      if (slot.cnt[d] == 0) break;  // it could not be reopened
    }
    const DatabaseRecord rec =
        files.window.read(file_num, held ? -1 : slot_descriptor(slot),
                          slot.size, slot.bytenum[d]);
    if (!rec.ok) {  // the later records of the day hang on this one
      files.warn_once(file_num);
      slot.cnt[d] = 0;
      break;
    }
    if (slot.hour[d] == hr)
      write_sounding(rq, date, files.entries[file_num], rec);
    --slot.cnt[d];
    if (slot.cnt[d] > 0) {
      if (rec.length + 23 >= rec.avail) {  // the next record is not there
        files.warn_once(file_num);
        slot.cnt[d] = 0;
        break;
      }
      const short next = rec.data[rec.length + 23];
      if (next > 23) {  // no such hour: the chain is broken here
        files.warn_once(file_num);
        slot.cnt[d] = 0;
        break;
      }
      // A day's records follow one another in ascending hours: a record
      // whose hour the walk has already passed would be read and passed
      // over without a word.
      if (next < slot.hour[d]) files.warn_once(file_num);
      slot.bytenum[d] += rec.length;
      slot.hour[d] = next;
    }
  }
}

// Opens the station files of a year; returns false when none opened.
bool open_year(Request& rq, YearFiles& files, short yr) {
  FileHandle reserve;  // keeps one descriptor free for the output file
  if (rq.outloc == 1) {
    reserve = FileHandle(std::tmpfile());
    if (!reserve) std::perror(" tmpfile failed\n");
  }
  for (int si = 0; si < Usr_Stn_Count && si < kMaxStations; ++si) {
    const short k = files.nfiles;
    short status = 0;
    open_infile(yr, User_Stations[si][1], &status, k, 0);
    if (status == 1) {
      if (files.nfiles == 0) {
        std::printf(" STATUS:  opening database files ...\r");
      }
      ++files.nfiles_open;
    } else if (status != 2 || !out_of_descriptors(Infile_Errno)) {
      continue;  // no file, or one that cannot be read at all
    }
    Input_File[k].wban = User_Stations[si][1];
    files.state[k] = SlotState{};
    files.entries.push_back(station_entries(Input_File[k].wban));
    ++files.nfiles;
  }
  // Each slot keeps its last chunk; the chunks share 512 KB, whatever the
  // number of stations (1 to 8 KB a slot, for at most 512 slots).
  const unsigned long budget = 512 * 1024;
  const unsigned long per_slot = std::clamp<unsigned long>(
      budget / static_cast<unsigned long>(files.nfiles > 0 ? files.nfiles : 1),
      1024, 8192);
  files.window = RecordWindow(
      per_slot, static_cast<int>(std::min<unsigned long>(
                    static_cast<unsigned long>(files.nfiles), budget / per_slot)));
  if (files.nfiles > files.nfiles_open) {
    // The last opened slot and every slot left without a stream share one
    // descriptor; the last opened slot holds it now.
    short last_open = -1;
    for (short k = 0; k < files.nfiles; ++k) {
      if (Input_File[k].infile) last_open = k;
    }
    for (short k = 0; k < files.nfiles; ++k) {
      files.state[k].shared = !Input_File[k].infile || k == last_open;
    }
    files.file_swap = last_open;
  }
  reserve.close();
  if (files.nfiles_open == 0) {
    std::printf(" WARNING:  Unable to open any database files for %d\n", yr);
    return false;
  }
  return true;
}

}  // namespace

long time_series(const std::string& bdat, const std::string& edat, short stim,
                 short ltype, short wformat, short oformat, short timesort,
                 short outloc, std::string& pname) {
  Request rq{stim, ltype, wformat, oformat, timesort, outloc, &pname};
  long edate = 0;
  short byr = 0, bmo = 0, bdy = 0, bhr = 0;
  short eyr = 0, emo = 0, edy = 0, ehr = 0;
  std::sscanf(bdat.c_str(), "%ld\n", &rq.bdate);
  std::sscanf(bdat.c_str(), "%4hd %2hd %2hd %2hd\n", &byr, &bmo, &bdy, &bhr);
  std::sscanf(edat.c_str(), "%ld\n", &edate);
  std::sscanf(edat.c_str(), "%4hd %2hd %2hd %2hd\n", &eyr, &emo, &edy, &ehr);

  // An empty line: with the line end puts adds, two on the terminal.
  std::puts("\n");
  if (outloc == 0) {
    Screen_Lines = 0;
    Screen_Scroll = 1;
  } else {
    Screen_Scroll = 0;
  }

  for (short yr = byr; yr <= eyr; ++yr) {
    if (timesort == 1 && outloc == 1) rq.new_output_file = true;
    YearFiles files;
    if (!open_year(rq, files, yr)) continue;
    rq.files_open = true;

    const int mo_first = yr == byr ? bmo : 1;
    const int mo_last = yr == eyr ? emo : 12;
    for (int mo = mo_first; mo <= mo_last; ++mo) {
      if (mo < 1 || mo > 12) continue;
      if (timesort == 2 && outloc == 1) rq.new_output_file = true;
      for (short k = 0; k < files.nfiles; ++k) {
        std::printf(" STATUS:  reading database file %d of %d\r", k + 1,
                    files.nfiles);
        files.begin_month(k);
        files.swap_if_needed(yr, k);
        files.load_month(k, mo);
      }
      const bool first_month = yr == byr && mo == bmo;
      const bool last_month = yr == eyr && mo == emo;
      const int dy_first = first_month ? bdy : 1;
      const int dy_last = last_month ? edy : 31;
      for (int dy = dy_first; dy <= dy_last; ++dy) {
        if (dy < 1 || dy > 31) continue;  // no such entry in the day index
        if (timesort == 3 && outloc == 1) rq.new_output_file = true;
        const int hr_first = first_month && dy == bdy ? bhr : 0;
        const int hr_last = last_month && dy == edy ? ehr : 23;
        for (int hr = hr_first; hr <= hr_last; ++hr) {
          const long date = yr * 1000000L + mo * 10000L + dy * 100L + hr;
          if (outloc == 1) {
            print_progress(" STATUS:  processing date: ", date, nullptr, 0);
          }
          if (timesort == 4 && outloc == 1) rq.new_output_file = true;
          if (!hour_wanted(stim, hr)) continue;
          for (short k = 0; k < files.nfiles; ++k) {
            if (timesort == 5 && outloc == 1) rq.new_output_file = true;
            // The diagnostic setting traces every turn of the shared
            // descriptor, as each slot is visited.
            if (Max_Lines == -1) files.swap_if_needed(yr, k);
            read_hour(rq, files, yr, k, dy - 1, hr, date);
          }
        }
      }
    }
  }

  if (outloc == 1 && rq.nsound > 0 && oformat != 3) {
    print_sounding_count(rq.nsound, "                    \n");
  }
  if (rq.nsound == 0) {
    std::puts(" STATUS:  No data was available to meet your request.\n");
  }
  if (!rq.files_open) {
    std::printf("\tWARNING:  No database files could be opened in: %s\n\n",
                Data_Loc.c_str());
    std::putchar('\a');
    std::puts("\tEnter HELP for more information ");
    std::puts("\tEnter <return> for another database access ");
    std::printf("    Your choice? ");
    std::fflush(stdout);
    get_help(read_answer(), "NO_FILES_OPEN");
  }
  // The plot hand-off closes its own files; the file of a last sounding that
  // was dropped is still open and is closed here.
  if (rq.output_opened) close_outfile(oformat);
  return rq.nsound;
}
