// The two retrieval drivers. Synoptic order: time runs from the first to
// the last requested hour and, at each hour, every selected station is
// visited. Station order: each selected station in turn, through all
// requested years, months, days and soundings.
#include "rawinq/retrieval.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "rawinq/archive.h"
#include "rawinq/decoder.h"

namespace {

constexpr unsigned long kBufferBytes = 20000;

struct DateParts {
  int yr, mo, dy, hr;
};

DateParts split(long date) {
  return {static_cast<int>(date / 1000000), static_cast<int>(date / 10000 % 100),
          static_cast<int>(date / 100 % 100), static_cast<int>(date % 100)};
}

// Soundings written to standard output may still be in the formatting
// thread's hands: they go out before any message the run prints there.
void settle(OutputSession& out) {
  if (!out.to_files()) out.flush_pending();
}

// The caller's status lines, each after the soundings written before it.
class InOrder final : public Progress {
 public:
  InOrder(Progress& inner, OutputSession& out) : p_(inner), out_(out) {}
  void begin() override { settle(out_), p_.begin(); }
  void checkpoint() override { p_.checkpoint(); }
  void opening_files() override { settle(out_), p_.opening_files(); }
  void reading_file(int k, int n) override {
    settle(out_), p_.reading_file(k, n);
  }
  void date(long d) override { settle(out_), p_.date(d); }
  void date_station(long d, long s) override {
    settle(out_), p_.date_station(d, s);
  }
  void station_date(long s, long d) override {
    settle(out_), p_.station_date(s, d);
  }
  void unit_count(long n, const char* tail) override {
    settle(out_), p_.unit_count(n, tail);
  }
  void no_files_for_year(int year, int err) override {
    settle(out_), p_.no_files_for_year(year, err);
  }
  void no_data() override { settle(out_), p_.no_data(); }
  void message(const std::string& text) override {
    settle(out_), p_.message(text);
  }
  void advance(const Advance& a) override { p_.advance(a); }

 private:
  Progress& p_;
  OutputSession& out_;
};

// What both drivers share: the decoder, the session and the counts.
class Run {
 public:
  Run(const RetrievalRequest& rq, OutputSession& out, Progress& progress)
      : rq_(rq), out_(out), progress_(progress) {
    options_.cut_at_100mb = out.format().cut_at_100mb;
    stations_.reserve(rq.selection.stations.size());
    const long years = rq.edate / 1000000 - rq.bdate / 1000000 + 1;
    advance_.station_years =
        static_cast<long>(rq.selection.stations.size()) * years;
    files_.messages = [this](const std::string& text) {
      progress_.message(text);
    };
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  const RetrievalRequest& rq() const { return rq_; }
  OutputSession& out() { return out_; }
  Progress& progress() { return progress_; }
  RetrievalResult& result() { return result_; }
  StationFiles& files() { return files_; }
  bool progress_lines() const { return out_.format().progress_lines; }

  const STATREC& entry(int i) const { return rq_.selection.catalogue[i]; }

  // Closes the count line of the file that ends and opens the next one;
  // restart_count: the count of soundings written starts again with it.
  void new_unit(long date, const STATREC& station, const char* tail,
                bool count_line, bool restart_count = true) {
    if (rq_.only_visit) return;
    if (result_.unit_soundings != 0 && restart_count) {
      if (count_line) progress_.unit_count(result_.unit_soundings, tail);
      result_.unit_soundings = 0;
    }
    out_.open_unit(date, rq_.bdate, &station, rq_.split == Split::one);
  }

  // Decodes the record and writes its sounding of `date`; true when it
  // was written.
  bool write(const DatabaseRecord& rec, const STATREC& station, long wban,
             long date) {
    if (decode_sounding(rec.data, rec.held, options_, sounding_) !=
        SoundingCheck::decoded)
      return false;
    if (rq_.visit) rq_.visit(sounding_, station);
    if (!rq_.only_visit && !out_.write(sounding_, station, rq_.write)) return false;
    ++result_.soundings;
    ++result_.unit_soundings;
    if (stations_.insert(wban).second) ++result_.stations;
    advance_.soundings = result_.soundings;
    advance_.station = rq_.selection.wban_numbers ? station.wban : station.wmo;
    advance_.date = date;
    progress_.advance(advance_);
    return true;
  }

  // The station-years read so far (see Progress::Advance).
  void advance(double done) {
    advance_.done = done;
    progress_.advance(advance_);
  }

 private:
  const RetrievalRequest& rq_;
  OutputSession& out_;
  Progress& progress_;
  RetrievalResult result_;
  // The request's open station files.
  StationFiles files_;
  Progress::Advance advance_;
  DecodeOptions options_;
  Sounding sounding_;
  // Those with a sounding written; looked up at every sounding, in a time
  // that does not grow with the number of stations.
  std::unordered_set<long> stations_;
};

// ---- synoptic order --------------------------------------------------------

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
  YearFiles(const RetrievalRequest& rq, OutputSession& out,
            StationFiles& slots, std::size_t stations)
      : rq_(rq), out_(out), slots_(slots) {
    slots_.prepare(stations);
    state.resize(stations);
  }
  YearFiles(const YearFiles&) = delete;
  YearFiles& operator=(const YearFiles&) = delete;
  ~YearFiles() { slots_.close_all(static_cast<std::size_t>(nfiles)); }

