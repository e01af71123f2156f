// The request questions: dates, hours, access mode, stations or box
// (before the stations are selected), then output format, levels, wind
// units, sort order, destination, directory and file structure.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/edition.h"
#include "rawinq/file_handle.h"
#include "rawinq/formats.h"
#include "rawinq/regular_file.h"
#include "rawinq/terminal.h"

namespace {

void bell() { std::putchar(7); }

void out_of_range() {
  std::printf("\n ERROR: value out of range - please choose again\n");
  bell();
}

// Writes a question (through `ask`) and reads its answer until the answer
// is not a HELP or STAT keyword served for `topic`.
template <typename Ask>
std::string ask_with_help(DialogueState& st, const char* topic, Ask ask) {
  for (;;) {
    ask();
    std::string answer = read_answer();
    if (!get_help(st, answer, topic)) return answer;
  }
}

// ---- menus ---------------------------------------------------------------

// A menu question: heading, option and note lines (each written with a line
// end), and the choice prompt.
struct Menu {
  const char* topic;
  std::vector<const char*> lines;
  const char* prompt;
  short highest;  // accepted choices are 0..highest
};

constexpr const char* kChoicePrompt = "Your Choice? [";

const Menu kHoursMenu{"INPUT_HOUR",
                      {"\n What GMT sounding hour(s) do you want?",
                       "      0  -  All times",
                       "      1  -  0z and 12z only",
                       "      2  -  0z only",
                       "      3  -  12z only"},
                      " Your Choice? [",
                      3};

std::vector<const char*> access_menu_lines() {
  std::vector<const char*> lines{"\n How do you wish to access the data set?",
                                 "      0  -  by station number",
                                 "      1  -  by geographic location",
                                 edition::kAccessChoice2};
  if (edition::kListsAccessChoice3) lines.push_back(edition::kAccessChoice3);
  return lines;
}

// Choice 3 is accepted in both editions, listed or not.
const Menu kAccessMenu{"ACCESS_TYPE", access_menu_lines(),
                       kChoicePrompt, 3};

// Choices 3 (skew-T plot) and 4 (ZIR without the 100 mb question) are
// accepted without being listed.
const Menu kFormatMenu{"OUTPUT_FORMAT",
                       {" What type of output format do you want?",
                        "      0  -  ZIR format",
                        "      1  -  FAA604 format <USED BY SHARP SOFTWARE>",
                        "      2  -  NETCDF format"},
                       kChoicePrompt,
                       4};

const Menu kLevelMenu{"LEVEL_TYPE",
                      {" What type of data levels do you want?",
                       "      0  -  all levels",
                       "      1  -  mandatory levels only",
                       "      2  -  mandatory and significant levels only"},
                      kChoicePrompt,
                      2};

const Menu kWindMenu{"WIND_UNITS",
                     {" What type of wind speed units do you want?",
                      "      0  -  knots",
                      "      1  -  tenths of meters/second"},
                     kChoicePrompt,
                     1};

const Menu kSortMenu{
    "SORT_ORDER_TYPE",
    {"\n How do you want to organize the output data?",
     "      0  -  Synoptic Sort (time series)",
     "      1  -  Climatological Sort (station series)",
     "    Note:  For large data requests, type help for performance "
     "information.\n"},
    kChoicePrompt,
    1};

const Menu kDestinationMenu{"OUTPUT_LOCATION",
                            {"\n Where do you want to direct the output?",
                             "      0  -  to the screen",
                             "      1  -  to output file(s)"},
                            kChoicePrompt,
                            1};

const Menu kTimeFileMenu{
    "TIME_OUTFILE",
    {"\n\t\tTime Series Sort \n",
     " How do you want structure your output file(s)?",
     "      0  -  all data in one file      <YYYYMMDDHH.txt>",
     "      1  -  one file per year         <YYYYMMDDHH.txt>",
     "      2  -  one file per month        <YYYYMMDDHH.txt>",
     "      3  -  one file per day          <YYYYMMDDHH.txt>",
     "      4  -  one files per time        <YYYYMMDDHH.txt>",
     "      5  -  one file per sounding     <YYYYMMDDHH.txt>"},
    kChoicePrompt,
    5};

const Menu kStationFileMenu{
    "STATION_OUTFILE",
    {"\n\t\tStation Series Sort \n",
     " How do you want structure your output file(s)?",
     "      0  -  all data in one file      <YYMMDDHH.txt>",
     "      1  -  one station per file      <WMO_INI_YYYYMMDDHH.txt>",
     "      2  -  one sounding per file     <WMO_INI_YYYYMMDDHH.txt>"},
    kChoicePrompt,
    2};

// The leading number of a menu or count answer taken into a short setting:
// a number replaces the setting even when it is then refused, an answer
// without one leaves it. A number too large for a short is refused without
// being stored (it never wraps around). Returns false for such a number.
bool take_number(const std::string& answer, short& setting) {
  const LeadingNumber n = leading_number(answer);
  if (!n.found) return true;
  if (n.overflow || n.value < SHRT_MIN || n.value > SHRT_MAX) return false;
  setting = static_cast<short>(n.value);
  return true;
}

// Asks a menu until an accepted choice is given and returns it. The value
// tested is the setting after the answer: a refused number is the default
// of the repeated question.
short ask_menu(DialogueState& st, const Menu& m, short current) {
  for (;;) {
    const std::string answer = ask_with_help(st, m.topic, [&] {
      for (const char* line : m.lines) std::puts(line);
      std::printf("%s%d]\b\b", m.prompt, current);
    });
    if (take_number(answer, current) && current >= 0 && current <= m.highest)
      return current;
    out_of_range();
  }
}

// ---- dates -----------------------------------------------------------------

// The decimal value of characters [pos, pos + len) of a date text (the
// characters that are there).
short date_part(const std::string& date, size_t pos, size_t len) {
  if (pos >= date.size()) return 0;
  return static_cast<short>(std::atoi(date.substr(pos, len).c_str()));
}

struct DateParts {
  long number;
  short yr, mo, dy, hr;
};

DateParts split_date(const std::string& date) {
  return {std::atol(date.c_str()), date_part(date, 0, 4), date_part(date, 4, 2),
          date_part(date, 6, 2), date_part(date, 8, 2)};
}

bool date_in_range(const DateParts& d, short bbyr, short eeyr) {
  return bbyr <= d.yr && d.yr <= eeyr && d.mo >= 1 && d.mo <= 12 &&
         d.dy >= 1 && d.dy <= 31 && d.hr >= 0 && d.hr <= 23;
}

// Reads a date answer: refuses answers that are not 10 characters long or
// not all digits; returns the accepted answer ("" keeps the default).
std::string ask_date(DialogueState& st, const char* prompt,
                     const std::string& shown) {
  for (;;) {
    const std::string answer = ask_with_help(st, "INPUT_DATES", [&] {
      std::printf("%s%s]\b\b\b\b\b\b\b\b\b\b\b", prompt, shown.c_str());
    });
    if (!answer.empty() && answer.size() != 10) {
      std::printf(" ERROR - date string must have 10 digits\n");
      bell();
      continue;
    }
    if (!valid_date(answer)) continue;
    return answer;
  }
}

void ask_beginning_date(DialogueState& st, RequestSettings& s) {
  for (;;) {
    if (s.first) s.bdat = st.Begin_Date;
    const std::string answer =
        ask_date(st, "\n What is the beginning date? YYYYMMDDHH [", s.bdat);
    if (!answer.empty()) s.bdat = answer;
    const DateParts d = split_date(s.bdat);
    s.bdate = d.number;
    if (date_in_range(d, s.bbyr, s.eeyr)) return;
    std::printf("\n ERROR - beginning date out of range\n");
    bell();
    avail_years(st, &s.bbyr, &s.eeyr);
  }
}

void ask_ending_date(DialogueState& st, RequestSettings& s) {
  for (;;) {
    if (s.first || s.edate < s.bdate) s.edat = s.bdat;
    const std::string answer =
        ask_date(st, " What is the ending date? YYMMDDHH [", s.edat);
    if (!answer.empty()) s.edat = answer;
    const DateParts d = split_date(s.edat);
    s.edate = d.number;
    if (date_in_range(d, s.bbyr, s.eeyr)) return;
    std::printf(" ERROR - ending date out of range\n");
    bell();
    avail_years(st, &s.bbyr, &s.eeyr);
  }
}

// ---- stations --------------------------------------------------------------

void ask_station_type(DialogueState& st) {
  for (;;) {
    const std::string answer = ask_with_help(st, "STATION_TYPE", [&st] {
      std::puts("\n\t\t Station Number Access\n");
      std::printf(
          " What type of station numbers are you using? [WMO=0, WBAN=1] "
          "[%d]\b\b",
          st.Stn_Type);
    });
    if (take_number(answer, st.Stn_Type) &&
        (st.Stn_Type == 0 || st.Stn_Type == 1))
      return;
    out_of_range();
  }
}

// The station list file question and its name. Returns true when the
// stations were read from a file.
bool stations_from_file(DialogueState& st) {
  for (;;) {
    const std::string has_file = ask_with_help(st, "STATION_FILE", [] {
      std::printf(
          " Do you have a file containing this list of stations? [Y/N] "
          "[N]\b\b");
    });
    if (!answer_is_yes(has_file, 'N')) return false;
    const std::string name = ask_with_help(st, "STATFILE_NAME", [] {
      std::printf("\n  Enter the full name of this file: ");
    });
    const OpenedFile opened = open_regular_file(name);
    const FileHandle& f = opened.file;
    if (!f) {
      // A file that is there but cannot be read is not said to be missing.
      if (opened.missing())
        std::printf("\n  ERROR -  station file: %s does not exist \n",
                    name.c_str());
      else
        std::printf("\n  ERROR -  station file: %s could not be opened (%s) \n",
                    name.c_str(), opened.reason().c_str());
      bell();
      continue;
    }
    const short count = read_station_list(st, f.get());
    std::printf("\n STATUS:  %d stations read from file: %s\n\n", count,
                name.c_str());
    return true;
  }
}

// The number of stations; false sends the dialogue back to the station
// list file question.
bool ask_station_count(DialogueState& st) {
  if (st.Stn_Type == 0) st.Usr_Stn_Count = 1;
  if (st.Usr_Stn_Count > 100 || st.Usr_Stn_Count < 1) st.Usr_Stn_Count = 1;
  std::printf(
      " How many stations for the time period would you like? [1 - 100] [%d",
      st.Usr_Stn_Count);
  if (st.Usr_Stn_Count < 10)
    std::printf("]\b\b");
  else if (st.Usr_Stn_Count < 100)
    std::printf("]\b\b\b");
  else
    std::printf("]\b\b\b\b");
  const std::string answer = read_answer();
  if (get_help(st, answer, "NUMBER_STATIONS")) return false;
  if (take_number(answer, st.Usr_Stn_Count) && st.Usr_Stn_Count >= 0 &&
      st.Usr_Stn_Count <= 100)
    return true;
  out_of_range();
  return false;
}

void ask_station_number(DialogueState& st, int i) {
  const int col = st.Stn_Type == 0 ? 0 : 1;
  for (;;) {
    const std::string answer = ask_with_help(st, "STATION_NUMBER", [&] {
      const long shown = st.User_Stations[i][col];
      if (col == 0)
        std::printf(" WMO station number? %5ld\b\b\b\b\b", shown);
      else
        std::printf(" WBAN station number? %5ld%s", shown,
                    shown > 9999 ? "\b\b\b\b\b" : "\b\b\b\b");
    });
    if (!valid_station(answer)) continue;
    const LeadingNumber n = leading_number(answer);
    if (n.overflow) {
      out_of_range();
      continue;
    }
    if (n.found) st.User_Stations[i][col] = n.value;
    return;
  }
}

void ask_station_numbers(DialogueState& st) {
  ask_station_type(st);
  for (;;) {
    if (stations_from_file(st)) return;
    if (ask_station_count(st)) break;
  }
  for (int i = 0; i < st.Usr_Stn_Count; ++i) ask_station_number(st, i);
}

// ---- geographic box ----------------------------------------------------------

// Reads one bound until the answer is a valid number; the leading decimal
// number of the answer replaces `value` (an answer without one keeps it).
void ask_bound(DialogueState& st, const char* prompt, const char* format,
               float& value) {
  for (;;) {
    const std::string answer = ask_with_help(st, "GEOGRAPHIC_ACCESS", [&] {
      std::printf("%s", prompt);
      std::printf(format, static_cast<double>(value));
    });
    if (!valid_float(answer)) continue;
    const char* begin = answer.c_str();
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(begin, &end);
    if (end == begin) return;
    if (errno == ERANGE && std::isinf(v)) {
      out_of_range();
      continue;
    }
    value = v;
    return;
  }
}

struct BoundPair {
  const char* min_prompt;
  const char* max_prompt;
  const char* format;
  const char* error;
};

const BoundPair kLatitudes{"\t Enter the MINIMUM value latitude: [",
                           "\t Enter the MAXIMUM value latitude: [",
                           "%4.2f]\b\b\b\b\b\b",
                           " ERROR: the MAX latitude is less than the MIN "
                           "latitude"};
const BoundPair kLongitudes{"\n\t Enter the MINIMUM value longitude: [",
                            "\t Enter the MAXIMUM value longitude: [",
                            "%3.2f]\b\b\b\b\b\b\b",
                            " ERROR: the MAX longitude is less than the MIN "
                            "longitude"};

void ask_bounds(DialogueState& st, const BoundPair& q, float& low,
                float& high) {
  for (;;) {
    ask_bound(st, q.min_prompt, q.format, low);
    ask_bound(st, q.max_prompt, q.format, high);
    if (!(low > high)) return;
    std::puts(q.error);
  }
}

void ask_box(DialogueState& st, RequestSettings& s) {
  st.Stn_Type = 1;
  std::puts("\n\t\t Geographic Location Access \n");
  if (edition::kWritesLongitudeNote)
    std::puts(
        "  NOTE:  For soundings in the western hemisphere, use negative "
        "longitudes.\n");
  std::puts(" Input the bounds of your lat/long box ");
  ask_bounds(st, kLatitudes, s.blat, s.elat);
  ask_bounds(st, kLongitudes, s.blong, s.elong);
}

void set_box(RequestSettings& s, const edition::Box& b) {
  s.blat = b.blat;
  s.elat = b.elat;
  s.blong = b.blong;
  s.elong = b.elong;
}

// ---- output ------------------------------------------------------------------

void ask_above_100mb(DialogueState& st) {
  const char shown = st.Original_ZIR_Format == 1 ? 'N' : 'Y';
  std::printf("\nDo you wish to obtain data above 100mb pressure? [Y/N] %c\b",
              shown);
  st.Original_ZIR_Format = answer_is_yes(read_answer(), shown) ? 0 : 1;
}

void ask_output_directory(DialogueState& st, RequestSettings& s) {
  const std::string answer = ask_with_help(st, "OUTPUT_DIRECTORY", [&] {
    std::puts("\n Where do you want to write the output files?");
    std::printf("  Enter the disk and directory only: %s", s.pname.c_str());
    for (size_t i = 0; i < s.pname.size(); ++i) std::putchar('\b');
  });
  const std::string word = first_word(answer);
  if (!word.empty()) s.pname = word;
  if (!s.pname.empty() && s.pname.back() != '/') s.pname += '/';
}

}  // namespace

