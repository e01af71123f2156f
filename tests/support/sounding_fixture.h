// The writer and decoder tests give the sounding under test as a header
// (Snd_Hdr) and a table of levels of which the first Snd_Hdr.levels count
// (Snd_Data), and the text output as a stream (outbuf). The calls below run
// the program's decoder and writers on them: a writer gets the Sounding
// value of those levels, the catalogue entry Stn_His[ind], and an output
// unit over outbuf that checks each write as the dialogue's does (a failed
// write ends the program: "Write error", status 1) and counts lines for
// paging when outbuf is the screen.
#pragma once

#include <netcdf.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "dialogue_fixture.h"
#include "rawinq/decoder.h"
#include "rawinq/formats.h"
#include "rawinq/output.h"

inline HEADER_TYPE Snd_Hdr{};
inline std::vector<DATA_TYPE> Snd_Data(350);
inline std::FILE* outbuf = nullptr;
inline SoundingCheck Sounding_Check = SoundingCheck::decoded;
// The oformat of io_sounding that only decodes.
constexpr short kDecodeOnly = -1;

// The Sounding of Snd_Hdr and the first Snd_Hdr.levels levels.
inline Sounding current_sounding() {
  Sounding s;
  s.header = Snd_Hdr;
  const long n = std::clamp<long>(Snd_Hdr.levels, 0,
                                  static_cast<long>(Snd_Data.size()));
  s.levels.assign(Snd_Data.begin(), Snd_Data.begin() + n);
  s.header.levels = n;
  return s;
}

class StreamUnit final : public OutputUnit {
 public:
  explicit StreamUnit(std::FILE* f) : f_(f) {}
  void put_lines(const std::string& text, int lines) override {
    if (paging()) {
      put_each_line(text, lines);
      return;
    }
    if (f_ == nullptr) return;
    errno = 0;
    std::fwrite(text.data(), 1, text.size(), f_);
    checked();
  }
  void put_line(const std::string& text, bool counted) override {
    if (f_ == nullptr) return;
    errno = 0;
    std::fwrite(text.data(), 1, text.size(), f_);
    std::fputc('\n', f_);
    checked();
    if (counted && paging()) dialogue_state().pager.count_line();
  }
  bool paging() const override {
    return f_ == stdout && dialogue_state().Screen_Scroll == 1;
  }
  int ncid() const override { return -1; }
  void check(int) override {}
  const std::string& path() const override { return path_; }

 private:
  void checked() {
    if (!std::ferror(f_)) return;
    int err = errno;
    if (err == 0) {
      std::clearerr(f_);
      if (std::fflush(f_) != 0) err = errno;
    }
    if (f_ != stdout) std::fclose(f_);
    if (outbuf == f_) outbuf = nullptr;
    write_error(err != 0 ? err : EIO);
  }
  std::FILE* f_;
  std::string path_;
};

inline WriteOptions write_options(short wformat, short ltype) {
  WriteOptions o;
  o.levels = ltype;
  o.knots = wformat == 0;
  o.above_100mb = dialogue_state().Original_ZIR_Format != 1;
  return o;
}

inline void ksc_format(short wformat, short ltype, short ind) {
  StreamUnit unit(outbuf);
  make_zir_writer()->write(unit, current_sounding(),
                           dialogue_state().Stn_His[ind],
                           write_options(wformat, ltype));
}

inline void faa_format(short ltype, short ind) {
  StreamUnit unit(outbuf);
  make_faa604_writer()->write(unit, current_sounding(),
                              dialogue_state().Stn_His[ind],
                              write_options(1, ltype));
}

// A NetCDF file held in memory, for the writer to write a sounding to.
class MemoryNetcdf final : public OutputUnit {
 public:
  MemoryNetcdf() { nc_create("memory.cdf", NC_DISKLESS | NC_CLOBBER, &id_); }
  ~MemoryNetcdf() override {
    if (id_ >= 0) nc_close(id_);
  }
  MemoryNetcdf(const MemoryNetcdf&) = delete;
  MemoryNetcdf& operator=(const MemoryNetcdf&) = delete;
  void put_lines(const std::string&, int) override {}
  void put_line(const std::string&, bool) override {}
  bool paging() const override { return false; }
  int ncid() const override { return id_; }
  void check(int status) override {
    if (status != NC_NOERR) write_error(EIO);
  }
  const std::string& path() const override { return path_; }

 private:
  int id_ = -1;
  std::string path_;
};

// Decodes the record into Snd_Hdr and Snd_Data (Sounding_Check tells what
// became of it) and writes it with the writer of the dialogue's format
// choice oformat: text to outbuf, NetCDF to a file in memory; 1 when it
// was written.
inline short io_sounding(const unsigned char* buf, unsigned long len,
                         short ltype, short wformat, short oformat, short ind,
                         long /*nsound*/) {
  Sounding s;
  DecodeOptions decode_options;
  decode_options.cut_at_100mb = oformat == 1;
  Sounding_Check = decode_sounding(buf, len, decode_options, s);
  Snd_Hdr = s.header;
  if (Snd_Data.size() < s.levels.size()) Snd_Data.resize(s.levels.size());
  std::copy(s.levels.begin(), s.levels.end(), Snd_Data.begin());
  if (Sounding_Check != SoundingCheck::decoded) return 0;
  const OutputFormat* format = format_by_choice(oformat);
  if (format == nullptr) return 0;
  const WriteOptions options = write_options(wformat, ltype);
  if (format->unit == UnitKind::netcdf) {
    MemoryNetcdf file;
    format->make_writer()->write(file, s, dialogue_state().Stn_His[ind],
                                 options);
  } else {
    StreamUnit unit(outbuf);
    format->make_writer()->write(unit, s, dialogue_state().Stn_His[ind],
                                 options);
  }
  Sounding_Check = SoundingCheck::written;
  return 1;
}
