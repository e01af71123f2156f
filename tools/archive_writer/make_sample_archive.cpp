// make_sample_archive: builds the sample archive, a small database tree of
// synthetic but physically plausible soundings.
//
//   make_sample_archive DIR
//
// writes DIR/Raob1995, DIR/Raob1999 and DIR/Raob2003 with one station-year
// file per station, the links Raob95 -> Raob1995 and Raob99 -> Raob1999 (so
// that both editions read the one tree), and DIR/README.txt last.
//
// Every station has a 00 and a 12 UTC sounding on (almost) every day: the
// surface at the station's pressure and elevation, the mandatory levels from
// 1000 mb to where the balloon burst, significant temperature and wind
// levels, a tropopause and a maximum wind. As in real archives, the
// mandatory levels of 1000, 925 and 850 mb that lie below the ground follow
// the surface level, each with a height extrapolated from the surface down
// the standard atmosphere's lapse rate and nothing else. Most balloons burst
// between 30 and 5 mb, one in twenty before 100 mb, the odd one before
// 400 mb; none reaches 1 mb. The temperature profile
// depends on latitude, season and time of day; heights follow from it by
// the hypsometric equation; dew points lie at or below temperatures and are
// missing high up; a few winds are missing. The balloon is released about
// three quarters of an hour before the synoptic time (2315 for 00 UTC).
//
// The output is the same on every run: all randomness comes from a fixed
// seed through the standard Mersenne twister, turned into numbers here.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "archive_writer.h"

