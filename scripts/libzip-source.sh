#!/usr/bin/env bash
# Copies libzip's C sources (lib/) for the Windows build out of Debian's own
# source package, the version Linux links with:
#   scripts/libzip-source.sh OUT_DIR
# (scripts/debian-source.sh fetches it). Does nothing when OUT_DIR already
# holds the sources of the installed libzip-dev's version.
set -euo pipefail

out=$(mkdir -p "$1" && cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' libzip-dev 2>/dev/null || true)
[[ -n "$version" ]] || version=$(apt-cache policy libzip-dev | awk '/Candidate:/ {print $2}')
# The binary package's version may carry a rebuild's "+bN"; the source's does not.
version=${version%+b[0-9]*}
if [[ -f "$out/zip_open.c" && -f "$out/zip.h" && "$(cat "$out/VERSION" 2>/dev/null)" == "$version" ]]; then
  exit 0
fi

work="$out/work"
"$(dirname "$0")/debian-source.sh" libzip "$version" "$work"

# The library's own files only; CMake compiles them (cmake/ZipLibrary.cmake).
rm -f "$out"/*.c "$out"/*.h
cp "$work/src/tree/lib"/*.c "$work/src/tree/lib"/*.h "$out/"
echo "$version" > "$out/VERSION"
rm -rf "$work"
echo "libzip sources in $out"