void ask_request_questions(DialogueState& st, RequestSettings& s) {
  for (;;) {
    ask_beginning_date(st, s);
    ask_ending_date(st, s);
    if (s.bdate <= s.edate) break;
    std::printf(" ERROR - beginning date is greater than ending date\n");
    bell();
  }
  st.Begin_Date = s.bdat;

  if (s.bdate == s.edate)
    s.stim = 0;
  else
    s.stim = ask_menu(st, kHoursMenu, s.stim);

  s.access = ask_menu(st, kAccessMenu, s.access);
  switch (s.access) {
    case 0:
      ask_station_numbers(st);
      break;
    case 1:
      ask_box(st, s);
      break;
    case 2:
      st.Stn_Type = 1;
      std::printf("%s", edition::kChoice2Message);
      if (edition::kChoice2MessageLineEnd) std::putchar('\n');
      set_box(s, edition::kChoice2Box);
      break;
    default:
      st.Stn_Type = 1;
      std::printf("\n\t\t World Database Access\n");
      set_box(s, edition::kWorldBox);
      break;
  }
}

void ask_output_questions(DialogueState& st, RequestSettings& s) {
  s.oformat = ask_menu(st, kFormatMenu, s.oformat);
  const OutputFormat& format = *format_by_choice(s.oformat);
  if (format.asks_above_100mb) ask_above_100mb(st);
  if (format.asks_levels) s.ltype = ask_menu(st, kLevelMenu, s.ltype);
  if (format.asks_wind) s.wformat = ask_menu(st, kWindMenu, s.wformat);

  if (s.bdate == s.edate)
    st.Sort_Type = 1;
  else
    st.Sort_Type = ask_menu(st, kSortMenu, st.Sort_Type);

  if (format.hands_off) {
    // The plot hand-off writes its own files, one per sounding.
    s.outloc = 1;
    s.wformat = 1;
    s.statsort = 2;
    s.timesort = 5;
    return;
  }
  if (format.file_only) {
    s.outloc = 1;
    if (format.file_only_note != nullptr) std::puts(format.file_only_note);
  } else {
    s.outloc = ask_menu(st, kDestinationMenu, s.outloc);
  }
  if (s.outloc == 0) return;

  ask_output_directory(st, s);
  if (st.Sort_Type == 0) {
    s.timesort = ask_menu(st, kTimeFileMenu, s.timesort);
  } else if (st.Usr_Stn_Count == 1 && s.bdate == s.edate) {
    s.statsort = 2;
  } else {
    s.statsort = ask_menu(st, kStationFileMenu, s.statsort);
  }
}
