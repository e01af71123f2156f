#!/bin/sh
# How rawinq-extract scales with the number of stations and station-year
# files, from the page cache:
#
#   bench/scale.sh [BUILD_DIR [full|smoke]]
#
# 1. ZIR in synoptic order, one year (2010), a file per month: few
#    stations, about as many stations as descriptors, and three times that
#    many with the descriptor limit at 1024 (more files than descriptors:
#    most station files take turns with one shared descriptor). Time per
#    sounding and peak resident memory against the fewest stations.
# 2. --inventory over 1000 stations x 30 years (30,000 station-year files).
# 3. Ten times the soundings: the same request over ten times the stations.
#
# Each figure is the best wall time of three runs (user + system CPU and
# peak resident memory of the same runs, from wait4, printed beside it),
# after one run that warms the page cache and counts what was written. The
# archives are generated under BUILD_DIR the first time (about a minute);
# the smoke size only checks that everything runs. The exit status is 1
# only when the output of the large request depends on the descriptor limit.
# The figures of each request are set by name (eval) in synoptic():
# shellcheck disable=SC2154
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
size=${2:-full}
case "$size" in
  # small mid large: stations of the synoptic requests; tenth: a tenth of
  # mid; limit: the descriptor limit of the large request; levels: levels
  # of each sounding; inv: stations and years of the inventory archive.
  full) small=30 mid=1000 large=3000 limit=1024 levels=8
        inv_stations=1000 inv_years=30 repeats=3 ;;
  smoke) small=3 mid=10 large=30 limit=24 levels=12
         inv_stations=10 inv_years=3 repeats=1 ;;
  *) echo "usage: bench/scale.sh [BUILD_DIR [full|smoke]]" >&2; exit 2 ;;
esac
tenth=$((mid / 10))
tenth_large=$((large / 10))
root="$build/scale-$size"
work="$root/work"
timed="$build/bench/run_timed"
extract="$build/rawinq-extract"
mkdir -p "$root"
rm -rf "$work"
mkdir -p "$work"

# The archives, made again when missing or of other sizes: every station
# has a 00 and a 12 UTC sounding every day of 2010, of the surface and the
# lowest mandatory levels ($levels levels at most); the inventory archive
# holds one day a month (24 soundings a station-year) of 1980 to 2009.
syn="$root/syn"
inv="$root/inv"
if [ "$(cat "$syn.sizes" 2>/dev/null)" != "$large $levels" ]; then
  echo "generating $syn ($large stations x 1 year) ..."
  rm -f "$syn.sizes"
  "$build/bench/make_bench_archive" --levels "$levels" "$syn" 1 1 "$large"
  echo "$large $levels" > "$syn.sizes"
fi
if [ "$(cat "$inv.sizes" 2>/dev/null)" != "$inv_stations $inv_years $levels" ]; then
  echo "generating $inv ($inv_stations stations x $inv_years years) ..."
  rm -f "$inv.sizes"
  "$build/bench/make_bench_archive" --days 1 --levels "$levels" \
    --first-year $((2010 - inv_years)) "$inv" "$inv_stations" "$inv_years" 0
  echo "$inv_stations $inv_years $levels" > "$inv.sizes"
fi

machine_limit=$(getconf OPEN_MAX)

# The WMO numbers of the first N stations (the generator numbers them from
# 71001).
station_list() {
  seq 71001 $((71000 + $1)) > "$work/list.$1"
  echo "$work/list.$1"
}

# best LABEL NOFILE COMMAND...: REPEATS runs; sets wall, cpu and rss to
# the best wall time, the CPU time of the same run and the largest peak
# resident memory (MB) of the runs.
best() {
  label=$1
  nofile=$2
  shift 2
  wall="" cpu="" rss=0
  i=0
  while [ "$i" -lt "$repeats" ]; do
    rm -rf "$work/out-$label"
    # shellcheck disable=SC2046
    set -- $("$timed" --nofile "$nofile" --stdout "$work/stdout-$label" "$@") "$@"
    w=$1 u=$2 s=$3 m=$4 code=$5
    shift 5
    if [ "$code" -ne 0 ]; then
      echo "$label: exit status $code" >&2
      exit 1
    fi
    c=$(awk "BEGIN{printf \"%.3f\", $u + $s}")
    if [ -z "$wall" ] || awk "BEGIN{exit !($w < $wall)}"; then
      wall=$w
      cpu=$c
    fi
    rss=$(awk "BEGIN{r = $m / 1024; printf \"%.1f\", (r > $rss ? r : $rss)}")
    i=$((i + 1))
  done
}

