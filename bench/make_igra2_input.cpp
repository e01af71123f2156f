// make_igra2_input FILE MEGABYTES: writes a synthetic IGRA2 sounding file of
// about MEGABYTES (10^6 bytes) for the packing benchmark: stations of the
// WMO network in turn, two soundings a day from 1950 on, each of 80 levels
// (surface, standard pressure levels, significant levels, a tropopause and
// winds by height), values varying from sounding to sounding.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_igra2_input FILE MEGABYTES\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const double want = std::atof(argv[2]) * 1e6;
  constexpr int kLevels = 80;
  constexpr int kYears = 70;
  static const long kStandard[] = {100000, 92500, 85000, 70000, 50000,
                                   40000,  30000, 25000, 20000, 15000, 10000};
  double written = 0;
  unsigned long n = 0;
  for (int station = 0; written < want; ++station) {
    char id[24];
    std::snprintf(id, sizeof id, "XXM000%05d", (10000 + station) % 100000);
    for (int year = 1950; year < 1950 + kYears && written < want; ++year)
      for (int month = 1; month <= 12 && written < want; ++month)
        for (int day = 1; day <= 28 && written < want; ++day)
          for (int hour : {0, 12}) {
            ++n;
            char line[128];
            int len = std::snprintf(
                line, sizeof line,
                "#%-11s %4d %02d %02d %02d %04d %4d ncdc6310 ncdc6310  "
                "397700 -1048700\n",
                id, year, month, day, hour, hour * 100 + 15, kLevels);
            std::fwrite(line, 1, static_cast<std::size_t>(len), out);
            written += len;
            for (int k = 0; k < kLevels; ++k) {
              const long vary = static_cast<long>(n % 37);
              const char* type = k == 0 ? "21" : k < 12 ? "10" : k == 40 ? "22"
                                 : k > 70 ? "30" : "20";
              long pa = k == 0 ? 101300 - vary * 10
                        : k < 12 ? kStandard[k - 1]
                                 : 100000 - k * 1150 - vary * 10;
              long gph = k * 230 + vary;
              long t = 150 - k * 9 - vary;
              if (k > 70) {
                pa = -9999;
                t = -9999;
              }
              len = std::snprintf(
                  line, sizeof line,
                  "%s %5d %6ld %5ld %5ld %5ld %5ld %5ld %5ld\n", type,
                  k * 30, pa, gph, t, t == -9999 ? -9999L : 500 + vary,
                  t == -9999 ? -9999L : 30 + vary, (200L + k * 3) % 360,
                  50 + k * 4 + vary);
              std::fwrite(line, 1, static_cast<std::size_t>(len), out);
              written += len;
            }
          }
  }
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("%s: %.0f bytes, %lu soundings\n", argv[1], written, n);
  return 0;
}
