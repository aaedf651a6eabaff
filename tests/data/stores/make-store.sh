#!/usr/bin/env bash
# Makes a store as a release of Strivo leaves it, with that release's
# strivo-cli against its own strivo-sim, and what that release's commands
# print of it (README.md says which releases and how they were built).
#
#   make-store.sh CLI SIM OUT [v1]
#
# Two lists of six runs (the first list's runs no longer listed after the
# second), a sync with a failed post and one without an answer (held back),
# an older record of posts beside the settings; for v2 also a run kept off
# the run log, an imported GPX run, a password the site refused and a pause a
# 429 asked for. Fixed ports: the store keys runs and posts by host and port.
set -eu
export TZ=UTC LC_ALL=C
cli=$1 sim=$2 out=$3 version=${4:-v2}
work=$(mktemp -d)
simpid=
trap '[[ -z $simpid ]] || kill -INT $simpid; rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/strivo.db* "$out"/posted-runs.txt
settings() {
  printf '[nike+]\nuser=demo.runner@strivo.example\nhost=127.0.0.1\nhttps_port=47443\n%s[kelvora]\nuser=%s\nhost=127.0.0.1\nhttp_port=47090\n' \
    "$1" '李昞赟' | iconv -f utf-8 -t cp936 >"$out/config.ini"
}
settings "cafile=$work/ca.pem
"
export STRIVO_NIKE_PASSWORD='spring run&go' STRIVO_SITE_PASSWORD='run log&1'
serve() {
  [[ -z $simpid ]] || { kill -INT $simpid; wait $simpid || true; }
  "$sim" --runs 12 --seed 3 --lists 2 --https-port 47443 --http-port 47080 --site-port 47090 \
    --ca-out "$work/ca.pem" "$@" >"$work/sim.out" &
  simpid=$!
  for _ in $(seq 100); do grep -q '^http_port=47090' "$work/sim.out" && return; sleep 0.1; done
  exit 1
}
cli() { "$cli" "$@" --config "$out/config.ini" || true; }

# An older version's record of a post, imported by the first sync.
printf '127.0.0.1%%3A47090 %%C0%%EE%%95%%5C%%DAS 900001 2026-12-01T10:00:00Z\n' >"$out/posted-runs.txt"
serve --fault /runlogger.php,on=2,status=500 --fault /runlogger.php,on=4,drop
cli download >/dev/null
cli download >/dev/null
cli sync >/dev/null 2>&1
if [[ $version == v2 ]]; then
  second=$(cli runs | awk 'NR > 1 && $NF ~ /^[0-9]+$/ { print $NF }' | sed -n 5p)
  cli settle --skip "$second" >/dev/null
  cat >"$work/run.gpx" <<'EOF'
<?xml version="1.0"?>
<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1"><trk><type>running</type><trkseg>
<trkpt lat="31.2300" lon="121.4700"><time>2024-03-10T06:00:00Z</time></trkpt>
<trkpt lat="31.2400" lon="121.4700"><time>2024-03-10T06:06:00Z</time></trkpt>
<trkpt lat="31.2500" lon="121.4700"><time>2024-03-10T06:12:00Z</time></trkpt>
</trkseg></trk></gpx>
EOF
  cli import "$work/run.gpx" >/dev/null 2>&1
  STRIVO_SITE_PASSWORD='wrong' cli sync >/dev/null 2>&1
  serve --fault '/nikeplus/v1/services/widget/generate_pin.jsp,status=429,retry-after=604800'
  cli download >/dev/null 2>&1
fi
# What this release prints of it, the store's path as STORE; the settings
# as a test reads them (no network is asked for).
kill -INT $simpid
wait $simpid || true
simpid=
rm -f "$out/posted-runs.txt" "$out/strivo.db.lock"
settings ''
said() { "$cli" "$@" --config "$out/config.ini" 2>&1 | sed "s|$out|STORE|g"; }
said runs >"$out/runs.txt"
said runs --csv=- >"$out/runs.csv"
said stats --by=month >"$out/stats.txt"
# Less what depends on the machine, the day and the file's size.
[[ $version == v1 ]] || said status | grep -v -e '^Schedule:' -e '^Desktop notices:' -e '^Store:' \
  -e 'asked to be left alone' >"$out/status.txt"
