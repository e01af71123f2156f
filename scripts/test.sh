#!/bin/sh
# Sets the project up and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
(cd build && ctest --output-on-failure -j"$(nproc)" </dev/null)
# Whole sessions of both programs under valgrind's memcheck.
./scripts/test_memcheck.sh
# The whole suite again with the address and undefined-behaviour checks,
# then every fuzz target for a bounded time (60 s each).
./scripts/test_sanitizers.sh
./scripts/fuzz.sh 60
# The Debian package, installed and run as a user would.
./scripts/test_package.sh
