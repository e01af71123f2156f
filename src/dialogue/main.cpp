// Start-up and the request cycle.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/archive.h"
#include "rawinq/edition.h"
#include "rawinq/installation.h"
#include "rawinq/interruption.h"
#include "rawinq/output.h"
#include "rawinq/program_exit.h"
#include "rawinq/regular_file.h"
#include "rawinq/terminal.h"

namespace {

void append_slash(std::string& dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
}

// The support directory as the messages name it.
std::string shown_dir(const std::string& dir) {
  return dir.empty() ? "<current directory>" : dir;
}

void open_help_file(DialogueState& st, const std::string& support_dir) {
  const std::string path = support_dir + "raobhelp.txt";
  OpenedFile opened = open_regular_file(path);
  st.helpfile = std::move(opened.file);
  if (st.helpfile) return;
  // A file that is there but cannot be read is not said to be missing.
  if (opened.missing())
    std::printf(" ERROR: the file raobhelp.txt was not found in: %s \n ",
                shown_dir(support_dir).c_str());
  else
    std::printf(" ERROR: the file raobhelp.txt could not be opened in: %s (%s) \n ",
                shown_dir(support_dir).c_str(), opened.reason().c_str());
  std::putchar(7);
  std::puts("\n  Enter HELP for more information ");
  std::puts("        <return> to exit this process");
  std::printf("\n  Your choice?  ");
  get_help(st, read_answer(), "SOFTWARE_LOCATION");
  end_program(0);
}

void write_banner() {
  std::puts("\t\t\tWelcome to the TAVO/ZIR Rawinsonde Database ");
  std::puts("\t\t\t\tAccess System - Version 4.1\n");
  std::puts("A joint development by:\n");
  std::puts("\tQuellmark (PLOV)");
  std::puts("\t  - Data Archival and Extensive Quality Control Procedures");
  std::puts("\tBrevanor (BRVN)");
  std::puts("\t  - CDROM/DVD Archive and Access Software Development\n");
}

void welcome_prompt(DialogueState& st) {
  std::string answer;
  do {
    std::printf("\n\tEnter HELP for general information about this database");
    std::printf("\n\tEnter <return> to access the rawinsonde database");
    std::printf("\n\tYour choice:  ");
    answer = read_answer();
  } while (get_help(st, answer, "GENERAL_INFO"));
}

void write_entry_texts() {
  std::puts("\n\n\t\t\t\tEntering Rawinsonde Database");
  std::puts("\t\t\t\t****************************\n");
  std::puts("    At any time: ");
  std::puts("   \tEnter HELP for online help.");
  std::puts("   \tEnter STAT for station history help. \n");
  std::puts("    At all times: ");
  std::puts("    \tUse either ALL uppercase or ALL lowercase letters");
  std::puts("\t\t    when required unless directed otherwise.\n\n");
}

// A Y/N closing question with default 'N'.
bool ask_yes_no(DialogueState& st, const char* prompt, const char* topic) {
  std::string answer;
  do {
    std::printf("%s", prompt);
    answer = read_answer();
  } while (get_help(st, answer, topic));
  return answer_is_yes(answer, 'N');
}

long run_driver(DialogueState& st, RequestSettings& s) {
  if (st.Sort_Type == 0)
    return time_series(st, s.bdat, s.edat, s.stim, s.ltype, s.wformat,
                       s.oformat, s.timesort, s.outloc, s.pname);
  return station_series(st, s.bdat, s.edat, s.stim, s.ltype, s.wformat,
                        s.oformat, s.statsort, s.outloc, s.pname);
}

const char* program_name() {
  return edition::kNorthAmerican ? "rawinq_na" : "rawinq";
}

void write_usage() {
  const char* name = program_name();
  std::printf(
      "usage: %s [DATABASE_DIR [SUPPORT_DIR [PAGE_LENGTH]]]\n"
      "       %s --help | --version\n"
      "\n"
      "Extracts upper-air soundings from the archive in DATABASE_DIR through\n"
      "a dialogue of questions, each answered by one line of standard input.\n"
      "\n"
      "  DATABASE_DIR  the archive: one directory per year (%s)\n"
      "                holding one file per station and year\n"
      "  SUPPORT_DIR   the directory of the support files, looked up there by\n"
      "                name: raobhelp.txt (help texts) and the station\n"
      "                catalogue%s;\n"
      "                with DATABASE_DIR alone they are looked up in the\n"
      "                working directory, with no argument in \"[]/\"\n"
      "  PAGE_LENGTH   lines per screen page, 20 by default (-1 also traces\n"
      "                every attempt to open a database file)\n",
      name, name,
      edition::kNorthAmerican ? "Raob95, Raob2003, ..."
                              : "Raob1995, Raob2003, ...",
      edition::kReadsInternationalSites
          ? "s stat2000.txt and international_sites.txt"
          : " stat2000.txt");
  const std::string data = installed_data_dir(program_directory());
  if (!data.empty()) {
    std::printf("\nInstalled support files:  %s/support\n"
                "Installed sample archive: %s/sample-archive\n",
                data.c_str(), data.c_str());
  }
  std::printf("\nThe manual page %s(1) describes the dialogue.\n", name);
}

int run(int argc, char** argv) {
  // --help and --version are only options when given alone; any other
  // command line keeps its meaning.
  if (argc == 2 && std::string(argv[1]) == "--help") {
    write_usage();
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("%s %s\n", program_name(), program_version());
    return 0;
  }
  std::printf("\033[2J");

  // The dialogue's state for the whole run (some 200 kB: on the heap).
  const std::unique_ptr<DialogueState> state =
      std::make_unique<DialogueState>();
  DialogueState& st = *state;
  std::string support_dir;
  if (argc == 4 || argc == 3) {
    st.Data_Loc = argv[1];
    support_dir = argv[2];
    if (argc == 4) st.Max_Lines = std::atoi(argv[3]);
  } else if (argc == 2) {
    st.Data_Loc = argv[1];
  } else {
    st.Data_Loc.clear();
    support_dir = "[]";
  }
  append_slash(st.Data_Loc);
  append_slash(support_dir);

  open_help_file(st, support_dir);
  load_catalogue(st, support_dir);

  st.User_Stations[0][0] = 72469;
  st.User_Stations[0][1] = 23062;

  write_banner();
  welcome_prompt(st);
  write_entry_texts();

  RequestSettings s;
  s.first = 1;
  s.pname.clear();
  avail_years(st, &s.bbyr, &s.eeyr);
  st.Begin_Date = s.bbyr == 1993 ? std::string("1993081300")
                                 : std::to_string(s.bbyr) + "010100";

  for (;;) {
    ask_request_questions(st, s);
    get_stations(st, s.blat, s.elat, s.blong, s.elong, s.access, s.bdate / 100,
                 s.edate / 100);
    for (;;) {
      ask_output_questions(st, s);
      s.nsound = 0;
      s.nsound = run_driver(st, s);
      if (s.nsound < 1) break;
      if (!ask_yes_no(
              st,
              "\n Do you wish to continue accessing this data? [Y/N] [N]\b\b",
              "REPEAT_ACCESS"))
        break;
    }
    const bool more =
        ask_yes_no(st, " Would you like to request more data? [Y/N] [N]\b\b",
                   "ANOTHER_REQUEST");
    s.first = 0;
    if (!more) break;
  }
  st.helpfile.close();
  // The operating system keeps the low 8 bits of the status.
  return static_cast<int>(s.nsound & 0xFF);
}

}  // namespace