namespace {

namespace fs = std::filesystem;
using archive_writer::kMissing;
using archive_writer::Level;
using archive_writer::Sounding;

struct Station {
  long wmo;
  long file_number;  // WBAN, or WMO + 900000 for international sites
  const char* init;
  double lat;
  double lon;  // degrees east
  double elev;  // metres
};

const Station kStations[] = {
    {72469, 23062, "DEN", 39.77, -104.87, 1611},
    {72520, 94823, "PIT", 40.53, -80.23, 360},
    {72764, 24011, "BIS", 46.77, -100.75, 503},
    {72250, 12919, "BRO", 25.92, -97.42, 7},
    {72293, 3190, "NKX", 32.85, -117.12, 134},
    {72403, 93734, "IAD", 38.98, -77.48, 88},
    {72501, 94703, "OKX", 40.87, -72.86, 20},
    {72357, 3948, "OUN", 35.18, -97.44, 357},
    {72649, 94983, "MPX", 44.85, -93.57, 287},
    {72202, 92803, "MFL", 25.75, -80.38, 4},
    {3005, 903005, "LWK", 60.13, -1.18, 82},
    {10868, 910868, "MUC", 48.25, 11.55, 484},
};

const int kYears[] = {1995, 1999, 2003};

// The mandatory levels a radiosonde reports. 350 mb is not one of them:
// the decoder accepts a mandatory level there, but in the coded messages
// such a level ends the mandatory part before 300 mb.
constexpr long kMandatory[21] = {10000, 9250, 8500, 7000, 5000, 4000,
                                 3000,  2500, 2000, 1500, 1000, 700,
                                 500,   300,  200,  100,  70,   50,
                                 30,    20,   10};
constexpr unsigned kSurface = 1, kMand = 2, kTrop = 4, kMaxWind = 8,
                   kSigT = 16, kSigW = 32;
constexpr double kPi = 3.14159265358979323846;
constexpr double kG = 9.80665;
constexpr double kRd = 287.05;
constexpr double kLapseRate = 0.0065;  // K/m, the standard atmosphere's

// The mandatory levels written below the ground when the surface pressure
// is lower.
constexpr long kBelowGround[3] = {10000, 9250, 8500};

// Uniform numbers in [0, 1) made from the generator's 32-bit output, so the
// archive does not depend on a library's distribution algorithms.
class Random {
 public:
  explicit Random(std::uint32_t seed) : gen_(seed) {}
  double uniform() { return static_cast<double>(gen_() >> 8) / 16777216.0; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Roughly normal: the sum of four uniforms, scaled.
  double normal(double sd) {
    double s = 0;
    for (int i = 0; i < 4; ++i) s += uniform();
    return (s - 2.0) * std::sqrt(3.0) * sd;
  }
  bool chance(double p) { return uniform() < p; }

 private:
  std::mt19937 gen_;
};

long rounded(double v) { return static_cast<long>(std::lround(v)); }

int day_of_year(int year, int month, int day) {
  static const int before[12] = {0, 31, 59, 90, 120, 151,
                                 181, 212, 243, 273, 304, 334};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return before[month - 1] + day + (leap && month > 2 ? 1 : 0);
}

int days_in_month(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return days[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The state of the atmosphere over a station at one time.
struct Atmosphere {
  double z_sfc, p_sfc, t_sfc;  // m, hPa, K
  double inv_top, inv_dt;      // surface inversion: height above ground, K
  double z_trop;               // m
  double z_jet, s_jet;         // m, m/s
  double s_sfc, dir_sfc, dir_upper;
  double dd0, dd_rate;         // dew-point depression at ground, K per km
  double z_dry;                // m: no humidity above

  double temperature(double z) const {
    const double h = z - z_sfc;
    double t;
    if (h < inv_top) return t_sfc + inv_dt * h / inv_top;
    t = t_sfc + inv_dt - 0.0065 * (h - inv_top);
    const double t_trop = t_sfc + inv_dt - 0.0065 * (z_trop - z_sfc - inv_top);
    if (z <= z_trop) return t;
    t = t_trop;
    if (z > 20000) t += 0.0012 * (std::min(z, 32000.0) - 20000);
    if (z > 32000) t += 0.0028 * (z - 32000);
    return t;
  }
  double speed(double z) const {
    if (z <= z_jet) {
      const double f = std::max(0.0, (z - z_sfc) / (z_jet - z_sfc));
      return s_sfc + (s_jet - s_sfc) * std::pow(f, 1.4);
    }
    return 4.0 + (s_jet - 4.0) * std::exp(-(z - z_jet) / 5000.0);
  }
  double direction(double z) const {
    const double f = std::min(1.0, std::max(0.0, (z - z_sfc) / 2500.0));
    double d = dir_sfc + f * std::remainder(dir_upper - dir_sfc, 360.0);
    d = std::fmod(d + 360.0, 360.0);
    return d;
  }
};

// Pressure against height, from the hypsometric equation integrated upwards
// in thin layers.
struct Column {
  std::vector<double> z, lnp;
  void build(const Atmosphere& a) {
    const double dz = 25.0;
    z.assign(1, a.z_sfc);
    lnp.assign(1, std::log(a.p_sfc));
    while (lnp.back() > std::log(0.8)) {
      const double z0 = z.back();
      const double tm = a.temperature(z0 + dz / 2);
      lnp.push_back(lnp.back() - kG * dz / (kRd * tm));
      z.push_back(z0 + dz);
    }
  }
  double height_at(double p) const {
    // lnp falls with height: find the first layer top at or below ln p.
    const double lp = std::log(p);
    const auto it = std::lower_bound(lnp.begin(), lnp.end(), lp,
                                     [](double a, double b) { return a > b; });
    if (it == lnp.begin()) return z.front();
    if (it == lnp.end()) return z.back();
    const std::size_t i = static_cast<std::size_t>(it - lnp.begin());
    const double f = (lnp[i - 1] - lp) / (lnp[i - 1] - lnp[i]);
    return z[i - 1] + f * (z[i] - z[i - 1]);
  }
  double pressure_at(double zz) const {
    const auto it = std::lower_bound(z.begin(), z.end(), zz);
    if (it == z.begin()) return std::exp(lnp.front());
    if (it == z.end()) return std::exp(lnp.back());
    const std::size_t i = static_cast<std::size_t>(it - z.begin());
    const double f = (zz - z[i - 1]) / (z[i] - z[i - 1]);
    return std::exp(lnp[i - 1] + f * (lnp[i] - lnp[i - 1]));
  }
};

Atmosphere weather(const Station& st, int doy, int hour, Random& r) {
  Atmosphere a;
  const double lat = st.lat;
  const double season = std::cos(2 * kPi * (doy - 200) / 365.25);  // 1 summer
  const double maritime =
      st.elev < 100 && (st.lon > -82 || st.lon < -115 || st.lon > -5) ? 1 : 0;
  const double mean = 29.0 - 0.0085 * lat * lat + 3.0 * maritime;
  const double amp = (0.3 * lat - 2.0) * (maritime > 0 ? 0.6 : 1.0);
  // Local solar hour: afternoon warmest, dawn coldest.
  const double solar = std::fmod(hour + st.lon / 15.0 + 48.0, 24.0);
  const double diurnal = 4.0 * std::cos(2 * kPi * (solar - 15.0) / 24.0);
  a.z_sfc = st.elev;
  a.t_sfc = 273.15 + mean + amp * season + diurnal - 0.0065 * st.elev +
            r.normal(3.0);
  a.p_sfc = 1013.25 * std::pow(1.0 - 2.25577e-5 * st.elev, 5.25588) +
            r.normal(6.0);
  // Nights over land bring a surface inversion, stronger in winter.
  if (solar < 8.0 && maritime == 0 && r.chance(0.7)) {
    a.inv_top = r.uniform(150.0, 500.0);
    a.inv_dt = r.uniform(1.0, 4.0) + 3.0 * (1 - season) / 2;
  } else {
    a.inv_top = 1.0;
    a.inv_dt = 0.0;
  }
  a.z_trop = std::max(9500.0, 17000.0 - 140.0 * lat + 700.0 * season +
                                  r.normal(500.0));
  a.z_jet = a.z_trop - r.uniform(300.0, 1800.0);
  a.s_jet = 22.0 + 18.0 * (1 - season) / 2 + 0.3 * (lat - 25) +
            std::fabs(r.normal(8.0));
  a.s_sfc = r.uniform(1.0, 9.0);
  a.dir_sfc = r.uniform(0.0, 360.0);
  a.dir_upper = 270.0 + r.normal(25.0);
  a.dd0 = r.uniform(0.5, 8.0) * (maritime > 0 ? 0.6 : 1.0) +
          (st.elev > 1000 ? 4.0 : 0.0);
  a.dd_rate = r.uniform(0.5, 3.5);
  a.z_dry = r.uniform(7000.0, 11000.0);
  return a;
}

// Fills the measured values of a level at pressure p (tenths of mb).
Level observe(const Atmosphere& a, const Column& c, unsigned flag, long p,
              Random& r, bool winds, bool thermo) {
  Level l;
  l.flag = flag;
  l.pr = p;
  const double z = flag == kSurface ? a.z_sfc : c.height_at(p / 10.0);
  l.ht = rounded(z);
  if (thermo) {
    const double t = a.temperature(z);
    l.tp = rounded((t - 273.15) * 10.0);
    const double dd = a.dd0 + a.dd_rate * (z - a.z_sfc) / 1000.0 +
                      std::fabs(r.normal(1.5));
    if (z < a.z_dry && t > 273.15 - 45.0)
      l.dp = std::min(l.tp, rounded((t - dd - 273.15) * 10.0));
  }
  if (winds) {
    l.wd = rounded(a.direction(z) + r.normal(6.0));
    l.wd = ((l.wd % 360) + 360) % 360;
    l.ws = std::max(0l, rounded((a.speed(z) + r.normal(1.0)) * 10.0));
    if (l.ws == 0) l.wd = 0;
  }
  return l;
}

// Where the balloon bursts (tenths of mb).
long burst_pressure(Random& r) {
  const double u = r.uniform();
  double mb;
  if (u < 0.002)
    mb = r.uniform(400.0, 600.0);
  else if (u < 0.05)
    mb = r.uniform(100.0, 400.0);
  else if (u < 0.1)
    mb = r.uniform(30.0, 100.0);
  else
    mb = 5.0 * std::pow(6.0, r.uniform());  // 5 to 30 mb, even in height
  return rounded(mb * 10.0);
}

// Height (m) of pressure p (hPa) below the ground, the temperature rising
// from the surface's at the standard lapse rate.
double height_below_ground(const Atmosphere& a, double p_sfc, double p) {
  return a.z_sfc + a.t_sfc / kLapseRate *
                       (1.0 - std::pow(p / p_sfc, kRd * kLapseRate / kG));
}

Sounding sounding_at(const Station& st, int year, int month, int day,
                     int hour, int sonde, Random& r) {
  Atmosphere a = weather(st, day_of_year(year, month, day), hour, r);
  // The surface stays at least 1 mb away from a mandatory pressure.
  for (long p : kMandatory)
    if (std::fabs(a.p_sfc * 10.0 - static_cast<double>(p)) < 10.0)
      a.p_sfc = (static_cast<double>(p) + 10.0) / 10.0;
  Column col;
  col.build(a);

  Sounding s;
  s.year = year;
  s.month = month;
  s.day = day;
  s.hour = hour;
  // The record's 17-bit station field holds the WBAN number, or the WMO
  // number for international sites.
  s.wban = st.file_number > 900000 ? st.wmo : st.file_number;
  const int minutes = (hour == 0 ? 23 * 60 : 11 * 60) + 15 +
                      static_cast<int>(r.uniform(-12.0, 14.0));
  s.reltime = (minutes / 60) * 100 + minutes % 60;
  s.sondtype = sonde;
  s.source = 1;
  s.tropind = 1;

  // Winds stop above some height in a few soundings (balloon out of range).
  const double wind_top = r.chance(0.04) ? r.uniform(9000.0, 25000.0) : 1e9;
  auto winds_at = [&](double z) { return z < wind_top && !r.chance(0.02); };

  const long p_sfc = rounded(a.p_sfc * 10.0);
  const long p_top = burst_pressure(r);
  std::vector<Level> levels;
  levels.push_back(
      observe(a, col, kSurface, p_sfc, r, winds_at(a.z_sfc), true));
  for (long p : kBelowGround) {
    if (p <= p_sfc) continue;
    Level l;
    l.flag = kMand;
    l.pr = p;
    l.ht = rounded(height_below_ground(a, p_sfc / 10.0, p / 10.0));
    levels.push_back(l);
  }
  // The levels above the ground follow in falling pressure.
  const std::size_t ground_levels = levels.size();
  std::vector<long> taken(std::begin(kMandatory), std::end(kMandatory));
  taken.push_back(p_sfc);
  // Levels stay at least 1 mb apart: a significant level that would come
  // closer to another is left out (-1), a tropopause or maximum wind is
  // moved up.
  auto near_taken = [&](long p) {
    for (long q : taken)
      if (std::labs(p - q) < 10) return true;
    return false;
  };
  auto free_pressure = [&](long p, bool move) {
    while (near_taken(p)) {
      if (!move) return -1l;
      p -= 7;
    }
    taken.push_back(p);
    return p;
  };
  for (long p : kMandatory) {
    if (p >= p_sfc || p < p_top) continue;
    const double z = col.height_at(p / 10.0);
    levels.push_back(observe(a, col, kMand, p, r, winds_at(z), true));
  }
  // A balloon that burst below the tropopause or the jet reports neither.
  const long p_trop =
      free_pressure(rounded(col.pressure_at(a.z_trop) * 10.0), true);
  const Level trop = observe(a, col, kTrop, p_trop, r, winds_at(a.z_trop), true);
  if (p_trop > p_top) levels.push_back(trop);
  const long p_jet =
      free_pressure(rounded(col.pressure_at(a.z_jet) * 10.0), true);
  Level jet = observe(a, col, kMaxWind, p_jet, r, true, true);
  jet.wd = rounded(a.dir_upper + 360.0) % 360;
  jet.ws = rounded(a.s_jet * 10.0);
  if (p_jet > p_top) levels.push_back(jet);
  // Significant temperature levels: the inversion top, the stratospheric
  // turn and a few where the profile bends.
  std::vector<double> sig_t;
  if (a.inv_dt > 0) sig_t.push_back(a.z_sfc + a.inv_top);
  sig_t.push_back(20000.0);
  for (int k = 0, n = 3 + static_cast<int>(r.uniform(0.0, 4.0)); k < n; ++k)
    sig_t.push_back(r.uniform(a.z_sfc + 200.0, 40000.0));
  for (double z : sig_t) {
    const long p = free_pressure(rounded(col.pressure_at(z) * 10.0), false);
    if (p >= p_sfc || p <= p_top) continue;
    levels.push_back(observe(a, col, kSigT, p, r, false, true));
  }
  // The last temperature where the balloon burst, unless a level lies
  // within 1 mb of it.
  if (free_pressure(p_top, false) == p_top)
    levels.push_back(observe(a, col, kSigT, p_top, r, false, true));
  // Significant wind levels: winds and heights only.
  for (int k = 0, n = 4 + static_cast<int>(r.uniform(0.0, 5.0)); k < n; ++k) {
    const double z = r.uniform(a.z_sfc + 300.0, 36000.0);
    const long p = free_pressure(rounded(col.pressure_at(z) * 10.0), false);
    if (p >= p_sfc || p <= p_top) continue;
    levels.push_back(observe(a, col, kSigW, p, r, winds_at(z), false));
  }
  // The maximum wind is the strongest wind of the sounding.
  if (p_jet > p_top)
    for (Level& l : levels)
      if (l.ws != kMissing && l.ws > jet.ws) l.ws = jet.ws;
  std::stable_sort(levels.begin() + static_cast<std::ptrdiff_t>(ground_levels),
                   levels.end(),
                   [](const Level& x, const Level& y) { return x.pr > y.pr; });
  s.levels = levels;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const long n = static_cast<long>(i) + 1;
    if (levels[i].flag == kTrop) s.troplv = n;
    if (levels[i].flag == kMaxWind) s.maxwind = n;
    if (levels[i].dp != kMissing) s.top_hyd = n;
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_sample_archive DIR\n";
    return 2;
  }
  const fs::path root = argv[1];
  try {
    fs::create_directories(root);
    long total = 0;
    for (int year : kYears) {
      for (std::size_t k = 0; k < std::size(kStations); ++k) {
        const Station& st = kStations[k];
        Random r(static_cast<std::uint32_t>(st.wmo * 10007 + year));
        // One radiosonde type per station and year.
        const int sonde = static_cast<int>((k + static_cast<std::size_t>(year)) % 8) + 1;
        std::vector<Sounding> year_soundings;
        for (int month = 1; month <= 12; ++month) {
          for (int day = 1; day <= days_in_month(year, month); ++day) {
            for (int hour : {0, 12}) {
              Sounding s = sounding_at(st, year, month, day, hour, sonde, r);
              if (r.chance(0.01)) continue;  // a sounding that never came
              year_soundings.push_back(std::move(s));
            }
          }
        }
        total += static_cast<long>(year_soundings.size());
        archive_writer::write_station_year(root.string(), year,
                                           st.file_number, year_soundings);
      }
    }
    // Both editions on one tree: the short names of the years before 2000.
    for (const auto& [link, target] :
         {std::pair<const char*, const char*>{"Raob95", "Raob1995"},
          {"Raob99", "Raob1999"}}) {
      const fs::path l = root / link;
      if (fs::is_symlink(l) || fs::exists(l)) fs::remove_all(l);
      fs::create_directory_symlink(target, l);
    }
    std::ofstream readme(root / "README.txt", std::ios::trunc);
    readme << "Sample archive built by make_sample_archive: synthetic "
              "soundings, not observations.\n"
              "Years 1995, 1999, 2003 (Raob95 and Raob99 link to Raob1995 "
              "and Raob1999).\n"
              "Stations (WMO WBAN identifier latitude longitude-east "
              "elevation):\n";
    for (const Station& st : kStations)
      readme << "  " << st.wmo << " " << st.file_number << " " << st.init
             << " " << st.lat << " " << st.lon << " " << st.elev << "\n";
    readme << total << " soundings in all.\n";
    readme.close();
    if (!readme) throw std::runtime_error("cannot write README.txt");
  } catch (const std::exception& e) {
    std::cerr << "make_sample_archive: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
