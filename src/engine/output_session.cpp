// The output session: file names, opening and closing of the output units,
// the checked writes and the paging count.
#include "rawinq/output_session.h"

#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bitset>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// Month codes of the coded-message file names, index 1 to 12.
constexpr const char* kMonthCodes[13] = {"??", "JA", "FE", "MA", "AP",
                                         "MY", "JU", "JL", "AG", "SE",
                                         "OC", "NO", "DE"};

constexpr const char* kPlotDataFile = "raob_soundings.zonder";
constexpr std::size_t kStreamBuffer = 256 * 1024;

// "WMO_INI_date" of the station.
std::string station_file_stem(const STATREC* s, long date) {
  if (s == nullptr) return std::to_string(date);
  const std::string init(s->init, strnlen(s->init, sizeof s->init));
  return std::to_string(s->wmo) + "_" + init + "_" + std::to_string(date);
}

// MMDDYYHH.skt: month code, day, last two digits of the year, hour.
std::string coded_message_name(long date) {
  const long month = (date / 10000) % 100;
  const char* code = (month >= 1 && month <= 12) ? kMonthCodes[month]
                                                 : kMonthCodes[0];
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%02ld%02ld%02ld.skt", code,
                (date / 100) % 100, (date / 1000000) % 100, date % 100);
  return buf;
}

// The system's reason for the error of stream f. `err` is errno as the
// call that found the error left it (set to 0 before that call): when that
// call only filled the buffer, the error is an earlier one, and a new
// attempt to write the buffer out tells its reason.
int failure_reason(std::FILE* f, int err) {
  if (err != 0) return err;
  errno = 0;
  std::clearerr(f);
  if (std::fflush(f) != 0 && errno != 0) return errno;
  return EIO;
}

}  // namespace

// The paths of the output files created by the session, kept in a filter
// of fixed size, so that a request of a million files needs no more memory
// than one of a single file. A path added is always found; a path not
// added is taken for one by chance, about once in 100000 after 30000 files
// (more often in far larger requests).
struct OutputSession::Paths {
  static constexpr std::size_t kBits = std::size_t{1} << 21;  // 256 kB
  static constexpr int kProbes = 4;

  void add(const std::string& path) {
    for (int k = 0; k < kProbes; ++k) bits.set(probe(path, k));
  }
  bool maybe_added(const std::string& path) const {
    for (int k = 0; k < kProbes; ++k)
      if (!bits.test(probe(path, k))) return false;
    return true;
  }
  // Whether path is a file this session created: one that the filter has
  // seen and that is there. A file that was there before the request is
  // replaced, as the user asked for that name; only when the filter errs
  // is such a file kept and the new one given another name.
  bool created(const std::string& path) const {
    return maybe_added(path) && access(path.c_str(), F_OK) == 0;
  }
  // A path not yet used by the session. Several stations can start a file
  // at the same date and hour (one file per sounding or per station, or
  // the coded message names); the later files then get the station's WMO
  // number (and a counter when even that is taken) before the extension,
  // instead of replacing a file of this request.
  std::string unused(const std::string& path, const STATREC* station) const {
    if (!created(path)) return path;
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    const bool has_ext = dot != std::string::npos &&
                         (slash == std::string::npos || dot > slash);
    const std::string stem = has_ext ? path.substr(0, dot) : path;
    const std::string ext = has_ext ? path.substr(dot) : std::string();
    const long wmo = station != nullptr ? station->wmo : 0;
    std::string candidate = stem + "_" + std::to_string(wmo) + ext;
    for (int n = 2; created(candidate); ++n)
      candidate =
          stem + "_" + std::to_string(wmo) + "_" + std::to_string(n) + ext;
    return candidate;
  }

