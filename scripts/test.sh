#!/usr/bin/env bash
# Builds both targets and runs every test: natively (linux-x64, plus the sanitizer builds) and
# under Wine (windows-x64), then runs each fuzzer for a minute (preset "fuzz", scripts/fuzz.sh).
# Installs what is missing first. Ends with each runner's summary.
#   scripts/test.sh                 everything
#   FERROLAN_PRESETS="linux windows" scripts/test.sh   a subset
#   FERROLAN_FUZZ_SECONDS=60        how long each fuzzer runs
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"

presets=${FERROLAN_PRESETS:-"linux windows linux-asan linux-tsan fuzz"}
jobs=$(nproc)

"$here/install-deps.sh" || exit 1
# Compiler results are cached outside the tree, so a later run on the same machine (a fresh
# clone included: paths are taken relative to the tree) rebuilds only what changed.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
case " $presets " in *" windows "*) "$here/build-win-deps.sh" || exit 1 ;; esac

summary=()
status=0
wine_started=0
cleanup() {
  if [ "$wine_started" = 1 ]; then "$here/wine-prefix.sh" stop; fi
  if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# A display for the splash tests, started before the first Wine process of the run.
if command -v Xvfb >/dev/null 2>&1 && [ -z "${DISPLAY:-}" ]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
fi

for preset in $presets; do
  if [ "$preset" = fuzz ]; then
    # The fuzzers build their own preset (only the fuzz targets) and run one after the other;
    # their summary line counts each harness as a test.
    out=$(mktemp)
    "$here/fuzz.sh" "${FERROLAN_FUZZ_SECONDS:-60}" 2>&1 | tee "$out"
    [ "${PIPESTATUS[0]}" = 0 ] || status=1
    line=$(grep -E "^fuzz: [0-9]+ harnesses" "$out" | tail -n 1)
    if [[ "$line" =~ ^fuzz:\ ([0-9]+)\ harnesses,\ ([0-9]+)\ clean,\ ([0-9]+)\ failed ]]; then
      summary+=("fuzz: ${BASH_REMATCH[2]} of ${BASH_REMATCH[1]} fuzzers clean for ${FERROLAN_FUZZ_SECONDS:-60} s each, ${BASH_REMATCH[3]} tests failed out of ${BASH_REMATCH[1]}")
    else
      summary+=("fuzz: $(tail -n 1 "$out")")
      status=1
    fi
    rm -f "$out"
    continue
  fi
  echo "=== [$preset] configure and build"
  if ! cmake --preset "$preset" >"build-$preset.log" 2>&1; then
    tail -n 40 "build-$preset.log"; summary+=("$preset: configure FAILED"); status=1; continue
  fi
  if ! cmake --build --preset "$preset" -j "$jobs" >>"build-$preset.log" 2>&1; then
    grep -E "error|FAILED" "build-$preset.log" | head -n 40
    summary+=("$preset: build FAILED"); status=1; continue
  fi
  rm -f "build-$preset.log"
  if [ "$preset" = windows ] && [ "$wine_started" = 0 ]; then
    # Stop the wineserver at the end only if this run started it.
    if ! pgrep -f wineserver >/dev/null 2>&1; then wine_started=1; fi
    "$here/wine-prefix.sh" start || { summary+=("windows: Wine FAILED"); status=1; continue; }
  fi
  echo "=== [$preset] tests"
  out=$(mktemp)
  if [ "$preset" = linux-tsan ]; then
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/tsan.supp"
  fi
  ctest --preset "$preset" 2>&1 | tee "$out" | grep -E "^\s*[0-9]+/[0-9]+ Test .*(\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Not Run)|tests passed|tests failed" 
  rc=${PIPESTATUS[0]}
  if [ "$rc" != 0 ]; then
    status=1
    # Show the failing tests' output in full.
    awk '/\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception/{p=1} p' "$out" | head -n 200
  fi
  line=$(grep -E "tests passed, [0-9]+ tests failed out of" "$out" | tail -n 1)
  summary+=("$preset: ${line:-no summary}")
  rm -f "$out"
done

echo
echo "=== Summary"
passed=0; failed=0
for s in "${summary[@]}"; do
  echo "$s"
  if [[ "$s" =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
done
echo "$passed passed, $failed failed"
exit $status
