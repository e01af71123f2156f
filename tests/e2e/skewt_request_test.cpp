// A whole request for the skew-T plot: each sounding is written to the plot
// data file, drawn by the plotter, shown and, on request, saved.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "archive_writer.h"
#include "test_support.h"
#include "zir_lines.h"

using namespace testing_support;

namespace {

// The date line of the sounding of 1 January 1995 at the hour.
std::string date_line(int hour) {
  return zir_lines::date_line(hour, 1, "JAN", 1995);
}

archive_writer::Sounding sounding(int hour, long t0) {
  archive_writer::Sounding s;
  s.year = 1995;
  s.month = 1;
  s.day = 1;
  s.hour = hour;
  s.wban = 23062;
  s.levels = {{1, 8370, 1611, t0, t0 - 70, 350, 50},
              {2, 7000, 3012, t0 - 90, t0 - 140, 270, 120},
              {2, 5000, 5600, t0 - 230, t0 - 310, 260, 250},
              {2, 3000, 9200, t0 - 490, t0 - 570, 250, 400},
              {2, 2000, 11900, t0 - 620, t0 - 730, 255, 350},
              {2, 1000, 16300, t0 - 650, t0 - 850, 270, 100}};
  return s;
}

// In both orders; the program's exit status is the count of soundings
// written by the last retrieval, which in station order runs on over the
// plot hand-off's files (every sounding plotted) and in synoptic order
// restarts with each of them.
TEST(SkewtRequest, EachSoundingIsPlottedShownAndSavedOnRequest) {
  const struct {
    const char* sort;
    int status;
  } orders[] = {{"0", 1}, {"1", 2}};
  for (const auto& order : orders) {
    SCOPED_TRACE(order.sort);
    TempDir dir;
    // The sounding of 06 UTC has four levels: it is neither written nor
    // plotted.
    archive_writer::Sounding short_one = sounding(6, 60);
    short_one.levels.resize(4);
    archive_writer::write_station_year(
        dir / "db", 1995, 23062, {sounding(0, 52), short_one, sounding(12, 80)});
    make_dir(dir / "bin");
    make_dir(dir / "work");
    // The translator records what it was asked to do and which sounding the
    // plot data file and the metafile held at that moment.
    write_file(dir / "bin/ctrans",
               "#!/bin/sh\n"
               "if [ -s gmeta ]; then m=gmeta; else m=no-gmeta; fi\n"
               "printf '%s [%s] %s\\n' \"$*\" \"$m\" \"$(head -n 1 "
               "raob_soundings.zonder)\" >> '" + (dir / "calls") + "'\n");
    chmod((dir / "bin/ctrans").c_str(), 0755);

    RunOptions opt;
    opt.cwd = dir / "work";
    opt.extra_env = {"PATH=" + (dir / "bin") + ":/usr/local/bin:/usr/bin:/bin"};
    opt.timeout_seconds = 120;
    // Welcome, dates, all hours, by station number, WMO, no list file, one
    // station, 72469, the plot format, the order; save the first plot
    // only; no more.
    const RunResult r = run_program(
        rawinq_bin(), {dir / "db", source_dir() + "/data/support"},
        std::string("\n1995010100\n1995010112\n0\n0\n0\nN\n1\n72469\n3\n") +
            order.sort + "\nY\nN\nN\nN\n",
        opt);
    EXPECT_EQ(r.status, order.status);

    const std::string rule(75, '-');
    const std::string box =
        rule + "\n                 SKEWT PLOT WINDOW INSTRUCTIONS          \n\n" +
        "    Click once on the new window for a display\n" +
        "    Click again to close the new window\n\n" +
        "Do you want to save the plot to a postscript file? [Y/N] [N]\b\b";
    const size_t first = r.out.find(box + " writing file sounding.ps\n" + rule + "\n");
    ASSERT_NE(first, std::string::npos) << r.out;
    const size_t second = r.out.find(box + rule + "\n", first + box.size());
    ASSERT_NE(second, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(box, second + box.size()), std::string::npos);

    const std::string display = "gmeta -d X11 -geometry 700X700 [gmeta] ";
    const std::string save = "-d ps.mono gmeta -outfile sounding.ps [gmeta] ";
    EXPECT_EQ(
        read_file(dir / "calls"),
        display + date_line(0) + save + date_line(0) + display + date_line(12));
    // The plot data file of the last sounding stays behind.
    const std::string last = read_file(dir / "work/raob_soundings.zonder");
    EXPECT_EQ(last.substr(0, last.find('\n') + 1), date_line(12));
    EXPECT_FALSE(file_exists(dir / "work/1995010100.txt"));
  }
}

}  // namespace
