// NetCDF-4 (classic model) output following the CF-1.8 conventions for
// discrete sampling geometries: a collection of vertical profiles in the
// contiguous ragged array representation (featureType "profile", the count
// variable row_size over the sample dimension obs).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rawinq/records.h"
#include "rawinq/analysis_levels.h"
#include "rawinq/sounding.h"
#include "rawinq/station_ids.h"

struct CfOptions {
  short level_selection = 0;  // 0 all, 1 mandatory, 2 mandatory and significant
  bool derived = false;       // per-level derived variables, per-profile indices
  std::string history;        // the global history attribute
  // The stations' identifiers (null: their own letters or numbers); the
  // table outlives the writer.
  const StationIdTable* station_ids = nullptr;
};

// A NetCDF call that failed: its message names what was being done (and
// the file, when the writer created it) and the library's reason.
class CfError : public std::runtime_error {
 public:
  CfError(const std::string& what, int status)
      : std::runtime_error(what), status_(status) {}
  int status() const { return status_; }  // the library's status

 private:
  int status_;
};

// Owns one open netCDF id; closes it when destroyed.
class NcFile {
 public:
  NcFile() = default;
  explicit NcFile(int ncid) : ncid_(ncid) {}
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;
  NcFile(NcFile&& o) noexcept : ncid_(o.release()) {}
  NcFile& operator=(NcFile&& o) noexcept;
  ~NcFile();
  int get() const { return ncid_; }
  bool is_open() const { return ncid_ >= 0; }
  // Closes the file; returns nc_close's status (NC_NOERR when none was open).
  int close();
  int release() {
    const int id = ncid_;
    ncid_ = -1;
    return id;
  }

 private:
  int ncid_ = -1;
};

// Writes the soundings of one output file. Levels are appended along the
// unlimited obs dimension a chunk at a time as the soundings come; the
// per-profile variables are kept and written by finish(). Every netCDF status is checked: a
// failure throws CfError.
class CfWriter {
 public:
  // Creates (or replaces) the file at path, netCDF-4 classic model, and
  // owns it.
  CfWriter(const std::string& path, CfOptions options);
  // Writes into a file the caller created (netCDF-4 classic model, still
  // in define mode), which the caller closes after finish().
  CfWriter(int ncid, CfOptions options);
  // Appends the sounding's selected levels as one profile (nothing when
  // none is selected); returns the number of levels written.
  long write(const Sounding& sounding, const STATREC& station);
  // Writes the per-profile variables, and closes the file when it is this
  // writer's own.
  void finish();
  long profiles() const { return static_cast<long>(time_.size()); }

 private:
  void check(int status, const char* what) const;
  // A variable with its chunks, shuffle and deflate, and its text
  // attributes (those given as "" are left out).
  int define_variable(const char* name, int type, int ndims, const int* dims,
                      const size_t* chunks, const char* units,
                      const char* standard_name, const char* long_name) const;
  void put_text(int var, const char* name, const char* text) const;
  void define_file();
  void flush_levels();
  void define_and_write_profiles();

  CfOptions options_;
  NcFile owned_;  // open when the writer created the file
  int ncid_ = -1;
  std::string path_;  // of the file the writer created, for messages
  bool finished_ = false;
  int obs_dim_ = -1;
  std::vector<int> obs_vars_;  // the level variables, in kObs order
  std::vector<int> derived_vars_;
  int level_type_var_ = -1;
  size_t obs_written_ = 0;
  // Per profile, until finish().
  std::vector<int> wmo_, wban_, row_size_;
  std::vector<std::string> name_, id_;
  std::vector<AnalysisLevel> order_;
  std::vector<double> time_;
  std::vector<double> release_time_;  // NC_FILL_DOUBLE when missing
  std::vector<float> lat_, lon_, alt_;
  std::vector<std::vector<float>> indices_;  // per index field
  // The levels not yet written, up to a chunk of them.
  std::vector<std::vector<float>> columns_;
  std::vector<signed char> level_types_;
};

// Seconds since 1970-01-01 00:00:00 UTC of the sounding's date and hour
// (proleptic Gregorian calendar).
double epoch_seconds(const HEADER_TYPE& header);
