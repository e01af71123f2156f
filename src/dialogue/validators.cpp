// Validators of typed answers and the scan for years with data.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/edition.h"
#include "rawinq/program_exit.h"
#include "rawinq/terminal.h"

namespace {

constexpr char kBell = 7;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Every character must be a decimal digit; the message (which takes the
// whole answer) is written once, at the first character that is not.
short all_digits(const std::string& inbuf, const char* message) {
  for (char c : inbuf) {
    if (!is_digit(c)) {
      std::printf(message, inbuf.c_str());
      std::putchar(kBell);
      return 0;
    }
  }
  return 1;
}

}  // namespace

short valid_date(const std::string& inbuf) {
  return all_digits(
      inbuf, "\n\tERROR:  \"%s\" is not a valid date.  Enter all ten digits.\n");
}

short valid_station(const std::string& inbuf) {
  return all_digits(inbuf,
                    "\n\tERROR:  \"%s\" is not a valid station number.  "
                    "Enter all the digits.\n\n");
}

short valid_float(const std::string& inbuf) {
  bool has_point = false;
  for (char c : inbuf) {
    if (c == '.') {
      has_point = true;
    } else if (!is_digit(c) && c != '-') {
      std::printf(
          "\n\tERROR:  \"%s\" is not a valid lat/long.  Enter all the "
          "digits.\n\n",
          inbuf.c_str());
      std::putchar(kBell);
      return 0;
    }
  }
  if (!inbuf.empty() && !has_point) {
    std::puts("\n\tERROR:  a decimal point is required for this number.\n");
    std::putchar(kBell);
    return 0;
  }
  return 1;
}

void avail_years(DialogueState& st, short* bbyr, short* eeyr) {
  *eeyr = -1;
  const std::string prefixes[3] = {st.Data_Loc + "raob", st.Data_Loc + "RAOB",
                                   st.Data_Loc + "Raob"};
  const std::string shown =
      st.Data_Loc.empty() ? std::string("<current directory>") : st.Data_Loc;

  for (int y = 1900; y <= 2099; ++y) {
    short& has_data = st.Years[y - 1900];
    has_data = 0;
    const std::string year_text = edition::year_dir_text(y);
    for (const std::string& prefix : prefixes) {
      if (access((prefix + year_text).c_str(), F_OK) == 0) {
        has_data = 1;
        break;
      }
    }
    if (!has_data) continue;
    if (*eeyr < 0) {
      std::printf("    NOTE: Raob data from the directory: %s\n", shown.c_str());
      std::printf("\t    is available for the years:  %d thru ", y);
      *bbyr = static_cast<short>(y);
    }
    *eeyr = static_cast<short>(y);
  }

  if (*eeyr >= 0) {
    std::printf("%d\n\n", *eeyr);
    return;
  }

  std::string answer;
  do {
    std::printf(" ERROR:  No raob data could be found in the directory: %s\n\n",
                shown.c_str());
    std::putchar(kBell);
    std::puts("\tEnter HELP for more information ");
    std::puts("\tEnter <return> to exit the database");
    std::printf("    Your choice? ");
    answer = read_answer();
  } while (get_help(st, answer, "NO_FILES_AVAILABLE"));
  std::puts("\n\tExiting raob database ...");
  end_program(0);
}
