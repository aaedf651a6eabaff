#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine in a throwaway prefix:
#   scripts/wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# CMake runs test programs through it (CMAKE_CROSSCOMPILING_EMULATOR). Wine
# stays quiet and never offers to install Mono or Gecko.
set -euo pipefail

if [[ $# -lt 2 ]]; then
  echo "usage: $0 PREFIX PROGRAM [ARGS...]" >&2
  exit 2
fi
prefix=$1
shift

wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-$(dirname "$wine")/wineserver}
export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Under a lock, since CTest starts many programs at once: create the prefix on
# first use, and start its server and the system processes (services.exe and
# the like) apart from the program's output. Started by the program, they would
# keep its stderr open until the server exits, and CTest waits for that.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [[ ! -f "$prefix/.ready" ]]; then
  rm -rf "$prefix"
  "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&-
  # The session that made the prefix ends first: its service manager cannot
  # start services (the Task Scheduler) that the prefix's set-up registered.
  "$wineserver" -w </dev/null >/dev/null 2>&1 9>&-
  touch "$prefix/.ready"
fi
# Exit status 0: no server ran for this prefix, this one now does. It stays
# some seconds after the last program, so a run of tests shares one session.
if "$wineserver" -p"${WINE_PERSIST_SECONDS:-10}" </dev/null >/dev/null 2>&1 9>&-; then
  "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
fi
exec 9>&-

exec "$wine" "$@"
