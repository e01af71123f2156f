// Output destinations, file names and screen paging, and the one layer
// through which the text writers put their lines.
#include <fcntl.h>
#include <netcdf.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rawinq/dialogue.h"
#include "rawinq/globals.h"
#include "rawinq/output.h"
#include "rawinq/staged_file.h"
#include "rawinq/program_exit.h"
#include "rawinq/terminal.h"

namespace {

// Month codes of the coded-message file names, index 1 to 12.
constexpr const char* kMonthCodes[13] = {"??", "JA", "FE", "MA", "AP",
                                         "MY", "JU", "JL", "AG", "SE",
                                         "OC", "NO", "DE"};

constexpr const char* kPlotDataFile = "raob_soundings.zonder";

// The files the current request has written.
RequestFiles request_files;

// Whether path is a file this request created. A file that was there
// before the request is replaced, as the user asked for that name.
bool created_by_request(const std::string& path) {
  return request_files.created(path);
}

// A path not yet used by this request. Several stations can start a file at
// the same date and hour (one file per sounding or per station, or the coded
// message names); the later files then get the station's WMO number (and a
// counter when even that is taken) before the extension, instead of
// replacing a file of this request.
std::string unused_request_path(const std::string& path, short indx) {
  if (!created_by_request(path)) return path;
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  const bool has_ext = dot != std::string::npos &&
                       (slash == std::string::npos || dot > slash);
  const std::string stem = has_ext ? path.substr(0, dot) : path;
  const std::string ext = has_ext ? path.substr(dot) : std::string();
  const long wmo = (indx >= 0 && indx < kMaxStations) ? Stn_His[indx].wmo : 0;
  std::string candidate = stem + "_" + std::to_string(wmo) + ext;
  for (int n = 2; created_by_request(candidate); ++n)
    candidate = stem + "_" + std::to_string(wmo) + "_" + std::to_string(n) + ext;
  return candidate;
}

// Whether outbuf is an output file of ours (not the terminal, not none).
bool outbuf_is_file() { return outbuf != nullptr && outbuf != stdout; }

// A write error has been reported on standard error: it is reported once.
bool write_error_reported = false;
// The reason of the first failed flush of standard output.
int stdout_errno = 0;

// Reports a failed write or close with the system's reason `err`.
void report_write_error(int err) {
  std::fflush(stdout);
  errno = err;
  std::perror("Write error");
  write_error_reported = true;
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
  if (f == stdout && stdout_errno != 0) return stdout_errno;
  return EIO;
}

// Reports a failed write or close of the text output and ends the program.
[[noreturn]] void write_error(int err) {
  report_write_error(err);
  end_program(1);
}

// Large writes for the output files: the buffer (never freed, so that it
// outlives any stream) serves one open stream at a time; a stream opened
// while another still holds it keeps the library's own buffer.
char large_buffer[256 * 1024];
std::FILE* large_buffer_owner = nullptr;

void give_large_buffer(std::FILE* f) {
  if (large_buffer_owner != nullptr) return;
  if (std::setvbuf(f, large_buffer, _IOFBF, sizeof large_buffer) == 0)
    large_buffer_owner = f;
}

// The output files being written, each under its temporary name until it
// is closed: the text output (outbuf) and the NetCDF file (cdfid).
StagedFile text_file;
StagedFile netcdf_file;

// A new text output file for path; nullptr with errno set when it cannot
// be made.
std::FILE* open_text_file(const std::string& path) {
  int fd = -1;
  const bool made = text_file.begin(path, [&fd](const std::string& temporary) {
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd >= 0;
  });
  if (!made) return nullptr;
  std::FILE* f = fdopen(fd, "w");
  if (f == nullptr) {
    const int err = errno;
    close(fd);
    text_file.discard();
    errno = err;
  }
  return f;
}

// A new NetCDF file for path; -1 with errno set when it cannot be made.
int create_netcdf_file(const std::string& path) {
  int id = -1;
  const bool made = netcdf_file.begin(path, [&id](const std::string& temporary) {
    const int status = nc_create(temporary.c_str(), NC_NOCLOBBER, &id);
    if (status == NC_NOERR) return true;
    errno = status == NC_EEXIST ? EEXIST : status > 0 ? status : EIO;
    return false;
  });
  return made ? id : -1;
}

// Closes the text output file and, when `keep` and all of it reached the
// file, puts it in place; false when the close or the rename failed (errno
// tells why). Nothing is closed twice.
bool close_text_output(bool keep) {
  if (!outbuf_is_file()) return true;
  std::FILE* f = outbuf;
  outbuf = nullptr;
  if (f == large_buffer_owner) large_buffer_owner = nullptr;
  if (std::ferror(f)) {  // a line was lost earlier
    const int reason = failure_reason(f, 0);
    std::fclose(f);
    text_file.discard();
    errno = reason;
    return false;
  }
  if (std::fclose(f) != 0) {
    text_file.discard();
    return false;
  }
  if (keep) return text_file.commit();
  text_file.discard();
  return true;
}

// The same for the NetCDF file; the reason of a failure is then in errno.
bool close_netcdf_output(bool keep) {
  if (cdfid == -1) return true;
  const int id = cdfid;
  cdfid = -1;
  const int status = nc_close(id);
  if (status != NC_NOERR) {
    netcdf_file.discard();
    errno = status > 0 ? status : EIO;
    return false;
  }
  if (keep) return netcdf_file.commit();
  netcdf_file.discard();
  return true;
}

// "WMO_INI_date" of the station at indx.
std::string station_file_stem(short indx, long date) {
  if (indx < 0 || indx >= kMaxStations) return std::to_string(date);
  const STATREC& s = Stn_His[indx];
  const std::string init(s.init, strnlen(s.init, sizeof s.init));
  return std::to_string(s.wmo) + "_" + init + "_" + std::to_string(date);
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

// The directory recovery dialogue after a failed open of path: ends the
// program or gives pname a new directory.
void directory_recovery(const std::string& path, std::string& pname) {
  std::printf("\n\n\n ERROR: unable to write files to: %s\n", path.c_str());
  std::putchar(7);
  std::string answer;
  do {
    std::puts("\n  Enter     HELP for more information");
    std::puts("            <return> to choose another directory");
    std::puts("            EXIT to quit");
    std::printf("     Your choice? ");
    answer = read_answer();
  } while (get_help(answer, "NO_DIRECTORY"));

  if (!answer.empty()) {
    std::printf("\n\n Exiting raob database ...");
    end_program(0);
  }

  pname.clear();
  outbuf = nullptr;
  do {
    std::puts("\n Where do you want to write the output files?");
    std::printf("  Enter the disk and directory only: ");
    answer = read_answer();
  } while (get_help(answer, "OUTPUT_DIRECTORY"));
  pname = first_word(answer);
  if (!pname.empty() && pname.back() != '/') pname += '/';
}

}  // namespace

std::string output_file_name(long date, long bdate, short indx,
                             short oformat, short sortype) {
  if (oformat == 3) return kPlotDataFile;
  if (oformat == 1) return coded_message_name(date);
  const char* ext = (oformat == 2 || oformat == 4) ? ".cdf" : ".txt";
  if (sortype == 0) return std::to_string(bdate) + ext;
  if (Sort_Type == 1) return station_file_stem(indx, date) + ext;
  return std::to_string(date) + ext;
}

void open_outfile(long date, long bdate, std::string& pname, short indx,
                  short oformat, short sortype, short first) {
  const std::string name =
      output_file_name(date, bdate, indx, oformat, sortype);
  std::string path;
  if (first) request_files.begin();
  for (;;) {
    if (outbuf != stdout && !first) close_outfile(oformat);

    path = oformat == 3 ? name : pname + name;
    if (outbuf == stdout) return;
    // The plot data file is meant to be replaced by every sounding.
    if (oformat != 3) path = unused_request_path(path, indx);

    if (oformat == 2) {
      const int id = create_netcdf_file(path);
      if (id != -1) {
        cdfid = id;
        request_files.add(path);
        break;
      }
    } else {
      outbuf = open_text_file(path);
      if (outbuf != nullptr) {
        give_large_buffer(outbuf);
        request_files.add(path);
        break;
      }
    }
    directory_recovery(path, pname);
  }
  if (oformat != 3)
    std::printf(" STATUS:  Writing output file: %s        \n", path.c_str());
}

void close_outfile(short oformat) {
  const bool closed =
      oformat == 2 ? close_netcdf_output(true) : close_text_output(true);
  if (!closed) write_error(errno);
}

int close_output_at_exit(bool keep) {
  const bool netcdf_closed = close_netcdf_output(keep);
  const int netcdf_errno = errno;
  if (!close_text_output(keep) && keep) {
    report_write_error(errno);
    return 1;
  }
  if (!netcdf_closed && keep) {
    report_write_error(netcdf_errno);
    return 1;
  }
  return 0;
}

void flush_standard_output() {
  errno = 0;
  if (std::fflush(stdout) != 0 && stdout_errno == 0)
    stdout_errno = errno != 0 ? errno : EIO;
}

bool standard_output_failed() {
  flush_standard_output();
  if (stdout_errno == 0 && !std::ferror(stdout)) return false;
  if (!write_error_reported)
    report_write_error(stdout_errno != 0 ? stdout_errno
                                         : failure_reason(stdout, 0));
  return true;
}

void screen_control() {
  if (Screen_Scroll != 1) return;
  ++Screen_Lines;
  if (Max_Lines <= 0 || Screen_Lines != Max_Lines) return;
  std::printf(" Enter <return> to scroll, 'a' to abort, 'c' to continue:  ");
  const std::string answer = read_answer();
  const char c = answer.empty() ? '\0' : answer[0];
  if (c == 'a' || c == 'A') {
    std::printf(" Exiting radiosonde database ... ");
    end_program(0);
  }
  if (c == 'c' || c == 'C') {
    Screen_Scroll = 0;
    return;
  }
  Screen_Lines = 0;
}

namespace {

// Ends the program with "Write error" when a write to the text output
// failed.
void check_text_output() {
  if (std::ferror(outbuf)) {
    const int reason = failure_reason(outbuf, errno);
    close_text_output(false);
    write_error(reason);
  }
}

}  // namespace

void emit_uncounted_line(const std::string& text) {
  if (outbuf == nullptr) return;
  errno = 0;
  std::fwrite(text.data(), 1, text.size(), outbuf);
  std::fputc('\n', outbuf);
  check_text_output();
}

void emit_line(const std::string& text) {
  emit_uncounted_line(text);
  screen_control();
}

void emit_lines(const std::string& text, int lines) {
  if (Screen_Scroll == 1) {  // paging: every line is counted in turn
    std::size_t from = 0;
    for (int k = 0; k < lines && from < text.size(); ++k) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      emit_line(text.substr(from, end - from));
      from = end + 1;
    }
    return;
  }
  if (outbuf == nullptr) return;
  errno = 0;
  std::fwrite(text.data(), 1, text.size(), outbuf);
  check_text_output();
}
