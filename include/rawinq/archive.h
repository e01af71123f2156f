// Archive access: station-year files, sounding decoding, the two drivers.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rawinq/records.h"

// The station-year files one request holds open, one slot per station of
// the request, and where the archive layer's messages go. Each request owns
// its own: nothing of it is shared between requests.
struct StationFiles {
  std::vector<INPUT_FILES> slot;
  // Path of the file last opened (or found unopenable) into each slot, for
  // messages.
  std::vector<std::string> path;
  // errno of the last failed open (0 after a success).
  int open_errno = 0;
  // Takes the trace of opens and the warnings, each whole lines with their
  // line ends; without it they are dropped.
  std::function<void(const std::string& text)> messages;

  // Makes room for n slots.
  void prepare(std::size_t n);
  // Closes every slot's stream, the newest first (the C library unlinks a
  // closed stream from its list of open ones from the newest).
  void close_all(std::size_t n);
  void say(const std::string& text) const {
    if (messages) messages(text);
  }
  // " WARNING:  unable to read database file: %s\n"
  void warn_unreadable(std::size_t k) const;
};

// Full path of a station-year file of the archive in data_dir under one of
// the three name forms (variant 2 "Raob"/".buf", 1 "RAOB"/".BUF;1", 0
// "raob"/".buf").
// other_year_form: the year directory as the other edition names it.
std::string database_path(const std::string& data_dir, int variant,
                          short iyr, long wban, bool other_year_form);
// Opens the station-year file of wban for year iyr in the archive data_dir
// into slot file_num of files: status 1 opened, 2 there but not opened, 0
// not there. A status of -1 on entry is a swap: slot file_swap gives up
// its stream first. trace lists every attempt. both_year_forms: a file not
// found under the edition's year directory is looked for under the other
// edition's.
void open_station_file(StationFiles& files, const std::string& data_dir,
                       short iyr, long wban, short* file_status, int file_num,
                       int file_swap, bool trace, bool both_year_forms);
// The same under one year directory form only.
void open_station_file_in(StationFiles& files, const std::string& data_dir,
                          short iyr, long wban, short* file_status,
                          int file_num, int file_swap, bool trace,
                          bool other_year_form);
// Whether an open failure only means the process ran out of descriptors
// (such files share one descriptor in turn).
bool out_of_descriptors(int err);

// Reads the day index from the head of a station-year file (buf holds its
// first n bytes, n at most 20000): months first_month..last_month (0-based)
// go to months[0 .. last_month - first_month]. Returns false, with the
// wanted months' counts cleared, when any part of the 12 x 31 entries lies
// beyond the n bytes.
bool read_day_index(const unsigned char* buf, unsigned long n,
                    int first_month, int last_month, INPUT_FILES* months);

// Calls entry(month, day, hour) (month and day from 1) for every record the
// day index at the head of a station-year file lists; false when the index
// runs past the n bytes of buf.
bool for_each_day_entry(const unsigned char* buf, unsigned long n,
                        const std::function<void(int, int, int)>& entry);

// One record read from a station-year file into a 20000-byte buffer.
struct DatabaseRecord {
  bool ok = false;          // a whole, plausible record is in the buffer
  unsigned long length = 0; // its length (bytes 4..6)
  unsigned long avail = 0;  // bytes read from its first byte on
  // The record's bytes (read through a RecordWindow): at least the record
  // and, when avail holds them, the first 24 bytes of the next record.
  const unsigned char* data = nullptr;
  unsigned long held = 0;   // valid bytes at data
};
// Seeks to offset and reads up to 20000 bytes into buf. Not ok when the
// seek fails, the read fails, the offset lies beyond the end of the file,
// or the length is below 52, above 19976 or runs past the end of the file.
DatabaseRecord read_database_record(std::FILE* f, unsigned long offset,
                                    unsigned char* buf);
// Reads the records of station-year files through one buffer, so that a
// file read from start to end costs a few large reads rather than a read of
// 20000 bytes per record. Every record is judged exactly as
// read_database_record judges it from its 20000-byte read: avail is what
// such a read would hold, so the index window and the record limits stay
// the same. The buffers have a fixed size for a given number of keys.
class RecordWindow {
 public:
  // chunk: bytes read at a time. The shared buffer holds at least 20000
  // bytes; keys 0 .. keyed - 1 also keep the last chunk
  // read for them, so that a key whose reads alternate with other keys'
  // still finds its next record there.
  explicit RecordWindow(unsigned long chunk, int keyed = 0);
  // The record at offset of the file (descriptor fd, size bytes) known as
  // key; a key never uses what was read for another key.
  // fd may be -1 when the record is held already (see holds).
  DatabaseRecord read(int key, int fd, unsigned long size,
                      unsigned long offset);
  // Whether read would judge the record at offset from what is held,
  // without reading the file.
  bool holds(int key, unsigned long size, unsigned long offset) const;
  // Forgets everything read (the file of a key changes).
  void forget();

 private:
  struct Piece {
    unsigned char* data;
    unsigned long capacity;
    int key = -1;
    unsigned long start = 0;  // file offset of data[0]
    unsigned long len = 0;    // valid bytes at data
  };
  // The index in pieces_ of the piece kept for key, 0 when it has none.
  std::size_t kept_index(int key) const;
  static bool covers(const Piece& p, int key, unsigned long offset,
                     unsigned long n);
  static bool fill(Piece& p, int key, int fd, unsigned long offset,
                   unsigned long n);

  std::unique_ptr<unsigned char[]> storage_;  // pages touched only when used
  std::vector<Piece> pieces_;  // [0] shared, [1 + k] kept for key k
  unsigned long chunk_;
};
// The descriptor of a slot's file, -1 when it has none.
int slot_descriptor(const INPUT_FILES& slot);
// Reads up to 20000 bytes from the start of the slot's file into buf (the
// head with the day index); false when the read fails.
bool read_file_head(const INPUT_FILES& slot, unsigned char* buf,
                    unsigned long* n);

// Writes the progress line `a` + first + `b` + second + "\r" (second
// left out when b is null) on f, as printf with "%ld" would, without its
// cost: the drivers write such a line for every sounding.
void print_progress(std::FILE* f, const char* a, long first, const char* b,
                    long second);
