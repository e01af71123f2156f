// rawinq-serve: the archive as web pages and a JSON API over HTTP, on the
// library (rawinq/rawinq.h). The service answers requests from any number
// of threads at once: the archive and the catalogue are read-only values
// shared by all, each extraction writes into a private temporary folder.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace rawinq::serve {

struct ServeOptions {
  std::string database_dir, support_dir;
  std::string host = "127.0.0.1";
  int port = 8080;          // 0: any free port
  int threads = 4;          // worker threads
  std::string base_url;     // "" or "/path" (no trailing "/")
  std::string access_log = "-";  // "-": standard output, else a file
  std::string web_dir;      // the page's scripts, styles and map outlines
  // Extractions (a sounding or a period drawn or written in a format) that
  // run at once; past it a request is answered 503 with Retry-After.
  int max_extractions = 4;
  // The longest period of a sounding list, in days, and the most
  // soundings a period request reads (413 past either).
  int max_days = 366;
  int max_soundings = 400;
  int timeout_seconds = 10;  // a client's read and write timeouts
};

// The service over one archive and catalogue (opened by the constructor:
// ArchiveError, CatalogueError), with the routes it installs on a server.
class Service {
 public:
  explicit Service(const ServeOptions& options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Installs the routes, the limits and the error answers on server.
  void install(httplib::Server& server);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace rawinq::serve
