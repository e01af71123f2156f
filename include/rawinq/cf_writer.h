// NetCDF-4 (classic model) output following the CF-1.8 conventions for
// discrete sampling geometries: a collection of vertical profiles in the
// contiguous ragged array representation (featureType "profile", the count
// variable row_size over the sample dimension obs).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "rawinq/records.h"
#include "rawinq/sounding.h"

struct CfOptions {
  short level_selection = 0;  // 0 all, 1 mandatory, 2 mandatory and significant
  bool derived = false;       // per-level derived variables, per-profile indices
  std::string history;        // the global history attribute
};

// A NetCDF call that failed: what was being done, the file and the
// library's message.
class CfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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
// unlimited obs dimension as the soundings come; the per-profile variables
// are kept and written by finish(). Every netCDF status is checked.
class CfWriter {
 public:
  // Checks a netCDF status; does not return when it is a failure.
  using StatusCheck = std::function<void(int status, const char* what)>;

  // Creates (or replaces) the file at path, netCDF-4 classic model, and
  // owns it; a failure throws CfError naming the file.
  CfWriter(const std::string& path, CfOptions options);
  // Writes into a file the caller created (netCDF-4 classic model, still
  // in define mode), which the caller closes after finish(); every status
  // goes to check.
  CfWriter(int ncid, StatusCheck check, CfOptions options);
  // Appends the sounding's selected levels as one profile (nothing when
  // none is selected); returns the number of levels written.
  long write(const Sounding& sounding, const STATREC& station);
  // Writes the per-profile variables, and closes the file when it is this
  // writer's own.
  void finish();
  long profiles() const { return static_cast<long>(time_.size()); }

 private:
  void check(int status, const char* what) const { check_(status, what); }
  void define_file();
  void define_and_write_profiles();

  CfOptions options_;
  NcFile owned_;  // open when the writer created the file
  int ncid_ = -1;
  StatusCheck check_;
  bool finished_ = false;
  int obs_dim_ = -1;
  std::vector<int> obs_vars_;  // the level variables, in kObs order
  std::vector<int> derived_vars_;
  int level_type_var_ = -1;
  size_t obs_written_ = 0;
  // Per profile, until finish().
  std::vector<int> wmo_, wban_, row_size_;
  std::vector<std::string> name_;
  std::vector<double> time_;
  std::vector<float> lat_, lon_, alt_;
  std::vector<std::vector<float>> indices_;  // per index field
  // One profile's levels, reused.
  std::vector<std::vector<float>> columns_;
  std::vector<signed char> level_types_;
};

// Seconds since 1970-01-01 00:00:00 UTC of the sounding's date and hour
// (proleptic Gregorian calendar).
double epoch_seconds(const HEADER_TYPE& header);
