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

// The globals holding the ids of the level variables, by class and quantity.
inline int* const kLevelIds[kClassCount][kQuantityCount] = {
    {&p_man_id, &z_man_id, &t_man_id, &td_man_id, &wd_man_id, &ws_man_id},
    {&p_sigt_id, &z_sigt_id, &t_sigt_id, &td_sigt_id, &wd_sigt_id, &ws_sigt_id},
    {&p_sigw_id, &z_sigw_id, &t_sigw_id, &td_sigw_id, &wd_sigw_id, &ws_sigw_id},
    {&p_trop_id, &z_trop_id, &t_trop_id, &td_trop_id, &wd_trop_id, &ws_trop_id},
    {&p_maxw_id, &z_maxw_id, &t_maxw_id, &td_maxw_id, &wd_maxw_id, &ws_maxw_id},
};

}  // namespace uacdf
