// Climatological (station-series) retrieval.
#include "rawinq/archive.h"
#include "rawinq/globals.h"

long station_series(const std::string&, const std::string&, short, short,
                    short, short, short, short, std::string&) {
  return 0;
}
