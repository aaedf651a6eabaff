#!/usr/bin/env bash
# Copies expat's C sources (lib/) for the Windows build out of Debian's own
# source package, the version Linux links with:
#   scripts/expat-source.sh OUT_DIR
# As scripts/sqlite-amalgamation.sh does: a private sources list and a private
# apt state, so the machine's own configuration is left alone. Does nothing
# when OUT_DIR already holds the sources of the installed libexpat1-dev's version.
set -euo pipefail

out=$(mkdir -p "$1" && cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' libexpat1-dev 2>/dev/null || true)
[[ -n "$version" ]] || version=$(apt-cache policy libexpat1-dev | awk '/Candidate:/ {print $2}')
if [[ -f "$out/xmlparse.c" && -f "$out/expat.h" && "$(cat "$out/VERSION" 2>/dev/null)" == "$version" ]]; then
  exit 0
fi

work="$out/work"
rm -rf "$work" && mkdir -p "$work"/{state/lists/partial,cache/archives/partial,src}
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
echo "Fetching Debian's source of expat $version"
apt-get "${apt_options[@]}" -q update >/dev/null
# The archive keeps only the newest builds of a release; a machine that has
# not upgraded since gets the newest one that can be fetched (the same upstream
# version, with the later security fixes).
fetched=""
for candidate in "$version" $(apt-cache "${apt_options[@]}" showsrc expat 2>/dev/null |
                              awk '/^Version:/ {print $2}' | sort -r -V); do
  if (cd "$work/src" && apt-get "${apt_options[@]}" -q source --download-only "expat=$candidate" \
        >/dev/null 2>&1); then
    fetched=$candidate
    break
  fi
  rm -f "$work"/src/expat_*
done
if [[ -z "$fetched" ]]; then
  echo "expat-source: no source of expat could be fetched" >&2
  exit 1
fi
[[ "$fetched" == "$version" ]] || echo "expat $version is no longer in the archive; took $fetched"
dsc=$(ls "$work"/src/expat_*.dsc)
# Debian's patches (security fixes among them) are applied on extraction.
(cd "$work/src" && dpkg-source --no-check -x "$dsc" tree >/dev/null)

# The library's own files only; CMake compiles them (src/files/CMakeLists.txt).
lib="$work/src/tree/expat/lib"
[[ -d "$lib" ]] || lib="$work/src/tree/lib"
cp "$lib"/*.c "$lib"/*.h "$out/"
rm -f "$out"/xmlparse_*.c "$out"/xmltok_impl.c.orig
echo "$version" > "$out/VERSION"
rm -rf "$work"
echo "expat $fetched sources in $out"
