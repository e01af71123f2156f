#!/bin/sh
# Runs every benchmark and prints the tables:
#
#   bench/run.sh          the full size (some 220,000 soundings per request)
#   bench/run.sh smoke    a tiny size that only checks everything runs
#
# Builds the project into build/ (the benchmarks need Google Benchmark,
# package libbenchmark-dev), generates the synthetic benchmark archive into
# build/bench-archive (build/bench-smoke) when it is not there yet, runs the
# end-to-end benchmarks (bench_e2e: soundings per second, output bytes per
# second, user+system CPU, peak resident memory, and the ratio to the floor
# of cat reading the same files and writing the same bytes), the
# micro-benchmarks (micro_bench) and the skew-T plots (bench_plots: plots per
# second of CPU and resident memory over thousands of plots).
set -eu
cd "$(dirname "$0")/.."
size=${1:-full}
case "$size" in
  full) dir=build/bench-archive; sizes="30 10 300"; repeats=3; min_time=0.5; plots=5000 ;;
  smoke) dir=build/bench-smoke; sizes="2 2 4"; repeats=1; min_time=0.01; plots=20 ;;
  *) echo "usage: bench/run.sh [full|smoke]" >&2; exit 2 ;;
esac
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j2 --target rawinq make_bench_archive bench_e2e micro_bench \
  bench_plots
# The archive is made again when it is missing or of other sizes.
if [ ! -f "$dir/bench.conf" ] || [ "$(cat "$dir.sizes" 2>/dev/null)" != "$sizes" ]; then
  echo "generating the benchmark archive in $dir ..."
  rm -f "$dir.sizes"
  # shellcheck disable=SC2086
  build/bench/make_bench_archive "$dir" $sizes
  echo "$sizes" > "$dir.sizes"
fi
build/bench/bench_e2e build/rawinq "$dir" "$dir-work" "$repeats"
echo
build/bench/micro_bench --benchmark_min_time="$min_time"
echo
mkdir -p "$dir-plots"
for kind in png svg pdf; do
  build/bench/bench_plots "$dir-plots" "$plots" "$kind"
done
# The Python module against read_csv (full size only; where it is built).
if [ "$size" = full ] && [ -f build/python/rawinq/__init__.py ]; then
  echo
  bench/python_dataframe.sh build "$repeats"
fi
