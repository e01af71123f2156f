#!/bin/sh
# Builds everything with the address and undefined-behaviour checks (clang,
# in build-fuzz/, the tree the fuzz programs are built in too) and runs the
# whole test suite there; then builds everything with the thread checker
# (clang, in build-tsan/, without the fuzz programs) and runs the suite
# again. Every check report of every process the tests start is written to
# a file; the run fails when there is any.
#
#   scripts/test_sanitizers.sh [all|address|thread]   (default all)
set -eu
cd "$(dirname "$0")/.."
stages=${1:-all}
case "$stages" in
  all|address|thread) ;;
  *) echo "usage: scripts/test_sanitizers.sh [all|address|thread]" >&2; exit 2 ;;
esac

status=0

# run_suite TREE: runs the test suite in TREE (standard input closed, as in
# CI) and fails the run when a check wrote a report into TREE/sanitizer-reports.
run_suite() {
  tree=$1
  suite=0
  (cd "$tree" && ctest --output-on-failure -j"$(nproc)" </dev/null) || suite=$?
  # A process that the interruption tests kill outright (SIGKILL, on
  # purpose) at the moment a check opens its report file leaves that file
  # empty: an empty file holds no report. Any report with content fails the
  # run.
  find "$reports" -type f -empty -delete
  if [ -n "$(ls -A "$reports")" ]; then
    for f in "$reports"/*; do
      echo "==== $f"
      cat "$f"
    done
    echo "sanitizer reports were written in $tree (above)" >&2
    [ "$suite" -ne 0 ] || suite=1
  fi
  [ "$suite" -eq 0 ] || status=$suite
}

# build_tree TREE OPTION: builds everything with clang and the CMake option
# into TREE and empties TREE's report directory, $reports.
build_tree() {
  CC=clang CXX=clang++ cmake -S . -B "$1" -D"$2"=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$1" -j"$(nproc)"
  reports="$(pwd)/$1/sanitizer-reports"
  rm -rf "$reports"
  mkdir -p "$reports"
}

if [ "$stages" != thread ]; then
  build_tree build-fuzz RAWINQ_FUZZERS
  ASAN_OPTIONS="log_path=$reports/report:detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
  UBSAN_OPTIONS="log_path=$reports/report:print_stacktrace=1:halt_on_error=1"
  # ecCodes' own losses on malformed messages are not reports (see the
  # file).
  LSAN_OPTIONS="suppressions=$(pwd)/tests/fuzz/eccodes.supp"
  export ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
  run_suite build-fuzz
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
fi

if [ "$stages" != address ]; then
  build_tree build-tsan RAWINQ_TSAN
  # Every race is reported (the run goes on after the first), with the
  # second stack of a lock-order inversion.
  TSAN_OPTIONS="log_path=$reports/report:halt_on_error=0:second_deadlock_stack=1"
  export TSAN_OPTIONS
  run_suite build-tsan
fi
exit "$status"
