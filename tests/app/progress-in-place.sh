#!/usr/bin/env bash
# On a terminal a sync's progress is one line rewritten in place, ended once
# the sync is done; script(1) gives strivo-cli a pseudo-terminal.
set -u
export LC_ALL=C
cli=$1
out=$(script -qec "'$cli' sync --demo" /dev/null </dev/null)
fail() { echo "FAIL: $*"; printf '%q\n' "${out: -2000}"; exit 1; }
[[ $out == *$'\r\e[Kposting 1/24\r\e[Kposting 2/24\r\e[K'* ]] || fail "no progress in place"
[[ $out == *$'\r\e[Kposting 24/24\r\n'* ]] || fail "the progress line is not ended"
[[ $out != *$'posting 1/24\r\n'* ]] || fail "a line per run"
echo "passed"
