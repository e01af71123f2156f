#!/bin/sh
# rawinq-serve under load on loopback: CLIENTS keep-alive clients (wrk)
# ask for random sounding pages (each draws its skew-T as SVG) for SECONDS
# seconds; prints requests/s, the latency percentiles and the server's
# resident memory before, during and after the run.
#   bench/serve.sh [BUILD_DIR [CLIENTS [SECONDS]]]    (default build 32 20)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
clients=${2:-32}
seconds=${3:-20}
command -v wrk >/dev/null || { echo "serve.sh: wrk is not installed (Debian package wrk)" >&2; exit 2; }
work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# One worker a client (a keep-alive connection holds its worker) and as
# many extractions, so that no page is refused.
"$build/rawinq-serve" --listen 127.0.0.1:0 --threads "$clients" \
    --max-extractions "$clients" --access-log /dev/null \
    data/sample-archive data/support 2>"$work/err" &
server=$!
for _ in $(seq 50); do grep -q listening "$work/err" && break; sleep 0.1; done
url=$(sed -n 's/.*listening on \(http:[^ ]*\)\/$/\1/p' "$work/err")
[ -n "$url" ] || { cat "$work/err" >&2; exit 2; }

# The pages: every sounding of some stations in 1995 and 1999.
for station in 72469 72202 72520 3005 10868; do
  for year in 1995 1999; do
    curl -sf "$url/api/v1/soundings?station=$station&from=$year&hours=0,12" |
      tr ',' '\n' | sed -n 's/.*"\([0-9-]*T[0-9]*Z\)".*/\1/p' |
      sed "s|^|/station/$station/|"
  done
done >"$work/paths" || true
pages=$(wc -l <"$work/paths")
[ "$pages" -gt 0 ] || { echo "serve.sh: no sounding pages found" >&2; exit 2; }
{
  echo "paths = {"
  sed 's/.*/  "&",/' "$work/paths"
  echo "}"
  cat <<'EOF'
math.randomseed(42)
request = function()
  return wrk.format("GET", paths[math.random(#paths)])
end
local bad = 0
response = function(status, headers, body)
  if status ~= 200 then bad = bad + 1 end
end
EOF
} >"$work/pages.lua"

rss() { awk '/^VmRSS/ {print $2 " kB"}' "/proc/$server/status"; }
echo "rawinq-serve: $clients clients, ${seconds} s, random pages of $pages soundings (SVG skew-T)"
echo "memory at start: $(rss)"
curl -sf -o /dev/null "$url$(head -1 "$work/paths")"
wrk -t2 -c"$clients" -d"${seconds}s" --latency -s "$work/pages.lua" "$url" >"$work/wrk" &
wrk_pid=$!
sleep $((seconds / 2))
echo "memory at half time: $(rss)"
wait $wrk_pid
echo "memory at the end: $(rss)"
wrk -t2 -c"$clients" -d"${seconds}s" --latency -s "$work/pages.lua" "$url" >"$work/wrk2"
echo "memory after a second run: $(rss)"
echo "--- first run"
cat "$work/wrk"
echo "--- second run"
cat "$work/wrk2"
