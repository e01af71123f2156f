#!/bin/sh
# Sets the project up and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cd build
ctest --output-on-failure -j"$(nproc)" </dev/null
# The Debian package, installed and run as a user would.
(cd .. && ./scripts/test_package.sh)
