#!/bin/sh
# Installs Garmin's FIT SDK for JavaScript (test-only) into PREFIX, once:
# PREFIX/node_modules/@garmin/fitsdk. Node and npm come from
# scripts/install-deps.sh.
#   tests/files/install-fitsdk.sh PREFIX
set -eu
prefix=$1
version=21.217.0
package="$prefix/node_modules/@garmin/fitsdk/package.json"
if [ -f "$package" ] && grep -q "\"version\": \"$version\"" "$package"; then
  exit 0
fi
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "install-fitsdk: node and npm are missing (scripts/install-deps.sh installs them)" >&2
  exit 1
fi
mkdir -p "$prefix"
npm install --prefix "$prefix" --no-audit --no-fund --loglevel=error "@garmin/fitsdk@$version"
