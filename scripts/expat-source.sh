#!/usr/bin/env bash
# Copies expat's C sources (lib/) for the Windows build out of Debian's own
# source package, the version Linux links with:
#   scripts/expat-source.sh OUT_DIR
# (scripts/debian-source.sh fetches it). Does nothing when OUT_DIR already
# holds the sources of the installed libexpat1-dev's version.
set -euo pipefail

out=$(mkdir -p "$1" && cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' libexpat1-dev 2>/dev/null || true)
[[ -n "$version" ]] || version=$(apt-cache policy libexpat1-dev | awk '/Candidate:/ {print $2}')
if [[ -f "$out/xmlparse.c" && -f "$out/expat.h" && "$(cat "$out/VERSION" 2>/dev/null)" == "$version" ]]; then
  exit 0
fi

work="$out/work"
"$(dirname "$0")/debian-source.sh" expat "$version" "$work"

# The library's own files only; CMake compiles them (src/files/CMakeLists.txt).
lib="$work/src/tree/expat/lib"
[[ -d "$lib" ]] || lib="$work/src/tree/lib"
cp "$lib"/*.c "$lib"/*.h "$out/"
rm -f "$out"/xmlparse_*.c "$out"/xmltok_impl.c.orig
echo "$version" > "$out/VERSION"
rm -rf "$work"
echo "expat sources in $out"
