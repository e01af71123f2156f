// rawinq-extract: the retrieval of a request given on the command line,
// for scripts. The request is checked whole before anything is read or
// written; the exit status is 0 when soundings were written, 1 when
// nothing matched and 2 for a usage error or a failure.
#include "rawinq/extract.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "rawinq/archive.h"
#include "rawinq/edition.h"
#include "rawinq/installation.h"
#include "rawinq/output_session.h"
#include "rawinq/interruption.h"
#include "rawinq/progress_bar.h"
#include "rawinq/rawinq.h"
#include "rawinq/regular_file.h"
#include "rawinq/retrieval.h"
#include "rawinq/catalogue.h"
#include "rawinq/csv_writer.h"
#include "rawinq/dates.h"
#include "rawinq/selection.h"
#include "rawinq/skewt_layout.h"

namespace {

constexpr const char* kProgram = "rawinq-extract";

struct Interrupted {
  int signal;
};

// A usage error: the message names the option or value.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class SelectionKind { none, wmo, wban, list, box, region, ids, name };

struct Options {
  std::string database_dir, support_dir;
  long from = -1, to = -1;  // YYYYMMDDHH
  SelectionKind kind = SelectionKind::none;
  std::string kind_option;  // the option that chose it, for messages
  std::vector<long> numbers;
  std::string station_list;
  bool list_wban = false;
  std::vector<std::string> ids;  // --station, or the text of --station-name
  std::array<float, 4> box{};
  std::bitset<24> hours;
  const OutputFormat* format = nullptr;
  short levels = 0;
  bool above_100mb = true;
  bool knots = true;
  Order order = Order::synoptic;
  Split split = Split::one;
  std::string split_text = "one";
  std::string out;
  bool inventory = false;
  bool list_stations = false;
  GridOptions grid;  // --grid
  bool quiet = false;
  bool derived = false;
  PlotOptions plot;     // the plot formats' axis and parcel
  bool plot_range = false;  // --plot-range given
  std::string history;  // the command line, for the CF history
};

void usage(std::FILE* f) {
  std::string formats;
  for (const OutputFormat& fmt : output_formats()) {
    if (fmt.name == nullptr) continue;
    if (!formats.empty()) formats += "|";
    formats += fmt.name;
  }
  std::fprintf(
      f,
      "usage: %s [OPTIONS] DATABASE_DIR SUPPORT_DIR\n"
      "       %s --help | --version\n"
      "\n"
      "Extracts the upper-air soundings of a request from the archive in\n"
      "DATABASE_DIR, with the station catalogues (stat2000.txt and, when\n"
      "present, international_sites.txt) of SUPPORT_DIR.\n"
      "\n"
      "  --from TIME             first date and hour (required): YYYYMMDDHH,\n"
      "                          1999-05-04T00Z (UTC; an offset is converted),\n"
      "                          or a day, month or year (1999-05-04, 1999-05,\n"
      "                          1999) from its first hour\n"
      "  --to TIME               last date and hour, the same forms to the last\n"
      "                          hour of a day, month or year (default: the\n"
      "                          end of what --from names)\n"
      "  one selection of stations:\n"
      "  --wmo LIST | --wban LIST   comma-separated station numbers\n"
      "  --station LIST          comma-separated identifiers, mixed: WMO\n"
      "                          numbers (72469), WBAN numbers (W23062), ICAO\n"
      "                          codes (KDNR), 3-letter codes (DNR), IGRA2 ids\n"
      "                          (USM00072469)\n"
      "  --station-name TEXT     the station whose name holds TEXT (any case)\n"
      "  --station-list FILE     one number a line, '#' starts a comment\n"
      "  --numbers wmo|wban      how the list's numbers are read (wmo)\n"
      "  --box LATMIN,LATMAX,LONMIN,LONMAX   degrees, east and north positive\n"
      "  --region north-america|global\n"
      "  --hours LIST|all        sounding hours 0-23 (default 0,12)\n"
      "  --format %s   (default zir)\n"
      "          png, svg and pdf draw a skew-T log-p plot per sounding\n"
      "          into WMO_INI_YYYYMMDDHH.png (.svg, .pdf) in --out\n"
      "  --levels all|mandatory|mandatory+significant   (default all)\n"
      "  --above-100mb yes|no    ZIR levels above 100 mb (default yes)\n"
      "  --wind knots|ms         ZIR and CSV wind speeds (default knots)\n"
      "  --derived               csv and cf: derived quantities and indices\n"
      "  --grid pressure[:LIST] | height[:LIST]   cf: a station x time x level\n"
      "                          cube on pressures in hPa (default the\n"
      "                          mandatory levels) or heights above the\n"
      "                          ground in m (default every 250 m to 20 km)\n"
      "  --plot-range TMIN,TMAX  png, svg, pdf: the temperature axis at 1000 hPa\n"
      "                          (degC); default one range for the request\n"
      "  --parcel surface|mixed-layer|most-unstable   png, svg, pdf: the\n"
      "                          parcel drawn (default surface)\n"
      "  --order synoptic|station   (default synoptic)\n"
      "  --split one|year|month|day|time|sounding   in synoptic order,\n"
      "          one|station|sounding               in station order\n"
      "  --out DIR               write files into DIR (made if missing);\n"
      "                          without it text goes to standard output\n"
      "  --inventory             list the station-years of the selection\n"
      "  --list-stations         list the selection's stations as CSV (all\n"
      "                          without a selection; --from optional)\n"
      "  --quiet                 no progress and no summary\n"
      "\n"
      "Exit status: 0 soundings written, 1 nothing matched, 2 error.\n"
      "The manual page %s(1) has examples.\n",
      kProgram, kProgram, formats.c_str(), kProgram);
}

bool all_digits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

// The hours a --from or --to value covers.
rawinq::TimeSpan parse_date(const std::string& option, const std::string& text) {
  try {
    return rawinq::parse_time_span(text);
  } catch (const rawinq::DateError& e) {
    throw UsageError(option + ": " + e.what());
  }
}

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    parts.push_back(text.substr(from, comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return parts;
}

long parse_number(const std::string& option, const std::string& text) {
  if (!all_digits(text) || text.size() > 9)
    throw UsageError(option + ": '" + text + "' is not a station number");
  return std::stol(text);
}

float parse_degrees(const std::string& option, const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(begin, &end);
  if (text.empty() || end != begin + text.size() || errno == ERANGE ||
      !(v >= -360.0f && v <= 360.0f))
    throw UsageError(option + ": '" + text + "' is not a number of degrees");
  return v;
}

template <typename T, std::size_t N>
T choose(const std::string& option, const std::string& text,
         const std::array<std::pair<const char*, T>, N>& table) {
  std::string names;
  for (const auto& [name, value] : table) {
    if (text == name) return value;
    names += names.empty() ? name : std::string("|") + name;
  }
  throw UsageError(option + ": '" + text + "' is not one of " + names);
}

void set_selection(Options& o, SelectionKind kind, const std::string& option) {
  if (o.kind != SelectionKind::none)
    throw UsageError(option + ": only one of --wmo, --wban, --station, "
                              "--station-name, --station-list, --box, "
                              "--region may be given (" +
                     o.kind_option + " was)");
  o.kind = kind;
  o.kind_option = option;
}

// The CF history: when and by which command the file was made.
std::string history_text(int argc, char** argv) {
  char when[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc) != nullptr)
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ ", &utc);
  std::string text = when;
  text += kProgram;
  for (int i = 1; i < argc; ++i) (text += ' ') += argv[i];
  return text;
}

Options parse(int argc, char** argv) {
  Options o;
  long from_last = -1;  // the last hour of the period --from names
  o.hours.set(0);
  o.hours.set(12);
  o.format = format_by_name("zir");
  std::vector<std::string> operands;
  std::optional<std::string> numbers_as;
  std::string split_text;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      for (++i; i < argc; ++i) operands.push_back(argv[i]);
      break;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      if (!arg.empty() && arg[0] == '-' && arg != "-")
        throw UsageError(arg + ": unknown option");
      operands.push_back(arg);
      continue;
    }
    std::string value;
    bool has_value = false;
    const std::size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    const auto flag = [&] {
      if (has_value) throw UsageError(arg + ": takes no value");
    };
    const auto need = [&]() -> const std::string& {
      if (!has_value) {
        if (i + 1 >= argc) throw UsageError(arg + ": a value is missing");
        value = argv[++i];
        has_value = true;
      }
      return value;
    };
    if (arg == "--from") {
      const rawinq::TimeSpan t = parse_date(arg, need());
      o.from = t.first;
      from_last = t.last;
    } else if (arg == "--to") {
      o.to = parse_date(arg, need()).last;
    } else if (arg == "--wmo" || arg == "--wban") {
      set_selection(o, arg == "--wmo" ? SelectionKind::wmo : SelectionKind::wban,
                    arg);
      for (const std::string& n : split_list(need()))
        o.numbers.push_back(parse_number(arg, n));
    } else if (arg == "--station") {
      set_selection(o, SelectionKind::ids, arg);
      o.ids = split_list(need());
      for (const std::string& id : o.ids)
        if (id.empty()) throw UsageError(arg + ": an empty identifier");
    } else if (arg == "--station-name") {
      set_selection(o, SelectionKind::name, arg);
      o.ids = {need()};
      if (o.ids[0].empty()) throw UsageError(arg + ": an empty name");
    } else if (arg == "--station-list") {
      set_selection(o, SelectionKind::list, arg);
      o.station_list = need();
    } else if (arg == "--numbers") {
      numbers_as = need();
      o.list_wban = choose<bool, 2>(arg, value, {{{"wmo", false}, {"wban", true}}});
    } else if (arg == "--box") {
      set_selection(o, SelectionKind::box, arg);
      const std::vector<std::string> parts = split_list(need());
      if (parts.size() != 4)
        throw UsageError(arg + ": give LATMIN,LATMAX,LONMIN,LONMAX");
      for (std::size_t k = 0; k < 4; ++k)
        o.box[k] = parse_degrees(arg, parts[k]);
      if (o.box[0] > o.box[1])
        throw UsageError(arg + ": LATMAX is less than LATMIN");
      if (o.box[2] > o.box[3])
        throw UsageError(arg + ": LONMAX is less than LONMIN");
    } else if (arg == "--region") {
      set_selection(o, SelectionKind::region, arg);
      const bool global = choose<bool, 2>(
          arg, need(), {{{"north-america", false}, {"global", true}}});
      // The dialogue's choices 2 (North/Central America) and 3.
      const auto b = global ? edition::kWorldBox
                            : edition::Box{0.0f, 90.0f, -180.0f, -50.0f};
      o.box = {b.blat, b.elat, b.blong, b.elong};
    } else if (arg == "--hours") {
      need();
      o.hours.reset();
      if (value == "all") {
        o.hours.set();
      } else {
        for (const std::string& h : split_list(value)) {
          if (!all_digits(h) || h.size() > 2 || std::stoi(h) > 23)
            throw UsageError(arg + ": '" + h + "' is not an hour 0-23");
          o.hours.set(static_cast<std::size_t>(std::stoi(h)));
        }
      }
    } else if (arg == "--format") {
      o.format = format_by_name(need());
      if (o.format == nullptr) {
        std::string names;
        for (const OutputFormat& f : output_formats())
          if (f.name != nullptr) names += names.empty() ? f.name : std::string("|") + f.name;
        throw UsageError(arg + ": '" + value + "' is not one of " + names);
      }
    } else if (arg == "--levels") {
      o.levels = choose<short, 3>(arg, need(),
                                  {{{"all", 0},
                                    {"mandatory", 1},
                                    {"mandatory+significant", 2}}});
    } else if (arg == "--above-100mb") {
      o.above_100mb = choose<bool, 2>(arg, need(), {{{"yes", true}, {"no", false}}});
    } else if (arg == "--wind") {
      o.knots = choose<bool, 2>(arg, need(), {{{"knots", true}, {"ms", false}}});
    } else if (arg == "--order") {
      o.order = choose<Order, 2>(
          arg, need(), {{{"synoptic", Order::synoptic}, {"station", Order::station}}});
    } else if (arg == "--split") {
      split_text = need();
    } else if (arg == "--out") {
      o.out = need();
      if (o.out.empty()) throw UsageError("--out: the directory name is empty");
    } else if (arg == "--inventory") {
      flag();
      o.inventory = true;
    } else if (arg == "--grid") {
      try {
        o.grid = parse_grid(need());
      } catch (const std::invalid_argument& e) {
        throw UsageError(arg + ": " + e.what());
      }
    } else if (arg == "--list-stations") {
      flag();
      o.list_stations = true;
    } else if (arg == "--quiet") {
      flag();
      o.quiet = true;
    } else if (arg == "--derived") {
      flag();
      o.derived = true;
    } else if (arg == "--plot-range") {
      const std::vector<std::string> parts = split_list(need());
      if (parts.size() != 2) throw UsageError(arg + ": give TMIN,TMAX");
      double t[2];
      for (int k = 0; k < 2; ++k) {
        char* end = nullptr;
        t[k] = std::strtod(parts[k].c_str(), &end);
        if (parts[k].empty() || *end != '\0' || !(std::fabs(t[k]) <= 150))
          throw UsageError(arg + ": '" + parts[k] + "' is not a temperature -150 to 150");
      }
      if (!(t[1] - t[0] >= 10))
        throw UsageError(arg + ": TMAX must be at least 10 degrees above TMIN");
      o.plot.tmin_c = t[0];
      o.plot.tmax_c = t[1];
      o.plot_range = true;
    } else if (arg == "--parcel") {
      using rawinq::indices::ParcelKind;
      o.plot.parcel = choose<ParcelKind, 3>(
          arg, need(),
          {{{"surface", ParcelKind::kSurfaceBased},
            {"mixed-layer", ParcelKind::kMixedLayer},
            {"most-unstable", ParcelKind::kMostUnstable}}});
    } else {
      throw UsageError(arg + ": unknown option");
    }
  }
  if (operands.size() != 2)
    throw UsageError("give DATABASE_DIR and SUPPORT_DIR (" +
                     std::to_string(operands.size()) + " operands given)");
  o.database_dir = operands[0];
  o.support_dir = operands[1];
  if (o.list_stations) {
    // Every station of the catalogue, for all its years, unless asked.
    if (o.kind == SelectionKind::none) {
      o.kind = SelectionKind::region;
      o.box = {edition::kWorldBox.blat, edition::kWorldBox.elat,
               edition::kWorldBox.blong, edition::kWorldBox.elong};
    }
    if (o.from < 0) o.from = 1000010100, from_last = 9999123123;
  }
  if (o.from < 0) throw UsageError("--from: the first date is required");
  // Without --to, the period --from names (an hour, a day, a month, a year).
  if (o.to < 0) o.to = from_last;
  if (o.to < o.from) throw UsageError("--to: the last date is before --from");
  if (o.kind == SelectionKind::none)
    throw UsageError("a selection is required: --wmo, --wban, --station, "
                     "--station-name, --station-list, --box or --region");
  if (numbers_as && o.kind != SelectionKind::list)
    throw UsageError("--numbers: only with --station-list");
  if (o.hours.none()) throw UsageError("--hours: no hour given");
  if (o.grid.kind != GridOptions::Kind::none) {
    if (std::string(o.format->name) != "cf")
      throw UsageError("--grid: only with --format cf");
    if (o.derived) throw UsageError("--grid: not with --derived");
    if (!split_text.empty() && split_text != "one" && split_text != "station")
      throw UsageError("--grid: one cube of the period, or one a station "
                       "(--split one|station)");
    // The cube is the same in either order; station by station, each
    // station's times go out a chunk at a time.
    o.order = Order::station;
    o.grid.from = o.from;
    o.grid.to = o.to;
    o.grid.hours = o.hours;
  }
  if (!split_text.empty()) {
    o.split_text = split_text;
    if (o.order == Order::synoptic)
      o.split = choose<Split, 6>("--split", split_text,
                                 {{{"one", Split::one},
                                   {"year", Split::year},
                                   {"month", Split::month},
                                   {"day", Split::day},
                                   {"time", Split::time},
                                   {"sounding", Split::sounding}}});
    else
      o.split = choose<Split, 3>("--split", split_text,
                                 {{{"one", Split::one},
                                   {"station", Split::station},
                                   {"sounding", Split::sounding}}});
    if (o.split != Split::one && o.out.empty())
      throw UsageError("--split: files need --out");
  }
  // The plots are one file per sounding, in either order.
  if (o.format->one_file_per_sounding) {
    if (!split_text.empty() && o.split != Split::sounding)
      throw UsageError(std::string("--split: --format ") + o.format->name +
                       " writes one file per sounding");
    o.split = Split::sounding;
  }
  if (!o.inventory && !o.list_stations && o.format->file_only && o.out.empty())
    throw UsageError(std::string("--format ") + o.format->name +
                     ": needs --out, it is written to files only");
  const std::string fmt = o.format->name;
  if (o.plot_range && fmt != "png" && fmt != "svg" && fmt != "pdf")
    throw UsageError("--plot-range: only with --format png, svg or pdf");
  if (o.derived && fmt != "csv" && fmt != "cf")
    throw UsageError("--derived: only with --format csv or cf");
  if (o.derived && fmt == "csv" && o.out.empty() && !o.inventory && !o.list_stations)
    throw UsageError("--derived: with --format csv needs --out, the indices "
                     "go to a file of their own");
  o.history = history_text(argc, argv);
  return o;
}

