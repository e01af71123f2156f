// The output formats: one table row per format, and the writer interface
// every format implements. Adding a format is one row and one writer.
#pragma once

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rawinq/cf_grid.h"
#include "rawinq/plot.h"
#include "rawinq/records.h"
#include "rawinq/sounding.h"
#include "rawinq/station_ids.h"

// Which levels and units a writer puts out.
struct WriteOptions {
  short levels = 0;        // 0 all, 1 mandatory, 2 mandatory and significant
  bool knots = true;       // wind speeds in knots, else tenths of m/s
  bool above_100mb = true; // false: whole mb, cut at 100 mb, 32767 missing
  bool derived = false;    // the analysis formats' derived quantities
  std::string history;     // what made the output (the CF history)
  PlotOptions plot;        // the plot formats' axis and parcel
  // The identifiers the analysis formats give stations (their own letters
  // or numbers without one).
  std::shared_ptr<const StationIdTable> station_ids;
  // cf: a cube of soundings on these levels instead of ragged profiles.
  GridOptions grid;
};

// A failed write or close of an output file or standard output; what()
// names the file ("standard output") and the reason.
struct OutputFailure : std::runtime_error {
  OutputFailure(int e, std::string p, std::string w = std::string())
      : std::runtime_error((p.empty() ? std::string("standard output") : p) +
                           ": " + (w.empty() ? std::strerror(e) : w)),
        err(e),
        path(std::move(p)),
        why(std::move(w)) {}
  int err;           // the system's reason
  std::string path;  // "" for standard output
  std::string why;   // when not empty, said in place of the system's reason
};

// The open output unit a writer writes to: a text stream or a NetCDF file.
// Every write is checked by the unit; a failure does not return.
class OutputUnit {
 public:
  virtual ~OutputUnit() = default;
  // Text: `lines` whole lines, each ended by its line end, counted for
  // paging.
  virtual void put_lines(const std::string& text, int lines) = 0;
  // Text: one line given without its line end, counted for paging or not.
  virtual void put_line(const std::string& text, bool counted) = 0;
  // Whether each line must go out at once (a screen page is being
  // counted); otherwise a writer may gather a sounding's lines.
  virtual bool paging() const = 0;
  // NetCDF: the open file's id (-1 for a text unit) and the check of
  // every status the library returns.
  virtual int ncid() const = 0;
  virtual void check(int status) = 0;
  // The path of the unit ("" for standard output).
  virtual const std::string& path() const = 0;
  // Where a writer that makes its file whole writes it: the file the
  // session puts at path() once the unit is closed.
  virtual const std::string& file_path() const { return path(); }
  // A note for the user (whole lines with their line ends), passed on to
  // whoever runs the session.
  virtual void note(const std::string& /*text*/) {}

 protected:
  // Puts `lines` whole lines of text through put_line one by one, each
  // counted (for paging).
  void put_each_line(const std::string& text, int lines) {
    std::size_t from = 0;
    for (int k = 0; k < lines && from < text.size(); ++k) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      put_line(text.substr(from, end - from), true);
      from = end + 1;
    }
  }
};

// A writer lives as long as one output unit: begin when the unit has been
// opened, write for every sounding, end before the unit is closed, and
// put_in_place once the unit's file is in place, for the files of its own
// that go with it. A writer dropped before that abandons its files.
class SoundingWriter {
 public:
  virtual ~SoundingWriter() = default;
  virtual void begin(OutputUnit&) {}
  virtual void write(OutputUnit& out, const Sounding& sounding,
                     const STATREC& station, const WriteOptions& options) = 0;
  // Whether write would give the sounding anything of its own; a sounding
  // it would not is dropped and not counted as written.
  virtual bool yields_output(const Sounding&, const WriteOptions&) const {
    return true;
  }
  virtual void end(OutputUnit&) {}
  virtual void put_in_place(OutputUnit&) {}
};

// text: a stream the session writes; netcdf: a NetCDF file of the
// library's default (classic) format; netcdf4: NetCDF-4 in the classic
// model; file: a file that the writer makes whole at the unit's path (the
// session names it and counts its bytes); none: no unit.
enum class UnitKind { text, netcdf, netcdf4, file, none };

// How the name of a new output file is formed.
enum class FileNameRule {
  dated,          // YYYYMMDDHH<ext>, or WMO_INI_YYYYMMDDHH<ext> by station
  coded_message,  // MMDDYYHH.skt with a month code
  plot_data,      // the fixed plot data file in the working directory
  station_dated,  // WMO_INI_YYYYMMDDHH<ext>, whatever the order
};

// A row says what the dialogue asks for the format and what the command
// line allows: file_only formats need --out; one_file_per_sounding formats
// begin a new output unit for every sounding.
struct OutputFormat {
  short choice;            // the dialogue's format menu choice, -1: none
  const char* name;        // the command line's --format value, null: none
  const char* description; // for usage texts
  UnitKind unit;
  FileNameRule naming;
  const char* extension;   // of dated names
  bool asks_above_100mb;   // the dialogue's question "data above 100mb"
  bool asks_levels;        // the level question
  bool asks_wind;          // the wind units question
  bool file_only;          // never written to the screen or standard output
  bool progress_lines;     // the per-sounding status and count lines
  bool one_file_per_sounding;  // a new unit for every sounding
  bool cut_at_100mb;       // the decoder keeps the levels up to 100 mb only
  bool hands_off;          // the dialogue's plot hand-off after each sounding
  // The dialogue's note in place of the destination question (a format
  // written to files only), or null.
  const char* file_only_note;
  std::unique_ptr<SoundingWriter> (*make_writer)();
};

// All formats, in table order.
const std::vector<OutputFormat>& output_formats();
// The row of a dialogue choice or a --format name; null when none.
const OutputFormat* format_by_choice(short choice);
const OutputFormat* format_by_name(const std::string& name);

// The writers of the table's rows.
std::unique_ptr<SoundingWriter> make_zir_writer();
std::unique_ptr<SoundingWriter> make_faa604_writer();
std::unique_ptr<SoundingWriter> make_netcdf_writer();
std::unique_ptr<SoundingWriter> make_csv_writer();
std::unique_ptr<SoundingWriter> make_cf_writer();
std::unique_ptr<SoundingWriter> make_png_writer();
std::unique_ptr<SoundingWriter> make_svg_writer();
std::unique_ptr<SoundingWriter> make_pdf_writer();
std::unique_ptr<SoundingWriter> make_bufr_writer();
