// The level types of DATA_TYPE::fr: the word that names each in the
// analysis outputs and which level selections of a request keep it.
#pragma once

#include "rawinq/records.h"

// The request's level selection (the dialogue's level menu numbers).
enum LevelSelection : short {
  kAllLevels = 0,
  kMandatoryLevels = 1,
  kMandatoryAndSignificantLevels = 2,
};

struct LevelTypeInfo {
  long code;                 // DATA_TYPE::fr
  const char* word;          // CSV level_type, CF flag meaning
  LevelSelection narrowest;  // the narrowest selection that keeps it
};

inline constexpr LevelTypeInfo kLevelTypeTable[] = {
    {kLevelSurface, "surface", kMandatoryLevels},
    {kLevelMandatory, "mandatory", kMandatoryLevels},
    {kLevelSigTemperature, "significant_temperature", kMandatoryAndSignificantLevels},
    {kLevelSigWind, "significant_wind", kAllLevels},
    {kLevelTropopause, "tropopause", kAllLevels},
    {kLevelMaxWind, "maximum_wind", kAllLevels},
};

// The entry of a level type; nullptr for a code no writer keeps.
inline const LevelTypeInfo* level_type_info(long fr) {
  for (const LevelTypeInfo& t : kLevelTypeTable)
    if (t.code == fr) return &t;
  return nullptr;
}

// Whether a level of type fr is kept by the selection ltype (0 all levels,
// 1 mandatory, 2 mandatory and significant).
inline bool level_selected(long fr, short ltype) {
  const LevelTypeInfo* t = level_type_info(fr);
  if (!t) return false;
  switch (t->narrowest) {
    case kMandatoryLevels:
      return true;
    case kMandatoryAndSignificantLevels:
      return ltype != kMandatoryLevels;
    case kAllLevels:
      return ltype == kAllLevels;
  }
  return false;
}

// The analysis formats' word for a level type, kLevelBelowGround
// (analysis_levels.h) included.
inline const char* level_type_word(long type) {
  if (type == 0) return "below_ground";
  const LevelTypeInfo* t = level_type_info(type);
  return t ? t->word : "";
}
