// Helpers of the NetCDF output tests: files created the way the program
// creates them, read back through the library, and a station and sounding
// set up directly in the shared records.
#pragma once

#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "dialogue_fixture.h"
#include "rawinq/cdf.h"
#include "rawinq/formats.h"
#include "sounding_fixture.h"
#include "test_support.h"

namespace uacdf_test {

// A NetCDF output file created as the program creates it, with the
// program's NetCDF writer; every library status must be success. It is
// the file netcdf_format writes to, closed when the object goes away.
class OutputFile final : public OutputUnit {
 public:
  explicit OutputFile(const std::string& path)
      : writer_(make_netcdf_writer()) {
    id_ = nccreate(path.c_str(), NC_CLOBBER);
    current() = this;
  }
  ~OutputFile() override {
    close();
    if (current() == this) current() = nullptr;
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  void close() {
    if (id_ >= 0) ncclose(id_);
    id_ = -1;
  }
  void write(short indx) {
    writer_->write(*this, current_sounding(), dialogue_state().Stn_His[indx],
                   WriteOptions{});
  }
  static OutputFile*& current() {
    static OutputFile* file = nullptr;
    return file;
  }

  void put_lines(const std::string&, int) override {}
  void put_line(const std::string&, bool) override {}
  bool paging() const override { return false; }
  int ncid() const override { return id_; }
  void check(int status) override { EXPECT_EQ(status, NC_NOERR); }
  const std::string& path() const override { return path_; }
  // The notes go where the dialogue puts them.
  void note(const std::string& text) override {
    std::fputs(text.c_str(), stdout);
  }

 private:
  std::unique_ptr<SoundingWriter> writer_;
  int id_ = -1;
  std::string path_;
};

// Writes the sounding of Snd_Hdr and Snd_Data for station Stn_His[indx] as
// the next record of the current file.
inline void netcdf_format(short indx, long /*record*/) {
  OutputFile::current()->write(indx);
}

// A NetCDF file opened for reading.
class Reader {
 public:
  explicit Reader(const std::string& path) {
    EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id_), NC_NOERR) << path;
  }
  ~Reader() {
    if (id_ >= 0) nc_close(id_);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  int id() const { return id_; }
  int var(const char* name) const {
    int v = -1;
    EXPECT_EQ(nc_inq_varid(id_, name, &v), NC_NOERR) << name;
    return v;
  }
  float get_float(const char* name, size_t rec, size_t slot = 0) const {
    const size_t index[2] = {rec, slot};
    float value = 0;
    EXPECT_EQ(nc_get_var1_float(id_, var(name), index, &value), NC_NOERR);
    return value;
  }
  double get_double(const char* name, size_t rec) const {
    const size_t index[1] = {rec};
    double value = 0;
    EXPECT_EQ(nc_get_var1_double(id_, var(name), index, &value), NC_NOERR);
    return value;
  }
  int get_int(const char* name, size_t rec) const {
    const size_t index[1] = {rec};
    int value = 0;
    EXPECT_EQ(nc_get_var1_int(id_, var(name), index, &value), NC_NOERR);
    return value;
  }

 private:
  int id_ = -1;
};

inline void set_station(short indx, const char* init, long wmo, long wban,
                        float lat, float lon, short elev) {
  STATREC& s = dialogue_state().Stn_His[indx];
  s = STATREC{};
  std::strncpy(s.init, init, sizeof s.init - 1);
  s.wmo = wmo;
  s.wban = wban;
  s.lat = lat;
  s.lon = lon;
  s.elev = elev;
}

inline void set_header(short year, short month, short day, short hour,
                       long reltime, long sondtype = 52) {
  Snd_Hdr = HEADER_TYPE{};
  Snd_Hdr.year = year;
  Snd_Hdr.month = month;
  Snd_Hdr.day = day;
  Snd_Hdr.hour = hour;
  Snd_Hdr.reltime = reltime;
  Snd_Hdr.sondtype = sondtype;
  Snd_Hdr.levels = 0;
}

inline void add_level(long fr, long pr, long ht, long tp, long dp, long wd,
                      long ws) {
  Snd_Data.at(static_cast<size_t>(Snd_Hdr.levels++)) =
      DATA_TYPE{fr, pr, ht, tp, dp, wd, ws};
}

// Bytes of a record of the schema: per record, 8 ints, 6 name characters
// padded to 8, 3 floats, 2 doubles and 6 floats for each of the
// 22 + 250 + 150 + 4 + 5 level slots.
constexpr long kRecordBytes =
    8 * 4 + 8 + 3 * 4 + 2 * 8 + 6 * 4 * (22 + 250 + 150 + 4 + 5);

inline long pad4(long n) { return (n + 3) / 4 * 4; }

// Size of a classic-format header, from what the library reads back.
inline long classic_header_size(int ncid) {
  int ndims, nvars, ngatts, unlim;
  nc_inq(ncid, &ndims, &nvars, &ngatts, &unlim);
  char name[NC_MAX_NAME + 1];
  auto atts = [&](int varid, int natts) {
    long n = 8;
    for (int a = 0; a < natts; ++a) {
      nc_type type;
      size_t len;
      nc_inq_attname(ncid, varid, a, name);
      nc_inq_att(ncid, varid, name, &type, &len);
      size_t size = 1;
      nc_inq_type(ncid, type, nullptr, &size);
      n +=
          4 + pad4(std::strlen(name)) + 8 + pad4(static_cast<long>(size * len));
    }
    return n;
  };
  long n = 8 + 8;
  for (int d = 0; d < ndims; ++d) {
    nc_inq_dimname(ncid, d, name);
    n += 4 + pad4(std::strlen(name)) + 4;
  }
  n += atts(NC_GLOBAL, ngatts) + 8;
  for (int v = 0; v < nvars; ++v) {
    int vdims, vatts;
    nc_inq_var(ncid, v, name, nullptr, &vdims, nullptr, &vatts);
    n += 4 + pad4(std::strlen(name)) + 4 + 4L * vdims + atts(v, vatts) + 12;
  }
  return n;
}

inline long file_size(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

}  // namespace uacdf_test
