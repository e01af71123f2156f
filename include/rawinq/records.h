// The shared records: a station-history entry, a decoded sounding (header and
// levels) and an open station-year database file with one month of its index.
#pragma once

#include <cstdio>

#include "rawinq/file_handle.h"

// Observable table sizes.
constexpr int kMaxStations = 2000;    // catalogue, station list, selection
constexpr int kBufferSize = 20000;    // record buffer and index window
constexpr int kMaxRecordLength = kBufferSize - 24;  // 19976
constexpr int kYearsSize = 201;       // Years[y - 1900], y = 1900..2099

// Marks a missing value in HEADER_TYPE and DATA_TYPE.
constexpr long kMissingValue = 99999;

// One station-history entry of the catalogue.
struct STATREC {
  char init[5];     // identifier of letters, terminated
  long wban;        // WBAN number; WMO + 900000 for international sites
  long wmo;         // WMO number
  float lat;        // degrees, north positive
  float lon;        // degrees, east positive
  char Clat;        // 'N' or 'S'
  char Clon;        // 'E' or 'W'
  short elev;       // metres
  long bdate;       // first day of the entry, YYYYMMDD
  long edate;       // last day of the entry, YYYYMMDD
  char name[30];    // blank-padded, terminated
  char state[3];    // two letters, "99" for international sites
  char country[3];  // two letters
};

// The decoded sounding header; 99999 marks a missing value.
struct HEADER_TYPE {
  short hour;
  short day;
  short month;
  short year;
  long wban;
  long levels;    // the number of levels (Sounding::levels.size())
  long top_hyd;   // pressure (tenths of mb) of the highest humidity level
  long tropind;
  long troplv;    // pressure (tenths of mb) of the tropopause
  long maxwind;   // pressure (tenths of mb) of the maximum wind
  long source;
  long reltime;   // release time hhmm
  long sondtype;
};

// Level type codes of DATA_TYPE::fr.
constexpr long kLevelMandatory = 4;
constexpr long kLevelSigTemperature = 5;  // significant wrt temperature
constexpr long kLevelSigWind = 6;         // significant wrt wind
constexpr long kLevelTropopause = 7;
constexpr long kLevelMaxWind = 8;
constexpr long kLevelSurface = 9;

// One decoded level; 99999 marks a missing value.
struct DATA_TYPE {
  long fr;  // level type: 9 surface, 4 mandatory, 5 sig T, 6 sig W, 7 trop, 8 max wind
  long pr;  // pressure, tenths of mb
  long ht;  // geopotential height, metres
  long tp;  // temperature, tenths of deg C
  long dp;  // dew point, tenths of deg C
  long wd;  // direction, degrees
  long ws;  // speed, tenths of m/s
};

// One open database file with the day index of one month.
struct INPUT_FILES {
  FileHandle infile;            // empty when the file exists but is not open
  unsigned long size = 0;       // bytes in the file when it was opened
  unsigned long bytenum[31]{};  // per day: offset of the next unread record
  long wban = 0;                // station number of the file
  short cnt[31]{};              // per day: records not yet consumed
  short hour[31]{};             // per day: hour of the record at bytenum
};
