// The skew-T plot hand-off.
#include "rawinq/globals.h"
#include "rawinq/output.h"

void plot_skewt_data() {}
