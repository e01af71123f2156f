// bench_e2e: end-to-end benchmarks of a program over the benchmark archive
// made by make_bench_archive, driven through the real dialogue (answers
// piped on standard input, output to files or, for the screen, to
// /dev/null) and through rawinq-extract (found beside the program), each
// compared with the floor of the machine's own input and output: the time
// cat takes to read the same station-year files and to write the same
// number of output bytes.
//
//   bench_e2e PROGRAM BENCH_DIR WORK_DIR [REPEATS [NAME,NAME...]]
//
// (the names run only those benchmarks; the target lines then use what
// was run)
// Times are the wall-clock seconds and the user + system CPU seconds of the
// child (from wait4), each the smallest of REPEATS runs (3 by default);
// peak resident memory is the child's maximum resident set. The program
// may use both cores, so the targets are ratios of wall-clock time; the
// CPU time says what the second core costs. The outputs of the last run
// stay in WORK_DIR/<benchmark>/; with BENCH_COMPARE=DIR in the environment
// every output (and the screen's text) is compared byte for byte with
// DIR/<benchmark>/, the work directory of an earlier run.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

namespace fs = std::filesystem;

struct Usage {
  double wall = 0;   // seconds
  double cpu = 0;    // user + system seconds
  long max_rss = 0;  // KiB
  int status = -1;      // exit status (the program's is its last count)
  bool signaled = false;
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs argv with standard input from in_path, standard output to out_path,
// standard error to err_path, and the descriptor limit nofile (-1: as is).
Usage run(const std::vector<std::string>& argv, const std::string& in_path,
          const std::string& out_path, const std::string& err_path,
          long nofile = -1) {
  std::fflush(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    std::exit(1);
  }
  if (pid == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in);
    close(out);
    close(err);
    if (nofile > 0) {
      rlimit lim{static_cast<rlim_t>(nofile), static_cast<rlim_t>(nofile)};
      if (setrlimit(RLIMIT_NOFILE, &lim) != 0) _exit(125);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) < 0) {
    std::perror("wait4");
    std::exit(1);
  }
  Usage u;
  u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                         start)
               .count();
  u.cpu = seconds(ru.ru_utime) + seconds(ru.ru_stime);
  u.max_rss = ru.ru_maxrss;
  u.signaled = !WIFEXITED(status);
  u.status = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
  return u;
}

std::map<std::string, long> read_conf(const std::string& path) {
  std::map<std::string, long> conf;
  std::ifstream in(path);
  std::string key;
  long value;
  while (in >> key >> value) conf[key] = value;
  if (conf.empty()) {
    std::cerr << "bench_e2e: cannot read " << path
              << " (run make_bench_archive first)\n";
    std::exit(1);
  }
  return conf;
}

struct Bench {
  std::string name;
  std::string what;
  std::vector<std::string> answers;
  std::vector<std::string> inputs;  // station-year files read
  bool screen = false;              // output to standard output
  long nofile = -1;
  // rawinq-extract's arguments (before the archive and support
  // directories); empty: the dialogue with `answers`.
  std::vector<std::string> extract = {};
};

struct Result {
  Bench bench;
  long soundings = 0;
  long out_bytes = 0;
  double wall = 1e9;
  double cpu = 1e9;
  long max_rss = 0;
  double floor_wall = 1e9;
  double floor_cpu = 1e9;
  // For compressed outputs: the floor and the time zlib takes, at the
  // writer's level, to compress the outputs' uncompressed bytes.
  double zlib_floor = 0.0;
  std::string compared;  // "same", "DIFFERENT: ..." or "" (not compared)
};

