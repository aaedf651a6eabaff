#!/usr/bin/env bash
# Makes SQLite's single-file source (sqlite3.c, sqlite3.h) for the Windows
# build from Debian's own source package, the version Linux links with:
#   scripts/sqlite-amalgamation.sh OUT_DIR
# The package is fetched with a private sources list and a private apt state,
# so the machine's own configuration is left alone. Does nothing when OUT_DIR
# already holds the files of the installed libsqlite3-dev's version.
set -euo pipefail

out=$(mkdir -p "$1" && cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null || true)
[[ -n "$version" ]] || version=$(apt-cache policy sqlite3 | awk '/Candidate:/ {print $2}')
if [[ -f "$out/sqlite3.c" && -f "$out/sqlite3.h" && "$(cat "$out/VERSION" 2>/dev/null)" == "$version" ]]; then
  exit 0
fi

work="$out/work"
rm -rf "$work" && mkdir -p "$work"/{state/lists/partial,cache/archives/partial,src}
# The archive the machine installs from, as a deb-src entry of our own.
cat > "$work/sources.list" <<LIST
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
deb-src http://deb.debian.org/debian bookworm-updates main
LIST
apt_options=(
  -o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o Dir::State="$work/state" -o Dir::Cache="$work/cache"
  -o Dir::State::status=/var/lib/dpkg/status -o Debug::NoLocking=1
)
# apt's download user cannot write into a private folder of root's.
[[ $(id -u) -ne 0 ]] || apt_options+=(-o APT::Sandbox::User=root)
echo "Fetching Debian's source of SQLite $version"
apt-get "${apt_options[@]}" -q update >/dev/null
(cd "$work/src" && apt-get "${apt_options[@]}" -q source --download-only "sqlite3=$version" >/dev/null)
dsc=$(ls "$work"/src/sqlite3_*.dsc)
(cd "$work/src" && dpkg-source --no-check -x "$dsc" tree >/dev/null)

# Only the single-file source: a build folder, configure, one make target.
mkdir -p "$work/build"
(cd "$work/build" && ../src/tree/configure --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
cp "$work/build/sqlite3.c" "$work/build/sqlite3.h" "$out/"
echo "$version" > "$out/VERSION"
rm -rf "$work"
echo "SQLite $version single-file source in $out"
