// Station catalogue files: their entry lines, their loading, the queries
// made of a loaded catalogue.
#include "rawinq/catalogue.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "rawinq/file_handle.h"
#include "rawinq/leading_number.h"
#include "rawinq/regular_file.h"

namespace {

// Catalogue lines are read 120 bytes at a time.
constexpr int kCatalogueLineRead = 120;

// Walks a catalogue line the way the scanf conversions of its format do.
// Each read_* returns false on a matching failure; the target is then left
// as it was.
class Fields {
 public:
  explicit Fields(const char* line) : p_(line) {}

  void skip_blanks() {
    while (*p_ && std::isspace(static_cast<unsigned char>(*p_))) ++p_;
  }

  // A word of at most max_width characters (0: any); only the first keep
  // characters are stored, terminated.
  bool read_word(char* out, size_t keep, size_t max_width = 0) {
    skip_blanks();
    if (!*p_) return false;
    size_t n = 0;
    while (*p_ && !std::isspace(static_cast<unsigned char>(*p_)) &&
           (max_width == 0 || n < max_width)) {
      if (n < keep) out[n] = *p_;
      ++n;
      ++p_;
    }
    out[n < keep ? n : keep] = '\0';
    return true;
  }

  bool read_word(std::string& out) {
    skip_blanks();
    if (!*p_) return false;
    const char* b = p_;
    while (*p_ && !std::isspace(static_cast<unsigned char>(*p_))) ++p_;
    out.assign(b, p_);
    return true;
  }

  bool read_long(long& out) {
    skip_blanks();
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(p_, &end, 10);
    if (end == p_) return false;
    p_ = end;
    out = v;
    return true;
  }

  bool read_short(short& out) {
    long v;
    if (!read_long(v)) return false;
    if (v > SHRT_MAX) v = SHRT_MAX;
    if (v < SHRT_MIN) v = SHRT_MIN;
    out = static_cast<short>(v);
    return true;
  }

  bool read_float(float& out) {
    skip_blanks();
    char* end = nullptr;
    const float v = std::strtof(p_, &end);
    if (end == p_) return false;
    p_ = end;
    out = v;
    return true;
  }

  // Exactly width characters starting at the next non-blank one (the line
  // end does not count). A shorter rest of line fills what it can and is a
  // matching failure.
  bool read_chars(char* out, size_t width) {
    skip_blanks();
    size_t n = 0;
    while (n < width && p_[n] && p_[n] != '\n') ++n;
    if (n == 0) return false;
    std::memcpy(out, p_, n);
    out[n] = '\0';
    p_ += n;
    return n == width;
  }

 private:
  const char* p_;
};

// The decimal number at the start of the first six characters of a token.
float token_number(const std::string& token) {
  return static_cast<float>(std::atof(token.substr(0, 6).c_str()));
}

// The count of entries on a catalogue's first line; false when it cannot
// be read (no number, a negative one, one too large for a long).
bool catalogue_count(const std::string& first_line, unsigned long& count) {
  const LeadingNumber n = leading_number(first_line);
  if (!n.found || n.overflow || n.value < 0) return false;
  count = static_cast<unsigned long>(n.value);
  return true;
}

// The first line as shown in a message: without its line end.
std::string shown_line(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  return line;
}


// Appends the entry lines of the open catalogue file `name`; at most
// `limit` entries in all (0: none), false when the limit stopped it.
template <typename Parse>
bool load_entries(std::FILE* f, const std::string& path, const char* name,
                  Parse parse, const CatalogueOptions& options,
                  std::vector<STATREC>& out, std::vector<std::string>& warnings,
                  bool& warned_full) {
  std::string line;
  if (!read_bounded_line(f, kCatalogueLineRead, line)) return true;
  unsigned long count = 0;
  if (!catalogue_count(line, count)) {
    if (options.strict)
      throw CatalogueError(path + " line 1: the count of entries '" +
                           shown_line(line) + "' cannot be read");
    warnings.push_back(std::string(" WARNING:  ") + name +
                       " line 1: the count of entries '" + shown_line(line) +
                       "' cannot be read - no entry of the file was loaded\n");
    return true;
  }
  for (unsigned long k = 0; k < count; ++k) {
    if (!read_bounded_line(f, kCatalogueLineRead, line)) break;
    if (options.limit != 0 && out.size() >= options.limit) {
      if (!warned_full) {
        warnings.push_back(
            " WARNING:  station catalogue full - entries after " +
            std::to_string(options.limit) + " were not loaded\n");
        warned_full = true;
      }
      return false;
    }
    STATREC e{};
    parse(line.c_str(), e);
    out.push_back(e);
  }
  return true;
}

}  // namespace

LeadingNumber leading_number(const std::string& text) {
  LeadingNumber r;
  const char* p = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* digits = p;
  if (*digits == '+' || *digits == '-') ++digits;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return r;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(p, &end, 10);
  r.found = true;
  if (errno == ERANGE) {
    r.overflow = true;
    return r;
  }
  r.value = v;
  return r;
}


bool read_bounded_line(std::FILE* f, int size, std::string& line) {
  const size_t limit = static_cast<size_t>(size - 1);
  line.clear();
  int c = EOF;
  while (line.size() < limit && (c = std::fgetc(f)) != EOF) {
    line += static_cast<char>(c);
    if (c == '\n') break;
  }
  if (line.empty()) return false;
  if (line.size() == limit && line.back() != '\n') {
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
    }
  }
  return true;
}


