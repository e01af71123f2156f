// A program of its own on the rawinq library: the soundings of one station
// and month as values, a line of each with its lowest level and two of its
// indices, and the same request written as CSV files.
//
//   first_sounding ARCHIVE_DIR SUPPORT_DIR [OUT_DIR]
#include <rawinq/rawinq.h>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: first_sounding ARCHIVE_DIR SUPPORT_DIR [OUT_DIR]\n");
    return 2;
  }
  try {
    const rawinq::Archive archive = rawinq::Archive::open(argv[1]);
    const rawinq::Catalogue catalogue =
        rawinq::Catalogue::load(std::string(argv[2]) + "/");

    rawinq::Request request;
    request.from = 1995010100;  // January 1995, Denver (WMO 72469)
    request.to = 1995013112;
    request.stations.numbers = {72469};

    long n = 0;
    for (const rawinq::StationSounding& s :
         rawinq::read_soundings(archive, catalogue, request)) {
      const HEADER_TYPE& h = s.sounding.header;
      const rawinq::PhysicalLevels levels = rawinq::physical_levels(s.sounding);
      const auto ix = rawinq::sounding_indices(s.sounding, s.station);
      std::printf("%d %04d-%02d-%02dT%02dZ %zu levels, lowest %.1f hPa %.1f C,"
                  " PW %.1f mm, LI %.1f K\n",
                  static_cast<int>(s.station.wmo), h.year, h.month, h.day,
                  h.hour, levels.pressure_hpa.size(), levels.pressure_hpa[0],
                  levels.temperature_c[0], ix.precipitable_water_mm,
                  ix.lifted_index_k);
      ++n;
    }
    std::printf("%ld soundings\n", n);

    if (argc > 3) {
      rawinq::SessionConfig config;
      config.format = rawinq::format_by_name("csv");
      config.to_files = true;
      config.dir = std::string(argv[3]) + "/";
      rawinq::OutputSession session(config);
      rawinq::Progress progress;
      const rawinq::RetrievalResult r =
          rawinq::retrieve(archive, catalogue, request, session, progress);
      session.close_unit();
      std::printf("%ld soundings written as CSV to %s\n", r.soundings, argv[3]);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "first_sounding: %s\n", e.what());
    return 1;
  }
  return 0;
}
