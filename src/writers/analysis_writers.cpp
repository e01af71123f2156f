// The analysis formats as rows of the format table: the CSV and CF writers
// behind the writer interface of the output session.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "rawinq/cf_grid.h"
#include "rawinq/cf_writer.h"
#include "rawinq/csv_writer.h"
#include "rawinq/file_handle.h"
#include "rawinq/formats.h"
#include "rawinq/staged_file.h"

namespace {

// The indices file beside a CSV file: "name.csv" gives "name_indices.csv".
std::string indices_path(const std::string& path) {
  const std::string ext = ".csv";
  const bool has_ext = path.size() >= ext.size() &&
                       path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
  return (has_ext ? path.substr(0, path.size() - ext.size()) : path) + "_indices.csv";
}

// Level rows go to the session's unit; with the derived quantities the
// indices go to a file of their own beside it, owned and checked here (a
// unit on standard output has none: the command line asks for files).
class CsvSoundingWriter final : public SoundingWriter {
 public:
  void write(OutputUnit& out, const Sounding& sounding, const STATREC& station,
             const WriteOptions& options) override {
    if (!csv_) {
      csv_ = std::make_unique<CsvWriter>(
          CsvOptions{options.levels, options.knots, options.derived, options.station_ids.get()});
      out.put_lines(csv_->levels_header(), 1);
      if (options.derived && !out.path().empty()) open_indices(out.path());
    }
    rows_.clear();
    index_row_.clear();
    const long n = csv_->write(sounding, station, rows_, indices_ ? &index_row_ : nullptr);
    if (n > 0) out.put_lines(rows_, static_cast<int>(n));
    if (!index_row_.empty()) put_index(index_row_);
  }

  void end(OutputUnit&) override {
    if (!indices_) return;
    errno = 0;
    const bool flushed = std::fflush(indices_.get()) == 0;
    const int err = errno;
    if (indices_.close() != 0 || !flushed) throw OutputFailure{err != 0 ? err : EIO, path_};
  }

  // The indices follow the levels into place, as whole as they are.
  void put_in_place(OutputUnit&) override {
    if (!staged_.commit()) throw OutputFailure{errno, path_};
  }

 private:
  // The indices file is written under a temporary name, like the unit's
  // file, and left out when the unit is not completed.
  void open_indices(const std::string& unit_path) {
    path_ = indices_path(unit_path);
    int fd = -1;
    if (!staged_.begin(path_, [&fd](const std::string& temporary) {
          fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
          return fd >= 0;
        }))
      throw OutputFailure{errno, path_,
                          staged_.refusal()};
    indices_ = FileHandle(fdopen(fd, "w"));
    if (!indices_) {
      const int err = errno;
      close(fd);
      throw OutputFailure{err, path_};
    }
    put_index(csv_->indices_header());
  }
  void put_index(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), indices_.get()) != text.size() ||
        std::ferror(indices_.get())) {
      const int err = errno != 0 ? errno : EIO;
      indices_.close();
      throw OutputFailure{err, path_};
    }
  }

  std::unique_ptr<CsvWriter> csv_;
  StagedFile staged_;  // declared first of the two: the stream closes first
  FileHandle indices_;
  std::string path_;
  std::string rows_, index_row_;
};

// The CF writer on the unit's NetCDF-4 file; its statuses go to the unit's
// check, which ends the unit on a failure.
class CfSoundingWriter final : public SoundingWriter {
 public:
  void write(OutputUnit& out, const Sounding& sounding, const STATREC& station,
             const WriteOptions& options) override {
    guarded(out, [&] {
      if (!cf_ && !grid_) start(out, options);
      if (grid_)
        grid_->write(sounding, station);
      else
        cf_->write(sounding, station);
    });
  }

  void end(OutputUnit& out) override {
    guarded(out, [&] {
      if (!cf_ && !grid_) start(out, WriteOptions{});  // a file without profiles
      if (grid_)
        grid_->finish();
      else
        cf_->finish();
    });
  }

 private:
  void start(OutputUnit& out, const WriteOptions& options) {
    if (options.grid.kind != GridOptions::Kind::none) {
      grid_ = std::make_unique<CfGridWriter>(out.ncid(), options.grid, options.history,
                                             options.station_ids.get());
      return;
    }
    cf_ = std::make_unique<CfWriter>(
        out.ncid(),
        CfOptions{options.levels, options.derived, options.history, options.station_ids.get()});
  }
  template <typename F>
  void guarded(OutputUnit& out, F&& f) {
    int status = 0;
    try {
      f();
      return;
    } catch (const CfError& e) {
      status = e.status();
    }
    cf_.reset();
    grid_.reset();
    out.check(status);  // does not return
  }

  std::unique_ptr<CfWriter> cf_;
  std::unique_ptr<CfGridWriter> grid_;
};

}  // namespace

std::unique_ptr<SoundingWriter> make_csv_writer() {
  return std::make_unique<CsvSoundingWriter>();
}

std::unique_ptr<SoundingWriter> make_cf_writer() {
  return std::make_unique<CfSoundingWriter>();
}
