#!/bin/sh
# Builds the Debian packages (cpack -G DEB: rawinq, rawinq-dev and
# python3-rawinq), installs them with apt-get as a user would, and runs the
# installed programs and module: one
# scripted rawinq session on the installed sample archive, a skew-T plot by
# the installed plotter, rawinq-dump over the sample archive, a rawinq-pack
# round trip, the manual pages through man, and the example programs built
# on the installed library (CMake package and pkg-config). Leaves the
# packages installed.
set -eu
cd "$(dirname "$0")/.."
src=$(pwd)

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

# A build of its own, for the package's prefix; the installed plotter is
# also the one the programs fall back on.
cmake -S . -B build-pkg -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
      -DRAWINQ_PLOTTER=/usr/libexec/rawinq/drovane \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-pkg -j"$(nproc)"
rm -f build-pkg/rawinq_*.deb build-pkg/rawinq-dev_*.deb
(cd build-pkg && cpack -G DEB)
set -- build-pkg/rawinq_*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || { echo "no package was built" >&2; exit 1; }
deb="$src/$1"
set -- build-pkg/rawinq-dev_*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || { echo "no -dev package was built" >&2; exit 1; }
devdeb="$src/$1"
set -- build-pkg/python3-rawinq_*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || { echo "no python3-rawinq package was built" >&2; exit 1; }
pydeb="$src/$1"

fail() { echo "test_package: $*" >&2; exit 1; }

# Its declared dependencies.
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
echo "$depends" | grep -q 'libnetcdf' || fail "no dependency on the netCDF library"
echo "$depends" | grep -q 'libcairo2' || fail "no dependency on the cairo library"
echo "$depends" | grep -q 'libeccodes' || fail "no dependency on the ecCodes library"
echo "$depends" | grep -q 'fonts-dejavu-core' || fail "no dependency on the plots' font"
[ "$recommends" = "ncl-ncarg" ] || fail "ncl-ncarg is not recommended"

dpkg-deb -f "$devdeb" Depends | grep -q 'rawinq (= ' ||
  fail "rawinq-dev does not depend on its rawinq"
$sudo apt-get remove -y python3-rawinq rawinq-dev rawinq >/dev/null 2>&1 || true
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "$deb" "$devdeb" "$pydeb"
for p in rawinq rawinq-dev; do
  [ "$(dpkg-query -W -f='${Status}' "$p")" = "install ok installed" ] ||
    fail "the package $p is not installed"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
data=/usr/share/rawinq

[ "$(/usr/bin/rawinq --version)" = "rawinq 1.0.0" ] || fail "rawinq --version"
/usr/bin/rawinq --help | grep -qx "Installed sample archive: $data/sample-archive" ||
  fail "rawinq --help does not name the installed sample archive"

# The README's session: WMO 72469, January 1995, 0z and 12z, ZIR in knots,
# one file per day in out/.
mkdir out
status=0
printf '%s\n' '' 1995010100 1995013112 1 0 0 N 1 72469 \
    0 Y 0 0 0 1 out 3 N N \
  | /usr/bin/rawinq "$data/sample-archive" "$data/support" >session.txt || status=$?
[ "$status" -eq 2 ] || fail "the session ended with status $status, not 2"
[ "$(ls out | wc -l)" -eq 31 ] || fail "not one file per day of January"
[ "$(ls out | head -n 1)" = 1995010100.txt ] || fail "first file name"
head -n 2 out/1995010100.txt >first.txt
printf '%s\n' '    254      0      1      JAN    1995' \
    '      1  23062  72469  39.77N104.87W  1611   2312' >expected.txt
cmp first.txt expected.txt || fail "the first sounding's lines differ"
[ "$(grep -c '      JAN    1995$' out/1995013100.txt)" -eq 2 ] ||
  fail "the last file does not hold two soundings"
echo "scripted session: 31 files, exit status 2"

# The same month through the command line for scripts: the same files.
rawinq-extract --quiet --from 1995010100 --to 1995013112 --wmo 72469 \
  --split day --out cli "$data/sample-archive" "$data/support" ||
  fail "rawinq-extract ended with status $?"
