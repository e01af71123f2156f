// The NetCDF sounding writer.
#include "rawinq/cdf.h"
#include "rawinq/globals.h"

void netcdf_format(short, long) {}
void write_uacdf_file(long, short) {}
