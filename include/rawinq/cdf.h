// NetCDF output: the file layout of the sounding files and epoch seconds.
#pragma once

#include <mutex>

#include "rawinq/formats.h"

// The NetCDF library keeps state of its own for every open file and is not
// safe for calls from several threads at once: every call into it is made
// holding this lock (recursive, as one locked function may call another).
std::recursive_mutex& netcdf_mutex();
using NetcdfLock = std::lock_guard<std::recursive_mutex>;

// Defines the dimensions, variables and attributes of a new sounding file
// in the unit's open NetCDF file and ends its define mode; every status is
// checked by the unit.
void make_uacdf_file(OutputUnit& out);

double time2sec(int iyr, int imo, int idy, int ihr, int imn, int isc);
int leap_yr(int iyr);
