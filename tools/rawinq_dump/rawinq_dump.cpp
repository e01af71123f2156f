// rawinq-dump FILE...: lists the day index of station-year files (days,
// hours, record offsets and lengths) with the decoded header of each record,
// and checks each file the way the programs read it, naming every fault.
//
// The checks are the programs' own: the day index is read by
// read_day_index, each record by read_database_record and decoded by
// decode_sounding, and a day's records are followed along the record chain as
// the retrievals follow it. Two more checks name what the retrievals pass
// over without a word: a day's records out of hour order, and an index
// entry that does not match the record chain.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rawinq/archive.h"
#include "rawinq/decoder.h"
#include "rawinq/file_handle.h"
#include "rawinq/records.h"
#include "rawinq/installation.h"
#include "rawinq/records.h"
#include "rawinq/regular_file.h"
#include "rawinq/standard_output.h"

namespace {

const char kUsage[] =
    "usage: rawinq-dump [-q] FILE...\n"
    "       rawinq-dump --help | --version\n"
    "Lists the day index and the decoded record headers of station-year\n"
    "files and checks them as rawinq reads them.\n"
    "  -q  list only the faults and the summary line of each file\n"
    "Exit status: 0 no fault, 1 a fault in some file, 2 a file could not be\n"
    "read or the command line is wrong.\n";

constexpr unsigned long kHeadSize = 34;

unsigned long be32(const unsigned char* p) {
  return (static_cast<unsigned long>(p[0]) << 24) |
         (static_cast<unsigned long>(p[1]) << 16) |
         (static_cast<unsigned long>(p[2]) << 8) |
         static_cast<unsigned long>(p[3]);
}

// One entry of a day: its hour and record offset as the index holds them.
struct Entry {
  unsigned hour;
  unsigned long offset;
};

class Dump {
 public:
  Dump(const std::string& path, bool quiet) : path_(path), quiet_(quiet) {}

  // Returns 0 (no fault), 1 (faults) or 2 (cannot be read).
  int run() {
    // Opened without waiting, and only when it is a regular file: a FIFO
    // or a device holds no station-year file.
    OpenedFile opened = open_regular_file(path_, "rb");
    FileHandle& f = opened.file;
    struct stat st {};
    if (f && fstat(fileno(f.get()), &st) != 0) {
      opened.error = errno;
      f.close();
    }
    if (!f) {
      std::fprintf(stderr, "rawinq-dump: cannot read %s: %s\n", path_.c_str(),
                   opened.reason().c_str());
      return 2;
    }
    size_ = static_cast<unsigned long>(st.st_size);
    if (!quiet_) std::printf("%s: %lu bytes\n", path_.c_str(), size_);

    // The head as the retrievals read it: at most 20000 bytes.
    std::vector<unsigned char> head(kBufferSize);
    const unsigned long n = std::fread(head.data(), 1, head.size(), f.get());
    if (std::ferror(f.get())) {
      std::fprintf(stderr, "rawinq-dump: cannot read %s\n", path_.c_str());
      return 2;
    }
    static INPUT_FILES months[12];
    for (INPUT_FILES& m : months) m = INPUT_FILES{};
    if (!read_day_index(head.data(), n, 0, 11, months)) {
      fault("day index",
            n < kBufferSize
                ? "runs past the end of the file"
                : "does not fit in the first 20000 bytes of the file");
      summary(0, 0);
      return 1;
    }
    // read_day_index has checked that all entries lie within the n bytes.
    std::vector<std::vector<Entry>> days(12 * 31);
    unsigned long pos = kHeadSize;
    for (std::vector<Entry>& entries : days) {
      const unsigned count = head[pos];
      for (unsigned k = 0; k < count; ++k) {
        const unsigned char* e = head.data() + pos + 5 + 5 * k;
        entries.push_back({e[0], be32(e + 1)});
      }
      pos += 5 + 5 * static_cast<unsigned long>(count);
    }
    if (!quiet_)
      std::printf("day index: bytes %lu to %lu\n", kHeadSize, pos - 1);
    unsigned long soundings = 0, ndays = 0;
    for (std::size_t i = 0; i < days.size(); ++i) {
      if (days[i].empty()) continue;
      ++ndays;
      soundings += days[i].size();
      check_day(f.get(), static_cast<int>(i / 31) + 1,
                static_cast<int>(i % 31) + 1, days[i]);
    }
    summary(soundings, ndays);
    return faults_ > 0 ? 1 : 0;
  }

