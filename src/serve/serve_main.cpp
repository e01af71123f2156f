// rawinq-serve DATABASE_DIR SUPPORT_DIR [options]: the archive over HTTP.
// The terminating signals (SIGTERM, SIGINT, SIGHUP) are taken by a thread
// of their own: the server stops accepting, the requests under way end,
// and the program exits with 128 + the signal's number.
#include <pthread.h>
#include <sys/stat.h>
#include <signal.h>
#include <time.h>

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "rawinq/file_handle.h"
#include "rawinq/installation.h"
#include "serve.h"

namespace {

constexpr const char* kProgram = "rawinq-serve";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void usage(std::FILE* f) {
  std::fprintf(
      f,
      "usage: %s [OPTIONS] DATABASE_DIR SUPPORT_DIR\n"
      "       %s --help | --version\n"
      "\n"
      "Serves the soundings of the archive in DATABASE_DIR, with the station\n"
      "catalogues of SUPPORT_DIR, as web pages and a JSON API.\n"
      "\n"
      "  --listen HOST:PORT      address to listen on (default 127.0.0.1:8080;\n"
      "                          port 0: any free port, printed at start)\n"
      "  --threads N             worker threads (default 4, 1-256)\n"
      "  --base-url /PATH        the path the pages are served under (default /)\n"
      "  --access-log FILE|-     the access log, Common Log Format (default -,\n"
      "                          standard output)\n"
      "  --web DIR               the page's scripts, styles and map outlines\n"
      "                          (default: the installed ones)\n"
      "  --max-extractions N     extractions at once; past them 503 (default 4)\n"
      "  --max-days N            longest period of a list, in days (default 366)\n"
      "  --max-soundings N       most soundings of a period request (default 400)\n"
      "  --timeout SECONDS       a client's read and write timeout (default 10)\n"
      "\n"
      "The manual page %s(1) lists the pages and the API.\n",
      kProgram, kProgram, kProgram);
}

int parse_int(const std::string& option, const std::string& text, int lo, int hi) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
    throw UsageError(option + ": '" + text + "' is not a number " + std::to_string(lo) + "-" +
                     std::to_string(hi));
  return static_cast<int>(v);
}

rawinq::serve::ServeOptions parse(int argc, char** argv) {
  rawinq::serve::ServeOptions o;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
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
    const auto need = [&]() -> const std::string& {
      if (!has_value) {
        if (i + 1 >= argc) throw UsageError(arg + ": a value is missing");
        value = argv[++i];
      }
      return value;
    };
    if (arg == "--listen") {
      const std::string v = need();
      const std::size_t colon = v.rfind(':');
      if (colon == std::string::npos || colon == 0)
        throw UsageError("--listen: give HOST:PORT, e.g. 127.0.0.1:8080");
      o.host = v.substr(0, colon);
      o.port = parse_int(arg, v.substr(colon + 1), 0, 65535);
    } else if (arg == "--threads") {
      o.threads = parse_int(arg, need(), 1, 256);
    } else if (arg == "--base-url") {
      std::string b = need();
      while (!b.empty() && b.back() == '/') b.pop_back();
      for (const char ch : b)
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
              ch == '/' || ch == '-' || ch == '_' || ch == '.'))
          throw UsageError("--base-url: letters, digits, '/', '-', '_' and '.' only");
      if (!b.empty() && b[0] != '/') throw UsageError("--base-url: begins with '/'");
      if (b.find("..") != std::string::npos || b.find("//") != std::string::npos)
        throw UsageError("--base-url: no '..' or '//'");
      o.base_url = b;
    } else if (arg == "--access-log") {
      o.access_log = need();
    } else if (arg == "--web") {
      o.web_dir = need();
    } else if (arg == "--max-extractions") {
      o.max_extractions = parse_int(arg, need(), 1, 1024);
    } else if (arg == "--max-days") {
      o.max_days = parse_int(arg, need(), 1, 36600);
    } else if (arg == "--max-soundings") {
      o.max_soundings = parse_int(arg, need(), 1, 100000);
    } else if (arg == "--timeout") {
      o.timeout_seconds = parse_int(arg, need(), 1, 3600);
    } else {
      throw UsageError(arg + ": unknown option");
    }
  }
  if (operands.size() != 2)
    throw UsageError("give DATABASE_DIR and SUPPORT_DIR (" + std::to_string(operands.size()) +
                     " operands given)");
  o.database_dir = operands[0];
  o.support_dir = operands[1];
  if (o.web_dir.empty()) {
    // The installed copy beside the program, else the source tree's.
    const std::string installed = installed_data_dir(program_directory());
    struct stat sb {};
    o.web_dir = !installed.empty() && stat((installed + "/web").c_str(), &sb) == 0
                    ? installed + "/web"
                    : RAWINQ_WEB_DIR;
  }
  return o;
}

