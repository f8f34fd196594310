#!/usr/bin/env bash
# Splash benchmark (Linux, under Xvfb): an offline launcher installs and launches (a normal run,
# which shows the splash) into a fresh root each round, once with a display and once without.
# It reports:
#   1. the time from the launcher's process start to its splash window being up ("[Splash]
#      Showing a ..." in its output: the window is mapped and its first frame is being painted),
#      target <= 100 ms;
#   2. what the splash costs the run: the best run with a display against the best without,
#      target <= 1.02.
#
# Usage: bench/splash_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build holding bin/ferrolan, bin/ferrolan-pack and
#              java/ferrolan-{updater,demo,bench}.jar (default build/linux)
#   ROUNDS     rounds of each kind (default 5)
# Environment: FERROLAN_BENCH_JRE, the Java runtime to carry (see bench_common.sh; by default the
# small runtime the end-to-end tests link, build/linux/tests/e2e/runtime, when it exists).
# Starts its own Xvfb and stops it by its PID. Exit code 0 when every run worked.
set -euo pipefail
# The launcher's log lines on its standard output, which this script reads; no dialogs.
export FERROLAN_LOG_ECHO=1 FERROLAN_NO_DIALOGS=1
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
rounds=${2:-5}
for tool in "$build/bin/ferrolan-ship" "$build/bin/ferrolan-pack" "$build/java/ferrolan-bench.jar"; do
  [ -e "$tool" ] || { echo "missing $tool: build the linux preset first" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is needed" >&2; exit 2; }
. "$here/bench_common.sh"
jre=${FERROLAN_BENCH_JRE:-}
if [ -z "$jre" ] && [ -x "$build/tests/e2e/runtime/bin/java" ]; then jre=$build/tests/e2e/runtime; fi
[ -n "$jre" ] || jre=$(bench_jre)
[ -x "$jre/bin/java" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-splash-bench.XXXXXX")
xvfb_pid=''
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
display=:$((200 + RANDOM % 300))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1

echo "[bench] runtime: $jre"
FERROLAN_DEMO_LAUNCHER="$build/bin/ferrolan-ship" FERROLAN_DEMO_UPDATER_MAIN=com.ferrolan.bench.BenchMain \
  FERROLAN_DEMO_UPDATER_JARS="$build/java/ferrolan-bench.jar" FERROLAN_DEMO_HEAP="0 0" \
  FERROLAN_DEMO_SPLASH="$here/../src/launcher/testdata/qv_logo.png" \
  "$here/../scripts/package-demo.sh" "$build" "$jre" "$work" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }

# run WITH_DISPLAY: one install and launch into a fresh root; prints "<total ms> <splash ms>"
# (splash -1 when no window came up) and fails when the run did.
run() {
  rm -rf "$work/root"
  mkdir -p "$work/root/programdata" "$work/root/appdata"
  (cd "$work" && PROGRAMDATA=$work/root/programdata APPDATA=$work/root/appdata \
    XDG_DATA_HOME=$work/root/share \
    DISPLAY=$([ "$1" = 1 ] && echo "$display") python3 - "./Demo App" <<'PY'
import subprocess, sys, time
start = time.monotonic()
process = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
shown = None
for line in process.stdout:
    if shown is None and b"[Splash] Showing a" in line:
        shown = time.monotonic()
code = process.wait()
end = time.monotonic()
print("%.1f %.1f" % ((end - start) * 1000, (shown - start) * 1000 if shown else -1))
sys.exit(code)
PY
  )
}

best_with='' best_without='' best_splash='' splash_all=''
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
run 1 >/dev/null && run 0 >/dev/null || { echo "[bench] the warm-up run failed" >&2; exit 1; }
for round in $(seq "$rounds"); do
  result=$(run 1) || { echo "[bench] run with a display failed" >&2; exit 1; }
  read -r with splash <<<"$result"
  result=$(run 0) || { echo "[bench] run without a display failed" >&2; exit 1; }
  read -r without _ <<<"$result"
  [ "$splash" != -1.0 ] || { echo "[bench] no splash came up with a display" >&2; exit 1; }
  echo "  round $round: with display $with ms (splash up after $splash ms), without $without ms"
  best_with=$(min "$best_with" "$with")
  best_without=$(min "$best_without" "$without")
  best_splash=$(min "$best_splash" "$splash")
  splash_all+=" $splash"
done
ratio=$(awk -v a="$best_with" -v b="$best_without" 'BEGIN { printf "%.3f", a / b }')
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r + 0 <= t + 0) ? "PASS" : "ABOVE TARGET" }'; }
echo "[bench] splash up after (ms):$splash_all; best $best_splash ms" \
  "(target <= 100: $(verdict "$best_splash" 100))"
echo "[bench] install and launch: best with a display $best_with ms, without $best_without ms," \
  "ratio $ratio (target <= 1.02: $(verdict "$ratio" 1.02))"