  // FNV-1a with two offsets, combined as h1 + k * h2.
  static std::uint64_t fnv(const std::string& text, std::uint64_t hash) {
    for (unsigned char c : text) {
      hash ^= c;
      hash *= 0x100000001b3ULL;
    }
    return hash;
  }
  static std::size_t probe(const std::string& path, int k) {
    const std::uint64_t h1 = fnv(path, 0xcbf29ce484222325ULL);
    const std::uint64_t h2 = fnv(path, 0x84222325cbf29ce4ULL) | 1;
    return static_cast<std::size_t>(
        (h1 + static_cast<std::uint64_t>(k) * h2) % kBits);
  }

  std::bitset<kBits> bits;
};

std::string output_file_name(const OutputFormat& format, long date, long bdate,
                             const STATREC* station, bool whole,
                             bool by_station) {
  switch (format.naming) {
    case FileNameRule::plot_data:
      return kPlotDataFile;
    case FileNameRule::coded_message:
      return coded_message_name(date);
    case FileNameRule::station_dated:
      return station_file_stem(station, date) + format.extension;
    case FileNameRule::dated:
      break;
  }
  if (whole) return std::to_string(bdate) + format.extension;
  if (by_station) return station_file_stem(station, date) + format.extension;
  return std::to_string(date) + format.extension;
}

OutputSession::OutputSession(SessionConfig config)
    : config_(std::move(config)),
      to_stdout_(!config_.to_files),
      paths_(std::make_unique<Paths>()) {
  if (!config_.on_write_error) {
    config_.on_write_error = [](int err, const std::string& path) {
      throw OutputFailure{err, path};
    };
  }
}

OutputSession::~OutputSession() { close_quietly(); }

void OutputSession::open_unit(long date, long bdate, const STATREC* station,
                              bool whole) {
  if (!config_.to_files) return;  // standard output is the only unit
  const OutputFormat& f = *config_.format;
  const std::string name =
      output_file_name(f, date, bdate, station, whole, config_.by_station);
  for (;;) {
    close_unit();
    const bool plot = f.naming == FileNameRule::plot_data;
    std::string path = plot ? name : config_.dir + name;
    // The plot data file is meant to be replaced by every sounding.
    if (!plot) path = paths_->unused(path, station);

    if (f.unit == UnitKind::file) {
      // The writer makes the file itself.
      file_unit_ = true;
      path_ = path;
      break;
    }
    if (f.unit == UnitKind::netcdf) {
      const int id = nccreate(path.c_str(), NC_CLOBBER);
      if (id != -1) {
        ncid_ = id;
        path_ = path;
        break;
      }
      const int err = errno != 0 ? errno : EIO;
      // The dialogue ends here with its own status; the command line
      // reports the file.
      if (config_.on_netcdf_create_failure) config_.on_netcdf_create_failure();
      throw OutputFailure{err, path};
    }
    text_ = FileHandle(std::fopen(path.c_str(), "w"));
    if (text_) {
      if (!buffer_) buffer_ = std::make_unique<char[]>(kStreamBuffer);
      std::setvbuf(text_.get(), buffer_.get(), _IOFBF, kStreamBuffer);
      path_ = path;
      break;
    }
    const int err = errno;
    if (!config_.on_open_failure) {
      throw OutputFailure{err, path};
    }
    config_.dir = config_.on_open_failure(path);
  }
  paths_->add(path_);
  ++files_opened_;
  if (config_.announce_files && f.naming != FileNameRule::plot_data)
    std::printf(" STATUS:  Writing output file: %s        \n", path_.c_str());
  start_writer();
}

void OutputSession::start_writer() {
  writer_ = config_.format->make_writer();
  writer_->begin(*this);
}

void OutputSession::finish_writer() {
  if (!writer_) return;
  // A writer whose unit failed ends with it.
  std::unique_ptr<SoundingWriter> w = std::move(writer_);
  w->end(*this);
}

void OutputSession::write(const Sounding& sounding, const STATREC& station,
                          const WriteOptions& options) {
  if (!writer_) {
    if (!unit_open()) return;  // no file has been opened
    start_writer();
  }
  writer_->write(*this, sounding, station, options);
  if (config_.format->hands_off && config_.hand_off) {
    // The plot data file must be complete on disk before the plotter
    // reads it: a failure here is a write error of the sounding.
    close_unit();
    config_.hand_off();
  }
}

