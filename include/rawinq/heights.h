// Geopotential heights for every level of a sounding. Many soundings report
// a height only at the mandatory levels: IGRA2 and TEMP surfaces often carry
// none, nor do significant temperature and wind levels. Every height-based
// quantity (bulk shear, the plots' height scale and hodograph) needs the
// whole profile, so a level without a reported height is given one:
//
//  - the surface level without a height stands at the station's elevation;
//  - a level between two levels with heights (reported, or the surface's
//    elevation) takes the height linear in ln p between them;
//  - a level above the highest (or below the lowest) such level takes the
//    height from the hypsometric equation integrated from it,
//        z2 - z1 = (Rd / g) * integral of Tv d(ln p)   from p2 to p1,
//    with the virtual temperature Tv where the dew point is known and the
//    temperature alone where not, both linear in ln p between levels and
//    held at the nearest level's value beyond the levels with a temperature
//    (Wallace and Hobbs 2006, Atmospheric Science, eq. 3.24).
//
// Reported heights are never changed. A level with no pressure, or one that
// cannot be reached (no level with a height, no elevation, or no
// temperature for the hypsometric equation), stays missing (NaN).
#pragma once

#include <vector>

#include "rawinq/sounding.h"

namespace rawinq::heights {

// Heights in metres of the sounding's levels, index for index with
// sounding.levels. station_elevation_m is NaN when unknown.
std::vector<double> level_heights(const Sounding& sounding,
                                  double station_elevation_m);

// The catalogue's elevation in metres, NaN when it is the missing value.
double station_elevation(long elev_m);

}  // namespace rawinq::heights
