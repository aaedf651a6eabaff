#!/usr/bin/env bash
# Runs the CLI and the window through whole demo syncs (and failures) and
# checks that nothing they print holds a password, plain or encoded.
set -u
cli=$1
window_driver=$2
scripts=$3
out=$(mktemp)
trap 'rm -f "$out"' EXIT

"$cli" sync --demo >>"$out" 2>&1
"$cli" sync --demo --dry-run >>"$out" 2>&1
"$cli" download --demo --csv /proc/no/such.csv >>"$out" 2>&1
STRIVO_NIKE_PASSWORD=wrong-secret "$cli" download --config /dev/null >>"$out" 2>&1
if [[ -x "$window_driver" ]]; then
  "$scripts/with-display.sh" "$window_driver" --gtest_filter='*Demo*' >>"$out" 2>&1
fi

status=0
for secret in 'spring run&go' 'spring%20run%26go' 'spring+run%26go' 'run log&1' 'run+log%261' \
              'run%20log%261' 'wrong-secret'; do
  if grep -F -q -- "$secret" "$out"; then
    echo "printed a password: $secret"
    status=1
  fi
done
lines=$(wc -l <"$out")
echo "checked $lines lines of output"
exit $status