  // A new month: every slot may warn again, and a slot that could not be
  // reopened gets another try.
  void begin_month(int file_num) {
    state[file_num].warned = false;
    state[file_num].lost = false;
  }

  // Gives the shared descriptor to slot file_num when it belongs to the
  // group that shares it and another slot of the group used it last. A
  // slot that cannot be reopened loses the rest of its month.
  void swap_if_needed(int yr, int file_num) {
    if (nfiles <= nfiles_open || !state[file_num].shared ||
        file_swap == file_num || state[file_num].lost) {
      return;
    }
    short status = -1;
    if (rq_.trace_opens) settle(out_);
    open_station_file(slots_, rq_.data_dir, static_cast<short>(yr),
                      slots_.slot[file_num].wban, &status, file_num,
                      file_swap, rq_.trace_opens, rq_.both_year_forms);
    file_swap = file_num;
    if (status != 1) {
      state[file_num].lost = true;
      for (short& c : slots_.slot[file_num].cnt) c = 0;
      warn_once(file_num);
    }
  }

  void warn_once(int file_num) {
    if (state[file_num].warned) return;
    state[file_num].warned = true;
    settle(out_);
    slots_.warn_unreadable(static_cast<std::size_t>(file_num));
  }

  // Loads the month's day index into the slot; a file that cannot be read
  // or whose index does not fit takes no part this month.
  void load_month(int file_num, int mo) {
    INPUT_FILES& slot = slots_.slot[file_num];
    bool ok = false;
    unsigned long n = 0;
    if (!state[file_num].lost && read_file_head(slot, head.data(), &n))
      ok = read_day_index(head.data(), n, mo - 1, mo - 1, &slot);
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

  const RetrievalRequest& rq_;
  OutputSession& out_;
  StationFiles& slots_;
  int nfiles = 0;
  int nfiles_open = 0;
  int file_swap = 0;
  std::vector<SlotState> state;
  // The selected catalogue entries of each slot's station.
  std::vector<std::vector<int>> entries;
  // Records are read a chunk at a time (at least 1 KB, which mostly holds a
  // record and the next one's hour), and each slot keeps its last chunk, so
  // that the records that follow in the chunk need no read of their own.
  RecordWindow window{1024};
  std::array<unsigned char, kBufferBytes> head{};
};

class Synoptic {
 public:
  explicit Synoptic(Run& run) : run_(run) {}

  void run();