# synoptic LABEL STATIONS NOFILE: the ZIR request over the first STATIONS
# stations, a file per month into work/out-LABEL; prints a table row and
# sets the LABEL's figures (wall_LABEL, cpu_LABEL, rss_LABEL, snd_LABEL).
synoptic() {
  label=$1
  n=$2
  nofile=$3
  list=$(station_list "$n")
  set -- "$extract" --from 2010010100 --to 2010123112 --hours 0,12 \
    --station-list "$list" --order synoptic --split month \
    --out "$work/out-$label" "$syn/db" "$syn/support"
  # The counting run warms the page cache; its summary line counts the
  # soundings.
  rm -rf "$work/out-$label"
  "$timed" --nofile "$nofile" "$@" 2>"$work/summary-$label" >"$work/counted"
  if [ "$(cut -d' ' -f5 "$work/counted")" != 0 ]; then
    cat "$work/summary-$label" >&2
    exit 1
  fi
  snd=$(sed -n 's/^\([0-9]*\) soundings\{0,1\} of .*/\1/p' "$work/summary-$label")
  bytes=$(cat "$work/out-$label"/* | wc -c)
  best "$label" "$nofile" "$@" --quiet
  per=$(awk "BEGIN{printf \"%.2f\", $wall / $snd * 1e6}")
  per_cpu=$(awk "BEGIN{printf \"%.2f\", $cpu / $snd * 1e6}")
  bps=$(awk "BEGIN{printf \"%.0f\", $bytes / $snd}")
  printf '%-14s %6s %6s %9s %11s %8s %7s %8s %9s %7s\n' "$label" "$n" \
    "$nofile" "$snd" "$bytes" "$wall" "$per" "$cpu" "$per_cpu" "$rss"
  eval "wall_$label=$wall cpu_$label=$cpu rss_$label=$rss snd_$label=$snd bps_$label=$bps"
}

echo "rawinq-extract scale benchmark ($size size), $(date)"
echo "synoptic archive: $large stations, 2010, 00 and 12 UTC every day, at most $levels levels"
echo "descriptor limit of the machine (ulimit -n): $machine_limit"
echo
printf '%-14s %6s %6s %9s %11s %8s %7s %8s %9s %7s\n' request stations \
  nofile soundings out_bytes wall_s us/snd cpu_s cpu_us/snd rss_MB
synoptic small "$small" "$machine_limit"
synoptic tenth "$tenth" "$machine_limit"
synoptic mid "$mid" "$machine_limit"
synoptic tenth_large "$tenth_large" "$limit"
synoptic large "$large" "$limit"
# The same request with every file open at once when the machine allows
# it: the output must not depend on how the descriptors were shared.
same=""
if [ "$machine_limit" = unlimited ] || [ "$machine_limit" -gt $((large + 64)) ]; then
  synoptic large_open "$large" "$machine_limit"
  if (cd "$work/out-large" && for f in *; do cmp -s "$f" "../out-large_open/$f" || exit 1; done) &&
     [ "$(find "$work/out-large" -type f | wc -l)" = "$(find "$work/out-large_open" -type f | wc -l)" ]; then
    same="identical"
  else
    same="DIFFERENT"
  fi
fi

# 2. The inventory of every station-year file.
echo
inv_files=$(find "$inv/db" -type f | wc -l)
set -- "$extract" --inventory --from $((2010 - inv_years))010100 \
  --to 2009123123 --hours all --region global "$inv/db" "$inv/support"
"$@" > "$work/inventory.txt"
best inventory "$machine_limit" "$@"
lines=$(($(wc -l < "$work/inventory.txt") - 1))
printf 'inventory: %s station-year files (%s stations x %s years, 24 soundings each), %s lines, wall %s s, cpu %s s, %s MB\n' \
  "$inv_files" "$inv_stations" "$inv_years" "$lines" "$wall" "$cpu" "$rss"
wall_inventory=$wall

echo
echo "targets (ratios of this run):"
ratio() { awk "BEGIN{printf \"%.3f\", $1 / $2}"; }
# per_ratio A B: time per sounding of request A over that of request B.
per_ratio() {
  eval "wa=\$wall_$1 na=\$snd_$1 wb=\$wall_$2 nb=\$snd_$2"
  awk "BEGIN{printf \"%.3f\", ($wa / $na) / ($wb / $nb)}"
}
echo "  time per sounding, $mid / $small stations:      $(per_ratio mid small) (at most 1.2)"
echo "  time per sounding, $large / $small stations (limit $limit): $(per_ratio large small) (at most 1.2)"
echo "  peak memory, $mid / $small stations:            $(ratio "$rss_mid" "$rss_small") ($rss_mid / $rss_small MB, at most 1.10)"
echo "  peak memory, $large / $small stations:           $(ratio "$rss_large" "$rss_small") ($rss_large / $rss_small MB, at most 1.10)"
echo "  inventory of $inv_files files:            $wall_inventory s (at most 1 s)"
echo "  time for 10 x the soundings, $tenth -> $mid stations: $(ratio "$wall_mid" "$wall_tenth") (at most 10.5)"
echo "  time for 10 x the soundings, $tenth_large -> $large stations (limit $limit): $(ratio "$wall_large" "$wall_tenth_large") (at most 10.5)"
echo "  output bytes per sounding: $bps_small, $bps_tenth, $bps_mid, $bps_tenth_large, $bps_large (the same kind of soundings)"
if [ -n "$same" ]; then
  echo "  output of $large stations, limit $limit against every file open: $same"
fi
rm -rf "$work"
# No figure fails the run; output that depends on the descriptor limit does.
[ "$same" != DIFFERENT ]
