// Station-year database files: names, opening, the day index and the record
// chain.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>

#include "rawinq/archive.h"
#include "rawinq/edition.h"
#include "rawinq/regular_file.h"

// The slots grow as a request needs them (nothing is allocated before the
// request starts).
void StationFiles::prepare(std::size_t n) {
  if (n > slot.size()) slot.resize(n);
  if (n > path.size()) path.resize(n);
}

void StationFiles::close_all(std::size_t n) {
  for (std::size_t k = std::min(n, slot.size()); k > 0; --k)
    slot[k - 1].infile.close();
}

void StationFiles::warn_unreadable(std::size_t k) const {
  say(" WARNING:  unable to read database file: " +
      (k < path.size() ? path[k] : std::string()) + "\n");
}

namespace {

constexpr unsigned long kHeadSize = 34;  // bytes before the day index
constexpr unsigned long kMinRecordLength = 52;

// Name forms, indexed by variant: 2 is tried first, 0 last.
const char* const kPrefix[3] = {"raob", "RAOB", "Raob"};
const char* const kSuffix[3] = {".buf", ".BUF;1", ".buf"};

unsigned long be32(const unsigned char* p) {
  return (static_cast<unsigned long>(p[0]) << 24) |
         (static_cast<unsigned long>(p[1]) << 16) |
         (static_cast<unsigned long>(p[2]) << 8) |
         static_cast<unsigned long>(p[3]);
}

unsigned long be24(const unsigned char* p) {
  return (static_cast<unsigned long>(p[0]) << 16) |
         (static_cast<unsigned long>(p[1]) << 8) |
         static_cast<unsigned long>(p[2]);
}

// Whether a record of this length (bytes 4..6) can be whole in the n bytes
// read from its start: 52 to 19976 bytes, all of them read.
bool plausible_record_length(unsigned long length, unsigned long n) {
  return length >= kMinRecordLength &&
         length <= static_cast<unsigned long>(kMaxRecordLength) && length <= n;
}

// Opens a station-year file for reading. Only a regular file is a
// database file: opening a FIFO would wait for a writer that never comes,
// and a device or a directory holds no archive. Anything else fails as an
// open that is not for want of descriptors.
std::FILE* open_database_file(const std::string& path) {
  OpenedFile opened = open_regular_file(path, "rb");
  if (!opened.file) {
    errno = opened.error == EISDIR || opened.not_regular ? ENXIO : opened.error;
    return nullptr;
  }
  return opened.file.release();
}

}  // namespace

std::string database_path(const std::string& data_dir, int variant,
                          short iyr, long wban, bool other_year_form) {
  if (variant < 0 || variant > 2) variant = 2;
  std::string station = std::to_string(wban);
  if (wban > 900000) station[0] = 'I';
  const int yy = (iyr % 100 + 100) % 100;
  const char two_digit[3] = {static_cast<char>('0' + yy / 10),
                             static_cast<char>('0' + yy % 10), '\0'};
  // The editions name a year's directory by four digits, or (the
  // North-American one) by year - 1900 up to 1999.
  const bool short_form = edition::kNorthAmerican != other_year_form;
  const std::string year =
      short_form && iyr <= 1999 ? std::to_string(iyr - 1900)
                                : std::to_string(iyr);
  return data_dir + kPrefix[variant] + year + "/" +
         station + "_" + two_digit + kSuffix[variant];
}

bool out_of_descriptors(int err) { return err == EMFILE || err == ENFILE; }

void open_station_file(StationFiles& files, const std::string& data_dir,
                       short iyr, long wban, short* file_status, int file_num,
                       int file_swap, bool trace, bool both_year_forms) {
  const short entry = *file_status;
  open_station_file_in(files, data_dir, iyr, wban, file_status, file_num,
                       file_swap, trace, false);
  if (*file_status != 0 || !both_year_forms || iyr > 1999) return;
  *file_status = entry;
  open_station_file_in(files, data_dir, iyr, wban, file_status, file_num,
                       file_swap, trace, true);
}

