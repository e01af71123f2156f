// The dialogue program's own tables and settings, under their own names:
// its answers so far, the catalogue it browses and the paging of its
// screen. They are defined in src/dialogue/globals.cpp and belong to the
// dialogue alone: the library takes what it needs as values (a request, a
// selection, a catalogue) and keeps nothing between calls.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "rawinq/records.h"

// Database directory, ending in "/" when not empty.
extern std::string Data_Loc;
// Lines per screen page; -1 also traces database file opens.
extern long Max_Lines;

// Station catalogue and the stations of the current request.
extern STATREC Stn_His[kMaxStations];
extern short Stn_His_Num;
extern short Stn_Index[kMaxStations];
extern short Stn_Count;
extern long User_Stations[kMaxStations][2];  // column 0 WMO, column 1 WBAN
extern short Usr_Stn_Count;

extern short Stn_Type;             // 0 WMO numbers, 1 WBAN numbers
extern short Sort_Type;            // 0 synoptic, 1 climatological
extern short Original_ZIR_Format;  // 1: whole mb, cut at 100 mb, 32767
extern short Years[kYearsSize];    // 1 when the year has data

// Last accepted beginning date YYYYMMDDHH ("00000000" before the year scan).
extern std::string Begin_Date;
// The help file, open from start-up to the normal end.
extern FileHandle helpfile;

// Screen paging state.
extern long Screen_Lines;
extern short Screen_Scroll;
