// The help viewer and the station-history browser.
#include <cstdio>
#include <cstring>
#include <string>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/edition.h"
#include "rawinq/program_exit.h"
#include "rawinq/terminal.h"

namespace {

constexpr char kBell = 7;
const std::string kHyphens79(79, '-');
const std::string kHyphens80(80, '-');
const std::string kAsterisks79(79, '*');

// Help file lines are read 80 bytes at a time.
constexpr int kHelpLineRead = 80;

void write_usage_text() {
  std::puts(kHyphens80.c_str());
  std::puts(
      "  In order to access the raob database, two command line input "
      "parameters");
  std::puts("  are required:");
  std::puts("\tparameter #1:\tlocation (directory) of the database files");
  std::puts("\tparameter #2:\tlocation (directory) of the support files:");
  std::puts("\t                  -- raobhelp.txt");
  std::puts("\t                  -- stat2000.txt");
  if (edition::kUsageListsInternationalSites)
    std::puts("\t                  -- international_sites.txt");
  std::puts("\n  NOTE: default paths are the current directory\n");
  std::puts(kHyphens79.c_str());
}

// Finds the section of the key (its first 10 characters tell it apart) and
// writes it, paging every Max_Lines lines. A missing section ends the run.
void show_help_section(DialogueState& st, const std::string& help_loc) {
  char line[kHelpLineRead];
  bool found = false;
  if (std::FILE* f = st.helpfile.get()) {
    std::rewind(f);
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (std::strncmp(line, help_loc.c_str(), 10) == 0) {
        found = true;
        break;
      }
    }
  }
  if (!found) {
    std::puts(" END OF FILE\n");
    end_program(0);
  }

  std::putchar('\n');
  long page_count = 0;
  for (;;) {
    if (std::fgets(line, sizeof line, st.helpfile.get()) == nullptr) {
      std::puts(" \n ERROR: corrupt help file:  raobhelp.txt ");
      return;
    }
    if (std::strncmp(line, "END", 3) == 0) {
      std::putchar('\n');
      return;
    }
    if (page_count > st.Max_Lines) {
      std::printf(" Press <enter> to continue%s", std::string(25, '\b').c_str());
      read_answer();
      page_count = 0;
    } else {
      ++page_count;
    }
    std::fputs(line, stdout);
  }
}

// Reads an answer for a browser question, asking again while it is a served
// HELP or STAT keyword.
template <typename Prompt>
std::string ask_with_topic(DialogueState& st, Prompt write_prompt,
                           const char* topic) {
  for (;;) {
    write_prompt();
    std::string answer = read_answer();
    if (!get_help(st, answer, topic)) return answer;
  }
}

// The date filter of a browser visit. Returns true when a date was chosen
// (then *date holds it); false when the user wants no filter.
bool ask_filter_date(DialogueState& st, long* date) {
  std::string cdat = st.Begin_Date.substr(0, 8);
  char inchar = 'Y';

  std::printf(
      "\n Do you wish to view station history entries for a specific date? "
      "[Y/N] ");
  std::printf("Y\b");
  const std::string yn = read_answer();
  // A served keyword goes straight to the search menu, without a filter.
  if (get_help(st, yn, "DATE_HIS_HELP")) return false;
  if (!yn.empty()) inchar = yn[0];
  if (inchar != 'Y' && inchar != 'y') return false;

  for (;;) {
    const std::string answer = ask_with_topic(
        st,
        [&] {
          std::printf("\n What is the date? YYYYMMDD [%s]\b\b\b\b\b\b\b\b\b",
                      cdat.c_str());
        },
        "DATES_STAT");
    if (!answer.empty() && answer.size() != 8) {
      std::printf(" ERROR - date string must have 8 digits\n");
      std::putchar(kBell);
      cdat = st.Begin_Date.substr(0, 8);
      continue;
    }
    if (!answer.empty()) cdat = answer;
    if (cdat.size() < 8) cdat.resize(8, ' ');  // never shorter than 8 here
    *date = leading_number(cdat).value;
    const long year = leading_number(cdat.substr(0, 4)).value;
    const long month = leading_number(cdat.substr(4, 2)).value;
    const long day = leading_number(cdat.substr(6, 2)).value;
    if (year > 1945 && year <= 4600 && month >= 1 && month <= 12 &&
        day >= 1 && day <= 31)
      return true;
    std::printf(" ERROR - date out of range\n");
    std::putchar(kBell);
  }
}