void open_station_file_in(StationFiles& files, const std::string& data_dir,
                          short iyr, long wban, short* file_status,
                          int file_num, int file_swap, bool trace,
                          bool other_year_form) {
  if (file_num < 0) {
    *file_status = 0;
    return;
  }
  files.prepare(static_cast<std::size_t>(file_num) + 1);
  const int kSlots = static_cast<int>(files.slot.size());
  // A failed swap open is the caller's to report (as a file that cannot
  // be read), once per file and month rather than at every turn.
  const bool swap_open = *file_status == -1;
  for (int variant = 2;; --variant) {
    const std::string path =
        database_path(data_dir, variant, iyr, wban, other_year_form);
    if (*file_status == -1 && file_swap >= 0 && file_swap < kSlots) {
      files.slot[file_swap].infile.close();
    }
    if (trace) {
      files.say(std::to_string(variant) + " attempt to open file: \n" + path +
                " \n\n");
    }
    errno = 0;
    std::FILE* f = open_database_file(path);
    const int err = errno;
    files.slot[file_num].infile = FileHandle(f);
    if (f != nullptr) {
      // A swap reopens the file the slot has held this year: its size is
      // known already (0 when it was never opened).
      INPUT_FILES& slot = files.slot[file_num];
      struct stat st {};
      if (!swap_open || slot.size == 0)
        slot.size = fstat(fileno(f), &st) == 0
                        ? static_cast<unsigned long>(st.st_size)
                        : 0;
      *file_status = 1;
      files.open_errno = 0;
      files.path[file_num] = path;
      return;
    }
    files.open_errno = err;
    if (!swap_open) files.slot[file_num].size = 0;
    *file_status = access(path.c_str(), F_OK) == 0 ? 2 : 0;
    if (*file_status == 2) {
      files.path[file_num] = path;
      if (!swap_open && !out_of_descriptors(err)) {
        files.say(" WARNING:  unable to open database file: " + path + "\n");
      }
      return;
    }
    if (variant == 0) return;
  }
}

bool read_day_index(const unsigned char* buf, unsigned long n,
                    int first_month, int last_month, INPUT_FILES* months) {
  // The 12 x 31 day entries follow the head: a count N, 4 bytes not used,
  // then N entries of an hour byte and a 4-byte record offset.
  auto walk = [&]() {
    unsigned long pos = kHeadSize;
    for (int m = 0; m < 12; ++m) {
      const bool wanted = m >= first_month && m <= last_month;
      for (int d = 0; d < 31; ++d) {
        if (pos + 5 > n) return false;
        const unsigned long count = buf[pos];
        const unsigned long size = 5 + 5 * count;
        if (pos + size > n) return false;
        if (wanted) {
          INPUT_FILES& slot = months[m - first_month];
          slot.cnt[d] = static_cast<short>(count);
          if (count > 0) {
            slot.hour[d] = buf[pos + 5];
            slot.bytenum[d] = be32(buf + pos + 6);
          }
        }
        pos += size;
      }
    }
    return true;
  };
  if (walk()) return true;
  for (int m = first_month; m <= last_month; ++m) {
    for (short& c : months[m - first_month].cnt) c = 0;
  }
  return false;
}

bool for_each_day_entry(const unsigned char* buf, unsigned long n,
                        const std::function<void(int, int, int)>& entry) {
  unsigned long pos = kHeadSize;
  for (int m = 0; m < 12; ++m) {
    for (int d = 0; d < 31; ++d) {
      if (pos + 5 > n) return false;
      const unsigned long count = buf[pos];
      if (pos + 5 + 5 * count > n) return false;
      for (unsigned long k = 0; k < count; ++k)
        entry(m + 1, d + 1, buf[pos + 5 + 5 * k]);
      pos += 5 + 5 * count;
    }
  }
  return true;
}

DatabaseRecord read_database_record(std::FILE* f, unsigned long offset,
                                    unsigned char* buf) {
  DatabaseRecord rec;
  if (f == nullptr) return rec;
  struct stat st {};
  if (fstat(fileno(f), &st) == 0 &&
      offset >= static_cast<unsigned long>(st.st_size)) {
    return rec;
  }
  if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) {
    std::perror(" Fseek failed! \n");
    return rec;
  }
  const unsigned long n = std::fread(buf, 1, kBufferSize, f);
  if (std::ferror(f)) {
    std::clearerr(f);
    return rec;
  }
  rec.avail = n;
  rec.data = buf;
  rec.held = n;
  if (n < 7) return rec;
  rec.length = be24(buf + 4);
  if (!plausible_record_length(rec.length, n)) return rec;
  rec.ok = true;
  return rec;
}

RecordWindow::RecordWindow(unsigned long chunk, int keyed)
    : chunk_(chunk) {
  const unsigned long shared = chunk > static_cast<unsigned long>(kBufferSize)
                                   ? chunk
                                   : static_cast<unsigned long>(kBufferSize);
  const unsigned long kept =
      static_cast<unsigned long>(keyed < 0 ? 0 : keyed);
  storage_.reset(new unsigned char[shared + kept * chunk]);
  pieces_.push_back(Piece{storage_.get(), shared});
  for (unsigned long k = 0; k < kept; ++k)
    pieces_.push_back(Piece{storage_.get() + shared + k * chunk, chunk});
}

std::size_t RecordWindow::kept_index(int key) const {
  return key >= 0 && static_cast<std::size_t>(key) + 1 < pieces_.size()
             ? static_cast<std::size_t>(key) + 1
             : 0;
}

void RecordWindow::forget() {
  for (Piece& p : pieces_) p.len = 0;
}

bool RecordWindow::covers(const Piece& p, int key, unsigned long offset,
                          unsigned long n) {
  return key == p.key && offset >= p.start && offset - p.start <= p.len &&
         n <= p.len - (offset - p.start);
}

