#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang 14 and runs each of them for
# SECONDS (default 60) on its checked-in corpus. Exits non-zero when any target
# finds a crash, a sanitizer report, a broken property, a leak or a hang; the
# input that did it is kept under <build>/fuzz-artifacts/ to reproduce with
#   <build>/fuzz/strivo_fuzz_<target> <artifact>
#
# Usage: scripts/fuzz.sh [SECONDS]
# Environment: FUZZ_BUILD_DIR (default build-fuzz), JOBS (default 2: targets run two at a time),
#              FUZZ_TARGETS (names to run, e.g. "ini_file csv_export"; default all).
# Installs nothing: clang-14 and libclang-rt-14-dev must be there (make deps).
set -euo pipefail

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${JOBS:-2}

if ! command -v clang-14 >/dev/null || ! command -v clang++-14 >/dev/null; then
  echo "fuzz: clang-14 is not installed; install the packages clang-14 and libclang-rt-14-dev" >&2
  echo "      (scripts/install-deps.sh does)" >&2
  exit 2
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if ! clang++-14 -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz: clang++-14 cannot link a libFuzzer target; install libclang-rt-14-dev" >&2
  exit 2
fi

# File by file, without precompiled headers: a source that forgets an
# #include fails here, as it would for anyone building that way.
echo "== building the fuzz targets in $build"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTRIVO_FUZZ=ON -DSTRIVO_SANITIZE=address,undefined,fuzzer-no-link \
  -DSTRIVO_BUILD_TESTS=OFF -DSTRIVO_BUILD_BENCHMARKS=OFF -DSTRIVO_PRECOMPILED_HEADERS=OFF \
  -DSTRIVO_UNITY_BUILD=OFF >/dev/null
cmake --build "$build" --target strivo_fuzzers -j "$jobs"

targets=()
if [[ -n "${FUZZ_TARGETS:-}" ]]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  for corpus in "$root"/fuzz/corpus/*/; do
    targets+=("$(basename "$corpus")")
  done
fi

artifacts="$build/fuzz-artifacts"
logs="$build/fuzz-logs"
mkdir -p "$artifacts" "$logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_stack_use_after_return=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

rm -f "$logs"/*.result
# One target for its time, its result in $logs/TARGET.result; run JOBS at a time.
run_target() {
  local target=$1
  local exe="$build/fuzz/strivo_fuzz_$target"
  local corpus="$root/fuzz/corpus/$target"
  local result="$logs/$target.result"
  if [[ ! -x "$exe" || ! -d "$corpus" ]]; then
    echo "fuzz: target $target has no executable ($exe) or no corpus ($corpus)" >&2
    printf '%-16s %14s  %s\n' "$target" "-" "NOT BUILT" >"$result"
    return 1
  fi
  # New inputs go to the first directory only: the checked-in corpus is read, never grown.
  local work="$probe/$target"
  mkdir -p "$work"
  local log="$logs/$target.log"
  echo "== $target: ${seconds}s"
  local status=0
  "$exe" "$work" "$corpus" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$artifacts/$target-" >"$log" 2>&1 || status=$?
  local executions
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rm -rf "$work"
  if [[ $status -eq 0 ]]; then
    printf '%-16s %14s  %s\n' "$target" "${executions:-?}" "ok" >"$result"
    return 0
  fi
  printf '%-16s %14s  %s\n' "$target" "${executions:-?}" "FOUND (exit $status)" >"$result"
  {
    echo "---- $target failed (exit $status); end of $log:"
    tail -n 40 "$log"
    echo "---- inputs kept: $(ls "$artifacts" | grep "^$target-" | tr '\n' ' ')"
  } >&2
  return 1
}

# Two (JOBS) targets at a time: each takes one core for its time.
running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if [[ $running -ge $jobs ]]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

summary=()
failed=()
for target in "${targets[@]}"; do
  summary+=("$(cat "$logs/$target.result" 2>/dev/null || printf '%-16s %14s  %s' "$target" "-" "NO RESULT")")
  grep -q ' ok$' "$logs/$target.result" 2>/dev/null || failed+=("$target")
done

echo
printf '%-16s %14s  %s\n' target executions result
printf '%s\n' "${summary[@]}"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz: findings in: ${failed[*]} (inputs in $artifacts, logs in $logs)" >&2
  exit 1
fi
