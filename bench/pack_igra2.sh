#!/bin/sh
# The packing speed of rawinq-pack on IGRA2 text and its peak memory:
#
#   bench/pack_igra2.sh [MEGABYTES...]     (default 100 1000)
#
# For each size, generates a synthetic IGRA2 file (bench/make_igra2_input)
# in a work directory on the memory file system when there is one, reads
# it once so that it is in the page cache, then times `cat FILE >/dev/null`
# and `rawinq-pack --from igra2 DB FILE`, each the best of three runs, and
# prints the input's megabytes per second of CPU time (user + system, so per
# core), the ratio of rawinq-pack's time to cat's, and rawinq-pack's peak
# resident memory.
set -eu
cd "$(dirname "$0")/.."
sizes="${*:-100 1000}"
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j2 --target rawinq-pack make_igra2_input >/dev/null
base=/tmp
[ -d /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/pack-igra2.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# CPU seconds (user + system) and peak kB of a command, best of three.
measure() {
  best_cpu=""
  best_kb=""
  for _ in 1 2 3; do
    rm -rf "$work/db"
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >/dev/null
    set -- "$@"
    cpu=$(awk '{ printf "%.3f", $1 + $2 }' "$work/time")
    kb=$(awk '{ print $3 }' "$work/time")
    if [ -z "$best_cpu" ] || awk "BEGIN { exit !($cpu < $best_cpu) }"; then
      best_cpu=$cpu
    fi
    if [ -z "$best_kb" ] || [ "$kb" -gt "$best_kb" ]; then best_kb=$kb; fi
  done
}

printf '%-8s %12s %10s %10s %12s %10s %12s\n' MB soundings cat_s pack_s \
  "MB/s/core" ratio peak_kB
for mb in $sizes; do
  input="$work/igra2-$mb.txt"
  soundings=$(build/bench/make_igra2_input "$input" "$mb" | sed 's/.*bytes, \([0-9]*\) soundings/\1/')
  bytes=$(stat -c %s "$input")
  cat "$input" >/dev/null
  measure sh -c "cat '$input' >/dev/null"
  cat_cpu=$best_cpu
  measure build/rawinq-pack --from igra2 "$work/db" "$input"
  pack_cpu=$best_cpu
  pack_kb=$best_kb
  awk -v mb="$mb" -v n="$soundings" -v b="$bytes" -v c="$cat_cpu" \
      -v p="$pack_cpu" -v k="$pack_kb" 'BEGIN {
    printf "%-8s %12s %10.3f %10.3f %12.1f %10.1f %12s\n", mb, n, c, p,
           b / 1e6 / p, p / (c > 0 ? c : 0.001), k }'
  rm -f "$input"
done
