// The output session: file names, opening and closing of the output units,
// the checked writes and the paging count.
#include "rawinq/output_session.h"

#include "rawinq/cdf.h"
#include "rawinq/staged_file.h"

#include <fcntl.h>
#include <hdf5.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

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
constexpr std::size_t kNetcdfBuffer = 1024 * 1024;
// A batch of the formatting thread: 2048 levels (some 115 KB of soundings
// and up to 300 KB of text: ZIR takes some 130 bytes a level), at most 1024
// soundings. Waking the thread costs tens of microseconds on a virtual
// machine: a batch must hold much more work than that (some 60 soundings
// at least), whatever the soundings' length. Two batches are alive at
// once, the one being filled and the one being formatted, and their
// buffers are kept for the next: they are the part of the peak memory
// that a request of one sounding does not have (4096 levels took the
// whole archive's peak to 10 % above one month's).
constexpr std::size_t kBatchSoundings = 1024;
constexpr std::size_t kBatchLevels = 2048;

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

// The system's reason for a failed NetCDF call: a status above zero is
// one; below zero the library names only its own failure (an HDF5 write
// that failed), and errno, cleared before the calls, tells why when it
// holds a reason storage fails for. NetCDF-4 answers any failure of HDF5
// to create a file with EACCES, a file that could not be written too.
int netcdf_reason(int status, int err) {
  const bool storage = err == ENOSPC || err == EFBIG || err == EDQUOT ||
                       err == EROFS || err == EIO;
  if (storage && (status < 0 || status == EACCES)) return err;
  return status > 0 ? status : EIO;
}

// HDF5 closes, as the process exits, the files still open; a NetCDF-4 file
// whose close failed (a full disk, the file size limit) stays in its table
// half torn down, and closing it again there crashes. The session closes
// every file it opens, so the library's exit handler is not needed. It
// must be declined before the library starts, that is before the first
// NetCDF call.
void decline_hdf5_exit_handler() {
  static const bool declined = [] {
    H5dont_atexit();
    return true;
  }();
  static_cast<void>(declined);
}

}  // namespace

// A path not yet used by the request. Several stations can start a file at
// the same date and hour (one file per sounding or per station, or the
// coded message names); the later files then get the station's WMO number
// (and a counter when even that is taken) before the extension, instead of
// replacing a file of this request. A file that was there before the
// request is replaced, as the user asked for that name.
struct OutputSession::Paths {
  std::string unused(const std::string& path, const STATREC* station) const {
    if (!files.created(path)) return path;
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    const bool has_ext = dot != std::string::npos &&
                         (slash == std::string::npos || dot > slash);
    const std::string stem = has_ext ? path.substr(0, dot) : path;
    const std::string ext = has_ext ? path.substr(dot) : std::string();
    const long wmo = station != nullptr ? station->wmo : 0;
    std::string candidate = stem + "_" + std::to_string(wmo) + ext;
    for (int n = 2; files.created(candidate); ++n)
      candidate =
          stem + "_" + std::to_string(wmo) + "_" + std::to_string(n) + ext;
    return candidate;
  }

  RequestFiles files;  // the files this request created
  StagedFile staged;   // the open file, under its temporary name
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
  paths_->files.begin();
  if (!config_.on_write_error) {
    config_.on_write_error = [](int err, const std::string& path) {
      throw OutputFailure{err, path};
    };
  }
}

// A session that ends without closing its unit (a failure on the way out)
// leaves the earlier file at the unit's name.
OutputSession::~OutputSession() { abandon_unit(); }

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

    bool made = false;
    if (f.unit == UnitKind::file)
      made = create_file(path);
    else if (f.unit == UnitKind::netcdf || f.unit == UnitKind::netcdf4)
      made = create_netcdf(path);
    else
      made = create_text(path);
    if (made) {
      file_unit_ = f.unit == UnitKind::file;
      path_ = path;
      break;
    }
    const int err = errno;
    if (!config_.on_open_failure) {
      throw OutputFailure{err, path, paths_->staged.refusal()};
    }
    config_.dir = config_.on_open_failure(path);
  }
  paths_->files.add(path_);
  ++files_opened_;
  if (config_.announce_files && f.naming != FileNameRule::plot_data)
    note(" STATUS:  Writing output file: " + path_ + "        \n");
  start_writer();
}

