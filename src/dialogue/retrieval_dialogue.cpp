// The dialogue's retrievals: the request value made from the answers, the
// output session with the dialogue's recovery, pager and plot hand-off,
// the status lines on standard output, and the messages that need an
// answer.
#include <netcdf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/archive.h"
#include "rawinq/interruption.h"
#include "rawinq/output.h"
#include "rawinq/output_session.h"
#include "rawinq/program_exit.h"
#include "rawinq/retrieval.h"
#include "rawinq/terminal.h"

namespace {

// The status lines, as the dialogue writes them on standard output.
class DialogueProgress final : public Progress {
 public:
  explicit DialogueProgress(Order order) : order_(order) {}
  // An empty line; in synoptic order the line end of puts makes it two.
  void begin() override {
    std::fputs(order_ == Order::synoptic ? "\n\n" : "\n", stdout);
  }
  void opening_files() override {
    std::printf(" STATUS:  opening database files ...\r");
  }
  void reading_file(int k, int n) override {
    std::printf(" STATUS:  reading database file %d of %d\r", k, n);
  }
  void date(long d) override {
    print_progress(stdout, " STATUS:  processing date: ", d, nullptr, 0);
  }
  void date_station(long d, long station) override {
    print_progress(stdout, " STATUS:  processing date: ", d, " station: ",
                   station);
  }
  void station_date(long station, long d) override {
    print_progress(stdout, " STATUS:  processing station: ", station,
                   " date: ", d);
  }
  void unit_count(long n, const char* tail) override {
    std::printf(" STATUS:  number of soundings written: %ld", n);
    std::puts(tail);
  }
  // Files that are there but found no descriptor are not said to be
  // missing.
  void no_files_for_year(int year, int err) override {
    if (err != 0)
      std::printf(" WARNING:  Unable to open any database files for %d (%s)\n",
                  year, std::strerror(err));
    else
      std::printf(" WARNING:  Unable to open any database files for %d\n",
                  year);
  }
  // An interruption ends the run here, between soundings.
  void checkpoint() override { stop_if_interrupted(); }
  void no_data() override {
    std::puts(" STATUS:  No data was available to meet your request.\n");
  }
  void message(const std::string& text) override {
    std::fputs(text.c_str(), stdout);
  }

 private:
  Order order_;
};

}  // namespace

SessionConfig dialogue_session_config(DialogueState& st,
                                      const OutputFormat* format, short outloc,
                                      std::string& pname, bool by_station) {
  SessionConfig config;
  config.format = format;
  config.to_files = outloc == 1;
  config.dir = pname;
  config.by_station = by_station;
  config.announce_files = true;
  config.notes = [](const std::string& text) {
    std::fputs(text.c_str(), stdout);
  };
  config.pager = &st.pager;
  config.on_open_failure = [&st, &pname](const std::string& path) {
    return directory_recovery(st, path, pname);
  };
  config.on_write_error = [](int err, const std::string&) { write_error(err); };
  // A failure of the NetCDF library is reported as the library reports
  // it, and ends the program with status 3.
  config.on_netcdf_error = [](int status, const std::string& path) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", path.c_str(), nc_strerror(status));
    end_program(3);
  };
  config.hand_off = [&st] { plot_skewt_data(st); };
  return config;
}

namespace {

// The request of the dialogue's answers and tables.
RetrievalRequest dialogue_request(DialogueState& st, const std::string& bdat,
                                  const std::string& edat, short stim,
                                  short ltype, short wformat, Order order,
                                  short sortype) {
  RetrievalRequest rq;
  std::sscanf(bdat.c_str(), "%ld", &rq.bdate);
  std::sscanf(edat.c_str(), "%ld", &rq.edate);
  rq.hours = hours_of_choice(stim);
  rq.order = order;
  static constexpr Split kSynoptic[6] = {Split::one, Split::year,
                                         Split::month, Split::day,
                                         Split::time, Split::sounding};
  static constexpr Split kStation[3] = {Split::one, Split::station,
                                        Split::sounding};
  if (order == Order::synoptic)
    rq.split = sortype >= 0 && sortype <= 5 ? kSynoptic[sortype] : Split::one;
  else
    rq.split = sortype >= 0 && sortype <= 2 ? kStation[sortype] : Split::one;
  rq.write.levels = ltype;
  rq.write.knots = wformat == 0;
  rq.write.above_100mb = st.Original_ZIR_Format != 1;
  Selection& sel = rq.selection;
  sel.catalogue = st.Stn_His;
  sel.catalogue_size = kMaxStations;
  for (int k = 0; k < st.Stn_Count && k < kMaxStations; ++k)
    sel.entries.push_back(st.Stn_Index[k]);
  for (int si = 0; si < st.Usr_Stn_Count && si < kMaxStations; ++si)
    sel.stations.push_back(
        StationRow{st.User_Stations[si][0], st.User_Stations[si][1]});
  sel.wban_numbers = st.Stn_Type == 1;
  rq.data_dir = st.Data_Loc;
  rq.trace_opens = st.Max_Lines == -1;
  rq.keyed_slots = 1000;
  return rq;
}

RetrievalResult run_retrieval(DialogueState& st, const RetrievalRequest& rq,
                              short oformat, short outloc, std::string& pname) {
  if (outloc == 0) {
    st.Screen_Lines = 0;
    st.Screen_Scroll = 1;
  } else {
    st.Screen_Scroll = 0;
  }
  const OutputFormat* format = format_by_choice(oformat);
  if (format == nullptr) format = format_by_choice(0);
  OutputSession session(dialogue_session_config(st, format, outloc, pname,
                                                rq.order == Order::station));
  DialogueProgress progress(rq.order);
  try {
    return retrieve(rq, session, progress);
  } catch (const ProgramExit& e) {
    // A run that ended normally (end of input, an answer) keeps the file it
    // was writing; a failed or interrupted one removes it. A file that
    // cannot be closed completely is a write error.
    errno = 0;
    if (!session.close_at_end(e.status == 0))
      note_close_failure_at_exit(errno != 0 ? errno : EIO);
    throw;
  }
}

void no_files_dialogue(DialogueState& st, int bells) {
  std::printf("\tWARNING:  No database files could be opened in: %s\n\n",
              st.Data_Loc.c_str());
  for (int k = 0; k < bells; ++k) std::putchar('\a');
  std::puts("\tEnter HELP for more information ");
  std::puts("\tEnter <return> for another database access ");
  std::printf("    Your choice? ");
  std::fflush(stdout);
  get_help(st, read_answer(), "NO_FILES_OPEN");
}

}  // namespace

long time_series(DialogueState& st, const std::string& bdat,
                 const std::string& edat, short stim, short ltype,
                 short wformat, short oformat, short timesort, short outloc,
                 std::string& pname) {
  const RetrievalResult r =
      run_retrieval(st,
                    dialogue_request(st, bdat, edat, stim, ltype, wformat,
                                     Order::synoptic, timesort),
                    oformat, outloc, pname);
  if (!r.files_found) no_files_dialogue(st, 1);
  return r.unit_soundings;
}

long station_series(DialogueState& st, const std::string& bdat,
                    const std::string& edat, short stim, short ltype,
                    short wformat, short oformat, short statsort, short outloc,
                    std::string& pname) {
  const RetrievalResult r =
      run_retrieval(st,
                    dialogue_request(st, bdat, edat, stim, ltype, wformat,
                                     Order::station, statsort),
                    oformat, outloc, pname);
  if (r.unit_soundings == 0 && !r.files_found) {
    no_files_dialogue(st, 2);
    return -1;
  }
  return r.unit_soundings;
}
