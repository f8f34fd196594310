#!/usr/bin/env bash
# Second-start benchmark: a real application started through the real updater, against the
# runtime's own "java -cp" of the same class.
#
# The script packages, once per run, an offline launcher holding the updater as it ships, an
# application whose main class is the bench class (it prints one line and returns) and a Java
# runtime; the launch files declare no heap sizes and no options, so the application shares the
# updater's virtual machine. A first start installs everything. Then it times, after one warm-up
# each, starts of the installed launcher (launcher, updater, application) against
# "<installed runtime>/bin/java -cp <application jar>" of the same class, alternating: the time
# to the main class (the bench class prints the wall-clock time it was reached) and the whole
# run, and prints the best of each side and their ratios. Target: ratio to the main class
# <= 1.05.
#
# Usage: bench/second_start_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build holding bin/ferrolan, bin/ferrolan-pack and
#              java/ferrolan-{updater,bench}.jar (default build/linux)
#   ROUNDS     timed rounds (default 10)
# Environment: FERROLAN_BENCH_JRE (see bench_common.sh); FERROLAN_BENCH_KEEP=1 keeps the work
# folder. The exit code is 0 when the benchmark ran (whatever the ratio), 1 when a start failed,
# 2 when something needed is missing.
set -euo pipefail
export FERROLAN_LOG_ECHO=1 FERROLAN_NO_DIALOGS=1
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
rounds=${2:-10}
jars=$build/java
for tool in "$build/bin/ferrolan-ship" "$build/bin/ferrolan-pack" "$jars/ferrolan-updater.jar" \
  "$jars/ferrolan-bench.jar"; do
  [ -e "$tool" ] || { echo "missing $tool: build the linux preset first" >&2; exit 2; }
done
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "rounds must be a positive whole number" >&2; exit 2; }

. "$here/bench_common.sh"
jre=$(bench_jre)
[ -x "$jre/bin/java" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-second-start.XXXXXX")
cleanup() {
  if [ "${FERROLAN_BENCH_KEEP:-0}" = 1 ]; then echo "[bench] work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

echo "[bench] runtime: $jre; packaging (minutes for a whole JDK the first time, then cached)"
FERROLAN_DEMO_LAUNCHER="$build/bin/ferrolan-ship" FERROLAN_DEMO_APP_MAIN=com.ferrolan.bench.BenchMain \
  FERROLAN_DEMO_APP_JARS="$jars/ferrolan-bench.jar" \
  FERROLAN_DEMO_HEAP="0 0" "$here/../scripts/package-demo.sh" "$build" "$jre" "$work" \
  >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }

cd "$work"
export PROGRAMDATA=$work/root/programdata APPDATA=$work/root/appdata XDG_DATA_HOME=$work/root/share
mkdir -p "$PROGRAMDATA" "$APPDATA"
master="$PROGRAMDATA/Ferrolan-Demo App"
out=$work/install.log
time_ms "./Demo App" || { echo "[bench] the first start failed (exit code $?):" >&2; tail -n 30 "$out" >&2; exit 1; }
echo "[bench] first start (install and run): $elapsed ms"
installed_jre=$(compgen -G "$master/Ferrolan-jre17-*-complete" | head -n 1)
app_jar=$(compgen -G "$master/Ferrolan-Demo App-*-complete/ferrolan-bench.jar" | head -n 1)
baseline=("$installed_jre/bin/java" -cp "$app_jar" com.ferrolan.bench.BenchMain)

out=$work/launch-warmup.log
time_ms "./Demo App" || { echo "[bench] second start failed (exit code $?):" >&2; tail -n 30 "$out" >&2; exit 1; }
grep -q "\[bench\] main reached" "$out" ||
  { echo "[bench] the application did not run:" >&2; tail -n 30 "$out" >&2; exit 1; }
if grep -q "in this virtual machine" "$out"; then
  echo "[bench] the application runs in the updater's virtual machine"
else
  echo "[bench] the application runs in a virtual machine of its own"
fi
out=/dev/null
time_ms "${baseline[@]}" || { echo "[bench] baseline java failed" >&2; exit 1; }

# Milliseconds from a start (time_ms's $start_epoch) to the main class, from the line it printed.
to_main() { # log-file
  local reached
  reached=$(sed -n 's/^\[bench\] main reached .* at \([0-9]*\)$/\1/p' "$1" | tail -n 1)
  [ -n "$reached" ] || { echo "[bench] no main line in $1" >&2; exit 1; }
  awk -v a="$start_epoch" -v b="$reached" 'BEGIN { printf "%.1f", b - a * 1000 }'
}
best_launch='' best_java='' main_launch='' main_java='' launch_all='' java_all=''
for _ in $(seq "$rounds"); do
  out=$work/launch.log
  time_ms "./Demo App" || { echo "[bench] launcher start failed (exit code $?)" >&2; exit 1; }
  best_launch=$(min "$best_launch" "$elapsed")
  main_launch=$(min "$main_launch" "$(to_main "$out")")
  launch_all+=" $(to_main "$out")/$elapsed"
  out=$work/java.log
  time_ms "${baseline[@]}" || { echo "[bench] baseline java failed" >&2; exit 1; }
  best_java=$(min "$best_java" "$elapsed")
  main_java=$(min "$main_java" "$(to_main "$out")")
  java_all+=" $(to_main "$out")/$elapsed"
done
echo "  launcher (ms to main / whole run):$launch_all"
echo "  java -cp (ms to main / whole run):$java_all"
r=$(ratio "$main_launch" "$main_java")
echo "[bench] second start to the main class: best launcher $main_launch ms, best java -cp" \
  "$main_java ms, ratio $r (target <= 1.05: $(verdict "$r" 1.05))"
echo "[bench] whole runs: best launcher $best_launch ms, best java -cp $best_java ms," \
  "ratio $(ratio "$best_launch" "$best_java")"