diff -r out cli >/dev/null || fail "rawinq-extract wrote other files"
rawinq-extract --from 1995010100 --wmo 99999 "$data/sample-archive" \
  "$data/support" 2>/dev/null && fail "a station not in the catalogue matched"
echo "rawinq-extract: the dialogue's 31 files"

# Stations by the codes people use (the installed world table), and a cube
# that xarray selects by station code and time.
rawinq-extract --list-stations --station koun,KDNR "$data/sample-archive" \
  "$data/support" >stations.csv || fail "--list-stations ended with status $?"
grep -q '^KOUN,72357,3948,USM00072357,KOUN,OUN,NORMAN,' stations.csv ||
  fail "--list-stations does not know KOUN"
rawinq-extract --quiet --from 1999-05-04 --station KOUN --format cf --grid pressure \
  --out cube "$data/sample-archive" "$data/support" || fail "--grid ended with status $?"
/usr/bin/python3 -c 'import sys, xarray as xr
t = xr.open_dataset(sys.argv[1]).air_temperature.sel(station="KOUN", time="1999-05-04T00", level=500)
assert 230 < float(t) < 280, float(t)' cube/1999050400.nc || fail "the cube cannot be read by station and time"
echo "rawinq-extract: stations by code, a cube read by xarray"

# The Python module of python3-rawinq, from any directory.
/usr/bin/python3 -c 'import sys, rawinq
df = rawinq.Archive(sys.argv[1], sys.argv[2]).to_dataframe("1995-01", station="KDNR")
assert len(df.time.unique()) == 62, len(df.time.unique())' \
  "$data/sample-archive" "$data/support" || fail "import rawinq"
echo "python3-rawinq: import rawinq reads the month"

# Skew-T plots without a display: one PNG image per sounding.
DISPLAY= rawinq-extract --quiet --from 1995070100 --to 1995070112 \
  --wmo 72469 --format png --out plots "$data/sample-archive" \
  "$data/support" || fail "rawinq-extract --format png ended with status $?"
[ "$(ls plots)" = "$(printf '%s\n' 72469_DEN_1995070100.png 72469_DEN_1995070112.png)" ] ||
  fail "not one plot per sounding"
head -c 8 plots/72469_DEN_1995070100.png | od -An -c | grep -q 'P   N   G' ||
  fail "the plot is not a PNG image"
echo "rawinq-extract: two skew-T plots"