// Whether the files of two directories (or two files) hold the same bytes;
// the first difference otherwise.
std::string compare_outputs(const std::string& a, const std::string& b) {
  auto same_file = [](const std::string& x, const std::string& y) {
    std::ifstream fx(x, std::ios::binary), fy(y, std::ios::binary);
    if (!fx || !fy) return false;
    std::vector<char> bx(1 << 20), by(1 << 20);
    for (;;) {
      fx.read(bx.data(), static_cast<std::streamsize>(bx.size()));
      fy.read(by.data(), static_cast<std::streamsize>(by.size()));
      if (fx.gcount() != fy.gcount()) return false;
      if (std::memcmp(bx.data(), by.data(), static_cast<std::size_t>(fx.gcount())) != 0)
        return false;
      if (fx.gcount() == 0) return true;
    }
  };
  // A NetCDF file of the analysis formats names the hour it was made in
  // its history: such files are compared by their ncdump text without it.
  auto same_data = [](const std::string& x, const std::string& y) {
    auto dump = [](const std::string& f) {
      std::string text;
      const std::string cmd = "ncdump '" + f + "' | grep -v ':history = '";
      if (std::FILE* p = popen(cmd.c_str(), "r")) {
        char buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
          text.append(buf, n);
        pclose(p);
      }
      return text;
    };
    const std::string dx = dump(x);
    return !dx.empty() && dx == dump(y);
  };
  auto same = [&](const std::string& x, const std::string& y) {
    if (same_file(x, y)) return true;
    return x.size() > 3 && x.compare(x.size() - 3, 3, ".nc") == 0 &&
           same_data(x, y);
  };
  if (!fs::is_directory(a)) return same(a, b) ? "same" : "DIFFERENT: " + a;
  std::vector<std::string> na, nb;
  for (const auto& e : fs::directory_iterator(a)) na.push_back(e.path().filename());
  if (!fs::is_directory(b)) return "DIFFERENT: no " + b;
  for (const auto& e : fs::directory_iterator(b)) nb.push_back(e.path().filename());
  std::sort(na.begin(), na.end());
  std::sort(nb.begin(), nb.end());
  if (na != nb) return "DIFFERENT: the file names";
  for (const std::string& n : na)
    if (!same(a + "/" + n, b + "/" + n)) return "DIFFERENT: " + n;
  return "same (" + std::to_string(na.size()) + " files)";
}

// Counts, in the file at path, the occurrences of `what` and the sum of the
// numbers that follow them; returns the file's size. The file is read in
// pieces: the runner stays small, so that the peak memory of a child (which
// starts as a copy of the runner) is the child's own.
long scan(const std::string& path, const std::string& what, long* count,
          long* sum) {
  *count = 0;
  *sum = 0;
  std::ifstream in(path, std::ios::binary);
  std::string carry;
  std::vector<char> piece(1 << 20);
  long size = 0;
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    size += static_cast<long>(got);
    std::string text = carry + std::string(piece.data(), got);
    std::size_t p = text.find(what), done = 0;
    // A match whose number may run on into the next piece waits for it.
    const std::size_t keep = what.size() + 24;
    const std::size_t limit = text.size() > keep ? text.size() - keep : 0;
    while (p != std::string::npos && p < limit) {
      ++*count;
      *sum += std::atol(text.c_str() + p + what.size());
      done = p + what.size();
      p = text.find(what, done);
    }
    carry = text.substr(std::max(done, limit));
  }
  for (std::size_t p = carry.find(what); p != std::string::npos;
       p = carry.find(what, p + what.size())) {
    ++*count;
    *sum += std::atol(carry.c_str() + p + what.size());
  }
  return size;
}

std::vector<std::string> files_under(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

long bytes_of(const std::vector<std::string>& files) {
  long n = 0;
  for (const std::string& f : files) n += static_cast<long>(fs::file_size(f));
  return n;
}

}  // namespace

