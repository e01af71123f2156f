// The plot hand-off: closing the plot data file, the instruction texts, the
// plotter, the display and the PostScript question, in that order.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/output.h"
#include "rawinq/output_session.h"
#include "rawinq/program_exit.h"
#include "run_in_child.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kBlock[] =
    "    254     12      1      JAN    1995\n"
    "      1  23062  72469  39.77N104.87W  1611   1115\n"
    "      2   3000   2500   2010      9      7      1\n"
    "      3           DEN                   52     ms\n"
    "      9   8370   1611     52    -23    350     50\n"
    "      5   8000   2050    -10    -45  99999  99999\n"
    "      4   7000   3012    -41    -90    270    120\n"
    "      4   5000   5600   -180   -260    260    250\n"
    "      4   3000   9200   -440   -520    250    400\n";

const std::string kRule(75, '-');
const std::string kQuestion =
    "Do you want to save the plot to a postscript file? [Y/N] [N]\b\b";
const std::string kDisplay = "gmeta -d X11 -geometry 700X700";
const std::string kSave = "-d ps.mono gmeta -outfile sounding.ps";

// What comes before the question: the box, then the display command (the
// plotter writes nothing when it succeeds).
std::string before_question(const std::string& display_output) {
  return kRule + "\n" +
         "                 SKEWT PLOT WINDOW INSTRUCTIONS          \n\n" +
         "    Click once on the new window for a display\n" +
         "    Click again to close the new window\n\n" + display_output;
}

// Child exit codes.
constexpr int kReturnedClosed = 0;    // returned, plot data file closed
constexpr int kReturnedOpen = 99;     // returned, plot data file open
constexpr int kEnded = 100;           // + status of end_program
constexpr int kEndOfInput = 200;      // standard input ended

struct Handoff {
  int code = -1;
  std::string out, err;
  std::string calls;  // the stand-in translator's record, one call a line
};

struct HandoffSetup {
  bool stand_in = true;       // a recording ctrans first on PATH
  long file_size_limit = 0;   // bytes a file may hold, 0: no limit
  std::string help_text;      // raobhelp.txt contents, if any
};

