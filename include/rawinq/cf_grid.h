// Soundings on a grid: every sounding interpolated to fixed pressure or
// height levels and written as an orthogonal cube of dimensions (station,
// time, level), NetCDF-4 (classic model) following CF-1.8, so that array
// tools select a station and a time by label and draw time-height sections
// without any bookkeeping of ragged profiles.
#pragma once

#include <bitset>
#include <memory>
#include <string>
#include <vector>

#include "rawinq/records.h"
#include "rawinq/sounding.h"

class StationIdTable;

// The levels of a grid and the period its time axis covers.
struct GridOptions {
  enum class Kind { none, pressure, height };
  Kind kind = Kind::none;
  // Pressures in hPa (decreasing) or heights above the ground in metres
  // (increasing); empty: the defaults below.
  std::vector<double> levels;
  // The time axis: `times` (YYYYMMDDHH, ascending) when given, else every
  // hour of `hours` from `from` to `to` (YYYYMMDDHH, both included).
  std::vector<long> times;
  long from = 0, to = 0;
  std::bitset<24> hours;
};

// The mandatory pressures, 1000 to 10 hPa.
std::vector<double> default_pressure_levels();
// Every 250 m from the ground to 20 km above it.
std::vector<double> default_height_levels();

// Parses the value of --grid: "pressure", "height", "pressure:LIST" or
// "height:LIST" (LIST comma-separated numbers). The levels come back sorted
// (pressures decreasing, heights increasing). Throws std::invalid_argument
// with a message for anything else, a level out of range (pressure 0 to
// 1100 hPa, height 0 to 50 km) or a level given twice.
GridOptions parse_grid(const std::string& text);

// The quantities of a gridded sounding, one value per grid level each;
// NaN where the sounding does not reach the level.
struct GriddedSounding {
  std::vector<double> pressure_hpa;  // height grid only
  std::vector<double> height_m;      // geopotential height; pressure grid only
  std::vector<double> temperature_k;
  std::vector<double> dew_point_k;
  std::vector<double> u_ms, v_ms;    // eastward and northward wind
};

// Interpolates a sounding to the grid's levels. On a pressure grid each
// quantity is linear in ln p between the two nearest levels that have it
// (heights reported or, where none is, from rawinq::heights::level_heights);
// on a height grid linear in the height above the station (its elevation,
// else the surface level's height), pressure as ln p. Winds are
// interpolated as components. Nothing is extrapolated: a grid level below
// the lowest level that has a quantity (below the ground: the levels the
// archive reports below the surface are left out) or above the highest is
// missing.
GriddedSounding grid_sounding(const Sounding& sounding, const GridOptions& grid,
                              double station_elevation_m);

// Writes one cube file: the station dimension grows as stations come (the
// file's unlimited dimension), the time axis is the whole period's, every
// sounding is put at its station and time. Soundings are best given station
// by station in time order: each station's values then go out a chunk of
// times at a time. Throws CfError (cf_writer.h) on a failed NetCDF call.
class CfGridWriter {
 public:
  // Defines the cube in a NetCDF-4 classic-model file the caller created
  // (still in define mode) and closes after finish().
  CfGridWriter(int ncid, GridOptions grid, std::string history,
               const StationIdTable* station_ids);
  ~CfGridWriter();
  CfGridWriter(const CfGridWriter&) = delete;
  CfGridWriter& operator=(const CfGridWriter&) = delete;
  // Puts the sounding into the cube; false when its time is not on the
  // time axis (nothing written).
  bool write(const Sounding& sounding, const STATREC& station);
  void finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
