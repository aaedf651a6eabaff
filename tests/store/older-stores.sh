#!/usr/bin/env bash
# Stores the last two releases made (tests/data/stores/README.md) open: each
# is copied aside, migrated, and read as its release read it, byte for byte:
# the runs with their posts, the CSV, the totals, and the status.
#
#   older-stores.sh CLI STORES
set -u
export TZ=UTC LC_ALL=C
cli=$1
stores=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

for version in v1 v2; do
  out=$dir/$version
  mkdir "$out"
  cp "$stores/$version/config.ini" "$stores/$version/strivo.db" "$out/"
  chmod 600 "$out/strivo.db"
  said() { "$cli" "$@" --config "$out/config.ini" 2>&1 | sed "s|$out|STORE|g"; }
  for file in runs.txt runs.csv stats.txt status.txt; do
    [[ -f $stores/$version/$file ]] || continue
    case $file in
      # The listing's pace column came after these releases: the rest reads as it did.
      runs.txt) said runs | sed -E 's| [0-9]+:[0-9]{2}/km +| |' ;;
      runs.csv) said runs --csv=- | sed -E 's| [0-9]+:[0-9]{2}/km +| |' ;;
      stats.txt) said stats --by=month ;;
      status.txt) said status | grep -v -e '^Schedule:' -e '^Desktop notices:' -e '^Store:' \
        -e 'asked to be left alone' ;;
    esac >"$out/$file"
    diff -u "$stores/$version/$file" "$out/$file" || fail "$version: $file differs"
  done
  [[ -s $out/strivo.db.$version.bak ]] || fail "$version: no copy made before the migration"
done
echo "both releases' stores read as they did"