 private:
  // Follows the day's record chain as the retrievals do, from the index's
  // first entry, and lists each record.
  void check_day(std::FILE* f, int month, int day,
                 const std::vector<Entry>& entries) {
    char where[64];
    std::snprintf(where, sizeof where, "%02d-%02d", month, day);
    if (!quiet_)
      std::printf("%s: %zu sounding%s\n", where, entries.size(),
                  entries.size() == 1 ? "" : "s");
    unsigned char* const buf = buf_.data();
    unsigned long offset = entries[0].offset;
    unsigned hour = entries[0].hour;
    long last_hour = -1;
    for (std::size_t k = 0; k < entries.size(); ++k) {
      char at[96];
      std::snprintf(at, sizeof at, "%s record %zu", where, k + 1);
      if (entries[k].offset != offset || entries[k].hour != hour) {
        char what[160];
        std::snprintf(what, sizeof what,
                      "index entry holds hour %02u at %lu, the record chain "
                      "gives hour %02u at %lu",
                      entries[k].hour, entries[k].offset, hour, offset);
        fault(at, what);
      }
      const DatabaseRecord rec = read_database_record(f, offset, buf);
      if (!quiet_) {
        std::printf("  %02u  offset %lu  length ", hour, offset);
        if (rec.avail >= 7) std::printf("%lu", rec.length);
        else std::printf("-");
      }
      if (!rec.ok) {
        if (!quiet_) std::printf("\n");
        fault(at, record_fault(offset, rec));
        later_records_lost(at, entries.size() - k - 1);
        return;
      }
      decode(at, rec, month, day, hour);
      if (static_cast<long>(hour) < last_hour) {
        char what[128];
        std::snprintf(what, sizeof what,
                      "hour %02u follows hour %02ld: the synoptic retrieval "
                      "passes over it",
                      hour, last_hour);
        fault(at, what);
      }
      last_hour = static_cast<long>(hour);
      if (k + 1 == entries.size()) break;
      if (rec.length + 23 >= rec.avail) {
        fault(at, "the next record of the day lies past the end of the file");
        later_records_lost(at, entries.size() - k - 1);
        return;
      }
      offset += rec.length;
      hour = buf[rec.length + 23];
    }
  }

  // Why read_database_record refused the record at offset.
  std::string record_fault(unsigned long offset, const DatabaseRecord& rec) {
    char what[160];
    if (offset >= size_) {
      std::snprintf(what, sizeof what,
                    "offset %lu lies beyond the end of the file", offset);
    } else if (rec.avail < 7) {
      std::snprintf(what, sizeof what,
                    "only %lu bytes at offset %lu: no record length", rec.avail,
                    offset);
    } else if (rec.length < 52) {
      std::snprintf(what, sizeof what, "record length %lu is below 52",
                    rec.length);
    } else if (rec.length > static_cast<unsigned long>(kMaxRecordLength)) {
      std::snprintf(what, sizeof what, "record length %lu is above %d",
                    rec.length, kMaxRecordLength);
    } else if (rec.length > rec.avail) {
      std::snprintf(what, sizeof what,
                    "record of length %lu runs past the end of the file "
                    "(%lu bytes left)",
                    rec.length, rec.avail);
    } else {
      std::snprintf(what, sizeof what, "record at offset %lu cannot be read",
                    offset);
    }
    return what;
  }

  void later_records_lost(const std::string& at, std::size_t later) {
    if (later == 0) return;
    char what[96];
    std::snprintf(what, sizeof what,
                  "%zu later record%s of the day cannot be reached", later,
                  later == 1 ? "" : "s");
    fault(at, what);
  }

  // Decodes the record with the programs' decoder and lists its header.
  void decode(const std::string& at, const DatabaseRecord& rec, int month,
              int day, unsigned hour) {
    const SoundingCheck check =
        decode_sounding(rec.data, rec.held, DecodeOptions{}, sounding_);
    const HEADER_TYPE& h = sounding_.header;
    switch (check) {
      case SoundingCheck::past_record_length:
        if (!quiet_) std::printf("\n");
        fault(at, "its level blocks run past its record length");
        return;
      case SoundingCheck::past_bytes_read:
        if (!quiet_) std::printf("\n");
        fault(at, "its blocks run past the bytes read");
        return;
      case SoundingCheck::bad_date: {
        if (!quiet_) std::printf("\n");
        char what[128];
        std::snprintf(what, sizeof what,
                      "date out of range: month %d, day %d, hour %d",
                      h.month, h.day, h.hour);
        fault(at, what);
        return;
      }
      default:
        break;
    }
    if (!quiet_) {
      std::printf(
          "  %04d%02d%02d%02d  wban %ld  levels %ld  reltime %ld  sondtype %ld"
          "  source %ld  tropind %ld  top_hyd %ld  troplv %ld  maxwind %ld%s\n",
          h.year, h.month, h.day, h.hour, h.wban, h.levels, h.reltime,
          h.sondtype, h.source, h.tropind, h.top_hyd, h.troplv, h.maxwind,
          check == SoundingCheck::few_levels
              ? "  (4 levels or fewer: not written)"
              : "");
    }
    if (h.month != month || h.day != day || h.hour != static_cast<int>(hour)) {
      char what[160];
      std::snprintf(what, sizeof what,
                    "the record is dated %02d-%02d %02d, the index files it "
                    "under %02d-%02d %02u",
                    h.month, h.day, h.hour, month, day, hour);
      fault(at, what);
    }
  }

  void fault(const std::string& at, const std::string& what) {
    ++faults_;
    std::printf("FAULT %s: %s\n", at.c_str(), what.c_str());
  }

  void summary(unsigned long soundings, unsigned long days) {
    std::printf("%s: %lu sounding%s on %lu day%s, %lu fault%s\n",
                path_.c_str(), soundings, soundings == 1 ? "" : "s", days,
                days == 1 ? "" : "s", faults_, faults_ == 1 ? "" : "s");
  }

  std::string path_;
  bool quiet_;
  Sounding sounding_;
  unsigned long size_ = 0;
  unsigned long faults_ = 0;
  std::vector<unsigned char> buf_ = std::vector<unsigned char>(kBufferSize);
};

}  // namespace

namespace {

int dump_main(int argc, char** argv) {
  bool quiet = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argc == 2 && a == "--version") {
      std::printf("rawinq-dump %s\n", program_version());
      return 0;
    }
    if (a == "-q") {
      quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  int status = 0;
  for (const std::string& f : files) {
    const int s = Dump(f, quiet).run();
    if (s > status) status = s;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  return checked_exit_status(dump_main(argc, argv));
}