void parse_stat2000_line(const char* line, STATREC& e) {
  Fields in(line);
  const bool ok =
      in.read_word(e.init, sizeof e.init - 1) && in.read_long(e.wban) &&
      in.read_long(e.wmo) && in.read_float(e.lat) && in.read_float(e.lon) &&
      in.read_short(e.elev) && in.read_long(e.bdate) &&
      in.read_long(e.edate) && in.read_chars(e.name, 25) &&
      in.read_chars(e.state, 2) &&
      in.read_word(e.country, sizeof e.country - 1);
  (void)ok;  // fields after a mismatch keep their values
  // The file gives western longitudes as positive numbers.
  e.lon = -e.lon;
  e.Clat = 'N';
  e.Clon = 'W';
}

void parse_international_line(const char* line, STATREC& e) {
  Fields in(line);
  std::string lat_token, lon_token;
  bool ok = in.read_word(e.init, sizeof e.init - 1, 4) && in.read_long(e.wmo);
  const bool have_lat = ok && in.read_word(lat_token);
  const bool have_lon = have_lat && in.read_word(lon_token);
  ok = have_lon && in.read_short(e.elev) && in.read_long(e.bdate) &&
       in.read_long(e.edate) && in.read_chars(e.name, 29) &&
       in.read_chars(e.country, 2);
  (void)ok;  // fields after a mismatch keep their values

  if (have_lat) e.lat = token_number(lat_token);
  if (have_lon) e.lon = token_number(lon_token);
  // The hemisphere letters stand in fixed columns 18 and 26 of the line.
  const size_t len = std::strlen(line);
  if (len > 17) {
    e.Clat = line[17];
    if (e.Clat == 'S' && have_lat) e.lat = -e.lat;
  }
  if (len > 25) {
    e.Clon = line[25];
    if (e.Clon == 'W' && have_lon) e.lon = -e.lon;
  }
  std::strcpy(e.state, "99");
  // A WMO number too large for the offset keeps the largest file number.
  e.wban = e.wmo > LONG_MAX - 900000 ? LONG_MAX : e.wmo + 900000;
}

bool read_catalogue_file(const std::string& path, bool international,
                         std::vector<STATREC>& out) {
  OpenedFile opened = open_regular_file(path);
  if (opened.missing()) return false;
  if (!opened.file) throw CatalogueError(path + ": " + opened.reason());
  FileHandle& f = opened.file;
  std::string line;
  if (!read_bounded_line(f.get(), kCatalogueLineRead, line)) return true;
  unsigned long count = 0;
  if (!catalogue_count(line, count))
    throw CatalogueError(path + " line 1: the count of entries '" +
                             shown_line(line) + "' cannot be read");
  for (unsigned long k = 0; k < count; ++k) {
    if (!read_bounded_line(f.get(), kCatalogueLineRead, line)) break;
    STATREC e{};
    if (international)
      parse_international_line(line.c_str(), e);
    else
      parse_stat2000_line(line.c_str(), e);
    out.push_back(e);
  }
  return !std::ferror(f.get());
}

Catalogue Catalogue::load(const std::string& support_dir,
                          const CatalogueOptions& options) {
  Catalogue c;
  bool warned_full = false;
  bool room = true;
  struct File {
    const char* name;
    bool international;
    CatalogueFileState* state;
    std::string* reason;
  };
  const File files[2] = {
      {"stat2000.txt", false, &c.stat2000_, &c.stat2000_reason_},
      {"international_sites.txt", true, &c.international_,
       &c.international_reason_}};
  for (const File& file : files) {
    if (file.international &&
        (!options.international ||
         (options.needs_stat2000 &&
          c.stat2000_ != CatalogueFileState::loaded)))
      break;
    const std::string path = support_dir + file.name;
    OpenedFile opened = open_regular_file(path);
    if (!opened.file) {
      *file.state = opened.missing() ? CatalogueFileState::missing
                                     : CatalogueFileState::unopenable;
      *file.reason = opened.reason();
      if (options.strict && !opened.missing())
        throw CatalogueError(path + ": " + opened.reason());
      continue;
    }
    *file.state = CatalogueFileState::loaded;
    // A catalogue already full reads no more entries.
    if (!room) break;
    room = file.international
               ? load_entries(opened.file.get(), path, file.name,
                              parse_international_line, options, c.entries_,
                              c.warnings_, warned_full)
               : load_entries(opened.file.get(), path, file.name,
                              parse_stat2000_line, options, c.entries_,
                              c.warnings_, warned_full);
    if (!file.international) c.from_stat2000_ = c.entries_.size();
  }
  if (options.world_table) {
    const std::string world = support_dir + "world_stations.csv";
    OpenedFile table = open_regular_file(world);
    if (table.file) {
      c.world_ = read_world_table(world);
      c.ids_ = std::make_shared<StationIdTable>(c.world_);
    }
  }
  if (options.strict && c.stat2000_ != CatalogueFileState::loaded &&
      c.international_ != CatalogueFileState::loaded)
    throw CatalogueError(support_dir + "stat2000.txt: " +
                         std::strerror(ENOENT) + " (no station catalogue in " +
                         support_dir + ")");
  return c;
}

std::vector<int> Catalogue::find(long number, bool wban) const {
  std::vector<int> found;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if ((wban ? entries_[i].wban : entries_[i].wmo) == number)
      found.push_back(static_cast<int>(i));
  }
  return found;
}
