// Definitions of the run-wide tables and settings.
#include "rawinq/globals.h"

std::string Data_Loc;
long Max_Lines = 20;

STATREC Stn_His[kMaxStations];
short Stn_His_Num = 0;
short Stn_Index[kMaxStations];
short Stn_Count = 0;
long User_Stations[kMaxStations][2];
short Usr_Stn_Count = 1;

short Stn_Type = 0;
short Sort_Type = 1;
short Original_ZIR_Format = 0;
short Years[kYearsSize];

std::string Begin_Date = "00000000";
FileHandle helpfile;

long Screen_Lines = 0;
short Screen_Scroll = 0;

