// The interactive dialogue: start-up, the request questions, the station
// catalogue and selection, help and the station-history browser, validators.
#pragma once

#include <cstdio>
#include <string>

#include "dialogue_state.h"
#include "rawinq/catalogue.h"
#include "rawinq/output_session.h"
#include "rawinq/records.h"

// ---- entry point -------------------------------------------------------
// The whole program; returns the exit status.
int rawinq_main(int argc, char** argv);

// ---- request settings (main's own variables) --------------------------
struct RequestSettings {
  std::string bdat, edat;  // YYYYMMDDHH
  long bdate = 0, edate = 0;
  short bbyr = 0, eeyr = 0;  // first and last year with data
  short stim = 0;            // sounding hours 0..3
  short access = 0;          // 0..3
  float blat = 10.0f, elat = 50.0f, blong = 100.0f, elong = 120.0f;
  short oformat = 0;   // 0..4
  short ltype = 0;     // 0..2
  short wformat = 0;   // 0..1
  short outloc = 0;    // 0 screen, 1 files
  std::string pname;   // output directory, "/"-terminated when not empty
  short timesort = 0;  // 0..5
  short statsort = 0;  // 0..2
  short first = 1;     // 1 during the first request
  long nsound = 0;     // soundings written by the last retrieval
};

// Questions 1-11 (dates, hours, access, stations, box).
void ask_request_questions(DialogueState& st, RequestSettings& s);
// Questions 12-20 (format, levels, units, sort, destination, files).
void ask_output_questions(DialogueState& st, RequestSettings& s);

// ---- retrievals ----------------------------------------------------------
// Runs the request of the answers in synoptic (time_series) or station
// order (station_series) with the dialogue's output, status lines and
// messages. Returns the soundings written to the last output file;
// station_series returns -1 when no station file could be opened.
long time_series(DialogueState& st, const std::string& bdat,
                 const std::string& edat, short stim, short ltype,
                 short wformat, short oformat, short timesort, short outloc,
                 std::string& pname);
// The output session of the dialogue for format, destination outloc (0
// screen, 1 files) and the directory pname (changed by the recovery
// dialogue).
SessionConfig dialogue_session_config(DialogueState& st,
                                      const OutputFormat* format, short outloc,
                                      std::string& pname, bool by_station);
long station_series(DialogueState& st, const std::string& bdat,
                    const std::string& edat, short stim, short ltype,
                    short wformat, short oformat, short statsort, short outloc,
                    std::string& pname);

// ---- catalogue and station selection ---------------------------------
// Loads "stat2000.txt" (and, in the global edition, "international_sites.txt")
// from the support directory, with the start-up failure dialogue.
void load_catalogue(DialogueState& st, const std::string& support_dir);
// Reads a station list file into User_Stations[.][Stn_Type]; returns the
// number of stations read (Usr_Stn_Count is set too).
short read_station_list(DialogueState& st, std::FILE* f);
// The selected catalogue entry (Stn_His index) of station wban for the day
// YYYYMMDD among the selected entries (see choose_station_entry of the
// retrieval); -1 when the station has none.
int choose_station_entry(const DialogueState& st, long wban, long day);
void get_stations(DialogueState& st, float blat, float elat, float blong,
                  float elong, short access, long bdate, long edate);

// ---- help and station-history browser ---------------------------------
// Serves HELP/help (help section of topic file_loc) or STAT/stat (browser);
// returns 1 when the answer was such a keyword.
short get_help(DialogueState& st, const std::string& inbuf,
               const char* file_loc);
void station_his_help(DialogueState& st);
void write_station_entry(DialogueState& st, short i, long* line_count,
                         short* header);
void write_header(short header, short select_date, long date);

// ---- validators and year scan -----------------------------------------
short valid_date(const std::string& inbuf);
short valid_station(const std::string& inbuf);
short valid_float(const std::string& inbuf);
void avail_years(DialogueState& st, short* bbyr, short* eeyr);
