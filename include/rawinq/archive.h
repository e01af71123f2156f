// Archive access: station-year files, sounding decoding, the two drivers.
#pragma once

#include <string>

#include "rawinq/records.h"

// Slots of open station-year files (one per selectable station).
extern INPUT_FILES Input_File[2000];

// Full path of a station-year file under one of the three name forms
// (variant 2 "Raob"/".buf", 1 "RAOB"/".BUF;1", 0 "raob"/".buf").
std::string database_path(int variant, short iyr, long wban);
void open_infile(short iyr, long wban, short* file_status, short file_num,
                 short file_swap);

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
