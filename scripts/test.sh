#!/bin/sh
# Sets the project up and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cd build
ctest --output-on-failure -j"$(nproc)" </dev/null
# The whole suite again with the address and undefined-behaviour checks,
# then every fuzz target for a bounded time (60 s each).
cd ..
./scripts/test_sanitizers.sh
./scripts/fuzz.sh 60
