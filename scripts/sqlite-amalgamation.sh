#!/usr/bin/env bash
# Makes SQLite's single-file source (sqlite3.c, sqlite3.h) for the Windows
# build from Debian's own source package, the version Linux links with:
#   scripts/sqlite-amalgamation.sh OUT_DIR
# (scripts/debian-source.sh fetches it). Does nothing when OUT_DIR already
# holds the files of the installed libsqlite3-dev's version.
set -euo pipefail

out=$(mkdir -p "$1" && cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null || true)
[[ -n "$version" ]] || version=$(apt-cache policy sqlite3 | awk '/Candidate:/ {print $2}')
if [[ -f "$out/sqlite3.c" && -f "$out/sqlite3.h" && "$(cat "$out/VERSION" 2>/dev/null)" == "$version" ]]; then
  exit 0
fi

work="$out/work"
"$(dirname "$0")/debian-source.sh" sqlite3 "$version" "$work"

# Only the single-file source: a build folder, configure, one make target.
mkdir -p "$work/build"
(cd "$work/build" && ../src/tree/configure --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
cp "$work/build/sqlite3.c" "$work/build/sqlite3.h" "$out/"
echo "$version" > "$out/VERSION"
rm -rf "$work"
echo "SQLite $version single-file source in $out"
