// The identifiers people use for stations: the world table, and the
// look-up of a catalogue's stations by them.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "rawinq/catalogue.h"
#include "rawinq/sounding.h"

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool digits(const std::string& s, std::size_t from = 0) {
  return s.size() > from &&
         std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The fields of one CSV line (quotes as RFC 4180 writes them); false for a
// quote left open.
bool csv_fields(const std::string& line, std::vector<std::string>& out) {
  out.assign(1, std::string());
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        out.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        out.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return !quoted;
}

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

long number_or_zero(const std::string& s) {
  return digits(s) && s.size() <= 9 ? std::stol(s) : 0;
}

std::string entry_text(const char* field, std::size_t size) {
  std::string s(field, strnlen(field, size));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Edit distance of two short texts.
std::size_t distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

}  // namespace

std::vector<StationIds> read_world_table(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw CatalogueError(path + ": cannot be read");
  std::vector<StationIds> table;
  std::vector<std::string> f;
  std::string line;
  long number = 0;
  bool header = true;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    if (header) {  // the column names
      header = false;
      continue;
    }
    if (!csv_fields(line, f) || f.size() < 6)
      throw CatalogueError(path + " line " + std::to_string(number) +
                           ": not a row of the world table");
    StationIds s;
    s.igra2 = f[0];
    s.wmo = number_or_zero(f[1]);
    s.wban = number_or_zero(f[2]);
    s.icao = words(f[3]);
    s.codes = words(f[4]);
    s.name = f[5];
    if (f.size() >= 11) {
      s.latitude = std::strtod(f[6].c_str(), nullptr);
      s.longitude = std::strtod(f[7].c_str(), nullptr);
      s.elevation = std::strtod(f[8].c_str(), nullptr);
      s.first_year = static_cast<int>(number_or_zero(f[9]));
      s.last_year = static_cast<int>(number_or_zero(f[10]));
    }
    table.push_back(std::move(s));
  }
  if (in.bad()) throw CatalogueError(path + ": read error");
  return table;
}

std::vector<StationRow> Catalogue::resolve(const std::string& id) const {
  const std::string key = upper(id);
  std::vector<long> wmo, wban;  // the numbers the identifier stands for
  if (digits(key)) {
    wmo.push_back(number_or_zero(key));
  } else if (key[0] == 'W' && digits(key, 1)) {
    wban.push_back(number_or_zero(key.substr(1)));
  } else {
    for (const StationIds& s : world_) {
      const bool named =
          s.igra2 == key ||
          std::find(s.icao.begin(), s.icao.end(), key) != s.icao.end() ||
          std::find(s.codes.begin(), s.codes.end(), key) != s.codes.end();
      if (!named) continue;
      if (s.wmo != 0) wmo.push_back(s.wmo);
      if (s.wban != 0) wban.push_back(s.wban);
    }
  }
  std::vector<StationRow> found;
  for (const STATREC& e : entries_) {
    const bool named =
        std::find(wmo.begin(), wmo.end(), e.wmo) != wmo.end() ||
        std::find(wban.begin(), wban.end(), e.wban) != wban.end() ||
        (!digits(key) && upper(entry_text(e.init, sizeof e.init)) == key);
    const bool seen = std::any_of(found.begin(), found.end(),
                                  [&](const StationRow& r) { return r.wban == e.wban; });
    if (named && !seen) found.push_back(StationRow{e.wmo, e.wban});
  }
  return found;
}

std::vector<StationRow> Catalogue::named(const std::string& text) const {
  const std::string key = upper(text);
  std::vector<StationRow> found;
  for (const STATREC& e : entries_) {
    if (upper(entry_text(e.name, sizeof e.name)).find(key) == std::string::npos)
      continue;
    if (std::none_of(found.begin(), found.end(),
                     [&](const StationRow& r) { return r.wban == e.wban; }))
      found.push_back(StationRow{e.wmo, e.wban});
  }
  return found;
}

std::vector<long> Catalogue::resolve_stations(const std::vector<std::string>& ids,
                                              bool by_name) const {
  std::vector<long> numbers;
  for (const std::string& id : ids) {
    const std::vector<StationRow> rows = by_name ? named(id) : resolve(id);
    if (rows.empty()) {
      std::string near;
      for (const std::string& n : closest_names(id)) near += (near.empty() ? "" : ", ") + n;
      throw CatalogueError("no station '" + id + "' in the catalogue" +
                           (near.empty() ? "" : "; the nearest names: " + near));
    }
    if (rows.size() > 1) {
      std::string list;
      for (const StationRow& r : rows) {
        const STATREC& e = entries_[static_cast<std::size_t>(find(r.wban, true).front())];
        list += "\n  WMO " + std::to_string(r.wmo) + ", WBAN " + std::to_string(r.wban) +
                ", " + entry_text(e.init, sizeof e.init) + " " +
                entry_text(e.name, sizeof e.name);
      }
      throw CatalogueError("'" + id + "' names " + std::to_string(rows.size()) +
                           " stations; give one of them:" + list);
    }
    numbers.push_back(rows.front().wban);
  }
  return numbers;
}

std::vector<std::string> Catalogue::closest_names(const std::string& text,
                                                  std::size_t n) const {
  const std::string key = upper(text);
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (const STATREC& e : entries_) {
    const std::string name = entry_text(e.name, sizeof e.name);
    if (name.empty()) continue;
    // The name's best word or the whole name, whichever is nearer.
    std::size_t best = distance(key, upper(name));
    for (const std::string& w : words(upper(name)))
      best = std::min(best, distance(key, w));
    scored.emplace_back(best, name);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (const auto& s : scored) {
    if (out.size() == n) break;
    if (std::find(out.begin(), out.end(), s.second) == out.end())
      out.push_back(s.second);
  }
  return out;
}

StationIdTable::StationIdTable(const std::vector<StationIds>& world) : rows_(world) {
  // A number of several rows goes to the first that has an ICAO code, else
  // the first.
  const auto index = [&](std::unordered_map<long, std::size_t>& by, long number,
                         std::size_t k) {
    if (number == 0) return;
    const auto it = by.find(number);
    if (it == by.end())
      by.emplace(number, k);
    else if (rows_[it->second].icao.empty() && !rows_[k].icao.empty())
      it->second = k;
  };
  for (std::size_t k = 0; k < rows_.size(); ++k) {
    index(by_wmo_, rows_[k].wmo, k);
    index(by_wban_, rows_[k].wban, k);
  }
}

const StationIds* StationIdTable::row_of(const STATREC& entry) const {
  auto it = by_wmo_.find(entry.wmo);
  if (is_missing(entry.wmo) || it == by_wmo_.end()) {
    it = by_wban_.find(entry.wban);
    if (entry.wban > 900000 || it == by_wban_.end()) return nullptr;
  }
  return &rows_[it->second];
}

std::string StationIdTable::id_of(const STATREC& entry) const {
  const StationIds* row = row_of(entry);
  if (row && !row->icao.empty()) return row->icao.front();
  if (row && !row->codes.empty()) return row->codes.front();
  const std::string own = entry_text(entry.init, sizeof entry.init);
  if (!own.empty() && std::isalpha(static_cast<unsigned char>(own[0]))) return upper(own);
  if (!is_missing(entry.wmo)) return std::to_string(entry.wmo);
  return "W" + std::to_string(entry.wban);
}

std::string station_id_of(const StationIdTable* ids, const STATREC& entry) {
  return ids ? ids->id_of(entry) : StationIdTable().id_of(entry);
}
