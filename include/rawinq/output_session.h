// The output session of one retrieval: it owns the open output unit (a
// text stream or a NetCDF file), names and opens new files, checks every
// write, counts lines for paging and closes what it opened, however the
// retrieval ends.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "rawinq/file_handle.h"
#include "rawinq/format_ahead.h"
#include "rawinq/formats.h"

// Counts the lines written to the screen and stops at the end of a page.
class Pager {
 public:
  virtual ~Pager() = default;
  virtual bool active() const = 0;  // lines are being counted
  virtual void count_line() = 0;    // may ask the user (and end the run)
};

struct SessionConfig {
  const OutputFormat* format = nullptr;
  bool to_files = false;       // else standard output
  std::string dir;             // of the files, "/"-terminated or ""
  bool by_station = false;     // station names (WMO_INI_date) in one-file-
                               // per-station and per-sounding splits
  bool announce_files = false; // " STATUS:  Writing output file: ..."
  // Takes the session's and the writers' notes for the user (a new output
  // file when announce_files is set, a level a format had no room for),
  // whole lines with their line ends; without it they are dropped.
  std::function<void(const std::string& text)> notes;
  Pager* pager = nullptr;      // null: no paging
  // A file (text or NetCDF) could not be created at path: returns the
  // directory to try next (the dialogue's recovery), or does not return.
  // Without it OutputFailure is thrown.
  std::function<std::string(const std::string& path)> on_open_failure;
  // A NetCDF call failed with the library's status: may end the run its
  // own way; otherwise it is a write error.
  std::function<void(int status, const std::string& path)> on_netcdf_error;
  // A write failed with errno err: does not return. The default throws
  // OutputFailure.
  std::function<void(int err, const std::string& path)> on_write_error;
  // The dialogue's plot hand-off: the unit holding one sounding has been
  // closed; the plotter takes it from here.
  std::function<void()> hand_off;
};

// The name (without directory) of a new output file of the format for the
// sounding at date (YYYYMMDDHH) of station in a request beginning at bdate;
// whole: all data in one file.
std::string output_file_name(const OutputFormat& format, long date, long bdate,
                             const STATREC* station, bool whole,
                             bool by_station);

class OutputSession final : public OutputUnit {
 public:
  explicit OutputSession(SessionConfig config);
  ~OutputSession() override;
  OutputSession(const OutputSession&) = delete;
  OutputSession& operator=(const OutputSession&) = delete;

  const OutputFormat& format() const { return *config_.format; }
  bool to_files() const { return config_.to_files; }
  const std::string& dir() const { return config_.dir; }

  // Closes the unit open (if any) and opens a new one for the sounding at
  // date of station; whole: all data of the request go into it. A session
  // that writes no files has standard output as its only unit.
  void open_unit(long date, long bdate, const STATREC* station, bool whole);
  // Writes one sounding to the open unit (standard output when the session
  // writes no files); false when the format gives it nothing (dropped).
  bool write(const Sounding& sounding, const STATREC& station,
             const WriteOptions& options);
  // Writes out the soundings still being formatted on the second core
  // (text written to standard output must be out before anything else is
  // printed there).
  void flush_pending();
  // Closes the open unit, checked. Nothing is closed twice.
  void close_unit();
  // Closes without reporting (at exit); false when the close failed.
  bool close_quietly();
  // Closes the open file, unfinished, and removes it (the run failed or was
  // interrupted in the middle of it): its name keeps what it held before.
  void abandon_unit();
  // As the program ends early: with keep (it ended normally, at end of
  // input or by an answer) the open file is closed and put in place, else
  // it is abandoned. False when keeping it failed.
  bool close_at_end(bool keep);

  bool unit_open() const {
    return text_ || ncid_ >= 0 || file_unit_ || to_stdout_;
  }
  long files_opened() const { return files_opened_; }
  // The files put in place (a unit whose writer made nothing is none).
  long files_written() const { return files_written_; }
  unsigned long long bytes_written() const { return bytes_; }

  // OutputUnit
  void put_lines(const std::string& text, int lines) override;
  void put_line(const std::string& text, bool counted) override;
  bool paging() const override;
  int ncid() const override { return ncid_; }
  void check(int status) override;
  const std::string& path() const override { return path_; }
  const std::string& file_path() const override;
  void note(const std::string& text) override {
    if (config_.notes) config_.notes(text);
  }

 private:
  // Whether soundings go through the formatting thread: text to a file or
  // to standard output no page count waits on, one sounding after another.
  bool formats_ahead() const;
  void write_text(const std::string& text);
  void start_writer();
  void finish_writer();
  // The files of the writer that has ended follow the unit's file.
  void put_writer_files_in_place();
  void check_stream();
  [[noreturn]] void fail(int err);
  [[noreturn]] void netcdf_failure(int status);
  bool close_stream();
  bool close_netcdf();
  // The open unit's file, made under a temporary name beside path; false
  // with errno set when it cannot be made.
  bool create_text(const std::string& path);
  bool create_netcdf(const std::string& path);
  // A file the writer makes itself: an empty file under the temporary name,
  // which the writer replaces with the whole file (file_path()).
  bool create_file(const std::string& path);
  // Puts the staged file in place, counting it; false with errno set.
  bool commit_unit();
  // Whether the writer of a file unit made its file (the empty file made
  // for it is no file: a sounding that could not be drawn).
  bool file_unit_made() const;

  SessionConfig config_;
  std::unique_ptr<char[]> buffer_;  // outlives the stream it serves
  FileHandle text_;
  int ncid_ = -1;
  bool file_unit_ = false;  // a file the writer makes at path_
  bool to_stdout_ = false;
  std::string path_;
  std::unique_ptr<SoundingWriter> writer_;
  // The writer that has ended, until the unit's file is in place.
  std::unique_ptr<SoundingWriter> ended_;
  std::unique_ptr<FormatAhead> ahead_;  // made at the first sounding
  long files_opened_ = 0;
  long files_written_ = 0;
  unsigned long long bytes_ = 0;
  struct Paths;
  std::unique_ptr<Paths> paths_;  // the files this session created
};
