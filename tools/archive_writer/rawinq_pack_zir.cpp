// rawinq-pack: builds station-year files of an archive from soundings in
// text: ZIR text, the program's own output in the current layout (so that
// users can add their own soundings), IGRA2 sounding files, Wyoming text
// listings, TEMP messages, or, with --items, the archive writer's item
// text.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <streambuf>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "archive_writer.h"
#include "catalogues.h"
#include "import.h"
#include "item_text.h"
#include "line_source.h"
#include "packer.h"
#include "rawinq/interruption.h"
#include "rawinq/progress_bar.h"
#include "import_run.h"
#include "staging.h"
#include "zir_text.h"

namespace {

const char kUsage[] =
    "usage: rawinq-pack [--from FORMAT] [OPTIONS] DBDIR [FILE...]\n"
    "       rawinq-pack --items [OPTIONS] DBDIR YEAR STATION INPUT\n"
    "       rawinq-pack --help | --version\n"
    "\n"
    "Writes under DBDIR the station-year file of every station and year of\n"
    "the soundings in the FILEs (standard input when none is given, or for\n"
    "-). FORMAT is one of\n"
    "  zir      ZIR text as rawinq writes it, data above 100 mb, wind speeds\n"
    "           in knots or tenths of m/s (the default)\n"
    "  igra2    IGRA2 sounding files, plain, .gz or .zip\n"
    "  wyoming  University of Wyoming text listings (TEXT:LIST, or TEXT:CSV\n"
    "           with --wmo)\n"
    "  temp     TEMP messages TTAA, TTBB and PPBB (.skt files)\n"
    "  bufr     WMO BUFR messages of soundings (template 3 09 052 or the\n"
    "           TEMP sequences 3 09 007), plain, .gz or .zip; ascents too long\n"
    "           for one record are thinned to their significant levels\n"
    "With --items, writes the one file of STATION and YEAR from the item\n"
    "text INPUT (- for standard input).\n"
    "\n"
    "  --replace          replace station-year files that exist already\n"
    "  -v VARIANT         file names: 2 Raob1995/23062_95.buf (default),\n"
    "                     1 RAOB1995/23062_95.BUF;1, 0 raob1995/23062_95.buf\n"
    "  --na               year directories up to 1999 named by year - 1900\n"
    "  --catalogue FILE   a stat2000.txt whose WBAN numbers file the stations\n"
    "                     of those WMO numbers (igra2, wyoming, temp, bufr)\n"
    "  --wmo NUMBER       the station of Wyoming comma-separated listings,\n"
    "                     which do not name it\n"
    "  --date YYYYMM      month and year of the first TEMP message (else\n"
    "                     taken from the file name, MMDDYYHH.skt)\n"
    "  --support DIR      the support directory whose stat2000.txt, after\n"
    "                     --catalogue, files the stations of those WMO numbers\n"
    "  --stations LIST    with --support, the IGRA2 station list: the stations\n"
    "                     packed are added to the catalogues of DIR\n"
    "  --max-expansion N  refuse a .gz or .zip input whose text unpacks to more\n"
    "                     than N times its size (default 200)\n"
    "  --max-unpacked GIB refuse one that unpacks to more than GIB GiB\n"
    "                     (default 8)\n"
    "  --skip-bad         bufr: leave out the messages with a fault (reported\n"
    "                     as warnings) and write the others\n"
    "  --quiet            no progress bar on a terminal\n"
    "\n"
    "Exit status: 0 files written, 1 a fault in the input or a file that\n"
    "could not be written (nothing is written then), 2 a wrong command line,\n"
    "128 + N the signal N (SIGINT, SIGTERM, SIGHUP) ended the run (nothing\n"
    "is written then).\n";

enum class Format { kZir, kIgra2, kWyoming, kTemp, kBufr };
struct FormatName {
  const char* name;
  Format format;
};
constexpr FormatName kFormats[] = {{"zir", Format::kZir},
                                   {"igra2", Format::kIgra2},
                                   {"wyoming", Format::kWyoming},
                                   {"temp", Format::kTemp},
                                   {"bufr", Format::kBufr}};

struct Options {
  Format format = Format::kZir;
  bool items = false;
  archive_writer::PackOptions pack;
  std::string catalogue;
  long date = 0;
  long wmo = 0;
  std::string stations;
  std::string support;
  archive_writer::UnpackLimits limits;
  bool quiet = false;
  bool skip_bad = false;
  std::vector<std::string> args;
};

namespace fs = std::filesystem;

// A support file installed with the programs, or "" when none is found.
std::string installed_support_file(const std::string& name) {
  std::vector<std::string> candidates;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec)
    candidates.push_back(
        (self.parent_path() / RAWINQ_DATA_BESIDE / "support" / name).string());
  candidates.push_back(RAWINQ_BUILD_SUPPORT_DIR "/" + name);
  for (const std::string& c : candidates)
    if (fs::is_regular_file(c, ec)) return c;
  return "";
}


