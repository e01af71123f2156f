// The FAA604 coded format (TTAA, TTBB, PPBB).
#include "rawinq/globals.h"
#include "rawinq/output.h"

void faa_format(short, short) {}
