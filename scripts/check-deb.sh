#!/usr/bin/env bash
# The Debian package as a user gets it: unpacked into a scratch root its
# strivo-cli runs, strivo-sim is not in it, lintian reports no error and its
# AppStream metadata validates.
#   scripts/check-deb.sh dist/strivo_VERSION_amd64.deb
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
"$root/usr/bin/strivo-cli" --version
if [[ -e $root/usr/bin/strivo-sim ]]; then
  echo "strivo-sim is in the package" >&2
  exit 1
fi
lintian --fail-on error "$deb"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
