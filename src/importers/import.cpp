#include "import.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
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

WbanOfWmo known_wban_numbers(const std::string& catalogue,
                             const std::string& support_dir) {
  WbanOfWmo out;
  if (!catalogue.empty()) out = read_wban_numbers(catalogue);
  if (!support_dir.empty()) {
    const std::string path = support_dir + "/stat2000.txt";
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
      out.merge(read_wban_numbers(path));  // the catalogue's numbers win
  }
  return out;
}

std::string international_note(const std::set<long>& stations) {
  std::string wmo;
  for (long st : stations)
    if (st > 900000) wmo += (wmo.empty() ? "" : ", ") + std::to_string(st - 900000);
  if (wmo.empty()) return "";
  return "filed as international sites (WMO + 900000, files I<WMO>_YY.buf), no "
         "WBAN number being known: WMO " + wmo +
         ".\nThe programs find them through a support directory whose "
         "international_sites.txt lists them and whose stat2000.txt does not;\n"
         "to file them under their WBAN numbers, pack again with --catalogue "
         "naming a stat2000.txt that gives them.\n";
}

long file_station(long wmo, const WbanOfWmo& wban) {
  const auto it = wban.find(wmo);
  return it != wban.end() ? it->second : 900000 + wmo;
}

long exact_knots_to_tenths(long knots) {
  if (knots < 0) return -1;
  return std::lround(static_cast<double>(knots) * 5.14444);
}

long feet_to_metres(long feet) {
  return std::lround(static_cast<double>(feet) * 0.3048);
}

void archive_order(Sounding& s) {
  constexpr unsigned kSurface = 1;
  std::vector<Level>& levels = s.levels;
  const auto surface = std::find_if(levels.begin(), levels.end(), [](const Level& l) {
    return l.flag == kSurface;
  });
  if (surface == levels.end() || surface->pr == kMissing) return;
  const long ground = surface->pr;
  const std::size_t n = levels.size();
  const std::size_t first = static_cast<std::size_t>(surface - levels.begin());
  // order[k]: the index, in the levels given, of the level stored k-th.
  std::vector<std::size_t> below, rest;
  for (std::size_t i = 0; i < n; ++i) {
    if (i == first) continue;
    const long pr = levels[i].pr;
    (pr != kMissing && pr > ground ? below : rest).push_back(i);
  }
  std::stable_sort(below.begin(), below.end(), [&](std::size_t a, std::size_t b) {
    return levels[a].pr > levels[b].pr;
  });
  std::vector<std::size_t> order{first};
  order.insert(order.end(), below.begin(), below.end());
  order.insert(order.end(), rest.begin(), rest.end());
  std::vector<long> number_of(n + 1, 0);  // 1-based: given -> stored
  std::vector<Level> stored;
  stored.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    stored.push_back(levels[order[k]]);
    number_of[order[k] + 1] = static_cast<long>(k) + 1;
  }
  levels = std::move(stored);
  for (long* pointer : {&s.troplv, &s.maxwind, &s.top_hyd})
    if (*pointer >= 1 && *pointer <= static_cast<long>(n))
      *pointer = number_of[static_cast<std::size_t>(*pointer)];
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
