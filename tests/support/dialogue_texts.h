// The texts the programs write at start-up and in the station-history
// browser, put together from the system's own strings, and small catalogues
// for the tests.
#pragma once

#include <cstdio>
#include <string>

namespace dialogue_texts {

inline const std::string kClear = "\033[2J";
inline const std::string kBell = "\a";
inline const std::string kHelpPagePrompt =
    " Press <enter> to continue" + std::string(25, '\b');

inline const char kSmallStat2000[] =
    "5\n"
    "DEN  23062 72469  39.77  104.87  1611 19480101 19891231 "
    "DENVER/STAPLETON          CO US\n"
    "DEN  23062 72469  39.77  104.87  1611 19900101 19951231 "
    "DENVER/STAPLETON          CO US\n"
    "DEN  23062 72469  39.77  104.87  1611 19960101 20991231 "
    "DENVER                    CO US\n"
    "PIT  94823 72520  40.53   80.23   360 19480101 20991231 "
    "PITTSBURGH                PA US\n"
    "ABQ  23050 72365  35.04  106.62  1619 19480101 20991231 "
    "ALBUQUERQUE               NM US\n";

inline const char kSmallInternational[] =
    "2\n"
    "LWK  03005  60.13N   1.18W    82 19480101 20991231 "
    "LERWICK                       GB\n"
    "MUC  10868  48.25N  11.55E   484 19480101 20991231 "
    "MUENCHEN                      DE\n";

inline void remove_file(const std::string& path) { std::remove(path.c_str()); }

inline std::string banner() {
  return "\t\t\tWelcome to the TAVO/ZIR Rawinsonde Database \n"
         "\t\t\t\tAccess System - Version 4.1\n\n"
         "A joint development by:\n\n"
         "\tQuellmark (PLOV)\n"
         "\t  - Data Archival and Extensive Quality Control Procedures\n"
         "\tBrevanor (BRVN)\n"
         "\t  - CDROM/DVD Archive and Access Software Development\n\n";
}

inline std::string welcome_prompt() {
  return "\n\tEnter HELP for general information about this database"
         "\n\tEnter <return> to access the rawinsonde database"
         "\n\tYour choice:  ";
}

// What a program writes first: the cleared screen, the banner and the
// welcome prompt.
inline std::string opening() { return kClear + banner() + welcome_prompt(); }

inline std::string entry_texts() {
  return "\n\n\t\t\t\tEntering Rawinsonde Database\n"
         "\t\t\t\t****************************\n\n"
         "    At any time: \n"
         "   \tEnter HELP for online help.\n"
         "   \tEnter STAT for station history help. \n\n"
         "    At all times: \n"
         "    \tUse either ALL uppercase or ALL lowercase letters\n"
         "\t\t    when required unless directed otherwise.\n\n\n";
}

inline std::string note(const std::string& dir, int first, int last) {
  return "    NOTE: Raob data from the directory: " + dir + "\n" +
         "\t    is available for the years:  " + std::to_string(first) +
         " thru " + std::to_string(last) + "\n\n";
}

inline std::string no_data_dialogue(const std::string& dir) {
  return " ERROR:  No raob data could be found in the directory: " + dir +
         "\n\n" + kBell +
         "\tEnter HELP for more information \n"
         "\tEnter <return> to exit the database\n"
         "    Your choice? ";
}

inline std::string missing_help_message(const std::string& dir) {
  return " ERROR: the file raobhelp.txt was not found in: " + dir + " \n " +
         kBell +
         "\n  Enter HELP for more information \n"
         "        <return> to exit this process\n"
         "\n  Your choice?  ";
}

inline std::string missing_stat2000_message(const std::string& dir) {
  return " ERROR: the station file: stat2000.txt was not in: " + dir + " \n " +
         kBell + "   Type HELP for more information \n";
}

inline std::string usage_text(bool lists_international) {
  return std::string(80, '-') + "\n" +
         "  In order to access the raob database, two command line input "
         "parameters\n"
         "  are required:\n"
         "\tparameter #1:\tlocation (directory) of the database files\n"
         "\tparameter #2:\tlocation (directory) of the support files:\n"
         "\t                  -- raobhelp.txt\n"
         "\t                  -- stat2000.txt\n" +
         (lists_international
              ? "\t                  -- international_sites.txt\n"
              : "") +
         "\n  NOTE: default paths are the current directory\n\n" +
         std::string(79, '-') + "\n";
}

// ---- station-history browser -------------------------------------------

inline std::string browser_intro() {
  return std::string(79, '-') + "\n" +
         "\t\tEntering Station Identification HELP\t\n"
         "\t\t************************************\t\n\n"
         "\tThere are over 1000 station entries in the station history file\n";
}

inline std::string date_question() {
  return "\n Do you wish to view station history entries for a specific date? "
         "[Y/N] Y\b";
}

inline std::string date_prompt(const std::string& cdat) {
  return "\n What is the date? YYYYMMDD [" + cdat + "]\b\b\b\b\b\b\b\b\b";
}

inline std::string search_menu(int view) {
  return "\n\tHow do you wish to search the station history file?\n"
         "\t\t0  -  by 3 letter initials \n"
         "\t\t1  -  by 2 letter state id \n"
         "\t\t2  -  by 2 letter country abbreviation\n"
         "\t\t3  -  by WBAN station number\n"
         "\t\t4  -  by WMO station number\n"
         "\t\t5  -  view all station entries\n"
         "\tYour choice: [" +
         std::to_string(view) + "]\b\b";
}

inline const char* const kSearchPrompts[5] = {
    "\n  Enter the three letter (upper case) STATION identifier: ",
    "  Enter the two letter (upper case) STATE identifier: ",
    "  Enter the two letter (upper case) COUNTRY identifier: ",
    "  Enter the five digit WBAN station identifier: ",
    "  Enter the five digit WMO station identifier: ",
};
inline const char* const kAgainPrompts[5] = {
    "\n   Three Letter ID:  another search? [Y/N] N\b",
    "\n   Two Letter State:  another search? [Y/N] N\b",
    "\n   Two Letter Country:  another search? [Y/N] N\b",
    "\n   Five Digit WBAN id:  another search? [Y/N] N\b",
    "\n   Five Digit WMO id:  another search? [Y/N] N\b",
};

inline std::string row_header() {
  return std::string(79, '*') + "\n" +
         " INIT   WBAN    WMO    LAT   LONG   ELEV    NAME           ST  CY"
         "   BYR    EYR\n" +
         std::string(79, '-') + "\n";
}

inline std::string row(const char* init, long wban, long wmo, double lat,
                       double lon, int elev, const char* name16,
                       const char* state, const char* country, long bdate,
                       long edate) {
  char buf[200];
  std::snprintf(
      buf, sizeof buf, "%4s %7ld %7ld %6.2f %6.2f %5d %16s %3s %3s %6ld %6ld\n",
      init, wban, wmo, lat, lon, elev, name16, state, country, bdate, edate);
  return buf;
}

inline std::string found_block(bool with_date, long date) {
  std::string s = std::string(79, '*') + "\n";
  if (with_date)
    s += "\t\t\tStation History for " + std::to_string(date) + " \n\n";
  return s +
         "  WARNING: These station history entries contain the best "
         "information\n"
         "   currently available, however, they may not be completely "
         "accurate. \n\n";
}

inline std::string no_match_block() {
  return std::string(79, '*') + "\n" +
         "\n\t\tNo station entry was found for your search\n\n" +
         std::string(79, '*') + "\n";
}

inline std::string closing_menu() {
  return "\n  Enter <return> for another search category\n"
         "  Enter HELP for an explanation of the column headings \n"
         "  Enter EXIT to leave the station file help\n"
         "\tYour choice: ";
}

inline std::string out_of_range() {
  return "\n ERROR: value out of range - please choose again\n" + kBell;
}

}  // namespace dialogue_texts