// The floor of compression: the outputs copied without compression
// (nccopy -d 0), then their bytes deflated at the CF writer's level (4) in
// this process, the best of three; seconds of that deflating alone.
double zlib_seconds(const std::vector<std::string>& outputs,
                    const std::string& work, const std::string& err) {
  std::vector<std::vector<unsigned char>> raw;
  const std::string plain = work + "/zlib_floor.nc";
  for (const std::string& f : outputs) {
    fs::remove(plain);
    run({"/usr/bin/nccopy", "-d", "0", f, plain}, "/dev/null", "/dev/null", err);
    std::ifstream in(plain, std::ios::binary);
    raw.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove(plain);
  double best = 1e9;
  std::vector<unsigned char> packed;
  for (int k = 0; k < 3; ++k) {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& bytes : raw) {
      uLongf n = compressBound(static_cast<uLong>(bytes.size()));
      packed.resize(n);
      compress2(packed.data(), &n, bytes.data(), static_cast<uLong>(bytes.size()), 4);
    }
    best = std::min(best, std::chrono::duration<double>(
                              std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::cerr << "usage: bench_e2e PROGRAM BENCH_DIR WORK_DIR [REPEATS "
                 "[NAME,NAME...]]\n";
    return 2;
  }
  const std::string program = fs::absolute(argv[1]).string();
  const std::string extract =
      (fs::absolute(argv[1]).parent_path() / "rawinq-extract").string();
  const char* compare_with = std::getenv("BENCH_COMPARE");
  const std::string root = fs::absolute(argv[2]).string();
  const std::string work = fs::absolute(argv[3]).string();
  const int repeats = argc >= 5 ? std::max(1, std::atoi(argv[4])) : 3;
  const std::string only = argc == 6 ? "," + std::string(argv[5]) + "," : "";
  auto conf = read_conf(root + "/bench.conf");
  const std::string db = root + "/db";
  const std::string support = root + "/support";
  fs::create_directories(work);

  const long stations = conf["stations"];
  const long first_wmo = conf["first_wmo"];
  const long first_wban = 30001;
  const int first_year = static_cast<int>(conf["first_year"]);
  const int years = static_cast<int>(conf["years"]);
  const long syn_stations = conf["synoptic_stations"];
  const int syn_year = static_cast<int>(conf["synoptic_year"]);
  const int cdf_years = std::min(years, 2);
  const long tenth = std::max(1l, stations / 10);

  auto station_list = [&](long n) {
    // Beside the archive: the dialogue names the file on the screen, the
    // same for every work directory.
    const std::string path = root + "/stations_" + std::to_string(n) + ".txt";
    std::ofstream f(path);
    for (long k = 0; k < n; ++k) f << first_wmo + k << "\n";
    return path;
  };
  auto inputs = [&](long n, int year0, int nyears) {
    std::vector<std::string> files;
    for (int y = year0; y < year0 + nyears; ++y)
      for (long k = 0; k < n; ++k) {
        char name[64];
        std::snprintf(name, sizeof name, "/Raob%d/%ld_%02d.buf", y,
                      first_wban + k, y % 100);
        files.push_back(db + name);
      }
    return files;
  };
  auto date = [](int year, const char* rest) {
    return std::to_string(year) + rest;
  };

  // The dialogue: dates, hours 0z and 12z, stations by WMO number from a
  // list file, then the output questions of each format and order.
  auto request = [&](long n, int year0, int year1, const char* end_of_year) {
    return std::vector<std::string>{"", date(year0, "010100"),
                                    date(year1, end_of_year), "1", "0", "0",
                                    "Y", station_list(n)};
  };
  auto with = [](std::vector<std::string> a,
                 const std::vector<std::string>& more) {
    a.insert(a.end(), more.begin(), more.end());
    a.push_back("N");  // no further output of the same data
    a.push_back("N");  // no further request
    return a;
  };
  const std::string OUT = "@OUT@";  // replaced by the benchmark's directory
  const int last_year = first_year + years - 1;
  const auto all_years = request(stations, first_year, last_year, "123112");
  const auto cdf_req =
      request(stations, first_year, first_year + cdf_years - 1, "123112");
  const auto many = request(syn_stations, syn_year, syn_year, "123112");

  // rawinq-extract: the stations of the list, hours 0 and 12.
  auto x = [&](long n, int year0, int year1, std::vector<std::string> more) {
    std::vector<std::string> a = {"--from", date(year0, "010100"), "--to",
                                  date(year1, "123112"), "--station-list",
                                  station_list(n)};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  };
  const int cdf_last = first_year + cdf_years - 1;

  std::vector<Bench> benches = {
      {"zir_clim", "ZIR, climatological, a file per station",
       with(all_years, {"0", "Y", "0", "0", "1", "1", OUT, "1"}),
       inputs(stations, first_year, years)},
      {"zir_syn", "ZIR, synoptic, a file per month",
       with(all_years, {"0", "Y", "0", "0", "0", "1", OUT, "2"}),
       inputs(stations, first_year, years)},
      {"faa_clim", "FAA604, climatological, a file per station",
       with(all_years, {"1", "0", "1", "1", OUT, "1"}),
       inputs(stations, first_year, years)},
      {"cdf_clim", "NetCDF, climatological, a file per station",
       with(cdf_req, {"2", "Y", "0", "1", OUT, "1"}),
       inputs(stations, first_year, cdf_years)},
      {"cdf_syn", "NetCDF, synoptic, a file per month",
       with(cdf_req, {"2", "Y", "0", "0", OUT, "2"}),
       inputs(stations, first_year, cdf_years)},
      {"screen", "ZIR to the screen (/dev/null), paging off",
       with(all_years, {"0", "Y", "0", "0", "1", "0", "c"}),
       inputs(stations, first_year, years), true},
      {"syn_many", "ZIR, synoptic, many stations, a file per month",
       with(many, {"0", "Y", "0", "0", "0", "1", OUT, "2"}),
       inputs(syn_stations, syn_year, 1)},
      {"syn_many_fd64", "the same with the descriptor limit at 64",
       with(many, {"0", "Y", "0", "0", "0", "1", OUT, "2"}),
       inputs(syn_stations, syn_year, 1), false, 64},
      {"small", "ZIR, one station, one month",
       with(request(1, first_year, first_year, "013112"),
            {"0", "Y", "0", "0", "1", "1", OUT, "1"}),
       inputs(1, first_year, 1)},
      {"small_cdf", "NetCDF, one station, one month",
       with(request(1, first_year, first_year, "013112"),
            {"2", "Y", "0", "1", OUT, "1"}),
       inputs(1, first_year, 1)},
      {"zir_clim_10th", "zir_clim over a tenth of the stations",
       with(request(tenth, first_year, last_year, "123112"),
            {"0", "Y", "0", "0", "1", "1", OUT, "1"}),
       inputs(tenth, first_year, years)},
      {"x_zir_syn", "rawinq-extract ZIR, synoptic, a file per month", {},
       inputs(stations, first_year, years), false, -1,
       x(stations, first_year, last_year,
         {"--order", "synoptic", "--split", "month", "--out", OUT})},
      {"x_zir_stdout", "rawinq-extract ZIR to standard output (/dev/null)",
       {}, inputs(stations, first_year, years), true, -1,
       x(stations, first_year, last_year, {"--order", "station"})},
      {"x_faa", "rawinq-extract FAA604, station order, a file per station",
       {}, inputs(stations, first_year, years), false, -1,
       x(stations, first_year, last_year,
         {"--format", "faa604", "--order", "station", "--split", "station",
          "--out", OUT})},
      {"x_csv", "rawinq-extract CSV, station order, a file per station", {},
       inputs(stations, first_year, years), false, -1,
       x(stations, first_year, last_year,
         {"--format", "csv", "--order", "station", "--split", "station",
          "--out", OUT})},
      {"x_cdf", "rawinq-extract NetCDF, station order, a file per station",
       {}, inputs(stations, first_year, cdf_years), false, -1,
       x(stations, first_year, cdf_last,
         {"--format", "netcdf", "--order", "station", "--split", "station",
          "--out", OUT})},
      {"x_cf", "rawinq-extract CF NetCDF, station order, a file per station",
       {}, inputs(stations, first_year, cdf_years), false, -1,
       x(stations, first_year, cdf_last,
         {"--format", "cf", "--order", "station", "--split", "station",
          "--out", OUT})},
  };

  std::vector<Result> results;
  for (Bench& b : benches) {
    if (!only.empty() && only.find("," + b.name + ",") == std::string::npos)
      continue;
    const std::string dir = work + "/" + b.name;
    for (std::string& a : b.answers)
      if (a == OUT) a = dir;
    for (std::string& a : b.extract)
      if (a == OUT) a = dir;
    const std::string answers = work + "/" + b.name + ".answers";
    {
      std::ofstream f(answers);
      for (const std::string& a : b.answers) f << a << "\n";
    }
    const std::string log = work + "/" + b.name + ".out";
    const std::string err = work + "/" + b.name + ".err";
    std::vector<std::string> cmd = {program, db, support};
    if (!b.extract.empty()) {
      cmd = b.extract;
      cmd.insert(cmd.begin(), extract);
      cmd.push_back(db);
      cmd.push_back(support);
    }
    Result r;
    r.bench = b;
    std::cerr << "running " << b.name << " ..." << std::flush;
    for (int i = 0; i <= repeats; ++i) {
      fs::remove_all(dir);
      fs::create_directories(dir);
      // The first run writes standard output to a file to count what was
      // written (and warms the caches); the timed ones follow.
      const bool counting = i == 0;
      const Usage u = run(cmd, b.extract.empty() ? answers : "/dev/null",
                          counting || !b.screen ? log : "/dev/null", err,
                          b.nofile);
      if (u.signaled || (!b.extract.empty() && u.status != 0)) {
        std::cerr << "\nbench_e2e: " << b.name << " ended by "
                  << (u.signaled ? "signal " : "status ") << u.status
                  << ", see " << err << "\n";
        return 1;
      }
      if (counting) {
        long count = 0, sum = 0;
        if (!b.extract.empty()) {
          r.out_bytes = b.screen ? static_cast<long>(fs::file_size(log))
                                 : bytes_of(files_under(dir));
          // The summary line: "N soundings of M stations written ...".
          std::ifstream summary(err);
          summary >> r.soundings;
        } else if (b.screen) {
          // The first header line of each ZIR sounding.
          r.out_bytes = scan(log, "\n    254 ", &count, &sum);
          r.soundings = count;
        } else {
          scan(log, " STATUS:  number of soundings written: ", &count, &sum);
          r.soundings = sum;
          r.out_bytes = bytes_of(files_under(dir));
        }
        if (compare_with != nullptr) {
          const std::string mine = b.screen ? log : dir;
          const std::string theirs =
              std::string(compare_with) + "/" + b.name +
              (b.screen ? ".out" : "");
          r.compared = compare_outputs(mine, theirs);
        }
        if (r.soundings == 0) {
          std::cerr << "\nbench_e2e: " << b.name << " wrote no soundings, see "
                    << log << "\n";
          return 1;
        }
        continue;
      }
      r.cpu = std::min(r.cpu, u.cpu);
      r.wall = std::min(r.wall, u.wall);
      r.max_rss = std::max(r.max_rss, u.max_rss);
    }
    // The floor: cat reading the same station-year files, and cat writing
    // the same output bytes (from the page cache) to a file.
    const std::vector<std::string> outputs =
        b.screen ? std::vector<std::string>{log} : files_under(dir);
    std::vector<std::string> cat_in = {"/bin/cat"};
    cat_in.insert(cat_in.end(), b.inputs.begin(), b.inputs.end());
    std::vector<std::string> cat_out = {"/bin/cat"};
    cat_out.insert(cat_out.end(), outputs.begin(), outputs.end());
    const std::string copy = b.screen ? "/dev/null" : work + "/floor_copy";
    // The copy is made anew each time, as the program's files are; the
    // floor of writing varies with the page cache, so it is taken at least
    // five times.
    for (int i = 0; i < std::max(repeats, 5); ++i) {
      if (!b.screen) fs::remove(copy);
      const Usage a = run(cat_in, "/dev/null", "/dev/null", err);
      const Usage w = run(cat_out, "/dev/null", copy, err);
      r.floor_cpu = std::min(r.floor_cpu, a.cpu + w.cpu);
      r.floor_wall = std::min(r.floor_wall, a.wall + w.wall);
    }
    fs::remove(work + "/floor_copy");
    if (b.name == "x_cf") r.zlib_floor = r.floor_wall + zlib_seconds(outputs, work, err);
    std::cerr << " " << r.wall << " s\n";
    results.push_back(r);
  }

  std::printf("\n%-14s %8s %8s %7s %7s %9s %6s %7s %6s %6s  %s\n",
              "benchmark", "sndgs", "out MB", "wall s", "cpu s", "sndg/s",
              "rss MB", "floor s", "wall x", "cpu x", "what");
  std::map<std::string, Result> by_name;
  for (const Result& r : results) {
    by_name[r.bench.name] = r;
    const double wall = std::max(r.wall, 0.001);
    std::printf("%-14s %8ld %8.1f %7.2f %7.2f %9.0f %6.1f %7.2f %6.2f %6.2f  %s\n",
                r.bench.name.c_str(), r.soundings,
                static_cast<double>(r.out_bytes) / 1e6, r.wall, r.cpu,
                static_cast<double>(r.soundings) / wall,
                static_cast<double>(r.max_rss) / 1024.0, r.floor_wall,
                r.wall / std::max(r.floor_wall, 0.001),
                r.cpu / std::max(r.floor_cpu, 0.001), r.bench.what.c_str());
  }
  if (compare_with != nullptr) {
    std::printf("\noutputs against %s:\n", compare_with);
    for (const Result& r : results)
      std::printf("  %-14s %s\n", r.bench.name.c_str(), r.compared.c_str());
  }

  // The targets, as ratios measured in this run.
  auto ratio = [&](const char* a, const char* b) {
    return by_name[a].wall / std::max(by_name[b].wall, 0.001);
  };
  auto to_floor = [&](const char* a) {
    return by_name[a].wall / std::max(by_name[a].floor_wall, 0.001);
  };
  // Peak memory of the largest text and NetCDF benchmarks against the
  // one-station one-month request of the same kind of output.
  long rss_text = 0, rss_cdf = 0;
  for (const Result& r : results) {
    // The CF files are made by another library (NetCDF-4): they have no
    // one-month request to be held against.
    if (r.bench.name == "x_cf") continue;
    const bool cdf = r.bench.name.find("cdf") != std::string::npos;
    long& m = cdf ? rss_cdf : rss_text;
    m = std::max(m, r.max_rss);
  }
  auto mb = [](long kib) { return static_cast<double>(kib) / 1024.0; };
  const long rss_small = std::max(1l, by_name["small"].max_rss);
  const long rss_small_cdf = std::max(1l, by_name["small_cdf"].max_rss);
  const double snd_ratio =
      static_cast<double>(by_name["zir_clim"].soundings) /
      static_cast<double>(std::max(1l, by_name["zir_clim_10th"].soundings));
  std::printf("\ntargets (ratios of this run):\n");
  std::printf("  ZIR / floor:      clim %.2f, syn %.2f, screen %.2f, "
              "extract syn %.2f, extract stdout %.2f (at most 2)\n",
              to_floor("zir_clim"), to_floor("zir_syn"), to_floor("screen"),
              to_floor("x_zir_syn"), to_floor("x_zir_stdout"));
  std::printf("  NetCDF / floor:   clim %.2f, syn %.2f, extract %.2f "
              "(at most 2.5)\n",
              to_floor("cdf_clim"), to_floor("cdf_syn"), to_floor("x_cdf"));
  std::printf("  CF, CSV / floor:  %.2f, %.2f (at most 2.5)\n",
              to_floor("x_cf"), to_floor("x_csv"));
  std::printf("  CF / floor with zlib at level 4 on the same bytes: %.2f "
              "(%.2f s; at most 2)\n",
              by_name["x_cf"].wall / std::max(by_name["x_cf"].zlib_floor, 0.001),
              by_name["x_cf"].zlib_floor);
  std::printf("  FAA604 / floor:   dialogue %.2f, extract %.2f (at most 4)\n",
              to_floor("faa_clim"), to_floor("x_faa"));
  std::printf("  many stations / floor: %.2f\n", to_floor("syn_many"));
  std::printf("  descriptor limit 64 / none:   %.2f (at most 2)\n",
              ratio("syn_many_fd64", "syn_many"));
  std::printf("  peak memory largest / small:  text %.2f (%.1f MB / %.1f MB), "
              "NetCDF %.2f (%.1f MB / %.1f MB) (at most 1.10)\n",
              mb(rss_text) / mb(rss_small), mb(rss_text), mb(rss_small),
              mb(rss_cdf) / mb(rss_small_cdf), mb(rss_cdf), mb(rss_small_cdf));
  std::printf("  time for %.1f x the soundings: %.2f x (at most %.1f)\n",
              snd_ratio, ratio("zir_clim", "zir_clim_10th"), snd_ratio * 1.05);
  return 0;
}
