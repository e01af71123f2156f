// The skew-T plots' speed and memory: draws PLOTS soundings one after the
// other in one process and reports plots per second of CPU time (user +
// system, so per core) and the resident memory as the count grows.
//
//   bench_plots OUT_DIR [PLOTS [png|svg|pdf|element]]
//
// The soundings are those of the benchmark archive's generator (a standard
// atmosphere with departures, some 35 levels of every type), at twelve
// stations of different heights and latitudes through the year. The files
// go into OUT_DIR under 20 names in turn, so that thousands of plots do not
// fill the disk.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_sounding.h"
#include "rawinq/plot.h"

namespace {

struct StationSpec {
  const char* init;
  long wmo;
  float lat, lon;
  short elev;
};

const StationSpec kStations[] = {
    {"DEN", 72469, 39.77f, -104.87f, 1611}, {"PIT", 72520, 40.53f, -80.23f, 360},
    {"BIS", 72764, 46.77f, -100.75f, 503},  {"BRO", 72250, 25.92f, -97.42f, 7},
    {"NKX", 72293, 32.85f, -117.12f, 134},  {"IAD", 72403, 38.98f, -77.48f, 88},
    {"OKX", 72501, 40.87f, -72.86f, 20},    {"OUN", 72357, 35.18f, -97.44f, 357},
    {"MPX", 72649, 44.85f, -93.57f, 287},   {"MFL", 72202, 25.75f, -80.38f, 4},
    {"LWK", 3005, 60.13f, -1.18f, 82},      {"MUC", 10868, 48.25f, 11.55f, 484},
};

STATREC station_entry(const StationSpec& s) {
  STATREC st{};
  std::snprintf(st.init, sizeof st.init, "%s", s.init);
  st.wmo = s.wmo;
  st.wban = s.wmo + 900000;
  st.lat = s.lat;
  st.lon = s.lon;
  st.Clat = s.lat < 0 ? 'S' : 'N';
  st.Clon = s.lon < 0 ? 'W' : 'E';
  st.elev = s.elev;
  std::snprintf(st.name, sizeof st.name, "%-29s", s.init);
  return st;
}

// Level type codes of the generator's flags, as the decoder gives them.
long level_type(unsigned flag) {
  switch (flag) {
    case bench::kSurface: return kLevelSurface;
    case bench::kMand: return kLevelMandatory;
    case bench::kTrop: return kLevelTropopause;
    case bench::kMaxWind: return kLevelMaxWind;
    case bench::kSigT: return kLevelSigTemperature;
    default: return kLevelSigWind;
  }
}

Sounding sounding(const StationSpec& st, int k, bench::Random& r) {
  const archive_writer::Sounding a = bench::sounding_at(
      st.wmo, 1995, 1 + k % 12, 1 + k % 28, k % 2 * 12, r);
  Sounding s;
  s.header.year = static_cast<short>(a.year);
  s.header.month = static_cast<short>(a.month);
  s.header.day = static_cast<short>(a.day);
  s.header.hour = static_cast<short>(a.hour);
  // The generator starts at sea level; a high station's levels below its
  // ground are dropped and its surface moved up.
  const double ground_mb = 1013.25 * std::pow(1 - st.elev / 44330.0, 5.255);
  for (const archive_writer::Level& l : a.levels) {
    if (l.pr / 10.0 > ground_mb + 5 && l.flag != bench::kSurface) continue;
    DATA_TYPE d{level_type(l.flag), l.pr, l.ht, l.tp, l.dp, l.wd, l.ws};
    if (l.flag == bench::kSurface) {
      d.pr = bench::rounded(ground_mb * 10);
      d.ht = st.elev;
    }
    s.levels.push_back(d);
  }
  s.header.levels = static_cast<long>(s.levels.size());
  return s;
}

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec / 1e6;
}

// The resident set now, in KiB.
long resident_kib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: bench_plots OUT_DIR [PLOTS [png|svg|pdf|element]]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long plots = argc > 2 ? std::atol(argv[2]) : 2000;
  const std::string kind_name = argc > 3 ? argv[3] : "png";
  PlotKind kind = PlotKind::png;
  if (kind_name == "svg") kind = PlotKind::svg;
  else if (kind_name == "pdf") kind = PlotKind::pdf;
  // element: the web page's SVG element, made in memory (its size is
  // added up so that the work cannot be left out).
  else if (kind_name != "png" && kind_name != "element") {
    std::fprintf(stderr, "bench_plots: unknown kind %s\n", kind_name.c_str());
    return 2;
  }

  // The soundings are made before the clock starts.
  constexpr int kDistinct = 240;
  bench::Random r(11);
  std::vector<Sounding> soundings;
  std::vector<STATREC> stations;
  for (int k = 0; k < kDistinct; ++k) {
    const StationSpec& st = kStations[k % 12];
    soundings.push_back(sounding(st, k / 12, r));
    stations.push_back(station_entry(st));
  }

  std::printf("%s plots, %ld in one process\n", kind_name.c_str(), plots);
  std::printf("%10s %12s %14s\n", "plots", "resident KiB", "plots/CPU s");
  const double start = cpu_seconds();
  double last = start;
  long last_count = 0;
  std::size_t element_bytes = 0;
  for (long i = 0; i < plots; ++i) {
    const std::string path = dir + "/plot" + std::to_string(i % 20) + "." +
                             kind_name;
    try {
      if (kind_name == "element")
        element_bytes += skewt_svg_element(soundings[i % kDistinct], stations[i % kDistinct]).size();
      else
        render_skewt(soundings[i % kDistinct], stations[i % kDistinct], kind, path);
    } catch (const PlotError& e) {
      std::fprintf(stderr, "bench_plots: %s\n", e.what());
      return 1;
    }
    const long n = i + 1;
    if (n == 1 || n == 10 || n % 500 == 0 || n == plots) {
      const double now = cpu_seconds();
      std::printf("%10ld %12ld %14.1f\n", n, resident_kib(),
                  now > last ? (n - last_count) / (now - last) : 0.0);
      last = now;
      last_count = n;
    }
  }
  const double cpu = cpu_seconds() - start;
  std::printf("all: %ld plots in %.2f s of CPU: %.1f plots per second per "
              "core\n", plots, cpu, cpu > 0 ? plots / cpu : 0.0);
  if (kind_name == "element")
    std::printf("elements of %.0f bytes on average\n", double(element_bytes) / plots);
  return 0;
}
