// Station catalogue loading, station list files and station selection.
#include "rawinq/dialogue.h"
#include "rawinq/globals.h"

void load_catalogue(const std::string&) {}
void parse_stat2000_line(const char*, STATREC&) {}
void parse_international_line(const char*, STATREC&) {}
short read_station_list(std::FILE*) { return 0; }
void get_stations(float, float, float, float, short, long, long) {
  Stn_Count = 0;
  Usr_Stn_Count = 0;
}