struct SearchKind {
  const char* prompt;
  const char* again_prompt;
};

const SearchKind kSearchKinds[5] = {
    {"\n  Enter the three letter (upper case) STATION identifier: ",
     "\n   Three Letter ID:  another search? [Y/N] N\b"},
    {"  Enter the two letter (upper case) STATE identifier: ",
     "\n   Two Letter State:  another search? [Y/N] N\b"},
    {"  Enter the two letter (upper case) COUNTRY identifier: ",
     "\n   Two Letter Country:  another search? [Y/N] N\b"},
    {"  Enter the five digit WBAN station identifier: ",
     "\n   Five Digit WBAN id:  another search? [Y/N] N\b"},
    {"  Enter the five digit WMO station identifier: ",
     "\n   Five Digit WMO id:  another search? [Y/N] N\b"},
};

// The search key of one answer. An answer without a word (text kinds) or
// without a number (number kinds) has no key and matches nothing.
struct SearchKey {
  bool present = false;
  std::string text;
  long number = 0;
};

SearchKey search_key(short view, const std::string& answer) {
  SearchKey key;
  if (view <= 2) {
    key.text = first_word(answer);
    key.present = !key.text.empty();
  } else {
    const LeadingNumber n = leading_number(answer);
    key.present = n.found && !n.overflow;
    key.number = n.value;
  }
  return key;
}

// The text of a fixed-size catalogue field (terminated or not).
template <size_t N>
std::string field_text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

bool entry_matches(const STATREC& e, short view, const SearchKey& key) {
  if (!key.present) return false;
  switch (view) {
    case 0:
      return key.text == field_text(e.init);
    case 1:
      return key.text == field_text(e.state);
    case 2:
      return key.text == field_text(e.country);
    case 3:
      return key.number == e.wban;
    default:
      return key.number == e.wmo;
  }
}

bool passes_date(const STATREC& e, bool select_date, long date) {
  return !select_date || (e.bdate <= date && date <= e.edate);
}

// The search menu; returns the chosen kind (0..5).
short ask_search_kind(DialogueState& st, short view) {
  for (;;) {
    const std::string answer = ask_with_topic(
        st,
        [&] {
          std::puts("\n\tHow do you wish to search the station history file?");
          std::puts("\t\t0  -  by 3 letter initials ");
          std::puts("\t\t1  -  by 2 letter state id ");
          std::puts("\t\t2  -  by 2 letter country abbreviation");
          std::puts("\t\t3  -  by WBAN station number");
          std::puts("\t\t4  -  by WMO station number");
          std::puts("\t\t5  -  view all station entries");
          std::printf("\tYour choice: [%d]\b\b", view);
        },
        "VIEW_STAT_HELP");
    const LeadingNumber n = leading_number(answer);
    bool in_range = !n.overflow;
    if (n.found && !n.overflow) {
      if (n.value < -32768 || n.value > 32767)
        in_range = false;
      else
        view = static_cast<short>(n.value);
    }
    if (in_range && view >= 0 && view <= 5) return view;
    std::printf("\n ERROR: value out of range - please choose again\n");
    std::putchar(kBell);
  }
}