// A reader of standard output that goes away (a pipe into a command that
// has ended) must not end the program before its output files are whole
// and closed: the signal is caught by a handler that does nothing, so the
// write fails with EPIPE and is reported as a write error. A handler, not
// SIG_IGN, so that the outside programs start with the default.
extern "C" void on_broken_pipe(int) {}

int rawinq_main(int argc, char** argv) {
  struct sigaction broken_pipe {};
  broken_pipe.sa_handler = on_broken_pipe;
  sigemptyset(&broken_pipe.sa_mask);
  broken_pipe.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &broken_pipe, nullptr);
  catch_interruptions();

  int status;
  bool ended_early = false;
  try {
    status = run(argc, argv);
  } catch (const ProgramExit& e) {
    status = e.status;
    ended_early = true;
    // The files of a run that ended normally (at end of input, or by an
    // answer) are kept; those of a failed or interrupted run are not
    // complete and are removed. A file that cannot be closed completely is
    // a write error.
    if (close_output_at_exit() != 0 && status == 0) status = 1;
    if (e.end_of_input) std::putchar('\n');
  } catch (const std::bad_alloc&) {
    status = 1;
    ended_early = true;
    close_output_at_exit();
    std::fflush(stdout);
    std::fputs("Out of memory\n", stderr);
  }
  // Lost terminal output is a write error too: the run did not succeed,
  // whatever it returned otherwise. A run ended by a signal says so by its
  // status alone.
  if (ended_early && interruption_signal() != 0 &&
      status == 128 + interruption_signal()) {
    flush_standard_output();
    return status;
  }
  if (standard_output_failed() && (!ended_early || status == 0)) status = 1;
  return status;
}
