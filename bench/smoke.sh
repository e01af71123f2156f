#!/bin/sh
# The benchmarks at a tiny size, as a test: everything builds and runs, no
# figure is checked.   bench/smoke.sh BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work"
"$build/bench/make_bench_archive" "$work/archive" 2 2 4
"$build/bench/bench_e2e" "$build/rawinq" "$work/archive" "$work/run" 1
"$build/bench/micro_bench" --benchmark_min_time=0.01
mkdir -p "$work/plots"
"$build/bench/bench_plots" "$work/plots" 20 png
rm -rf "$work"
