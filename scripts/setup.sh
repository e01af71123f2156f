#!/bin/sh
# Installs what the project needs from Debian's packages (only what is
# missing) and builds it into build/: everything, or only the targets given
# (scripts/run.sh builds the programs it starts).
#   scripts/setup.sh [TARGET...]
set -eu
cd "$(dirname "$0")/.."

packages="build-essential python3-dask python3-distributed cmake libzip-dev zlib1g-dev libcairo2-dev libfreetype-dev fonts-dejavu-core python3-xarray python3-netcdf4 python3-pandas python3-matplotlib pybind11-dev python3-dev python3-numpy python3-pytest libgtest-dev libgmock-dev libbenchmark-dev libnetcdf-dev libhdf5-dev netcdf-bin ncl-ncarg xvfb xauth ghostscript valgrind dpkg-dev man-db groff-base clang libclang-rt-dev libcpp-httplib-dev curl wrk chromium chromium-driver python3-selenium libeccodes-dev libeccodes-tools"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y $missing
fi

# The map outlines (Natural Earth's, npm package world-atlas) and their
# reader (topojson-client) for rawinq-serve's station page, into
# web/node_modules (never committed), where node's npm is installed.
if command -v npm >/dev/null 2>&1 && [ ! -f web/node_modules/world-atlas/land-110m.json ]; then
  (cd web && npm ci --no-audit --no-fund) ||
    echo "setup.sh: npm could not install web/'s packages: rawinq-serve's map has no land outlines" >&2
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
