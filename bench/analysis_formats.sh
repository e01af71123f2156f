#!/bin/sh
# The analysis formats over the whole sample archive (every station, every
# hour of 1995, 1999 and 2003, one file): size of the CF file against the
# NetCDF file of the same request, time of the CF cube against the ragged
# CF file, and CPU time (user + system, best of
# REPEATS runs) of each format against the floor, the CPU time of cat
# reading the archive's station-year files and writing the output's bytes.
#
#   bench/analysis_formats.sh [BUILD_DIR [REPEATS]]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
repeats=${2:-3}
archive=data/sample-archive
support=data/support
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
request="--from 1995010100 --to 2003123123 --region global --hours all --quiet"

# Best CPU seconds (user + system) of REPEATS runs of a command.
cpu() {
  best=""
  i=0
  while [ "$i" -lt "$repeats" ]; do
    /usr/bin/time -o "$work/time" -f "%U %S" "$@" >/dev/null 2>&1
    t=$(awk '{printf "%.3f", $1 + $2}' "$work/time")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
    i=$((i + 1))
  done
  echo "$best"
}

# A floor is the CPU time of ten copies, divided by ten (the clock counts
# hundredths of seconds).
tenth() { awk "BEGIN{printf \"%.4f\", $1 / 10}"; }
files=$(find "$archive" -type f -name '*.buf' | sort | tr '\n' ' ')
read_floor=$(tenth "$(cpu sh -c "for i in 1 2 3 4 5 6 7 8 9 10; do cat $files; done > /dev/null")")

printf '%-14s %12s %9s %9s %9s\n' format bytes cpu_s floor_s ratio
for fmt in zir netcdf csv "csv --derived" cf "cf --derived" "cf --grid pressure"; do
  name=$(echo "$fmt" | tr ' ' '_')
  rm -rf "$work/out"
  # shellcheck disable=SC2086
  "$build/rawinq-extract" $request --format $fmt --out "$work/out" \
    "$archive" "$support" 2>/dev/null
  out=$(find "$work/out" -type f | sort | tr '\n' ' ')
  bytes=$(cat $out | wc -c)
  write_floor=$(tenth "$(cpu sh -c "for i in 1 2 3 4 5 6 7 8 9 10; do cat $out > '$work/copy'; done")")
  # shellcheck disable=SC2086
  t=$(cpu "$build/rawinq-extract" $request --format $fmt --out "$work/out" \
        "$archive" "$support")
  floor=$(awk "BEGIN{printf \"%.4f\", $read_floor + $write_floor}")
  ratio=$(awk "BEGIN{if ($floor > 0) printf \"%.1f\", $t / $floor; else print \"-\"}")
  printf '%-14s %12s %9s %9s %9s\n' "$name" "$bytes" "$t" "$floor" "$ratio"
  eval "cpu_$(echo "$name" | tr -c 'a-z0-9_\n' '_')=$t"
  eval "bytes_$(echo "$name" | tr -c 'a-z0-9_\n' '_')=$bytes"
done
# shellcheck disable=SC2154
awk "BEGIN{printf \"cf / netcdf size: %.4f (target at most 0.5)\n\", $bytes_cf / $bytes_netcdf}"
# The cube at the mandatory levels against the ragged profiles of the same
# soundings (all levels): the cube must take less time.
# shellcheck disable=SC2154
awk "BEGIN{printf \"cf --grid pressure / cf cpu: %.2f (target below 1)\n\", $cpu_cf___grid_pressure / $cpu_cf}"
# Soundings a second through the derived quantities and indices: the
# soundings of the request over the CPU time --derived adds to the CSV.
soundings=$(( $("$build/rawinq-extract" $request --format csv --derived --out "$work/out" \
                "$archive" "$support" >/dev/null 2>&1; cat "$work"/out/*_indices.csv | wc -l) - 1 ))
# shellcheck disable=SC2154
awk "BEGIN{d = $cpu_csv___derived - $cpu_csv; printf \"indices: %d soundings, %.3f s added by --derived, %.0f soundings/s\n\", $soundings, d, (d > 0 ? $soundings / d : 0)}"
