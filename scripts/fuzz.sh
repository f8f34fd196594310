#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset "fuzz": clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each one for SECONDS (default 600), one per processor at a time (FERROLAN_FUZZ_JOBS
# sets how many). Each run starts from the seed
# corpus the build wrote and keeps what it finds in build/fuzz/corpus/<harness>; a crash, leak,
# time-out or out-of-memory is saved as build/fuzz/artifacts/<harness>/<kind>-<hash>, to be
# replayed with: build/fuzz/bin/fuzz_<harness> FILE
#   scripts/fuzz.sh [SECONDS]              every harness
#   scripts/fuzz.sh SECONDS NAME...        the named harnesses only (e.g. params unarchiver)
#   FERROLAN_FUZZ_NO_BUILD=1 scripts/fuzz.sh   run what is built
# Prints one line per harness (executions, executions per second, result) and a summary line
# "fuzz: N harnesses, N clean, 0 failed"; the exit code is 0 only when every harness ran clean.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"

seconds=${1:-600}
shift || true
all="base64 hex params tail_reader launch_file lso unarchiver unarchiver_signed png jar_reader"
harnesses=${*:-$all}
build=build/fuzz

# Inputs each harness takes: Params values reach 200,000 bytes, so its inputs must be able to
# hold several; the others need no more than a few archive entries.
max_len() {
  case "$1" in
    params) echo 700000 ;;
    tail_reader | unarchiver | unarchiver_signed) echo 65536 ;;
    *) echo 16384 ;;
  esac
}

if [ -z "${FERROLAN_FUZZ_NO_BUILD:-}" ]; then
  echo "=== [fuzz] configure and build"
  log=$(mktemp)
  if ! { cmake --preset fuzz && cmake --build --preset fuzz -j 2; } >"$log" 2>&1; then
    grep -E "error|FAILED" "$log" | head -n 40
    rm -f "$log"
    echo "fuzz: build FAILED"
    exit 1
  fi
  rm -f "$log"
fi

# The harnesses run side by side, one per processor: each is single-threaded, so a minute each
# costs a minute per processor, not a minute per harness.
jobs=${FERROLAN_FUZZ_JOBS:-$(nproc)}
echo "=== [fuzz] each harness for $seconds s, $jobs at a time"

# Runs one harness and writes its report line (and, on failure, the findings) to $build/fuzz-NAME.result.
run_harness() {
  local name=$1
  local binary=$build/bin/fuzz_$name
  local corpus=$build/corpus/$name
  local artifacts=$build/artifacts/$name
  local output=$build/fuzz-$name.log
  local result=$build/fuzz-$name.result
  mkdir -p "$corpus" "$artifacts"
  # -close_fd_mask=1 silences the readers' standard output (libFuzzer reports on standard error);
  # -timeout catches an input that hangs, -rss_limit_mb one that takes memory without bound.
  "$binary" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -max_len="$(max_len "$name")" -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "$build/fuzz-seeds/$name" >"$output" 2>&1
  local rc=$?
  local runs rate
  runs=$(grep -oE "stat::number_of_executed_units: *[0-9]+" "$output" | grep -oE "[0-9]+$" | tail -n 1)
  rate=$(grep -oE "stat::average_exec_per_sec: *[0-9]+" "$output" | grep -oE "[0-9]+$" | tail -n 1)
  if [ "$rc" = 0 ]; then
    printf '%-18s %10s runs %8s exec/s  clean\n' "$name" "${runs:-0}" "${rate:-0}" >"$result"
  else
    {
      printf '%-18s %10s runs %8s exec/s  FAILED (exit %s), see %s\n' "$name" "${runs:-0}" \
        "${rate:-0}" "$rc" "$output"
      grep -E "ERROR:|SUMMARY:|Test unit written" "$output" | head -n 10
    } >"$result"
  fi
}

running=0
for name in $harnesses; do
  rm -f "$build/fuzz-$name.result"
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_harness "$name" &
  running=$((running + 1))
done
wait

clean=0
failed=0
count=0
for name in $harnesses; do
  count=$((count + 1))
  result=$build/fuzz-$name.result
  if [ -f "$result" ] && grep -q "  clean$" "$result"; then
    clean=$((clean + 1))
  else
    failed=$((failed + 1))
  fi
  cat "$result" 2>/dev/null || echo "$name: no result"
done
echo "fuzz: $count harnesses, $clean clean, $failed failed"
[ "$failed" = 0 ]