void OutputSession::start_writer() {
  writer_ = config_.format->make_writer();
  writer_->begin(*this);
}

bool OutputSession::formats_ahead() const {
  const OutputFormat& f = *config_.format;
  return f.unit == UnitKind::text && !f.hands_off &&
         !f.one_file_per_sounding && (text_ || to_stdout_) && !paging();
}

void OutputSession::flush_pending() {
  if (ahead_ && writer_ && ahead_->pending())
    ahead_->finish(*writer_, path_,
                   [this](const std::string& t) { write_text(t); });
}

void OutputSession::finish_writer() {
  if (!writer_) return;
  flush_pending();
  // A writer whose unit failed ends with it.
  std::unique_ptr<SoundingWriter> w = std::move(writer_);
  errno = 0;  // for the reason of a failed NetCDF call
  w->end(*this);
  ended_ = std::move(w);
}

void OutputSession::put_writer_files_in_place() {
  if (!ended_) return;
  std::unique_ptr<SoundingWriter> w = std::move(ended_);
  w->put_in_place(*this);
}

bool OutputSession::write(const Sounding& sounding, const STATREC& station,
                          const WriteOptions& options) {
  if (!writer_) {
    if (!unit_open()) return true;  // no file has been opened
    start_writer();
  }
  if (!writer_->yields_output(sounding, options)) return false;
  if (formats_ahead()) {
    if (!ahead_) ahead_ = std::make_unique<FormatAhead>(kBatchSoundings, kBatchLevels);
    ahead_->add(sounding, station, options);
    if (ahead_->full())
      ahead_->hand_over(*writer_, path_,
                        [this](const std::string& t) { write_text(t); });
    return true;
  }
  flush_pending();  // the page count has begun
  errno = 0;  // for the reason of a failed NetCDF call
  writer_->write(*this, sounding, station, options);
  if (config_.format->hands_off && config_.hand_off) {
    // The plot data file must be complete on disk before the plotter
    // reads it: a failure here is a write error of the sounding.
    close_unit();
    config_.hand_off();
  }
  return true;
}

void OutputSession::close_unit() {
  finish_writer();
  if (text_) {
    std::FILE* f = text_.get();
    errno = 0;
    const bool flushed = std::fflush(f) == 0;
    const int err = errno;
    if (!close_stream() || !flushed) fail(err != 0 ? err : EIO);
    if (!commit_unit()) fail(errno);
  }
  if (ncid_ >= 0) {
    const int id = ncid_;
    ncid_ = -1;
    errno = 0;
    const int status = [id] {
      const NetcdfLock hold(netcdf_mutex());
      return nc_close(id);
    }();
    if (status != NC_NOERR) {
      const int err = netcdf_reason(status, errno);
      paths_->staged.discard();
      if (config_.on_netcdf_error) config_.on_netcdf_error(status, path_);
      fail(err);
    }
    if (!commit_unit()) fail(errno);
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0)
      bytes_ += static_cast<unsigned long long>(st.st_size);
  }
  if (file_unit_) {
    file_unit_ = false;
    if (!file_unit_made()) {
      paths_->staged.discard();
    } else {
      if (!commit_unit()) fail(errno);
      struct stat st {};
      if (stat(path_.c_str(), &st) == 0)
        bytes_ += static_cast<unsigned long long>(st.st_size);
    }
  }
  put_writer_files_in_place();
  if (to_stdout_) std::fflush(stdout);
}

bool OutputSession::close_quietly() {
  // What was formatted ahead is written out first; a failure there is a
  // failure of the close.
  bool written = true;
  if (ahead_ && writer_ && ahead_->pending()) {
    std::FILE* f = text_ ? text_.get() : (to_stdout_ ? stdout : nullptr);
    try {
      ahead_->finish(*writer_, path_, [f](const std::string& t) {
        if (f != nullptr) std::fwrite(t.data(), 1, t.size(), f);
      });
    } catch (...) {
      ahead_->discard();
      written = false;
    }
    if (f != nullptr && std::ferror(f)) written = false;
  }
  if (ahead_) ahead_->discard();
  writer_.reset();
  ended_.reset();
  if (file_unit_ && !file_unit_made()) paths_->staged.discard();
  file_unit_ = false;
  bool ok = close_stream() && written;
  if (!close_netcdf()) ok = false;
  if (!paths_->staged.active()) return ok;
  if (ok) return commit_unit();
  const int err = errno;
  paths_->staged.discard();
  errno = err;
  return false;
}

