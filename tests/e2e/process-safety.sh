#!/usr/bin/env bash
# strivo-cli as a process: passwords leave no trace in its environment or a
# core file, Ctrl-C at the password prompt leaves the terminal echoing, and a
# closed pipe does not cut a sync short.
set -u
export LC_ALL=C  # its checks read English
cli=$1
sim=$2
dir=$(mktemp -d)
trap 'kill $simpid 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Answers held back, so that the CLI waits while it is looked at.
"$sim" --ca-out "$dir/ca.pem" --fault '*,delay=5000' >"$dir/sim.out" &
simpid=$!
for _ in $(seq 50); do grep -q '^cafile=' "$dir/sim.out" && break; sleep 0.1; done
# No password in the file: the prompt below asks for one.
sed -n '/^\[nike+\]/,$p' "$dir/sim.out" | sed -e 's/^\[nike+\]/[nike+]\nuser=me/' -e '/^pwd=/d' \
  >"$dir/config.ini"

STRIVO_NIKE_PASSWORD=secret-4711 "$cli" download --config "$dir/config.ini" >/dev/null 2>&1 &
pid=$!
sleep 1
tr '\0' '\n' <"/proc/$pid/environ" | grep -q secret-4711 && fail "the password stays in the environment"
grep -Eq '^Max core file size +0 +0 ' "/proc/$pid/limits" || fail "a core file could be written"
kill $pid

# ^C at the prompt (no password anywhere), then the shell asks the terminal.
out=$( (sleep 1; printf '\003'; sleep 1) |
      script -qec "sh -c \"trap '' INT; '$cli' download --config '$dir/config.ini'; stty -a\"" /dev/null)
grep -q 'password:' <<<"$out" || fail "no prompt: $out"
grep -Eq '(^| )echo( |$)' <<<"$out" || fail "echo stays off after Ctrl-C"

# A closed pipe: the sync is made, the failed write said.
"$cli" sync --demo 2>"$dir/err" | true
status=${PIPESTATUS[0]}
[[ $status == 1 ]] || fail "exit status $status"
grep -q "^posting 24/24$" "$dir/err" || fail "the sync was cut short"
grep -q 'cannot write to standard output' "$dir/err" || fail "the failed write was not said"
echo "passed"