bool RecordWindow::fill(Piece& p, int key, int fd, unsigned long offset,
                        unsigned long n) {
  p.key = key;
  p.start = offset;
  p.len = 0;
  if (fd < 0) return false;
  if (n > p.capacity) n = p.capacity;
  while (p.len < n) {
    const ssize_t got = pread(fd, p.data + p.len, n - p.len,
                              static_cast<off_t>(offset + p.len));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      p.len = 0;
      return false;
    }
    if (got == 0) break;  // the file is shorter than it was
    p.len += static_cast<unsigned long>(got);
  }
  return true;
}

DatabaseRecord RecordWindow::read(int key, int fd, unsigned long size,
                                  unsigned long offset) {
  DatabaseRecord rec;
  if (offset >= size || offset > static_cast<unsigned long>(LONG_MAX))
    return rec;
  // What the 20000-byte read from the record's start would hold.
  unsigned long n = size - offset;
  if (n > static_cast<unsigned long>(kBufferSize)) n = kBufferSize;
  const unsigned long ahead = size - offset < chunk_ ? size - offset : chunk_;
  const std::size_t k = kept_index(key);
  Piece* kept = k != 0 ? &pieces_[k] : nullptr;
  Piece* at = &pieces_[0];
  // Makes a piece hold `need` bytes from offset (need is at most n),
  // reading at least a chunk; a read that finds the file shorter than it
  // was holds less, as the 20000-byte read would.
  auto ensure = [&](unsigned long need) {
    if (kept != nullptr && covers(*kept, key, offset, need)) {
      at = kept;
      return true;
    }
    if (covers(pieces_[0], key, offset, need)) {
      at = &pieces_[0];
      return true;
    }
    const unsigned long amount = need > ahead ? need : ahead;
    at = kept != nullptr && amount <= kept->capacity ? kept : &pieces_[0];
    if (!fill(*at, key, fd, offset, amount)) return false;
    if (at->len < amount && at->len < n) n = at->len;
    return true;
  };
  if (!ensure(n < 7 ? n : 7)) return rec;
  rec.avail = n;
  if (n < 7) return rec;
  rec.length = be24(at->data + (offset - at->start) + 4);
  if (!plausible_record_length(rec.length, n)) return rec;
  // The record and the hour of the next one, as far as the read reaches.
  if (!ensure(rec.length + 24 < n ? rec.length + 24 : n)) return rec;
  rec.avail = n;
  if (!plausible_record_length(rec.length, n)) return rec;
  const unsigned long want = rec.length + 24 < n ? rec.length + 24 : n;
  const unsigned long held = at->len - (offset - at->start);
  if (held < want) return rec;
  rec.data = at->data + (offset - at->start);
  rec.held = held;
  rec.ok = true;
  return rec;
}

bool RecordWindow::holds(int key, unsigned long size,
                         unsigned long offset) const {
  if (offset >= size || offset > static_cast<unsigned long>(LONG_MAX))
    return true;  // judged without reading
  unsigned long n = size - offset;
  if (n > static_cast<unsigned long>(kBufferSize)) n = kBufferSize;
  const std::size_t k = kept_index(key);
  const Piece* kept = k != 0 ? &pieces_[k] : nullptr;
  auto held = [&](unsigned long need) -> const Piece* {
    if (kept != nullptr && covers(*kept, key, offset, need)) return kept;
    if (covers(pieces_[0], key, offset, need)) return &pieces_[0];
    return nullptr;
  };
  if (n < 7) return held(n) != nullptr;
  const Piece* at = held(7);
  if (at == nullptr) return false;
  const unsigned long length = be24(at->data + (offset - at->start) + 4);
  if (!plausible_record_length(length, n))
    return true;  // refused from its first bytes
  return held(length + 24 < n ? length + 24 : n) != nullptr;
}

int slot_descriptor(const INPUT_FILES& slot) {
  return slot.infile ? fileno(slot.infile.get()) : -1;
}

bool read_file_head(const INPUT_FILES& slot, unsigned char* buf,
                    unsigned long* n) {
  *n = 0;
  const int fd = slot_descriptor(slot);
  if (fd < 0) return false;
  while (*n < static_cast<unsigned long>(kBufferSize)) {
    const ssize_t got = pread(fd, buf + *n, kBufferSize - *n,
                              static_cast<off_t>(*n));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    *n += static_cast<unsigned long>(got);
  }
  return true;
}

void print_progress(std::FILE* f, const char* a, long first, const char* b,
                    long second) {
  char line[160];
  char* end = line;
  auto text = [&](const char* t) {
    const std::size_t n = std::strlen(t);
    if (n > sizeof line - 48 - static_cast<std::size_t>(end - line)) return;
    std::memcpy(end, t, n);
    end += n;
  };
  auto number = [&](long v) {
    end = std::to_chars(end, line + sizeof line, v).ptr;
  };
  text(a);
  number(first);
  if (b != nullptr) {
    text(b);
    number(second);
  }
  *end++ = '\r';
  std::fwrite(line, 1, static_cast<std::size_t>(end - line), f);
}