# The installed sample archive is sound.
rawinq-dump -q "$data"/sample-archive/Raob1995/* >dump.txt ||
  fail "rawinq-dump finds faults in the sample archive"
[ "$(grep -c ', 0 faults$' dump.txt)" -eq 12 ] || fail "rawinq-dump summary"

# Extract, pack, extract again: the same text.
for run in a b; do mkdir "$run"; done
answers() {
  printf '%s\n' '' 1995010100 1995123112 0 0 0 N 1 72469 0 Y 0 1 0 1 "$1" 0 N N
}
answers a | rawinq "$data/sample-archive" "$data/support" >/dev/null || true
rawinq-pack mine a/1995010100.txt
answers b | rawinq mine "$data/support" >/dev/null || true
cmp a/1995010100.txt b/1995010100.txt || fail "the round trip changed the text"
echo "round trip: identical ZIR text"

# A skew-T plot: the installed plotter draws it with NCL into gmeta; the
# display program is a stand-in that notes its arguments (no X here).
mkdir plot bin
printf '#!/bin/sh\necho "$*" >> "%s/ctrans.calls"\n' "$work" >bin/ctrans
chmod +x bin/ctrans
(cd plot &&
 printf '%s\n' '' 1995010100 1995010112 2 0 0 N 1 72469 3 0 N N N |
   PATH="$work/bin:$PATH" rawinq "$data/sample-archive" "$data/support" \
   >session.txt) || true
[ "$(wc -c <plot/gmeta)" -gt 10000 ] || fail "the plotter drew no gmeta"
[ "$(cat ctrans.calls)" = "gmeta -d X11 -geometry 700X700" ] ||
  fail "the plot was not shown"
head -n 1 plot/raob_soundings.zonder |
  grep -qx '    254      0      1      JAN    1995' || fail "plot data file"
echo "skew-T plot: gmeta drawn by the installed plotter"

# The manual pages, as man finds them.
for page in rawinq rawinq_na rawinq-pack rawinq-dump rawinq-extract rawinq-serve; do
  file=$(man -w "$page") || fail "man finds no page $page"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
LC_ALL=C.UTF-8 MANWIDTH=80 man rawinq 2>/dev/null | grep -q "$data/support/stat2000.txt" ||
  fail "man rawinq does not name the installed support files"
# The library from another program: the examples built with the installed
# CMake package (shared and static library) and with pkg-config, run on the
# installed sample archive.
cmake -S "$src/examples" -B examples >/dev/null || fail "find_package(rawinq)"
cmake --build examples >/dev/null || fail "the examples do not build"
c++ -std=c++17 -o first_sounding_pc "$src/examples/first_sounding.cpp" \
  $(pkg-config --cflags --libs rawinq) || fail "pkg-config --libs rawinq"
rawinq-extract --quiet --format csv --from 1995010100 --to 1995013112 \
  --wmo 72469 "$data/sample-archive" "$data/support" >cli-csv.csv
for prog in examples/first_sounding examples/first_sounding_static \
            ./first_sounding_pc; do
  rm -rf ex-out && mkdir ex-out
  "$prog" "$data/sample-archive" "$data/support" ex-out >example.txt ||
    fail "$prog ended with status $?"
  tail -n 2 example.txt | head -n 1 | grep -qx '62 soundings' ||
    fail "$prog did not read the month's 62 soundings"
  [ "$(ls ex-out | wc -l)" -eq 1 ] || fail "$prog wrote no CSV file"
  cmp -s ex-out/1995010100.csv cli-csv.csv || fail "$prog wrote another CSV"
done
echo "library: the examples built on rawinq-dev read and write the month"

# rawinq-serve: its unit installed and not enabled, the installed program
# answering on loopback with the installed web files, stopping on SIGTERM.
unit=/usr/lib/systemd/system/rawinq-serve.service
[ -f "$unit" ] || fail "no systemd unit $unit"
grep -q "^ExecStart=/usr/bin/rawinq-serve " "$unit" || fail "the unit does not start /usr/bin/rawinq-serve"
! ls /etc/systemd/system/*.wants/rawinq-serve.service >/dev/null 2>&1 ||
  fail "the unit was enabled by the package"
rawinq-serve --listen 127.0.0.1:0 --access-log serve.log "$data/sample-archive" \
  "$data/support" 2>serve.err &
serve_pid=$!
for _ in $(seq 50); do grep -q listening serve.err && break; sleep 0.1; done
url=$(sed -n 's/.*listening on \(http:[^ ]*\)\/$/\1/p' serve.err)
[ -n "$url" ] || fail "rawinq-serve did not start: $(cat serve.err)"
curl -sf "$url/api/v1/stations?q=KDNR" | grep -q '"id":"72469"' ||
  fail "rawinq-serve does not know KDNR"
curl -sf "$url/api/v1/soundings/KDNR/1995-01-01T00Z?format=csv" >serve.csv ||
  fail "rawinq-serve gave no CSV"
rawinq-extract --quiet --format csv --from 1995010100 --hours 0 --wmo 72469 \
  "$data/sample-archive" "$data/support" >cli-one.csv
cmp -s serve.csv cli-one.csv || fail "rawinq-serve's CSV is not rawinq-extract's"
curl -sf "$url/static/app.js" >/dev/null || fail "rawinq-serve has no installed app.js"
if [ -f "$src/web/node_modules/world-atlas/land-110m.json" ]; then
  curl -sf "$url/static/land-110m.json" >/dev/null || fail "the map outlines are not installed"
fi
kill -TERM "$serve_pid"
status=0
wait "$serve_pid" || status=$?
[ "$status" -eq 143 ] || fail "rawinq-serve ended with status $status on SIGTERM, not 143"
grep -q '"GET /api/v1/stations?q=KDNR HTTP/1.1" 200 ' serve.log || fail "no access log line"
echo "rawinq-serve: the installed server answers and stops on SIGTERM"

echo "installed package: every check passed"
