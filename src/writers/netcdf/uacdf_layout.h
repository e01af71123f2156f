// What the schema and the sounding writer of the NetCDF files share: the
// level classes, the quantities stored for each level, the slots per record
// and the missing values. Private to src/netcdf.
#pragma once

#include "rawinq/cdf.h"

namespace uacdf {

// Level classes, in the order their variables are defined.
enum LevelClass : int { kMan, kSigT, kSigW, kTrop, kMaxW, kClassCount };

// Quantities of a level, in the order they are defined and written.
enum Quantity : int { kPr, kHt, kTp, kTd, kWd, kWs, kQuantityCount };

// Slots of one record for each class (the surface level counts as
// mandatory), and the width of the station name.
constexpr long kManLevels = 22;
constexpr long kSigTLevels = 250;
constexpr long kSigWLevels = 150;
constexpr long kMaxWLevels = 5;
constexpr long kTropLevels = 4;
constexpr long kStaNameLen = 6;

constexpr long kClassSlots[kClassCount] = {kManLevels, kSigTLevels, kSigWLevels,
                                           kTropLevels, kMaxWLevels};

// Missing values: of the WMO number attribute and of every level value.
constexpr int missing_wmo_stat = 99999;
constexpr float missing_data_5 = 99999.0f;

// The variable ids of one open file, set by make_uacdf_file.
struct UacdfIds {
  int wmo_stat = -1, wban_stat = -1, sta_name = -1, sta_lat = -1,
      sta_lon = -1, sta_elev = -1, syntime = -1, nmand_lev = -1,
      nsigt_lev = -1, nsigw_lev = -1, nmaxw_lev = -1, ntrop_lev = -1,
      reltime = -1, sndtyp = -1;
  int level[kClassCount][kQuantityCount] = {};
};

// Defines the file's layout (see make_uacdf_file) and returns its ids.
UacdfIds make_uacdf_ids(OutputUnit& out);

}  // namespace uacdf