// Runs the plot hand-off in a child process with the working directory
// dir/work and the given answers on standard input: the dialogue's output
// session of the plot writes kBlock to the plot data file (under the
// file-size limit when one is set), closes it and hands it off. The child's exit code tells how it ended.
Handoff run_handoff(const TempDir& dir, const std::string& answers,
                    const HandoffSetup& setup = HandoffSetup()) {
  make_dir(dir / "work");
  if (setup.stand_in) {
    make_dir(dir / "bin");
    write_file(dir / "bin/ctrans",
               "#!/bin/sh\n"
               "if [ -s gmeta ]; then m=gmeta; else m=no-gmeta; fi\n"
               "printf '%s [%s]\\n' \"$*\" \"$m\" >> '" + (dir / "calls") + "'\n"
               "printf '<ctrans %s>\\n' \"$*\"\n");
    chmod((dir / "bin/ctrans").c_str(), 0755);
  }
  if (!setup.help_text.empty()) write_file(dir / "raobhelp.txt", setup.help_text);
  const ChildRun r = run_child_for_status(answers, [&] {
    if (chdir((dir / "work").c_str()) != 0) return 90;
    if (setup.stand_in) {
      const char* path = std::getenv("PATH");
      const std::string p = (dir / "bin") + ":" + (path ? path : "/usr/bin:/bin");
      setenv("PATH", p.c_str(), 1);
    } else {
      unsetenv("DISPLAY");  // the window cannot open; the run goes on
    }
    if (!setup.help_text.empty())
      dialogue_state().helpfile =
          FileHandle(std::fopen((dir / "raobhelp.txt").c_str(), "r"));
    if (setup.file_size_limit > 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(setup.file_size_limit),
                         static_cast<rlim_t>(setup.file_size_limit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 92;
    }
    std::string pname;
    OutputSession session(dialogue_session_config(
        dialogue_state(), format_by_choice(3), 1, pname, false));
    try {
      session.open_unit(1995010112, 1995010112, &dialogue_state().Stn_His[0],
                        false);
      session.put_lines(kBlock, 1);
      session.close_unit();
      plot_skewt_data(dialogue_state());
      return session.unit_open() ? kReturnedOpen : kReturnedClosed;
    } catch (const ProgramExit& e) {
      return session.unit_open()
                 ? kReturnedOpen
                 : (e.end_of_input ? kEndOfInput : kEnded) + e.status;
    }
  });
  Handoff h;
  h.code = r.status;
  h.out = r.out;
  h.err = r.err;
  if (file_exists(dir / "calls")) h.calls = read_file(dir / "calls");
  return h;
}

TEST(SkewtHandoff, PlotsDisplaysAndSavesOnlyWhenTheAnswerBeginsWithY) {
  struct Case {
    std::string answer;
    bool save;
  };
  for (const Case& c : {Case{"", false}, Case{"no", false}, Case{"x", false},
                        Case{"Y", true}, Case{"yes", true}}) {
    TempDir dir;
    const Handoff h = run_handoff(dir, c.answer + "\n");
    std::string expected = before_question("<ctrans " + kDisplay + ">\n") +
                           kQuestion;
    std::string calls = kDisplay + " [gmeta]\n";
    if (c.save) {
      expected += " writing file sounding.ps\n<ctrans " + kSave + ">\n";
      calls += kSave + " [gmeta]\n";
    }
    expected += kRule + "\n";
    EXPECT_EQ(h.code, kReturnedClosed) << c.answer;
    EXPECT_EQ(h.out, expected) << c.answer;
    // The plotter drew the closed plot data file before the display ran.
    EXPECT_EQ(h.calls, calls) << c.answer;
    EXPECT_EQ(h.err, "") << c.answer;
    EXPECT_EQ(read_file(dir / "work/raob_soundings.zonder"), kBlock);
  }
}

TEST(SkewtHandoff, EndOfInputAtTheQuestionEndsWithTheFileClosed) {
  TempDir dir;
  const Handoff h = run_handoff(dir, "");
  EXPECT_EQ(h.code, kEndOfInput);
  EXPECT_EQ(h.out, before_question("<ctrans " + kDisplay + ">\n") + kQuestion);
  EXPECT_EQ(h.calls, kDisplay + " [gmeta]\n");
}

TEST(SkewtHandoff, AFailedCloseOfThePlotDataFileIsAWriteError) {
  // The block is still in the stream's buffer; writing it out fails.
  TempDir dir;
  HandoffSetup s;
  s.file_size_limit = 64;
  const Handoff h = run_handoff(dir, "Y\n", s);
  EXPECT_EQ(h.code, kEnded + 1);
  EXPECT_EQ(h.err, "Write error: File too large\n");
  EXPECT_EQ(h.out, "");
  EXPECT_EQ(h.calls, "");
}

TEST(SkewtHandoff, HelpAtTheQuestionShowsTheHelpAndAsksAgain) {
  const std::string help =
      "STATION_FILE\n"
      "  Answer Y to keep the diagram as sounding.ps.\n"
      "END.\n";
  {
    // The help viewer is built elsewhere; without it there is nothing to
    // check here.
    TempDir probe;
    write_file(probe / "raobhelp.txt", help);
    const ChildRun r = run_child_for_status("", [&] {
      dialogue_state().helpfile =
          FileHandle(std::fopen((probe / "raobhelp.txt").c_str(), "r"));
      return get_help(dialogue_state(), "HELP", "STATION_FILE") == 1 ? 1 : 0;
    });
    if (r.status != 1)
      GTEST_SKIP() << "get_help does not serve HELP in this build";
  }
  TempDir dir;
  HandoffSetup s;
  s.help_text = help;
  const Handoff h = run_handoff(dir, "HELP\ny\n", s);
  EXPECT_EQ(h.code, kReturnedClosed);
  EXPECT_EQ(h.out, before_question("<ctrans " + kDisplay + ">\n") + kQuestion +
                       "\n  Answer Y to keep the diagram as sounding.ps.\n\n" +
                       kQuestion + " writing file sounding.ps\n<ctrans " +
                       kSave + ">\n" + kRule + "\n");
  EXPECT_EQ(h.calls, kDisplay + " [gmeta]\n" + kSave + " [gmeta]\n");
}

TEST(SkewtHandoff, TheRealTranslatorSavesTheDiagramAsPostScript) {
  TempDir dir;
  HandoffSetup s;
  s.stand_in = false;
  const Handoff h = run_handoff(dir, "y\n", s);
  EXPECT_EQ(h.code, kReturnedClosed) << h.err;
  EXPECT_EQ(h.out, before_question("") + kQuestion +
                       " writing file sounding.ps\n" + kRule + "\n");
  const std::string ps_path = dir / "work/sounding.ps";
  ASSERT_TRUE(file_exists(ps_path)) << h.err;
  const std::string ps = read_file(ps_path);
  EXPECT_EQ(ps.rfind("%!PS", 0), 0u);
  EXPECT_GT(ps.size(), 50000u);

  // What is drawn covers most of a page: the frame, its labels, the title.
  const RunResult bbox = run_program(
      "/bin/sh", {"-c", "gs -q -dNOPAUSE -dBATCH -sDEVICE=bbox '" + ps_path + "'"},
      "");
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  const size_t at = bbox.err.find("%%BoundingBox:");
  ASSERT_NE(at, std::string::npos) << bbox.err;
  ASSERT_EQ(std::sscanf(bbox.err.c_str() + at, "%%%%BoundingBox: %d %d %d %d",
                        &x0, &y0, &x1, &y1), 4);
  EXPECT_GT(x1 - x0, 400);
  EXPECT_GT(y1 - y0, 400);

  const std::string png = dir / "sounding.png";
  const RunResult render = run_program(
      "/bin/sh", {"-c", "gs -q -dNOPAUSE -dBATCH -sDEVICE=pnggray -r50 "
                        "-sOutputFile='" + png + "' '" + ps_path + "'"}, "");
  EXPECT_EQ(render.status, 0) << render.err;
  ASSERT_TRUE(file_exists(png));
  EXPECT_GT(read_file(png).size(), 5000u);
}

}  // namespace