// One line of the Common Log Format:
//   host - - [day/Mon/year:HH:MM:SS +0000] "request line" status bytes
// with the request line's quotes, backslashes and unprintable bytes as \xHH.
std::string log_line(const httplib::Request& req, const httplib::Response& res) {
  char when[64] = "-";
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc) != nullptr)
    std::strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S +0000", &utc);
  std::string line;
  for (const char ch : req.method + " " + req.target + " " + req.version) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      line += buf;
    } else {
      line += ch;
    }
  }
  const std::string bytes = res.body.empty() ? "-" : std::to_string(res.body.size());
  return (req.remote_addr.empty() ? "-" : req.remote_addr) + " - - [" + when + "] \"" + line +
         "\" " + std::to_string(res.status) + " " + bytes + "\n";
}

int run(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      usage(stdout);
      return std::fflush(stdout) == 0 ? 0 : 2;
    }
    if (a == "--version") {
      std::printf("%s %s\n", kProgram, program_version());
      return std::fflush(stdout) == 0 ? 0 : 2;
    }
  }
  const rawinq::serve::ServeOptions o = parse(argc, argv);

  // The terminating signals go to the waiting thread only (every thread
  // made from here on inherits the mask).
  sigset_t stopping;
  sigemptyset(&stopping);
  sigaddset(&stopping, SIGTERM);
  sigaddset(&stopping, SIGINT);
  sigaddset(&stopping, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
  // A client that goes away is a failed write, not the end of the program.
  signal(SIGPIPE, SIG_IGN);

  FileHandle log_file;
  std::FILE* log = stdout;
  if (o.access_log != "-") {
    log_file = FileHandle(std::fopen(o.access_log.c_str(), "a"));
    if (!log_file)
      throw std::runtime_error("--access-log: " + o.access_log + ": " + std::strerror(errno));
    log = log_file.get();
  }
  std::mutex log_mutex;

  rawinq::serve::Service service(o);
  httplib::Server server;
  server.new_task_queue = [threads = o.threads] { return new httplib::ThreadPool(threads); };
  service.install(server);
  server.set_logger([&](const httplib::Request& req, const httplib::Response& res) {
    const std::string line = log_line(req, res);
    std::lock_guard<std::mutex> lock(log_mutex);
    std::fputs(line.c_str(), log);
    std::fflush(log);
  });

  int port = o.port;
  if (port == 0) {
    port = server.bind_to_any_port(o.host);
    if (port <= 0) throw std::runtime_error("cannot listen on " + o.host + ": " + std::strerror(errno));
  } else if (!server.bind_to_port(o.host, port)) {
    throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(port) + ": " +
                             std::strerror(errno));
  }
  std::fprintf(stderr, "%s: listening on http://%s:%d%s/\n", kProgram, o.host.c_str(), port,
               o.base_url.c_str());
  std::fflush(stderr);

  std::atomic<int> signal_number{0};
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    const timespec tick{0, 200 * 1000 * 1000};
    while (!done) {
      const int s = sigtimedwait(&stopping, nullptr, &tick);
      if (s > 0) {
        signal_number = s;
        server.stop();
        return;
      }
    }
  });
  const bool listened = server.listen_after_bind();
  done = true;
  waiter.join();
  if (signal_number != 0) {
    std::fprintf(stderr, "%s: stopped (%s)\n", kProgram, strsignal(signal_number));
    return 128 + signal_number;
  }
  if (!listened) throw std::runtime_error("the server stopped: " + std::string(std::strerror(errno)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, e.what(), kProgram);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 2;
  }
}
