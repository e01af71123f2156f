// The ZIR text format.
#include "rawinq/globals.h"
#include "rawinq/output.h"

void ksc_format(short, short, short) {}