void run_searches(DialogueState& st, short view, bool select_date, long date) {
  if (view == 5) {
    long line_count = 0;
    short header = 0;
    for (short i = 0; i < st.Stn_His_Num; ++i)
      if (passes_date(st.Stn_His[i], select_date, date))
        write_station_entry(st, i, &line_count, &header);
    write_header(header, select_date ? 1 : 0, date);
    return;
  }
  const SearchKind& kind = kSearchKinds[view];
  for (;;) {
    long line_count = 0;
    short header = 0;
    std::printf("%s", kind.prompt);
    const std::string answer = read_answer();
    // The search runs with the answer whatever the keyword did.
    get_help(st, answer, "VIEW_STAT_HELP");
    const SearchKey key = search_key(view, answer);
    for (short i = 0; i < st.Stn_His_Num; ++i)
      if (entry_matches(st.Stn_His[i], view, key) &&
          passes_date(st.Stn_His[i], select_date, date))
        write_station_entry(st, i, &line_count, &header);
    write_header(header, select_date ? 1 : 0, date);

    std::printf("%s", kind.again_prompt);
    if (!answer_is_yes(read_answer(), 'N')) return;
  }
}

// The closing menu; returns true when the user leaves the browser.
bool closing_menu_exits(DialogueState& st) {
  for (;;) {
    const std::string answer = ask_with_topic(
        st,
        [] {
          std::puts("\n  Enter <return> for another search category");
          std::puts("  Enter HELP for an explanation of the column headings ");
          std::puts("  Enter EXIT to leave the station file help");
          std::printf("\tYour choice: ");
        },
        "VIEW_SCREEN_HELP");
    if (answer == "EXIT" || answer == "exit") return true;
    if (answer.empty()) return false;
  }
}

}  // namespace

short get_help(DialogueState& st, const std::string& inbuf,
               const char* file_loc) {
  if (inbuf == "HELP" || inbuf == "help") {
    const std::string help_loc = first_word(file_loc ? file_loc : "");
    if (help_loc.compare(0, 16, "SOFTWARE_LOCATIO") == 0) {
      write_usage_text();
      return 1;
    }
    show_help_section(st, help_loc);
    return 1;
  }
  if (inbuf == "STAT" || inbuf == "stat") {
    station_his_help(st);
    return 1;
  }
  return 0;
}

void station_his_help(DialogueState& st) {
  short view = 0;
  std::puts(kHyphens79.c_str());
  std::puts("\t\tEntering Station Identification HELP\t");
  std::puts("\t\t************************************\t\n");
  std::puts("\tThere are over 1000 station entries in the station history file");

  long date = 0;
  const bool select_date = ask_filter_date(st, &date);

  for (;;) {
    view = ask_search_kind(st, view);
    run_searches(st, view, select_date, date);
    if (closing_menu_exits(st)) {
      std::puts(kHyphens79.c_str());
      return;
    }
  }
}

void write_station_entry(DialogueState& st, short i, long* line_count,
                         short* header) {
  const STATREC& e = st.Stn_His[i];
  if (*header == 0) {
    std::puts(kAsterisks79.c_str());
    std::puts(
        " INIT   WBAN    WMO    LAT   LONG   ELEV    NAME           ST  CY   "
        "BYR    EYR");
    std::puts(kHyphens79.c_str());
    *header = 1;
  }
  const std::string name(e.name, strnlen(e.name, 16));
  const std::string init = field_text(e.init);
  const std::string state = field_text(e.state);
  const std::string country = field_text(e.country);
  std::printf("%4s %7ld %7ld %6.2f %6.2f %5d %16s %3s %3s %6ld %6ld\n",
              init.c_str(), e.wban, e.wmo, static_cast<double>(e.lat),
              static_cast<double>(e.lon), e.elev, name.c_str(), state.c_str(),
              country.c_str(), e.bdate, e.edate);
  if (*line_count > st.Max_Lines - 4) {
    std::printf(" Press <enter> to continue");
    read_answer();
    *line_count = 0;
  } else {
    ++*line_count;
  }
}

void write_header(short header, short select_date, long date) {
  std::puts(kAsterisks79.c_str());
  if (header == 1) {
    if (select_date == 1)
      std::printf("\t\t\tStation History for %ld \n\n", date);
    std::puts(
        "  WARNING: These station history entries contain the best "
        "information");
    std::puts(
        "   currently available, however, they may not be completely "
        "accurate. \n");
  } else {
    std::puts("\n\t\tNo station entry was found for your search\n");
    std::puts(kAsterisks79.c_str());
  }
}