void OutputSession::close_unit() {
  finish_writer();
  if (text_) {
    std::FILE* f = text_.get();
    errno = 0;
    const bool flushed = std::fflush(f) == 0;
    const int err = errno;
    if (!close_stream() || !flushed) fail(err != 0 ? err : EIO);
  }
  if (ncid_ >= 0) {
    const int id = ncid_;
    ncid_ = -1;
    const int status = nc_close(id);
    if (status != NC_NOERR) {
      ncid_ = -1;
      if (config_.on_netcdf_error) config_.on_netcdf_error(status, path_);
      fail(status > 0 ? status : EIO);
    }
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0)
      bytes_ += static_cast<unsigned long long>(st.st_size);
  }
  if (file_unit_) {
    file_unit_ = false;
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0)
      bytes_ += static_cast<unsigned long long>(st.st_size);
  }
  if (to_stdout_) std::fflush(stdout);
}

bool OutputSession::close_quietly() {
  writer_.reset();
  file_unit_ = false;
  bool ok = close_stream();
  if (!close_netcdf()) ok = false;
  return ok;
}

bool OutputSession::close_stream() {
  if (!text_) return true;
  const long pos = std::ftell(text_.get());
  if (pos > 0) bytes_ += static_cast<unsigned long long>(pos);
  return text_.close() == 0;
}

bool OutputSession::close_netcdf() {
  if (ncid_ < 0) return true;
  const int id = ncid_;
  ncid_ = -1;
  const bool ok = nc_close(id) == NC_NOERR;
  struct stat st {};
  if (ok && stat(path_.c_str(), &st) == 0)
    bytes_ += static_cast<unsigned long long>(st.st_size);
  return ok;
}

void OutputSession::fail(int err) {
  const std::string path = path_;
  // Nothing more goes into the unit that failed.
  writer_.reset();
  text_.close();
  if (ncid_ >= 0) close_netcdf();
  config_.on_write_error(err, path);
  throw OutputFailure{err, path};
}

void OutputSession::check_stream() {
  std::FILE* f = text_ ? text_.get() : stdout;
  if (std::ferror(f)) fail(failure_reason(f, errno));
}

bool OutputSession::paging() const {
  return to_stdout_ && config_.pager != nullptr && config_.pager->active();
}

void OutputSession::put_line(const std::string& text, bool counted) {
  std::FILE* f = text_ ? text_.get() : (to_stdout_ ? stdout : nullptr);
  if (f == nullptr) return;
  errno = 0;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fputc('\n', f);
  if (!text_) bytes_ += text.size() + 1;
  check_stream();
  if (counted && paging()) config_.pager->count_line();
}

void OutputSession::put_lines(const std::string& text, int lines) {
  if (paging()) {  // every line is counted in turn
    std::size_t from = 0;
    for (int k = 0; k < lines && from < text.size(); ++k) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      put_line(text.substr(from, end - from), true);
      from = end + 1;
    }
    return;
  }
  std::FILE* f = text_ ? text_.get() : (to_stdout_ ? stdout : nullptr);
  if (f == nullptr) return;
  errno = 0;
  std::fwrite(text.data(), 1, text.size(), f);
  if (!text_) bytes_ += text.size();
  check_stream();
}

void OutputSession::check(int status) {
  if (status == NC_NOERR) return;
  netcdf_failure(status);
}

void OutputSession::netcdf_failure(int status) {
  const std::string path = path_;
  writer_.reset();
  if (ncid_ >= 0) {
    const int id = ncid_;
    ncid_ = -1;
    nc_close(id);
  }
  if (config_.on_netcdf_error) config_.on_netcdf_error(status, path);
  // The library's statuses above zero are the system's reasons.
  const int err = status > 0 ? status : EIO;
  config_.on_write_error(err, path);
  throw OutputFailure{err, path};
}