std::string with_slash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// The station numbers of a list file: one a line, '#' starts a comment.
std::vector<long> read_station_list_file(const std::string& path) {
  // A FIFO or a device would never end: only a regular file is read.
  OpenedFile opened = open_regular_file(path);
  if (!opened.file)
    throw std::runtime_error("--station-list: " + path + ": " +
                             opened.reason());
  FileHandle& f = opened.file;
  std::vector<long> numbers;
  std::string line;
  int c;
  int line_no = 0;
  const auto take = [&] {
    ++line_no;
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    const std::size_t b = line.find_first_not_of(" \t\r");
    if (b == std::string::npos) return;
    const std::size_t e = line.find_last_not_of(" \t\r");
    const std::string word = line.substr(b, e - b + 1);
    if (!all_digits(word) || word.size() > 9)
      throw UsageError("--station-list: " + path + " line " +
                       std::to_string(line_no) + ": '" + word +
                       "' is not a station number");
    numbers.push_back(std::stol(word));
  };
  while ((c = std::fgetc(f.get())) != EOF) {
    if (c == '\n') {
      take();
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  if (!line.empty()) take();
  if (std::ferror(f.get()))
    throw std::runtime_error("--station-list: " + path + ": read error");
  return numbers;
}

// Progress on standard error when it is a terminal: a bar with the share
// of the station-years read, the rate, the time left, the station and the
// date; the run stops between soundings when it has been interrupted.
class TerminalProgress final : public Progress {
 public:
  explicit TerminalProgress(bool on) : bar_(stderr, on) {}
  void checkpoint() override {
    if (interruption_signal() != 0) throw Interrupted{interruption_signal()};
  }
  void advance(const Advance& a) override {
    bar_.update(a.done, static_cast<double>(a.station_years), a.soundings,
                a.station, a.date);
  }
  // The archive's warnings go on their own line, never over the bar.
  void message(const std::string& text) override {
    bar_.clear();
    std::fputs(text.c_str(), stderr);
  }
  // Before the summary line.
  void clear() { bar_.clear(); }

 private:
  progress_bar::Bar bar_;
};

// The catalogue of the support folder, every entry of both files.
Catalogue load_catalogues(const std::string& support_dir, bool quiet) {
  CatalogueOptions options;
  options.strict = true;
  Catalogue c = Catalogue::load(support_dir, options);
  if (!quiet && c.size() > 2000)
    std::fprintf(stderr,
                 "%s: note: the catalogues hold %zu entries (%zu in "
                 "stat2000.txt); all are used, the dialogue reads the first "
                 "2000\n",
                 kProgram, c.size(), c.from_stat2000());
  return c;
}

// Every one of the selection's station-year files: one tab-separated line
// per station and year with the soundings of the period, read from the
// day indexes only.
long inventory(const RetrievalRequest& rq) {
  std::printf("wmo\twban\tinitials\tyear\tsoundings\tfirst\tlast\tstation_id\t"
              "station_name\tlatitude_deg\tlongitude_deg\televation_m\n");
  const std::vector<InventoryRow> rows =
      ::inventory(rq, [](const std::string& text) { std::fputs(text.c_str(), stderr); });
  for (const InventoryRow& r : rows) {
    const std::string init =
        r.entry ? std::string(r.entry->init, strnlen(r.entry->init, sizeof(STATREC::init)))
                : std::string();
    const std::string where =
        r.entry ? station_columns(*r.entry, rq.write.station_ids.get(), '\t') : "\t\t\t\t";
    if (r.soundings > 0)
      std::printf("%ld\t%ld\t%s\t%d\t%ld\t%ld\t%ld\t%s\n", r.wmo, r.wban, init.c_str(),
                  r.year, r.soundings, r.first, r.last, where.c_str());
    else
      std::printf("%ld\t%ld\t%s\t%d\t0\t\t\t%s\n", r.wmo, r.wban, init.c_str(), r.year,
                  where.c_str());
  }
  std::fflush(stdout);
  if (std::ferror(stdout)) throw OutputFailure{EIO, ""};
  return static_cast<long>(rows.size());
}

// The selection's stations as CSV: identifiers, name, position, elevation
// (of the station's latest catalogue entry in the period) and the years the
// archive holds a file of the station for, as ranges ("1995-1997 1999").
long list_stations(const RetrievalRequest& rq, const Catalogue& cat) {
  std::printf("station_id,station_wmo,station_wban,igra2_id,icao,codes,station_name,"
              "latitude_deg,longitude_deg,elevation_m,years\n");
  const StationIdTable& ids = *cat.station_ids();
  const std::vector<rawinq::StationListing> listing =
      rawinq::list_stations(rawinq::Archive::open(rq.data_dir), ids, rq);
  for (const rawinq::StationListing& l : listing) {
    const STATREC& e = *l.entry;
    const std::string columns = station_columns(e, &ids, ',');
    const std::size_t id_end = columns.find(',');
    std::printf("%s,%s,%s,%s,%s,%s%s,%s\n", columns.substr(0, id_end).c_str(),
                is_missing(e.wmo) ? "" : std::to_string(e.wmo).c_str(),
                e.wban > 900000 ? "" : std::to_string(e.wban).c_str(),
                l.world ? l.world->igra2.c_str() : "", l.icao.c_str(), l.codes.c_str(),
                columns.substr(id_end).c_str(), l.years.c_str());
  }
  std::fflush(stdout);
  if (std::ferror(stdout)) throw OutputFailure{EIO, ""};
  return static_cast<long>(listing.size());
}

// The WBAN numbers of the stations --station or --station-name name; an
// identifier that names no station of the catalogue, or several, is an
// error that says so.
std::vector<long> resolve_stations(const Catalogue& cat, const Options& o) {
  try {
    return cat.resolve_stations(o.ids, o.kind == SelectionKind::name);
  } catch (const CatalogueError& e) {
    throw std::runtime_error(o.kind_option + ": " + e.what());
  }
}

int run(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") break;
    if (a == "--help" || a == "--version") {
      if (a == "--help")
        usage(stdout);
      else
        std::printf("%s %s\n", kProgram, program_version());
      errno = 0;
      if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw OutputFailure{errno != 0 ? errno : EIO, ""};
      return 0;
    }
  }
  const Options o = parse(argc, argv);

  // Everything that can be checked is checked before anything is read.
  const std::string data_dir = with_slash(o.database_dir);
  struct stat st {};
  if (stat(o.database_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error(o.database_dir + ": " +
                             (errno != 0 && !S_ISDIR(st.st_mode) &&
                                      stat(o.database_dir.c_str(), &st) != 0
                                  ? std::strerror(errno)
                                  : "not a directory"));
  std::vector<long> numbers = o.numbers;
  if (o.kind == SelectionKind::list)
    numbers = read_station_list_file(o.station_list);
  const Catalogue cat = load_catalogues(with_slash(o.support_dir), o.quiet);
  const bool by_ids = o.kind == SelectionKind::ids || o.kind == SelectionKind::name;
  if (by_ids) numbers = resolve_stations(cat, o);

  StationCriteria c;
  c.by_numbers = o.kind == SelectionKind::wmo || o.kind == SelectionKind::wban ||
                 o.kind == SelectionKind::list || by_ids;
  c.wban_numbers = o.kind == SelectionKind::wban || by_ids ||
                   (o.kind == SelectionKind::list && o.list_wban);
  c.numbers = numbers;
  c.blat = o.box[0];
  c.elat = o.box[1];
  c.blong = o.box[2];
  c.elong = o.box[3];
  c.bdate = o.from / 100;
  c.edate = o.to / 100;

  // The engine's request, made as for every program of the library:
  // stations named by identifier are visited by WMO number, a cube's times
  // are those the archive has soundings at.
  rawinq::Request request;
  request.from = o.from;
  request.to = o.to;
  request.hours = o.hours;
  request.stations = c;
  if (by_ids) {
    request.station_ids = o.ids;
    request.station_names = o.kind == SelectionKind::name;
  }
  request.order = o.order;
  request.split = o.split;
  request.write.levels = o.levels;
  request.write.knots = o.knots;
  request.write.above_100mb = o.above_100mb;
  request.write.derived = o.derived;
  request.write.history = o.history;
  request.write.plot = o.plot;
  request.write.grid = o.grid;
  request.keyed_slots = 1 << 20;
  RetrievalRequest rq =
      rawinq::engine_request(rawinq::Archive::open(data_dir), cat, request);

  // Why nothing may match: station numbers not in the catalogue.
  std::vector<std::string> why;
  if (c.by_numbers) {
    std::set<long> known;
    for (const STATREC& e : cat.entries())
      known.insert(c.wban_numbers ? e.wban : e.wmo);
    std::string missing;
    for (const long n : numbers)
      if (!known.count(n)) missing += (missing.empty() ? "" : ", ") + std::to_string(n);
    if (!missing.empty())
      why.push_back(std::string(c.wban_numbers ? "WBAN" : "WMO") +
                    " station numbers not in the catalogue: " + missing);
  }
  if (rq.selection.stations.empty())
    why.push_back("no station of the selection has a catalogue entry in the "
                  "period");

  if (o.inventory || o.list_stations) {
    if (rq.selection.stations.empty()) {
      for (const std::string& w : why) std::fprintf(stderr, "%s: %s\n", kProgram, w.c_str());
      return 1;
    }
    const long lines = o.list_stations ? list_stations(rq, cat) : inventory(rq);
    return lines > 0 ? 0 : 1;
  }

  if (!o.out.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    if (ec || stat(o.out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw std::runtime_error("--out: " + o.out + ": " +
                               (ec ? ec.message() : "not a directory"));
    if (access(o.out.c_str(), W_OK) != 0)
      throw std::runtime_error("--out: " + o.out + ": " + std::strerror(errno));
  }

  // The plots of one request share one temperature axis: a first pass
  // visits the soundings (nothing is written) for their traces' extent.
  if (o.format->unit == UnitKind::file && !o.plot_range && !rq.selection.stations.empty()) {
    std::pair<double, double> extent{std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity()};
    RetrievalRequest scan = rq;
    scan.only_visit = true;
    scan.visit = [&extent](const Sounding& s, const STATREC& station) {
      const auto e = rawinq::plot::trace_extent(s, station);
      extent.first = std::min(extent.first, e.first);
      extent.second = std::max(extent.second, e.second);
    };
    SessionConfig none;
    none.format = o.format;
    OutputSession nowhere(none);
    Progress silent;
    catch_interruptions(true);
    try {
      retrieve(scan, nowhere, silent);
    } catch (const Interrupted& i) {
      std::fprintf(stderr, "%s: interrupted (%s)\n", kProgram, strsignal(i.signal));
      return 128 + i.signal;
    }
    std::tie(rq.write.plot.tmin_c, rq.write.plot.tmax_c) = rawinq::plot::axis_range(extent);
  }

  SessionConfig config;
  config.format = o.format;
  config.to_files = !o.out.empty();
  config.dir = with_slash(o.out);
  config.by_station = o.order == Order::station;
  TerminalProgress progress(!o.quiet && isatty(2) == 1);
  config.notes = [&progress](const std::string& text) {
    progress.message(text);
  };
  OutputSession session(config);
  RetrievalResult r;
  // An interruption ends the run between soundings; the file being written
  // is removed, those finished stay.
  catch_interruptions(true);
  try {
    if (!rq.selection.stations.empty()) r = retrieve(rq, session, progress);
    // A signal during the last sounding or the last write: what was still
    // to go to standard output may have been dropped.
    std::fflush(stdout);
    progress.checkpoint();
  } catch (const Interrupted& i) {
    session.abandon_unit();
    progress.clear();
    std::fprintf(stderr, "%s: interrupted (%s); the file being written was "
                 "removed\n", kProgram, strsignal(i.signal));
    return 128 + i.signal;
  }
  progress.clear();
  if (!config.to_files && std::ferror(stdout))
    throw OutputFailure{errno != 0 ? errno : EIO, ""};

  if (!o.quiet) {
    std::fprintf(stderr, "%ld sounding%s of %ld station%s written to %ld file%s, %llu bytes\n",
                 r.soundings, r.soundings == 1 ? "" : "s", r.stations,
                 r.stations == 1 ? "" : "s", session.files_written(),
                 session.files_written() == 1 ? "" : "s",
                 session.bytes_written());
  }
  if (r.soundings > 0) return 0;
  if (!r.years_without_files.empty()) {
    std::string years;
    for (const int y : r.years_without_files)
      years += (years.empty() ? "" : ", ") + std::to_string(y);
    why.push_back("no station files in " + data_dir + " for " + years);
  }
  if (!r.stations_without_files.empty()) {
    std::string st_list;
    for (const long w : r.stations_without_files)
      st_list += (st_list.empty() ? "" : ", ") + std::to_string(w);
    why.push_back("no station files in " + data_dir + " of WBAN " + st_list);
  }
  if (why.empty()) why.push_back("no soundings matched the request");
  for (const std::string& w : why) std::fprintf(stderr, "%s: %s\n", kProgram, w.c_str());
  return 1;
}

}  // namespace

int rawinq_extract_main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    std::fprintf(stderr, "Try '%s --help'.\n", kProgram);
    return 2;
  } catch (const OutputFailure& f) {
    std::fprintf(stderr, "%s: write error: %s: %s\n", kProgram,
                 f.path.empty() ? "standard output" : f.path.c_str(),
                 f.why.empty() ? std::strerror(f.err) : f.why.c_str());
    return 2;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 2;
  }
}
