// The derived quantities as the analysis outputs name and describe them:
// one table for the per-level quantities and one for the per-sounding
// indices, shared by the CSV columns and the CF variables.
#pragma once

#include "rawinq/indices.h"

struct LevelField {
  const char* csv_name;       // column of the CSV levels table
  const char* cf_name;        // variable of the CF file
  const char* units;          // UDUNITS
  const char* standard_name;  // CF standard name, "" when there is none
  const char* long_name;
  int decimals;               // in CSV
  double (*value)(const rawinq::indices::LevelQuantities&);
};

struct IndexField {
  const char* csv_name;
  const char* cf_name;
  const char* units;
  const char* standard_name;
  const char* long_name;
  int decimals;
  double (*value)(const rawinq::indices::SoundingIndices&);
};

extern const LevelField kLevelFields[5];
extern const IndexField kIndexFields[40];
