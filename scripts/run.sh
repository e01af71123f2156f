#!/bin/sh
# Sets the project up and starts rawinq on the sample archive.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
exec ./build/rawinq data/sample-archive data/support
