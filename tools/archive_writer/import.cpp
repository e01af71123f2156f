#include "import.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace archive_writer {

WbanOfWmo read_wban_numbers(const std::string& stat2000) {
  WbanOfWmo out;
  LineSource in(stat2000);
  std::string_view line;
  // The first line counts the entries; each entry line starts with the
  // identifier, the WBAN number and the WMO number.
  if (!in.next(line)) return out;
  while (in.next(line)) {
    std::string text(line);
    char init[8];
    long wban = 0, wmo = 0;
    if (std::sscanf(text.c_str(), "%7s %ld %ld", init, &wban, &wmo) == 3 &&
        wban > 0 && wban < 99999 && wmo > 0 && wmo < 99999)
      out.emplace(wmo, wban);  // the first entry of a station wins
  }
  return out;
}

long file_station(long wmo, const WbanOfWmo& wban) {
  const auto it = wban.find(wmo);
  return it != wban.end() ? it->second : 900000 + wmo;
}

int full_year(int yy) { return yy >= 50 ? 1900 + yy : 2000 + yy; }

long coded_file_month(const std::string& path) {
  static constexpr const char* kCodes[12] = {"JA", "FE", "MA", "AP",
                                             "MY", "JU", "JL", "AG",
                                             "SE", "OC", "NO", "DE"};
  const std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.size() != 12 || name.compare(8, 4, ".skt") != 0) return 0;
  for (std::size_t k = 2; k < 8; ++k)
    if (name[k] < '0' || name[k] > '9') return 0;
  for (int m = 0; m < 12; ++m)
    if (name.compare(0, 2, kCodes[m]) == 0)
      return full_year((name[4] - '0') * 10 + (name[5] - '0')) * 100 + m + 1;
  return 0;
}

}  // namespace archive_writer
