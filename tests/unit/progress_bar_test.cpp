// The progress bar's arithmetic and text: the share, the rate, the time
// left, and the date shown, which is always one of the calendar.
#include "rawinq/progress_bar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using progress_bar::Figures;

TEST(ProgressBar, FiguresAndTheirLine) {
  struct Case {
    double done, total;
    long soundings;
    double elapsed;
    int width;
    double share, rate, left;
    const char* line;
  };
  const Case cases[] = {
      // Nothing done yet: no rate, no time left.
      {0, 10, 0, 0, 80, 0, -1, -1, "[....................]   0%"},
      {0, 10, 0, 0.05, 80, 0, -1, -1, "[....................]   0%"},
      // Half done in 10 s: as long again.
      {5, 10, 500, 10, 80, 0.5, 50, 10,
       "[##########..........]  50%  50 soundings/s  0:10 left"},
      // A quarter in 20 minutes: an hour left.
      {1, 4, 3600, 1200, 80, 0.25, 3, 3600,
       "[#####...............]  25%  3 soundings/s  1:00:00 left"},
      // 99.9% is not yet 100%.
      {999, 1000, 10, 10, 80, 0.999, 1, 0.01001,
       "[###################.]  99%  1 soundings/s  0:00 left"},
      // More done than reckoned: all of it, no time left.
      {12, 10, 20, 2, 80, 1, 10, 0,
       "[####################] 100%  10 soundings/s  0:00 left"},
      // No known total (standard input): the rate alone.
      {500, 0, 40, 4, 80, 0, 10, -1, "[....................]   0%  10 soundings/s"},
      // A narrow terminal: the line stops a column before its edge.
      {5, 10, 500, 10, 24, 0.5, 50, 10, "[##########..........] "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Figures f = progress_bar::figures(c.done, c.total, c.soundings, c.elapsed);
    EXPECT_NEAR(f.share, c.share, 1e-9);
    EXPECT_NEAR(f.rate, c.rate, 1e-9);
    EXPECT_NEAR(f.seconds_left, c.left, 1e-4);
    EXPECT_EQ(progress_bar::line(f, "", c.width), c.line);
  }
}

// The dates a walk of the day index reports, in turn; the bar shows the
// last one that is in the calendar.
TEST(ProgressBar, ShowsOnlyRealDates) {
  struct Case {
    long reported;
    bool real;
    const char* shown;
  };
  const Case cases[] = {
      {1999022812, true, "1999-02-28 12Z"},
      {1999022912, false, "1999-02-28 12Z"},  // not a leap year
      {1999023120, false, "1999-02-28 12Z"},
      {1999030100, true, "1999-03-01 00Z"},
      {2000022912, true, "2000-02-29 12Z"},   // divisible by 400
      {1900022912, false, "2000-02-29 12Z"},  // by 100 only
      {2003043100, false, "2000-02-29 12Z"},
      {2003123123, true, "2003-12-31 23Z"},
      {2003123124, false, "2003-12-31 23Z"},
      {2003130100, false, "2003-12-31 23Z"},
      {2003010000, false, "2003-12-31 23Z"},
  };
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    progress_bar::Bar bar(f, true, std::chrono::milliseconds(0));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.reported);
      EXPECT_EQ(progress_bar::real_date(c.reported), c.real);
      const long at = std::ftell(f);
      bar.update(1, 2, 10, 72469, c.reported);
      std::string drawn(static_cast<std::size_t>(std::ftell(f) - at), '\0');
      std::fseek(f, at, SEEK_SET);
      ASSERT_EQ(std::fread(&drawn[0], 1, drawn.size(), f), drawn.size());
      EXPECT_NE(drawn.find(std::string("  72469 ") + c.shown + "\033[K"),
                std::string::npos)
          << drawn;
    }
  }
  std::fclose(f);
}

}  // namespace
