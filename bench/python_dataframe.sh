#!/bin/sh
# The Python module against the files it replaces, in one run: a year of 48
# stations (the synthetic archive of make_bench_archive, two soundings a
# day of some 35 levels) into a pandas DataFrame through
# rawinq.Archive.to_dataframe, against pandas.read_csv of the same rows'
# CSV (already written), and against writing that CSV with rawinq-extract
# and reading it. Wall-clock seconds, best of REPEATS. Then the peak memory
# of a loop over every sounding of the archive (rawinq.Archive.soundings)
# after 100 soundings and after all of them: the stream holds a few
# soundings, not the archive.
#
#   bench/python_dataframe.sh [BUILD_DIR [REPEATS]]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
repeats=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_bench_archive" "$work" 48 1 0 >/dev/null
PYTHONPATH="$build/python" /usr/bin/python3 - "$build/rawinq-extract" "$work" "$repeats" <<'PY'
import resource, subprocess, sys, time
import pandas as pd
import rawinq

extract, work, repeats = sys.argv[1], sys.argv[2], int(sys.argv[3])
db, support = work + "/db", work + "/support"
year = open(work + "/bench.conf").read().split("first_year ")[1].split()[0]
request = dict(start=year, region="global", hours="all")
cli = ["--from", year, "--region", "global", "--hours", "all", "--wind", "ms",
       "--format", "csv", "--quiet"]

def best(f):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        result = f()
        times.append(time.perf_counter() - t)
    return min(times), result

def write_and_read():
    subprocess.run([extract, *cli, "--out", work + "/csv", db, support], check=True)
    return pd.read_csv(work + "/csv/%s010100.csv" % year, parse_dates=["time", "release_time"])

# The stream first, in a process of its own (a child keeps the peak of
# the parent it was forked from).
loop = """
import resource, sys, rawinq
archive = rawinq.Archive(sys.argv[1], sys.argv[2])
n = peak_100 = 0
for s in archive.soundings(sys.argv[3], region="global", hours="all"):
    n += 1
    if n == 100:
        peak_100 = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print("soundings(): %d soundings, peak RSS %d MB after 100, %d MB after all" % (
    n, peak_100 // 1024, peak // 1024))
"""
subprocess.run([sys.executable, "-c", loop, db, support, year], check=True)

archive = rawinq.Archive(db, support)
t_df, df = best(lambda: archive.to_dataframe(**request))
t_both, csv = best(write_and_read)
t_csv, _ = best(lambda: pd.read_csv(work + "/csv/%s010100.csv" % year,
                                    parse_dates=["time", "release_time"]))
assert len(df) == len(csv), (len(df), len(csv))
print("%d level rows of %d stations in %s, %d MB of CSV" % (
    len(df), df.station_id.nunique(), year,
    int(subprocess.check_output(["du", "-sm", work + "/csv"]).split()[0])))
print("%-34s %8s %8s" % ("way", "seconds", "ratio"))
for name, t in (("rawinq.Archive.to_dataframe", t_df), ("pandas.read_csv of the CSV", t_csv),
                ("rawinq-extract + pandas.read_csv", t_both)):
    print("%-34s %8.3f %8.2f" % (name, t, t / t_df))
print("read_csv / to_dataframe: %.2f (target at least 3)" % (t_csv / t_df))

PY
