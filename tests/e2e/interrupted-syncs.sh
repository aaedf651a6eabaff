#!/usr/bin/env bash
# Syncs of 300 runs cut short by SIGKILL and SIGINT, then run to the end: no
# run reaches the run log twice, every run the log lacks is held back as
# unknown, nothing is lost once the held runs are settled, and a SIGINT lets
# the post in flight finish and be kept before the process ends by it.
#
#   interrupted-syncs.sh CLI SIM [--full]
# CI interrupts STRIVO_KILLS (default 6) and STRIVO_INTERRUPTS (default 4)
# syncs; --full makes them 50 and 30. Half land at a fixed point (just after
# a progress line, inside the next, delayed post), half at seeded moments.
set -u
export LC_ALL=C  # its checks read English
cli=$1
sim=$2
kills=${STRIVO_KILLS:-6}
interrupts=${STRIVO_INTERRUPTS:-4}
if [[ ${3:-} == --full ]]; then
  kills=50
  interrupts=30
fi
RANDOM=4711
dir=$(mktemp -d)
trap 'kill $simpid 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$sim" --runs 300 --seed 7 --ca-out "$dir/ca.pem" --fault '/runlogger.php,delay=15' >"$dir/sim.out" &
simpid=$!
for _ in $(seq 50); do grep -q '^cafile=' "$dir/sim.out" && break; sleep 0.1; done
sed -n '/^\[nike+\]/,$p' "$dir/sim.out" |
  sed -e 's/^\[nike+\]/[nike+]\nuser=demo.runner@strivo.example/' \
      -e 's/^\[kelvora\]/[kelvora]\nuser=李昞赟/' >"$dir/config.ini"
site=http://127.0.0.1:$(sed -n '/^\[kelvora\]/,$s/^http_port=//p' "$dir/sim.out")
export STRIVO_NIKE_PASSWORD='spring run&go' STRIVO_SITE_PASSWORD='run log&1'
config=(--config "$dir/config.ini")

on_site() { curl -s "$site/__sim/entries" | grep -o '\["nikerunid","[0-9]*"\]' | tr -dc '0-9\n'; }
# The RunID is the field before the post's state.
held() {
  "$cli" runs "${config[@]}" |
    awk '/unknown since/ { for (i = 2; i <= NF; i++) if ($i == "unknown") print $(i - 1) }'
}

"$cli" download "${config[@]}" 2>/dev/null | awk 'NR > 2 && $NF ~ /^[0-9]+$/ { print $NF }' |
  sort >"$dir/all"
[[ $(wc -l <"$dir/all") == 300 ]] || fail "the download did not list 300 runs"

# One sync, cut short by `signal` after `wait` seconds or, for "fixed", just
# after the progress line of a seeded post.
interrupt() {
  local signal=$1 when=$2
  "$cli" sync "${config[@]}" >"$dir/out" 2>"$dir/err" &
  local pid=$!
  if [[ $when == fixed ]]; then
    local line="posting $((RANDOM % 280 + 1))/"
    for _ in $(seq 600); do grep -q "^$line" "$dir/err" && break; sleep 0.01; done
    sleep 0.005
  else
    sleep "$(printf '0.%03d' $((RANDOM % 1000)))"
  fi
  kill -s "$signal" $pid 2>/dev/null
  { wait $pid; } 2>/dev/null
  status=$?
}

for round in $(seq $((kills + interrupts))); do
  if ((round <= kills)); then signal=KILL; else signal=INT; fi
  when=random
  ((round % 2)) && when=fixed
  before=$(held | wc -l)
  interrupt $signal $when
  if [[ $signal == INT && $status != 0 ]]; then
    [[ $status == 130 ]] || fail "round $round: SIGINT gave status $status: $(cat "$dir/err")"
    # Before the first post the signal ends the process as it always did.
    grep -q '^posting ' "$dir/err" || continue
    grep -q '^strivo-cli: interrupted: [0-9]* runs\? posted$' "$dir/err" ||
      fail "round $round: no line saying what was posted: $(cat "$dir/err")"
    [[ $(held | wc -l) == "$before" ]] || fail "round $round: the post in flight was not kept"
  fi
done

# Syncs to the end: the held runs stay back, everything else goes.
"$cli" sync "${config[@]}" >"$dir/out" 2>"$dir/err" || fail "the last sync failed: $(cat "$dir/err")"
on_site | sort >"$dir/site"
[[ -z $(uniq -d "$dir/site") ]] || fail "on the site twice: $(uniq -d "$dir/site" | xargs)"
held | sort >"$dir/held"
missing=$(comm -23 "$dir/all" "$dir/site" | comm -23 - "$dir/held")
[[ -z $missing ]] || fail "neither on the site nor held back: $missing"
if [[ -s $dir/held ]]; then
  grep -q 'held back' "$dir/err" || fail "the held runs were not named"
fi

# The runner looks at the run log and settles; then nothing is lost.
there=$(comm -12 "$dir/held" "$dir/site" | xargs)
gone=$(comm -23 "$dir/held" "$dir/site" | xargs)
[[ -z $there ]] || "$cli" settle --posted $there "${config[@]}" >/dev/null || fail "settle --posted"
[[ -z $gone ]] || "$cli" settle --repost $gone "${config[@]}" >/dev/null || fail "settle --repost"
"$cli" sync "${config[@]}" >/dev/null 2>"$dir/err" || fail "the sync after settling: $(cat "$dir/err")"
on_site | sort >"$dir/site"
[[ -z $(uniq -d "$dir/site") ]] || fail "on the site twice after settling"
cmp -s "$dir/all" "$dir/site" || fail "lost: $(comm -23 "$dir/all" "$dir/site" | xargs)"
# A hang-up stops a sync as SIGINT does, and status names what stopped it.
"$cli" settle --repost --again $(head -50 "$dir/all" | xargs) "${config[@]}" >/dev/null ||
  fail "settle --repost --again"
"$cli" sync "${config[@]}" >"$dir/out" 2>"$dir/err" &
pid=$!
for _ in $(seq 600); do grep -q '^posting 1/' "$dir/err" && break; sleep 0.01; done
kill -s HUP $pid
{ wait $pid; } 2>/dev/null
"$cli" status "${config[@]}" >"$dir/status"
grep -qx '  interrupted by SIGHUP (its terminal closed)' "$dir/status" ||
  fail "status after SIGHUP: $(cat "$dir/status")"
echo "passed: $kills SIGKILLs, $interrupts SIGINTs, $(wc -w <<<"$there $gone") held and settled, a SIGHUP named"
