// The high-resolution input of the BUFR packing benchmark
// (bench/pack_bufr.sh): COUNT messages of template 3 09 052, each a
// synthetic ascent of LEVELS levels (surface to 10 hPa, one a second),
// one station a message, encoded by ecCodes.
//   make_bufr_input FILE COUNT LEVELS
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bufr_messages.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_bufr_input FILE COUNT LEVELS\n");
    return 2;
  }
  const long count = std::atol(argv[2]), n = std::atol(argv[3]);
  if (count < 1 || n < 2) return 2;
  std::ofstream out(argv[1], std::ios::binary);
  unsigned long long bytes = 0;
  for (long k = 0; k < count; ++k) {
    bufr_messages::Message m;
    m.block = 10 + k % 80;
    m.station = k % 1000;
    m.nominal[2] = 1 + k % 28;
    double z = 100;
    for (long i = 0; i < n; ++i) {
      const double p = 1000.0 * std::exp(-std::log(100.0) * i / (n - 1));
      const double t = (p > 200 ? 25.0 - 6.5 * z / 1000 : -55.0) +
                       0.4 * std::sin(i / 7.0 + k);
      const double td = p < 100 ? bufr_messages::kNone
                                : t - 3 - 5 * std::fabs(std::sin(i / 60.0));
      const double speed = 5 + 35 * std::exp(-std::pow((p - 250) / 90, 2));
      const double dir = std::fmod(220 + 0.03 * i, 360.0);
      m.levels.push_back({i == 0 ? bufr_messages::flag18(1) : 0.0,
                          std::round(p * 10) * 10, std::round(z),
                          t + 273.15, td + 273.15, std::round(dir),
                          std::round(speed * 10) / 10});
      const double p_next = 1000.0 * std::exp(-std::log(100.0) * (i + 1) / (n - 1));
      z += 29.27 * (t + 273.15) * std::log(p / p_next);
    }
    const std::string message = bufr_messages::encode(m);
    out.write(message.data(), static_cast<std::streamsize>(message.size()));
    bytes += message.size();
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_bufr_input: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %llu bytes, %ld messages\n", argv[1], bytes, count);
  return 0;
}
