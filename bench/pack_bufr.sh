#!/bin/sh
# The BUFR import speed of rawinq-pack against ecCodes' own decoding of the
# same files (bufr_dump -p, which unpacks every message and prints its
# keys), timed in the same run:
#
#   bench/pack_bufr.sh [HIGHRES_MESSAGES]     (default 200)
#
# Two inputs, in a work directory on the memory file system when there is
# one: every sounding of the sample archive (1995 and 1999) as written by
# rawinq-extract --format bufr (TEMP-like ascents of some 25 to 120
# levels), and HIGHRES_MESSAGES synthetic ascents of 5000 levels each
# (bench/make_bufr_input), which rawinq-pack thins to fit a record. Each
# command is the best of three runs by CPU time (user + system); printed:
# messages, megabytes, rawinq-pack's and bufr_dump's CPU seconds, messages
# per second and MB per second of each, and the ratio of the two times.
set -eu
cd "$(dirname "$0")/.."
highres="${1:-200}"
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j2 --target rawinq-pack rawinq-extract sample_archive \
  make_bufr_input >/dev/null
command -v bufr_dump >/dev/null || {
  echo "bench/pack_bufr.sh: bufr_dump (package libeccodes-tools) is not installed" >&2
  exit 1
}
base=/tmp
[ -d /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/pack-bufr.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# Best CPU seconds (user + system) of a command over three runs.
measure() {
  best=""
  for _ in 1 2 3; do
    rm -rf "$work/db"
    /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
      cat "$work/err" >&2
      exit 1
    }
    cpu=$(awk '{ printf "%.3f", $1 + $2 }' "$work/time")
    if [ -z "$best" ] || awk "BEGIN { exit !($cpu < $best) }"; then best=$cpu; fi
  done
}

# The sample archive's soundings, one file a year.
for year in 1995 1999; do
  build/rawinq-extract --from "$year" --region global --hours all \
    --format bufr --split one --out "$work/temp$year" \
    data/sample-archive data/support >/dev/null
done
cat "$work"/temp1995/*.bufr "$work"/temp1999/*.bufr >"$work/temp.bufr"
build/bench/make_bufr_input "$work/highres.bufr" "$highres" 5000 >/dev/null

printf '%-8s %9s %8s %9s %9s %10s %9s %10s %9s %7s\n' input messages MB \
  pack_s dump_s pack_msg/s pack_MB/s dump_msg/s dump_MB/s ratio
for input in temp highres; do
  file="$work/$input.bufr"
  messages=$(bufr_count "$file")
  bytes=$(stat -c %s "$file")
  cat "$file" >/dev/null
  measure build/rawinq-pack --from bufr "$work/db" "$file"
  pack=$best
  measure sh -c "bufr_dump -p '$file' >/dev/null"
  dump=$best
  awk -v name="$input" -v n="$messages" -v b="$bytes" -v p="$pack" -v d="$dump" 'BEGIN {
    p = p > 0 ? p : 0.001; d = d > 0 ? d : 0.001
    printf "%-8s %9d %8.2f %9.3f %9.3f %10.0f %9.2f %10.0f %9.2f %7.2f\n",
           name, n, b / 1e6, p, d, n / p, b / 1e6 / p, n / d, b / 1e6 / d, p / d }'
done
