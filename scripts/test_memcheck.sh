#!/bin/sh
# Runs whole sessions of build/rawinq and build/rawinq_na, and runs of
# build/rawinq-extract, over the sample
# archive under valgrind's memcheck: ZIR output in both orders, FAA604,
# NetCDF, the screen with paging, the skew-T plot, the station browser, the
# help viewer, the recovery dialogue, a region request and input that ends
# early. Any invalid read or write, use of an uninitialised value, or
# definitely or indirectly lost block fails the session. Expects a built
# tree (scripts/setup.sh); ends with "N passed, N failed".
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind is missing: run ./scripts/setup.sh" >&2
  exit 1
fi
[ -f data/sample-archive/README.txt ] ||
  cmake --build build --target sample_archive >/dev/null || exit 1

# MEMCHECK_KEEP=1 keeps the sessions' directories (output, logs) and
# names it at the end.
work=$(mktemp -d)
if [ "${MEMCHECK_KEEP:-0}" = 1 ]; then
  trap 'echo "sessions kept in $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT INT TERM
fi
# The metafile translator of the plot hand-off: it shows and saves nothing.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/ctrans"
chmod 755 "$work/bin/ctrans"

passed=0
failed=0

# session NAME PROGRAM PAGE_LENGTH ANSWERS [DATABASE_DIR]
session() {
  name=$1 program=$2 page=$3 answers=$4 db=${5:-$root/data/sample-archive/}
  dir="$work/$name"
  mkdir -p "$dir/out"
  log="$dir/memcheck.log"
  start=$(date +%s)
  (cd "$dir" && printf '%s' "$answers" |
    PATH="$work/bin:$PATH" valgrind --quiet --tool=memcheck \
      --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --error-exitcode=201 --track-origins=yes --log-file="$log" \
      "$root/build/$program" "$db" \
      "$root/data/support/" "$page" >"$dir/stdout" 2>"$dir/stderr")
  status=$?
  seconds=$(($(date +%s) - start))
  if [ "$status" -eq 201 ] || [ -s "$log" ] || [ "$status" -ge 128 ]; then
    failed=$((failed + 1))
    echo "FAIL  $name ($program, exit status $status, ${seconds}s)"
    cat "$log"
  else
    passed=$((passed + 1))
    echo "ok    $name ($program, exit status $status, ${seconds}s)"
  fi
}

# The request's opening: welcome, dates, hours, station access.
den_pit="
1995010100
1995013112
1
0
0
n
2
72469
72520
"
den_week="
1995010100
1995010712
0
0
0
n
1
72469
"

for program in rawinq rawinq_na; do
  # ZIR, synoptic order, one file per day; then the output questions again
  # for the climatological order, one file per station.
  session "zir-$program" "$program" 500 "${den_pit}0
y
0
1
0
1
out
3
y
0
n
1
0
1
1
out
1
n
n
"
  # NetCDF in one file, then one sounding per file in station order.
  session "netcdf-$program" "$program" 500 "${den_week}2
y
0
0
out
0
y



1

2
n
n
"
done

# FAA604, one file per sounding.
session faa604 rawinq 500 "${den_pit}1
2
0
1
out
5
n
n
"
# ZIR on the screen, paged every 20 lines; then 'c' to go on unpaged.
session screen rawinq 20 "${den_week}0
n
1
0
0
0



c
n
n
"
# The skew-T plot of two soundings, the first saved as PostScript.
session plot rawinq 500 "
1995010100
1995010112
0
0
0
n
1
72469
3
0
y
n
n
n
"
# The station browser: a date, a search by WMO number, the column help.
session browser rawinq 20 "STAT
Y
19950101
4
72469
N
HELP
EXIT
"
# Help at the welcome prompt and at a question, with its paging.
session help rawinq 5 "HELP










HELP










"
# A directory that does not exist: the recovery dialogue, then out/.
session recovery rawinq 500 "${den_week}0
y
0
1
0
1
missing
0
HELP

out
n
n
"
# All global data for one day, one file per station, in station order.
session region rawinq 500 "
1995010100
1995010112
0
3
0
y
0
0
1
1
out
1
n
n
"
# Damaged files: DEN's 1995 file cut in the middle of its records, PIT's
# with bytes of its index and of its first records overwritten.
damaged="$work/damaged-archive"
mkdir -p "$damaged/Raob1995"
head -c 20000 data/sample-archive/Raob1995/23062_95.buf \
  >"$damaged/Raob1995/23062_95.buf"
cp data/sample-archive/Raob1995/94823_95.buf "$damaged/Raob1995/"
for at in 40 41 47 52 60 1000 1900 1950 2000 2047 2100 2222; do
  printf '\377' | dd of="$damaged/Raob1995/94823_95.buf" bs=1 seek=$at \
    conv=notrunc status=none
done
session damaged rawinq 500 "${den_pit}0
y
0
1
0
1
out
0
y
0
n
1
0
1
1
out
0
n
n
" "$damaged/"
# Input that ends in the middle of a request.
session end-of-input rawinq_na 500 "${den_week}0
y
"

# rawinq-extract: a box of stations in station order, one NetCDF file per
# station; then the inventory of the whole archive.
# extract NAME OPTIONS...
extract() {
  name=$1
  shift
  dir="$work/$name"
  mkdir -p "$dir"
  log="$dir/memcheck.log"
  (cd "$dir" && valgrind --quiet --tool=memcheck --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=201 \
    --track-origins=yes --log-file="$log" "$root/build/rawinq-extract" \
    "$@" "$root/data/sample-archive" "$root/data/support" \
    >"$dir/stdout" 2>"$dir/stderr")
  status=$?
  if [ "$status" -eq 201 ] || [ -s "$log" ] || [ "$status" -ge 2 ]; then
    failed=$((failed + 1))
    echo "FAIL  $name (rawinq-extract, exit status $status)"
    cat "$log" "$dir/stderr"
  else
    passed=$((passed + 1))
    echo "ok    $name (rawinq-extract, exit status $status)"
  fi
}
extract extract-netcdf --from 1995010100 --to 1995011012 --box 30,50,-110,-70 \
  --order station --split station --format netcdf --out out
extract extract-inventory --inventory --from 1995010100 --to 2003123123 \
  --region global --hours all

echo "memcheck: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
