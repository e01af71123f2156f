#!/bin/sh
# Builds everything with the address and undefined-behaviour checks (clang,
# in build-fuzz/, the tree the fuzz programs are built in too) and runs the
# whole test suite there. Every check report of every process the tests
# start is written to a file; the run fails when there is any.
set -eu
cd "$(dirname "$0")/.."

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DRAWINQ_FUZZERS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"

reports="$(pwd)/build-fuzz/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
ASAN_OPTIONS="log_path=$reports/report:detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
UBSAN_OPTIONS="log_path=$reports/report:print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS UBSAN_OPTIONS

status=0
(cd build-fuzz && ctest --output-on-failure -j"$(nproc)" </dev/null) || status=$?

# A process that the interruption tests kill outright (SIGKILL, on purpose)
# at the moment a check opens its report file leaves that file empty: an
# empty file holds no report. Any report with content fails the run.
find "$reports" -type f -empty -delete
if [ -n "$(ls -A "$reports")" ]; then
  for f in "$reports"/*; do
    echo "==== $f"
    cat "$f"
  done
  echo "sanitizer reports were written (above)" >&2
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
