#!/bin/sh
# Sets the project up and starts rawinq on the sample archive. Only what
# the session uses is built: the program, the plotter it starts for the
# skew-T output and the sample archive (./scripts/test.sh builds the rest).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh rawinq drovane sample_archive
exec ./build/rawinq data/sample-archive data/support