 private:
  void write_sounding(long date, const std::vector<int>& entries,
                      const DatabaseRecord& rec, long wban);
  void read_hour(YearFiles& files, int yr, int file_num, int d, int hr,
                 long date);
  bool open_year(YearFiles& files, int yr);
  void status_line(long date, int indx) {
    const STATREC& e = run_.entry(indx);
    run_.progress().date_station(
        date, run_.rq().selection.wban_numbers ? e.wban : e.wmo);
  }

  Run& run_;
  bool new_output_file_ = true;
};

void Synoptic::write_sounding(long date, const std::vector<int>& entries,
                              const DatabaseRecord& rec, long wban) {
  const RetrievalRequest& rq = run_.rq();
  const int indx =
      choose_station_entry(rq.selection.catalogue, entries, date / 100);
  if (indx < 0) return;  // a station outside the selection
  const bool files = run_.out().to_files();
  if (files) status_line(date, indx);
  if (files && new_output_file_) {
    run_.new_unit(date, run_.entry(indx), "                \n", true);
    new_output_file_ = false;
  }
  run_.write(rec, run_.entry(indx), wban, date);
  if (files && run_.progress_lines()) status_line(date, indx);
}

void Synoptic::read_hour(YearFiles& files, int yr, int file_num, int d, int hr,
                         long date) {
  INPUT_FILES& slot = run_.files().slot[file_num];
  while (slot.cnt[d] > 0 && slot.hour[d] <= hr) {
    run_.progress().checkpoint();
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
      write_sounding(date, files.entries[file_num], rec, slot.wban);
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
bool Synoptic::open_year(YearFiles& files, int yr) {
  const RetrievalRequest& rq = run_.rq();
  FileHandle reserve;  // keeps one descriptor free for the output file
  if (run_.out().to_files()) {
    reserve = FileHandle(std::tmpfile());
    if (!reserve) {
      const int err = errno;
      run_.progress().message(std::string(" tmpfile failed\n: ") +
                              std::strerror(err) + "\n");
    }
  }
  int short_of_descriptors = 0;  // errno when files waited for descriptors
  for (const StationRow& row : rq.selection.stations) {
    const int k = files.nfiles;
    short status = 0;
    settle(run_.out());  // the open may warn
    open_station_file(run_.files(), rq.data_dir, static_cast<short>(yr),
                      row.wban, &status, k, 0, rq.trace_opens,
                      rq.both_year_forms);
    if (status == 1) {
      if (files.nfiles == 0) run_.progress().opening_files();
      ++files.nfiles_open;
    } else if (status != 2 || !out_of_descriptors(run_.files().open_errno)) {
      continue;  // no file, or one that cannot be read at all
    } else {
      short_of_descriptors = run_.files().open_errno;
    }
    run_.files().slot[k].wban = row.wban;
    files.state[k] = SlotState{};
    files.entries.push_back(station_entries(rq.selection, row.wban));
    ++files.nfiles;
  }
  // Each slot keeps its last chunk (as many slots as the request allows):
  // up to 512 slots the chunks share 512 KB, 1 to 8 KB a slot; past that
  // each keeps 1 KB. A slot without a chunk of its own reads every record
  // by itself, and a slot of the shared descriptor reopens its file for it.
  const unsigned long budget = 512 * 1024;
  const unsigned long per_slot = std::clamp<unsigned long>(
      budget / static_cast<unsigned long>(files.nfiles > 0 ? files.nfiles : 1),
      1024, 8192);
  const unsigned long keyed = std::min<unsigned long>(
      static_cast<unsigned long>(files.nfiles),
      static_cast<unsigned long>(std::max(rq.keyed_slots, 0)));
  files.window = RecordWindow(per_slot, static_cast<int>(keyed));
  if (files.nfiles > files.nfiles_open) {
    // The last opened slot and every slot left without a stream share one
    // descriptor; the last opened slot holds it now.
    int last_open = -1;
    for (int k = 0; k < files.nfiles; ++k) {
      if (run_.files().slot[k].infile) last_open = k;
    }
    for (int k = 0; k < files.nfiles; ++k) {
      files.state[k].shared = !run_.files().slot[k].infile || k == last_open;
    }
    files.file_swap = last_open;
  }
  reserve.close();
  if (files.nfiles_open == 0) {
    run_.progress().no_files_for_year(yr, short_of_descriptors);
    run_.result().years_without_files.push_back(yr);
    return false;
  }
  return true;
}

void Synoptic::run() {
  const RetrievalRequest& rq = run_.rq();
  const DateParts b = split(rq.bdate);
  const DateParts e = split(rq.edate);
  const bool files = run_.out().to_files();
  const Split s = rq.split;
  run_.progress().begin();
  const double stations = static_cast<double>(rq.selection.stations.size());
  // The hours walked in a year, in the day index's 31 days a month.
  const auto hour_of_year = [](int mo, int dy, int hr) {
    return ((mo - 1) * 31L + dy - 1) * 24L + hr;
  };

  for (int yr = b.yr; yr <= e.yr; ++yr) {
    if (s == Split::year && files) new_output_file_ = true;
    YearFiles year(rq, run_.out(), run_.files(), rq.selection.stations.size());
    const double years_done = (yr - b.yr) * stations;
    const long first_hour = yr == b.yr ? hour_of_year(b.mo, b.dy, b.hr) : 0;
    const long hours =
        (yr == e.yr ? hour_of_year(e.mo, e.dy, e.hr) : hour_of_year(12, 31, 23)) -
        first_hour + 1;
    if (!open_year(year, yr)) {
      run_.advance(years_done + stations);
      continue;
    }
    run_.result().files_found = true;

    const int mo_first = yr == b.yr ? b.mo : 1;
    const int mo_last = yr == e.yr ? e.mo : 12;
    for (int mo = mo_first; mo <= mo_last; ++mo) {
      if (mo < 1 || mo > 12) continue;
      if (s == Split::month && files) new_output_file_ = true;
      for (int k = 0; k < year.nfiles; ++k) {
        run_.progress().reading_file(k + 1, year.nfiles);
        year.begin_month(k);
        year.swap_if_needed(yr, k);
        year.load_month(k, mo);
      }
      const bool first_month = yr == b.yr && mo == b.mo;
      const bool last_month = yr == e.yr && mo == e.mo;
      const int dy_first = first_month ? b.dy : 1;
      const int dy_last = last_month ? e.dy : 31;
      for (int dy = dy_first; dy <= dy_last; ++dy) {
        if (dy < 1 || dy > 31) continue;  // no such entry in the day index
        if (s == Split::day && files) new_output_file_ = true;
        const int hr_first = first_month && dy == b.dy ? b.hr : 0;
        const int hr_last = last_month && dy == e.dy ? e.hr : 23;
        for (int hr = hr_first; hr <= hr_last; ++hr) {
          run_.progress().checkpoint();
          run_.advance(years_done +
                       stations * static_cast<double>(
                                      hour_of_year(mo, dy, hr) - first_hour) /
                           static_cast<double>(hours > 0 ? hours : 1));
          const long date = yr * 1000000L + mo * 10000L + dy * 100L + hr;
          if (files) run_.progress().date(date);
          if (s == Split::time && files) new_output_file_ = true;
          if (hr < 0 || hr > 23 || !rq.hours.test(static_cast<std::size_t>(hr)))
            continue;
          for (int k = 0; k < year.nfiles; ++k) {
            if (s == Split::sounding && files) new_output_file_ = true;
            // The diagnostic setting traces every turn of the shared
            // descriptor, as each slot is visited.
            if (rq.trace_opens) year.swap_if_needed(yr, k);
            read_hour(year, yr, k, dy - 1, hr, date);
          }
        }
      }
    }
  }

  run_.advance(static_cast<double>((e.yr - b.yr + 1)) * stations);
  const RetrievalResult& r = run_.result();
  if (files && r.unit_soundings > 0 && run_.progress_lines())
    run_.progress().unit_count(r.unit_soundings, "                    \n");
  if (r.unit_soundings == 0) run_.progress().no_data();
}

// ---- station order ---------------------------------------------------------

// Closes the count line; puts adds a second line end, so an empty line
// follows.
const char* const kTwentyBlanks = "                    \n";

// Closes the one open station file however its year ends.
struct SlotZeroCloser {
  StationFiles& files;
  ~SlotZeroCloser() { files.close_all(1); }
};

class StationOrder {
 public:
  explicit StationOrder(Run& run) : run_(run) {}
  void run();

 private:
  void write_sounding(const StationRow& row, const std::vector<int>& entries,
                      long date, const DatabaseRecord& rec);
  void read_year(RecordWindow& window, const StationRow& row,
                 const std::vector<int>& entries, int yr);

  Run& run_;
  bool output_opened_ = false;  // an output file was begun
  long prev_stat_ = 0;          // station of the current output file
  std::array<INPUT_FILES, 12> months_;
  std::array<unsigned char, kBufferBytes> head_{};
};

void StationOrder::write_sounding(const StationRow& row,
                                  const std::vector<int>& entries, long date,
                                  const DatabaseRecord& rec) {
  const RetrievalRequest& rq = run_.rq();
  const int indx =
      choose_station_entry(rq.selection.catalogue, entries, date / 100);
  if (indx < 0) return;  // a station outside the selection
  const bool files = run_.out().to_files();
  if (files && (!output_opened_ || rq.split == Split::sounding ||
                (rq.split == Split::station && row.wban != prev_stat_))) {
    // In station order the plot hand-off keeps counting over its files, so
    // the request's count is every sounding plotted.
    run_.new_unit(date, run_.entry(indx), kTwentyBlanks, run_.progress_lines(),
                  !run_.out().format().hands_off);
    output_opened_ = true;
    prev_stat_ = row.wban;
  }
  run_.write(rec, run_.entry(indx), row.wban, date);
  if (files && run_.progress_lines())
    run_.progress().station_date(
        rq.selection.wban_numbers ? row.wban : row.wmo, date);
}

// Reads one station-year file already opened into slot 0.
// The file is read from start to end through the window: the days are
// walked in the order their records are stored.
void StationOrder::read_year(RecordWindow& window, const StationRow& row,
                             const std::vector<int>& entries, int yr) {
  const RetrievalRequest& rq = run_.rq();
  const DateParts b = split(rq.bdate);
  const DateParts e = split(rq.edate);
  StationFiles& files = run_.files();
  const int fd = slot_descriptor(files.slot[0]);
  const unsigned long size = files.slot[0].size;
  window.forget();
  unsigned long n = 0;
  if (!read_file_head(files.slot[0], head_.data(), &n) ||
      !read_day_index(head_.data(), n, 0, 11, months_.data())) {
    files.warn_unreadable(0);
    return;
  }
  const int mo_first = yr == b.yr ? b.mo : 1;
  const int mo_last = yr == e.yr ? e.mo : 12;
  for (int mo = mo_first; mo <= mo_last; ++mo) {
    if (mo < 1 || mo > 12) continue;
    INPUT_FILES& month = months_[static_cast<std::size_t>(mo - 1)];
    bool warned = false;  // once per file and month
    const int dy_first = yr == b.yr && mo == b.mo ? b.dy : 1;
    const int dy_last = yr == e.yr && mo == e.mo ? e.dy : 31;
    for (int dy = dy_first; dy <= dy_last; ++dy) {
      if (dy < 1 || dy > 31) continue;
      const int d = dy - 1;
      for (int j = 0; j < month.cnt[d]; ++j) {
        run_.progress().checkpoint();
        const DatabaseRecord rec = window.read(0, fd, size, month.bytenum[d]);
        if (!rec.ok) {  // the later records of the day hang on this one
          if (!warned) files.warn_unreadable(0);
          warned = true;
          break;
        }
        const int hour = rec.data[23];
        month.hour[d] = static_cast<short>(hour);
        const long date = yr * 1000000L + mo * 10000L + dy * 100L + hour;
        // An hour past 23 is a damaged record the decoder refuses; only a
        // request of every hour takes it that far.
        bool found = hour <= 23 ? rq.hours.test(static_cast<std::size_t>(hour))
                                : rq.hours.all();
        if (date / 100 == rq.bdate / 100 && hour < b.hr) found = false;
        if (date / 100 == rq.edate / 100 && hour > e.hr) found = false;
        if (found) write_sounding(row, entries, date, rec);
        month.bytenum[d] += rec.length;
      }
    }
  }
}

void StationOrder::run() {
  const RetrievalRequest& rq = run_.rq();
  const int byr = static_cast<int>(rq.bdate / 1000000);
  const int eyr = static_cast<int>(rq.edate / 1000000);
  run_.progress().begin();

  // Read ahead in large pieces: one file at a time is read from start to
  // end.
  RecordWindow window(256 * 1024);
  double done = 0;
  for (const StationRow& row : rq.selection.stations) {
    const std::vector<int> entries = station_entries(rq.selection, row.wban);
    bool any = false;
    for (int yr = byr; yr <= eyr; ++yr, run_.advance(++done)) {
      short status = 0;
      settle(run_.out());  // the open may warn
      open_station_file(run_.files(), rq.data_dir, static_cast<short>(yr),
                        row.wban, &status, 0, 0, rq.trace_opens,
                        rq.both_year_forms);
      SlotZeroCloser closer{run_.files()};
      if (status != 1) continue;
      run_.result().files_found = true;
      any = true;
      read_year(window, row, entries, yr);
    }
    if (!any) run_.result().stations_without_files.push_back(row.wban);
  }

  // The plot hand-off closes its own files; the file of a last sounding
  // that was dropped is still open and is closed here.
  run_.out().close_unit();
  const RetrievalResult& r = run_.result();
  if (r.unit_soundings == 0) {
    if (r.files_found) run_.progress().no_data();
  } else if (run_.progress_lines() && run_.out().to_files()) {
    run_.progress().unit_count(r.unit_soundings, kTwentyBlanks);
  }
}

}  // namespace

RetrievalResult retrieve(const RetrievalRequest& request,
                         OutputSession& session, Progress& progress) {
  InOrder in_order(progress, session);
  Run run(request, session, in_order);
  run.files().prepare(request.order == Order::synoptic
                          ? request.selection.stations.size()
                          : 1);
  if (request.order == Order::synoptic) {
    Synoptic(run).run();
    session.close_unit();
  } else {
    StationOrder(run).run();
  }
  return run.result();
}

bool hour_wanted(short stim, int hr) {
  switch (stim) {
    case 0: return true;
    case 1: return hr == 0 || hr == 12;
    case 2: return hr == 0;
    case 3: return hr == 12;
    default: return false;
  }
}

std::bitset<24> hours_of_choice(short stim) {
  std::bitset<24> hours;
  for (int hr = 0; hr < 24; ++hr)
    hours.set(static_cast<std::size_t>(hr), hour_wanted(stim, hr));
  return hours;
}

std::vector<int> station_entries(const Selection& selection, long wban) {
  std::vector<int> entries;
  for (const int i : selection.entries) {
    if (i < 0 || static_cast<std::size_t>(i) >= selection.catalogue_size)
      continue;
    if (selection.catalogue[i].wban == wban) entries.push_back(i);
  }
  return entries;
}

int choose_station_entry(const STATREC* catalogue,
                         const std::vector<int>& entries, long day) {
  // A station with one selected entry: it covers the day or is the nearest.
  if (entries.size() == 1) return entries[0];
  int covering = -1;
  int nearest = -1;
  // Catalogue dates are whatever the file held: distances are taken in
  // unsigned arithmetic, exact for any two longs, so none can overflow.
  unsigned long best = 0;
  for (const int i : entries) {
    const STATREC& e = catalogue[i];
    if (e.bdate <= day && day <= e.edate) {
      covering = i;
      continue;
    }
    const auto from = [](long a, long b) {  // a - b for a > b
      return static_cast<unsigned long>(a) - static_cast<unsigned long>(b);
    };
    const unsigned long dist =
        day < e.bdate ? from(e.bdate, day) : from(day, e.edate);
    if (nearest < 0 || dist <= best) {
      nearest = i;
      best = dist;
    }
  }
  return covering >= 0 ? covering : nearest;
}

namespace {

// Walks the day indexes of the request's station-year files, station by
// station and year by year: file(station, year) for every file whose head
// was read, then entry(date) for every sounding its index lists in the
// period at the request's hours, then done(station, year). A file that
// cannot be read (or whose index runs past its head) gives its warning to
// messages.
void walk_day_indexes(const RetrievalRequest& rq,
                      const std::function<void(const std::string&)>& messages,
                      const std::function<void(const StationRow&, int)>& file,
                      const std::function<void(long)>& entry,
                      const std::function<void(const StationRow&, int)>& done) {
  std::vector<unsigned char> head(20000);
  StationFiles files;
  files.messages = messages;
  const int first_year = static_cast<int>(rq.bdate / 1000000);
  const int last_year = static_cast<int>(rq.edate / 1000000);
  for (const StationRow& station : rq.selection.stations)
    for (int year = first_year; year <= last_year; ++year) {
      short status = 0;
      open_station_file(files, rq.data_dir, static_cast<short>(year), station.wban, &status, 0,
                        0, false, rq.both_year_forms);
      struct Closer {
        StationFiles& files;
        ~Closer() { files.close_all(1); }
      } closer{files};
      if (status != 1) continue;
      unsigned long n = 0;
      if (!read_file_head(files.slot[0], head.data(), &n)) {
        files.warn_unreadable(0);
        continue;
      }
      file(station, year);
      const bool ok = for_each_day_entry(head.data(), n, [&](int month, int day, int hour) {
        const long date = year * 1000000L + month * 10000L + day * 100L + hour;
        if (date >= rq.bdate && date <= rq.edate && hour >= 0 && hour <= 23 &&
            rq.hours.test(static_cast<std::size_t>(hour)))
          entry(date);
      });
      if (!ok) files.warn_unreadable(0);
      done(station, year);
    }
}

}  // namespace

std::vector<long> sounding_times(const RetrievalRequest& rq) {
  std::vector<long> times;
  walk_day_indexes(
      rq, {}, [](const StationRow&, int) {}, [&times](long date) { times.push_back(date); },
      [](const StationRow&, int) {});
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  return times;
}

std::vector<InventoryRow> inventory(const RetrievalRequest& rq,
                                    const std::function<void(const std::string&)>& messages) {
  std::vector<InventoryRow> rows;
  InventoryRow r;
  long entries_of = -1;  // the station whose catalogue entries these are
  std::vector<int> entries;
  walk_day_indexes(
      rq, messages,
      [&r](const StationRow& station, int year) {
        r = InventoryRow{};
        r.wmo = station.wmo;
        r.wban = station.wban;
        r.year = year;
      },
      [&r](long date) {
        r.first = r.soundings == 0 ? date : std::min(r.first, date);
        r.last = std::max(r.last, date);
        ++r.soundings;
      },
      [&](const StationRow& station, int year) {
        if (entries_of != station.wban) {
          entries = station_entries(rq.selection, station.wban);
          entries_of = station.wban;
        }
        const int k = choose_station_entry(rq.selection.catalogue, entries,
                                           r.soundings > 0 ? r.first / 100 : year * 10000L + 101);
        r.entry = k >= 0 ? &rq.selection.catalogue[k] : nullptr;
        rows.push_back(r);
      });
  return rows;
}