// Interruption: the handler notes the signal; the run ends at the next
// check, and every temporary file goes with the objects that made it.
volatile std::sig_atomic_t caught = 0;

extern "C" void on_interruption(int signal_number) {
  if (caught == 0) caught = signal_number;
}

struct Interrupted {};

void check_interruption() {
  if (caught != 0) throw Interrupted{};
}

void from_items(const std::vector<std::string>& args,
                archive_writer::Packer& packer) {
  const int year = static_cast<int>(
      archive_writer::item_value(args[0], 0, 1900, 2155, "year"));
  const long station =
      archive_writer::item_value(args[1], 0, 1, 999999, "station");
  const std::string name = args[2];
  std::vector<int> lines;
  std::vector<archive_writer::Sounding> soundings;
  try {
    if (name == "-") {
      soundings = archive_writer::read_items(std::cin, year, station, &lines);
    } else {
      std::ifstream in(name);
      if (!in) throw std::runtime_error("cannot read " + name);
      soundings = archive_writer::read_items(in, year, station, &lines);
    }
  } catch (const std::runtime_error& e) {
    // "line N: what" -> "name:N: what"
    const std::string what = e.what();
    if (what.compare(0, 5, "line ") == 0) throw std::runtime_error(name + ":" + what.substr(5));
    throw;
  }
  for (std::size_t k = 0; k < soundings.size(); ++k) {
    archive_writer::Imported i;
    i.station = station;
    i.sounding = std::move(soundings[k]);
    i.where = name + ":" + std::to_string(lines[k]);
    packer.sounding(i);
  }
}

// The progress of the import on a terminal: the share of the input files'
// bytes read (a compressed file counts when it has been read whole), the
// soundings per second, the station and date of the last sounding; the
// interruption checks; standard input for "-".
class ImportProgress final : public archive_writer::ImportObserver {
 public:
  ImportProgress(const std::vector<std::string>& files, bool on)
      : bar_(stderr, on), clearing_(bar_), warnings_(&clearing_) {
    for (const std::string& f : files) {
      struct stat st {};
      if (f != "-" && stat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        total_ += static_cast<double>(st.st_size);
    }
  }
  ~ImportProgress() override { warnings_.flush(); }
  ImportProgress(const ImportProgress&) = delete;
  ImportProgress& operator=(const ImportProgress&) = delete;

  // The packer's warnings go to standard error on a line of their own.
  std::ostream& warnings() { return warnings_; }

  std::unique_ptr<archive_writer::LineSource> open(
      const std::string& name,
      const archive_writer::UnpackLimits& limits) override {
    if (name == "-")
      return std::make_unique<archive_writer::LineSource>(0, name);
    return std::make_unique<archive_writer::LineSource>(name, limits);
  }
  // The file that is read next, and its size.
  void begin_file(const std::string& name) override {
    struct stat st {};
    size_ = name != "-" && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                ? static_cast<double>(st.st_size)
                : 0;
    const auto ends = [&](const char* tail) {
      const std::size_t n = std::char_traits<char>::length(tail);
      return name.size() >= n && name.compare(name.size() - n, n, tail) == 0;
    };
    compressed_ = ends(".gz") || ends(".zip");
    read_ = 0;
  }
  void end_file() override {
    done_ += size_;
    size_ = read_ = 0;
    show();
  }
  // Bytes of the text read from the current file.
  void read(unsigned long long bytes) override {
    if (!compressed_)
      read_ = std::min(static_cast<double>(bytes), size_);
    show();
  }
  void packed(long station, long date) override {
    ++soundings_;
    station_ = station >= 900000 ? station - 900000 : station;
    date_ = date;
    show();
  }
  void check() override { check_interruption(); }
  // From here the run completes: a signal that comes later is held back
  // until the process ends (and so ignored), lest it cut the report short.
  void committing() override {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : kInterruptionSignals) sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
  }

