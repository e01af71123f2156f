#!/bin/sh
# Builds the libFuzzer programs (clang, in build-fuzz/) and runs each one
# for a bounded time over a copy of its committed corpus; fails on the
# first finding (crash, check report, leak, hang or running out of memory).
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]
# The default is 60 s for each of the targets. What a run finds is left in
# build-fuzz/fuzz-runs/<target>/ (crash-*, leak-*, timeout-*, oom-*), the
# grown corpus in build-fuzz/fuzz-runs/<target>/corpus.
set -eu
cd "$(dirname "$0")/.."

seconds="${1:-60}"
[ $# -gt 0 ] && shift
targets="${*:-sounding_record station_year catalogue_text help_file sounding_indices skewt_plot session session_na igra2_text wyoming_text temp_text bufr_messages}"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DRAWINQ_FUZZERS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fuzzers=""
for t in $targets; do fuzzers="$fuzzers ${t}_fuzzer"; done
# shellcheck disable=SC2086
cmake --build build-fuzz -j"$(nproc)" --target $fuzzers

root="$(pwd)/build-fuzz/fuzz-runs"
# ecCodes' own losses on malformed messages are not findings (see the file).
LSAN_OPTIONS="suppressions=$(pwd)/tests/fuzz/eccodes.supp"
export LSAN_OPTIONS
for t in $targets; do
  run="$root/$t"
  rm -rf "$run"
  mkdir -p "$run/corpus"
  # Both editions' sessions start from the same answer scripts.
  corpus="$t"
  [ "$t" = session_na ] && corpus=session
  cp tests/fuzz/corpus/"$corpus"/* "$run/corpus/"
  # A station-year file holds a 20000-byte head window and more; a session
  # needs whole answer scripts from the start.
  options="-max_len=8192"
  [ "$t" = station_year ] && options="-max_len=24000 -len_control=0"
  case "$t" in session*) options="-max_len=2048 -len_control=0" ;; esac
  echo "==== fuzzing $t for $seconds s"
  # Words of the input's language, where there is a list of them.
  [ -f tests/fuzz/"$corpus".dict ] &&
    options="$options -dict=tests/fuzz/$corpus.dict"
  # shellcheck disable=SC2086
  if ! build-fuzz/tests/fuzz/"${t}_fuzzer" "$run/corpus" \
      -max_total_time="$seconds" $options -timeout=30 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$run/" \
      </dev/null >"$run/log" 2>&1; then
    tail -n 60 "$run/log"
    echo "fuzz target $t found a fault; its input is in $run/" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' \
    "$run/log" || true
  grep -E '^#[0-9]+.*(DONE|INITED)' "$run/log" | tail -n 2 || true
done
echo "==== every fuzz target ran $seconds s without a finding"
