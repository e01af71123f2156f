// NetCDF output: the file layout of the sounding files and epoch seconds.
#pragma once

#include "rawinq/formats.h"

// Defines the dimensions, variables and attributes of a new sounding file
// in the unit's open NetCDF file and ends its define mode; every status is
// checked by the unit.
void make_uacdf_file(OutputUnit& out);

double time2sec(int iyr, int imo, int idy, int ihr, int imn, int isc);
int leap_yr(int iyr);
