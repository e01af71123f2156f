// The NetCDF file schema.
#include "rawinq/cdf.h"
#include "rawinq/globals.h"

void make_uacdf_file() {}
