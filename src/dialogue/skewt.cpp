// The skew-T plot hand-off: the sounding block just written to the plot data
// file is drawn by the plotter into the metafile gmeta, shown in an X11
// window and, on request, saved as PostScript.
#include <cstdio>
#include <string>

#include "dialogue.h"
#include "dialogue_state.h"
#include "rawinq/installation.h"
#include "rawinq/output.h"
#include "rawinq/terminal.h"

namespace {

const char kRule[] =
    "---------------------------------------------------------------------------";

// The plotter's path as the shell reads it: quoted only when it holds
// characters the shell would take apart.
std::string shell_word(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') ||
                      std::string("/._+-").find(c) != std::string::npos;
    if (!safe) plain = false;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') quoted += "'\\''"; else quoted += c;
  }
  return quoted + "'";
}

}  // namespace

void plot_skewt_data(DialogueState& st) {
  std::puts(kRule);
  std::puts("                 SKEWT PLOT WINDOW INSTRUCTIONS          \n");
  std::puts("    Click once on the new window for a display");
  std::puts("    Click again to close the new window\n");

  run_command(shell_word(plotter_path()) + " raob_soundings.zonder");
  run_command("ctrans gmeta -d X11 -geometry 700X700");

  std::string answer;
  do {
    std::printf(
        "Do you want to save the plot to a postscript file? [Y/N] [N]\b\b");
    answer = read_answer();
  } while (get_help(st, answer, "STATION_FILE") == 1);

  if (answer_is_yes(answer, 'N')) {
    std::puts(" writing file sounding.ps");
    run_command("ctrans -d ps.mono gmeta -outfile sounding.ps");
  }
  std::puts(kRule);
}