void OutputSession::abandon_unit() {
  if (ahead_) ahead_->discard();
  writer_.reset();
  ended_.reset();
  file_unit_ = false;
  text_.close();
  if (ncid_ >= 0) {
    const int id = ncid_;
    ncid_ = -1;
    const NetcdfLock hold(netcdf_mutex());
    nc_close(id);
  }
  paths_->staged.discard();
}

bool OutputSession::close_at_end(bool keep) {
  if (keep) return close_quietly();
  abandon_unit();
  return true;
}

bool OutputSession::create_text(const std::string& path) {
  int fd = -1;
  const bool made =
      paths_->staged.begin(path, [&fd](const std::string& temporary) {
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  0666);
        return fd >= 0;
      });
  if (!made) return false;
  text_ = FileHandle(fdopen(fd, "w"));
  if (!text_) {
    const int err = errno;
    close(fd);
    paths_->staged.discard();
    errno = err;
    return false;
  }
  if (!buffer_) buffer_ = std::make_unique<char[]>(kStreamBuffer);
  std::setvbuf(text_.get(), buffer_.get(), _IOFBF, kStreamBuffer);
  return true;
}

bool OutputSession::create_netcdf(const std::string& path) {
  int id = -1;
  // The described file is of the library's classic format; the analysis
  // files are NetCDF-4 in the classic model.
  const int mode = config_.format->unit == UnitKind::netcdf4
                       ? NC_CLOBBER | NC_NETCDF4 | NC_CLASSIC_MODEL
                       : NC_CLOBBER;
  decline_hdf5_exit_handler();
  const bool made =
      paths_->staged.begin(path, [&id, mode](const std::string& temporary) {
        // The temporary name is taken exclusively here; the library then
        // writes over the empty file, which is removed when it cannot.
        const int fd = open(temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        close(fd);
        // The classic file is written through a buffer of 1 MB instead of
        // the library's 8 KB: some 100 times fewer writes, seeks and
        // reads back of what was just written; the bytes are the same.
        std::size_t buffer = kNetcdfBuffer;
        const NetcdfLock hold(netcdf_mutex());
        errno = 0;
        const int status =
            (mode & NC_NETCDF4) != 0
                ? nc_create(temporary.c_str(), mode, &id)
                : nc__create(temporary.c_str(), mode, 0, &buffer, &id);
        if (status == NC_NOERR) return true;
        const int err = netcdf_reason(status, errno);
        unlink(temporary.c_str());
        errno = err;
        return false;
      });
  if (!made) return false;
  ncid_ = id;
  return true;
}

bool OutputSession::create_file(const std::string& path) {
  return paths_->staged.begin(path, [](const std::string& temporary) {
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    close(fd);
    return true;
  });
}

const std::string& OutputSession::file_path() const {
  return file_unit_ && paths_->staged.active()
             ? paths_->staged.temporary_path()
             : path_;
}

bool OutputSession::file_unit_made() const {
  struct stat st {};
  return paths_->staged.active() &&
         stat(paths_->staged.temporary_path().c_str(), &st) == 0 &&
         st.st_size > 0;
}

bool OutputSession::commit_unit() {
  if (!paths_->staged.active()) return true;
  if (!paths_->staged.commit()) return false;
  ++files_written_;
  return true;
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
  bool ok = false;
  {
    const NetcdfLock hold(netcdf_mutex());
    ok = nc_close(id) == NC_NOERR;
  }
  struct stat st {};
  if (ok && stat(path_.c_str(), &st) == 0)
    bytes_ += static_cast<unsigned long long>(st.st_size);
  return ok;
}

void OutputSession::fail(int err) {
  const std::string path = path_;
  // Nothing more goes into the unit that failed.
  if (ahead_) ahead_->discard();
  writer_.reset();
  ended_.reset();
  text_.close();
  if (ncid_ >= 0) close_netcdf();
  paths_->staged.discard();
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
    put_each_line(text, lines);
    return;
  }
  write_text(text);
}

void OutputSession::write_text(const std::string& text) {
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
  const int err = netcdf_reason(status, errno);
  abandon_unit();
  if (config_.on_netcdf_error) config_.on_netcdf_error(status, path);
  config_.on_write_error(err, path);
  throw OutputFailure{err, path};
}
