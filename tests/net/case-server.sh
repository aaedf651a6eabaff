#!/usr/bin/env bash
# The transport suite's servers (strivo-sim --transport-cases), as CTest's
# fixture starts and stops them:
#   case-server.sh start DIR STRIVO-SIM [TRUST-COMMAND...]
#   case-server.sh stop DIR
# start leaves DIR/ports (name_port=N lines, then ca_file=) for the suite and
# the server running; a TRUST-COMMAND (Wine's add_root_certificate.exe) gets
# the CA's path, written as Windows writes it, as its last argument.
set -euo pipefail
dir=$2
if [[ $1 == stop ]]; then
  [[ -f $dir/pid ]] && kill "$(cat "$dir/pid")" 2>/dev/null
  rm -f "$dir/pid"
  exit 0
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
[[ -f $dir/pid ]] && kill "$(cat "$dir/pid")" 2>/dev/null
rm -f "$dir/ports" "$dir/pid"
# Apart from CTest's pipes, which it would otherwise wait on.
"$3" --transport-cases --ca-out "$dir/ca.pem" >"$dir/ports.part" 2>"$dir/server.log" </dev/null &
echo $! >"$dir/pid"
for _ in $(seq 100); do grep -qx ready "$dir/ports.part" && break; sleep 0.1; done
grep -qx ready "$dir/ports.part" || { cat "$dir/server.log" >&2; exit 1; }
echo "ca_file=$dir/ca.pem" >>"$dir/ports.part"
if [[ $# -gt 3 ]]; then
  ca=$dir/ca.pem
  "${@:4}" "Z:${ca//\//\\}"
fi
mv "$dir/ports.part" "$dir/ports"
