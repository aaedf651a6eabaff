#!/usr/bin/env bash
# Fetches and unpacks a Debian source package, Debian's patches applied:
#   scripts/debian-source.sh PACKAGE VERSION WORK_DIR
# leaves the tree in WORK_DIR/src/tree. A private sources list and a private
# apt state leave the machine's own configuration alone. The archive keeps
# only the newest builds of a release: a machine that has not upgraded since
# gets the newest one that can be fetched (the same upstream version, with the
# later security fixes), and is told so.
set -euo pipefail

package=$1 version=$2 work=$3
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
echo "Fetching Debian's source of $package $version"
apt-get "${apt_options[@]}" -q update >/dev/null
fetched=""
for candidate in "$version" $(apt-cache "${apt_options[@]}" showsrc "$package" 2>/dev/null |
                              awk '/^Version:/ {print $2}' | sort -r -V); do
  if (cd "$work/src" && apt-get "${apt_options[@]}" -q source --download-only \
        "$package=$candidate" >/dev/null 2>&1); then
    fetched=$candidate
    break
  fi
  rm -f "$work/src/${package}_"*
done
if [[ -z "$fetched" ]]; then
  echo "debian-source: no source of $package could be fetched" >&2
  exit 1
fi
[[ "$fetched" == "$version" ]] || echo "$package $version is no longer in the archive; took $fetched"
(cd "$work/src" && dpkg-source --no-check -x "$(ls "$work/src/${package}_"*.dsc)" tree >/dev/null)
