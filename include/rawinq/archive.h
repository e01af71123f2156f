// Archive access: station-year files, sounding decoding, the two drivers.
#pragma once

#include <cstdio>
#include <string>

#include "rawinq/records.h"

// Slots of open station-year files (one per selectable station).
extern INPUT_FILES Input_File[2000];

// Full path of a station-year file under one of the three name forms
// (variant 2 "Raob"/".buf", 1 "RAOB"/".BUF;1", 0 "raob"/".buf").
std::string database_path(int variant, short iyr, long wban);
void open_infile(short iyr, long wban, short* file_status, short file_num,
                 short file_swap);

// Path of the file last opened (or found unopenable) into each slot, for
// messages.
extern std::string Input_File_Path[2000];
// errno of the last failed open of open_infile (0 after a success).
extern int Infile_Errno;
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

// One record read from a station-year file into a 20000-byte buffer.
struct DatabaseRecord {
  bool ok = false;          // a whole, plausible record is in the buffer
  unsigned long length = 0; // its length (bytes 4..6)
  unsigned long avail = 0;  // bytes read from its first byte on
};
// Seeks to offset and reads up to 20000 bytes into buf. Not ok when the
// seek fails, the read fails, the offset lies beyond the end of the file,
// or the length is below 52, above 19976 or runs past the end of the file.
DatabaseRecord read_database_record(std::FILE* f, unsigned long offset,
                                    unsigned char* buf);
// " WARNING:  unable to read database file: %s\n"
void warn_unreadable(const std::string& path);

// " STATUS:  number of soundings written: %ld" closed by puts of `tail`
// (blanks and a line end).
void print_sounding_count(long nsound, const char* tail);
// Decodes the record read into buf and hands it to the writer; 1 when a
// writer got it.
short decode_record(const unsigned char* buf, const DatabaseRecord& rec,
                    short ltype, short wformat, short oformat, short indx,
                    long nsound);

// Whether the sounding hour hr passes the hours choice stim.
bool hour_wanted(short stim, int hr);
// The selected catalogue entry (Stn_His index) of station wban for the day
// YYYYMMDD: the last selected entry of that station covering the day, else
// the one whose period lies nearest (the later on a tie); -1 when the
// station has no selected entry.
short choose_station_entry(long wban, long day);

// What became of the record of the last io_sounding call.
enum class SoundingCheck {
  written,             // handed to a writer
  decoded,             // decoded whole; no writer (oformat kDecodeOnly)
  few_levels,          // 4 levels or fewer left: dropped
  past_bytes_read,     // its blocks run past the bytes read of the file
  past_record_length,  // its level blocks run past its own length
  bad_date,            // month, day or hour out of range
};
extern SoundingCheck Sounding_Check;
// The oformat that decodes a record into Snd_Hdr and Snd_Data only.
constexpr short kDecodeOnly = -1;

// Decodes the record at Ibuff_Ptr and hands it to the writer of oformat.
// len is the number of valid bytes of the buffer from the record's start.
// Returns 1 when a writer got the sounding, 0 when it was dropped.
short io_sounding(const unsigned char* Ibuff, unsigned long len, short ltype,
                  short wformat, short oformat, short ind, long nsound);

long time_series(const std::string& bdat, const std::string& edat, short stim,
                 short ltype, short wformat, short oformat, short timesort,
                 short outloc, std::string& pname);
long station_series(const std::string& bdat, const std::string& edat,
                    short stim, short ltype, short wformat, short oformat,
                    short statsort, short outloc, std::string& pname);
