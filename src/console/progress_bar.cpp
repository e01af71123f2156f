#include "rawinq/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>

namespace progress_bar {

bool real_date(long v) {
  if (v < 0) return false;
  const long y = v / 1000000, m = v / 10000 % 100, d = v / 100 % 100,
             h = v % 100;
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30,
                                    31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || h > 23 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

Figures figures(double done, double total, long soundings, double elapsed) {
  Figures f;
  if (total > 0 && done > 0) f.share = std::fmin(done / total, 1.0);
  // Less than a tenth of a second gives no rate worth showing.
  if (elapsed >= 0.1) {
    f.rate = soundings / elapsed;
    if (f.share > 0) f.seconds_left = elapsed * (1 - f.share) / f.share;
  }
  return f;
}

std::string date_text(long v) {
  char text[32];
  std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld %02ldZ", v / 1000000,
                v / 10000 % 100, v / 100 % 100, v % 100);
  return text;
}

std::string line(const Figures& f, const std::string& where, int width) {
  constexpr int kBar = 20;
  const int filled = static_cast<int>(f.share * kBar);
  std::string text = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kBar - filled), '.') +
                     "]";
  char part[96];
  std::snprintf(part, sizeof part, " %3d%%",
                static_cast<int>(std::floor(f.share * 100)));
  text += part;
  if (f.rate >= 0) {
    std::snprintf(part, sizeof part, "  %.0f soundings/s", f.rate);
    text += part;
  }
  if (f.seconds_left >= 0) {
    const long s = std::lround(f.seconds_left);
    if (s >= 3600)
      std::snprintf(part, sizeof part, "  %ld:%02ld:%02ld left", s / 3600,
                    s / 60 % 60, s % 60);
    else
      std::snprintf(part, sizeof part, "  %ld:%02ld left", s / 60, s % 60);
    text += part;
  }
  if (!where.empty()) text += "  " + where;
  const std::size_t most = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
  if (text.size() > most) text.resize(most);
  return text;
}

namespace {

int terminal_width(std::FILE* f) {
  winsize ws{};
  if (ioctl(fileno(f), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

}  // namespace

Bar::Bar(std::FILE* out, bool on, std::chrono::milliseconds interval)
    : out_(out),
      on_(on),
      interval_(interval),
      start_(std::chrono::steady_clock::now()) {}

Bar::~Bar() { clear(); }

void Bar::update(double done, double total, long soundings, long station,
                 long date) {
  if (!on_) return;
  if (station != 0) station_ = station;
  if (real_date(date)) date_ = date;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < interval_) return;
  last_ = now;
  drawn_ = true;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  std::string where;
  if (station_ != 0) where = std::to_string(station_);
  if (date_ != 0) where += (where.empty() ? "" : " ") + date_text(date_);
  const std::string text =
      line(figures(done, total, soundings, elapsed), where, terminal_width(out_));
  std::fprintf(out_, "\r%s\033[K", text.c_str());
  std::fflush(out_);
  shown_ = true;
}

void Bar::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  shown_ = false;
}

}  // namespace progress_bar