 private:
  void show() { bar_.update(done_ + read_, total_, soundings_, station_, date_); }

  // Clears the bar before what is written through it goes to std::cerr.
  class Clearing final : public std::streambuf {
   public:
    explicit Clearing(progress_bar::Bar& bar) : bar_(bar) {}

   protected:
    int overflow(int c) override {
      if (c == traits_type::eof()) return traits_type::not_eof(c);
      bar_.clear();
      std::cerr.put(static_cast<char>(c));
      return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      bar_.clear();
      std::cerr.write(s, n);
      return n;
    }

   private:
    progress_bar::Bar& bar_;
  };

  progress_bar::Bar bar_;
  Clearing clearing_;
  std::ostream warnings_;
  double total_ = 0, done_ = 0, size_ = 0, read_ = 0;
  bool compressed_ = false;
  long soundings_ = 0, station_ = 0, date_ = 0;
};

int run(const Options& o) {
  archive_writer::ImportRequest rq;
  static constexpr archive_writer::InputFormat kInput[] = {
      archive_writer::InputFormat::zir, archive_writer::InputFormat::igra2,
      archive_writer::InputFormat::wyoming, archive_writer::InputFormat::temp,
      archive_writer::InputFormat::bufr};
  rq.format = kInput[static_cast<int>(o.format)];
  rq.skip_bad = o.skip_bad;
  rq.database_dir = o.args[0];
  rq.pack = o.pack;
  rq.catalogue = o.catalogue;
  rq.support_dir = o.support;
  rq.station_list = o.stations;
  if (!o.stations.empty()) {
    rq.help_file = installed_support_file("raobhelp.txt");
    rq.world_file = installed_support_file("world_stations.csv");
  }
  rq.wmo = o.wmo;
  rq.month = o.date;
  rq.limits = o.limits;
  const std::vector<std::string> rest(o.args.begin() + 1, o.args.end());
  rq.inputs = rest.empty() ? std::vector<std::string>{"-"} : rest;
  ImportProgress progress(o.items ? std::vector<std::string>{} : rq.inputs,
                          !o.items && !o.quiet && isatty(2) == 1);
  rq.warnings = o.items ? &std::cerr : &progress.warnings();
  archive_writer::ImportResult result;
  if (o.items) {
    archive_writer::PackOptions pack = o.pack;
    pack.check_interruption = check_interruption;
    pack.keep_duplicates = true;
    archive_writer::Packer packer(pack);
    packer.warnings = &std::cerr;
    from_items(rest, packer);
    result = archive_writer::finish_import(packer, rq, progress);
  } else {
    result = archive_writer::import_files(rq, progress);
  }
  progress.warnings().flush();
  std::cout << result.report;
  // Without the catalogue entries of --support, say how the stations of WMO
  // numbers only were filed.
  if (!o.items && o.format != Format::kZir && o.support.empty())
    std::cout << archive_writer::international_note(result.stations);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  bool from_given = false;
  auto usage = [] {
    std::cerr << kUsage;
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (argc == 2 && a == "--help") {
      std::cout << kUsage << "\nThe item text of --items:\n"
                << archive_writer::kItemFormatHelp;
      std::cout.flush();
      if (!std::cout) {
        std::cerr << "rawinq-pack: Write error\n";
        return 1;
      }
      return 0;
    }
    if (argc == 2 && a == "--version") {
      std::cout << "rawinq-pack " << RAWINQ_VERSION << "\n";
      std::cout.flush();
      if (!std::cout) {
        std::cerr << "rawinq-pack: Write error\n";
        return 1;
      }
      return 0;
    }
    if (a == "--items") {
      o.items = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--skip-bad") {
      o.skip_bad = true;
    } else if (a == "--replace") {
      o.pack.replace = true;
    } else if (a == "--na") {
      o.pack.north_american = true;
    } else if (a == "-v" && has_value &&
               (std::string(argv[i + 1]) == "0" ||
                std::string(argv[i + 1]) == "1" ||
                std::string(argv[i + 1]) == "2")) {
      o.pack.variant = argv[++i][0] - '0';
    } else if (a == "--from" && has_value) {
      const std::string name = argv[++i];
      bool known = false;
      for (const auto& f : kFormats)
        if (name == f.name) {
          o.format = f.format;
          known = true;
        }
      if (!known) return usage();
      from_given = true;
    } else if (a == "--catalogue" && has_value) {
      o.catalogue = argv[++i];
    } else if (a == "--stations" && has_value) {
      o.stations = argv[++i];
    } else if (a == "--support" && has_value) {
      o.support = argv[++i];
    } else if ((a == "--max-expansion" || a == "--max-unpacked") && has_value) {
      const std::string v = argv[++i];
      if (v.empty() || v.size() > 9 ||
          v.find_first_not_of("0123456789") != std::string::npos)
        return usage();
      const unsigned long long n = std::stoull(v);
      if (n == 0) return usage();
      if (a == "--max-expansion")
        o.limits.ratio = n;
      else
        o.limits.bytes = n << 30;
    } else if (a == "--wmo" && has_value) {
      const std::string v = argv[++i];
      if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos)
        return usage();
      o.wmo = std::stol(v);
      if (o.wmo == 0) return usage();
    } else if (a == "--date" && has_value) {
      const std::string d = argv[++i];
      long v = 0;
      if (d.size() != 6 || d.find_first_not_of("0123456789") != std::string::npos)
        return usage();
      v = std::stol(d);
      if (v / 100 < 1900 || v / 100 > 2155 || v % 100 < 1 || v % 100 > 12)
        return usage();
      o.date = v;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage();
    } else {
      o.args.push_back(a);
    }
  }
  // --stations needs --support, with IGRA2 files only; --support alone
  // files the stations of IGRA2, Wyoming and TEMP input.
  if (o.args.empty() || (o.items && (o.args.size() != 4 || from_given)) ||
      (!o.stations.empty() && o.support.empty()) ||
      (!o.support.empty() && (o.items || o.format == Format::kZir)) ||
      (!o.stations.empty() && o.format != Format::kIgra2) ||
      (o.date != 0 && o.format != Format::kTemp) ||
      (o.wmo != 0 && o.format != Format::kWyoming) ||
      (o.skip_bad && o.format != Format::kBufr))
    return usage();
  install_interruption_handler(on_interruption, 0);
  try {
    const int status = run(o);
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "rawinq-pack: Write error\n";
      return 1;
    }
    return status;
  } catch (const Interrupted&) {
  } catch (const std::exception& e) {
    // A call cut short by the signal fails: the signal is the reason.
    if (caught == 0) {
      std::cerr << "rawinq-pack: " << e.what() << "\n";
      return 1;
    }
  }
  std::cerr << "rawinq-pack: interrupted by signal " << caught
            << "; nothing was written\n";
  return 128 + caught;
}
