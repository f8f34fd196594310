#!/usr/bin/env bash
# Install and launch benchmarks of a real offline launcher carrying a full Java runtime.
#
# The script packages, once per run, an offline launcher holding the updater (with the bench
# main class as its main class), the demo application and the whole machine's OpenJDK 17
# (scripts/package-demo.sh), and the same runtime folder as a stand-alone signed archive in the
# same form as the one the launcher carries (xz blocks). Then it measures:
#
#   1. Offline install: a first start of the launcher with "FLPREPARE_FOR_LAUNCH_ONLY" into an
#      empty PROGRAMDATA root (so the timed work is the install: tail read, signature checks,
#      extraction of the three archives, class-data regeneration), against "xz -dc" of the
#      stand-alone runtime archive. Each round uses a fresh root; the best of each is kept.
#      Target: ratio <= 0.80.
#   2. Run as installed: with everything installed and the launcher still carrying the full
#      runtime, a start of the launcher up to the end of the bench main class (run in-process
#      through JNI) against "<installed runtime>/bin/java -cp ferrolan-bench.jar" of the same
#      class on the same runtime. Whole-process wall times, both including the virtual
#      machine's start and shutdown, one warm-up each, then the best of the rounds.
#      Target: ratio <= 0.95. When jpackage is at hand (the runtime's own, or the one on PATH),
#      the same class is also packaged as a jpackage app image on the same runtime and timed
#      in the same rounds. Target: ratio to the app image <= 0.5.
#
# It prints, for each benchmark, the best time of both sides in milliseconds and the ratio, and
# a PASS/ABOVE TARGET verdict; for the launch benchmark also the launcher's own log timeline of
# one run as installed (the "+<ms>" deltas), which shows where the launcher's time goes.
#
# Usage: bench/install_bench.sh [BUILD_DIR] [INSTALL_ROUNDS] [LAUNCH_ROUNDS]
#   BUILD_DIR       a native build holding bin/ferrolan, bin/ferrolan-pack and
#                   java/ferrolan-{updater,demo,bench}.jar (default build/linux); build the
#                   targets ferrolan ferrolan-pack ferrolan_updater_jar ferrolan_demo_jar
#                   ferrolan_bench_jar first
#   INSTALL_ROUNDS  rounds of the install benchmark (default 3)
#   LAUNCH_ROUNDS   rounds of the launch benchmark (default 10)
# Environment:
#   FERROLAN_BENCH_JRE   the Java runtime folder to carry; by default the machine's OpenJDK 17,
#                        or the one the "java" on PATH belongs to
#   FERROLAN_BENCH_KEEP  1 keeps the work folder (launcher, archive, installed root, logs) for
#                        a closer look afterwards; its path is printed
#   TMPDIR               where the work folder goes (it needs about three times the runtime's
#                        size while an install round runs)
# Packaging a runtime of a few hundred megabytes takes minutes; the two packagings run side by
# side. The exit code is 0 when both benchmarks ran (whatever the ratios), 1 when a launcher
# run failed, 2 when something needed is missing.
set -euo pipefail
# The launcher's log lines on its standard output, which this script reads; no dialogs.
export FERROLAN_LOG_ECHO=1 FERROLAN_NO_DIALOGS=1
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
install_rounds=${2:-3}
launch_rounds=${3:-10}

launcher=$build/bin/ferrolan-ship
pack=$build/bin/ferrolan-pack
jars=$build/java
for tool in "$launcher" "$pack" "$jars/ferrolan-updater.jar" "$jars/ferrolan-demo.jar" \
  "$jars/ferrolan-bench.jar"; do
  [ -e "$tool" ] || { echo "missing $tool: build the linux preset's launcher, packager and jars first" >&2; exit 2; }
done
command -v xz >/dev/null || { echo "xz is needed for the baseline" >&2; exit 2; }
[[ $install_rounds =~ ^[1-9][0-9]*$ && $launch_rounds =~ ^[1-9][0-9]*$ ]] ||
  { echo "rounds must be positive whole numbers" >&2; exit 2; }

. "$here/bench_common.sh"
jre=$(bench_jre)
[ -x "$jre/bin/java" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-install-bench.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ "${FERROLAN_BENCH_KEEP:-0}" = 1 ]; then
    echo "[bench] work folder kept: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# ---- Packaging ----------------------------------------------------------------------------
echo "[bench] runtime: $jre ($(du -sLh "$jre" 2>/dev/null | cut -f1))"
# The demo packaging with the bench class as the updater's main class, and no heap sizes in
# the launch files, so the launcher's virtual machine runs with the same defaults as the bare
# "java" baseline. The stand-alone archive is the same folder in the same form (xz blocks) as
# the one the launcher carries; only the signature's random salt differs.
echo "[bench] packaging the launcher and the stand-alone runtime archive (minutes)"
start=$EPOCHREALTIME
"$pack" keygen -o "$work/bench" >/dev/null
"$pack" archive "$jre" -o "$work/jre.p2.l2" --key "$work/bench.private.der" --format xz \
  >"$work/archive.log" 2>&1 &
pids+=($!)
FERROLAN_DEMO_LAUNCHER="$launcher" FERROLAN_DEMO_UPDATER_MAIN=com.ferrolan.bench.BenchMain \
  FERROLAN_DEMO_UPDATER_JARS="$jars/ferrolan-bench.jar" FERROLAN_DEMO_HEAP="0 0" \
  "$here/../scripts/package-demo.sh" "$build" "$jre" "$work" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }
mv "$work/Demo App" "$work/Bench App"
wait "${pids[0]}" || { cat "$work/archive.log" >&2; exit 1; }
pids=()
echo "[bench] packaged in $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%d", b - a }') s:" \
  "launcher $(stat -c %s "$work/Bench App") bytes, runtime archive $(stat -c %s "$work/jre.p2.l2") bytes"

# ---- 1. Offline install -------------------------------------------------------------------
# Both sides read files that were just written, so both start from the page cache.
cd "$work"
echo "[bench] offline install: $install_rounds round(s), each into a fresh root"
best_install='' best_xz=''
for round in $(seq "$install_rounds"); do
  root=$work/root-$round
  rm -rf "$work"/root-*
  mkdir -p "$root/programdata" "$root/appdata"
  out=$work/install-$round.log
  PROGRAMDATA=$root/programdata APPDATA=$root/appdata \
    time_ms "./Bench App" FLPREPARE_FOR_LAUNCH_ONLY ||
    { echo "[bench] install round $round failed (exit code $?):" >&2; tail -n 30 "$out" >&2; exit 1; }
  install_ms=$elapsed
  [ "$(min "$best_install" "$install_ms")" = "$best_install" ] || cp "$out" "$work/install-best.log"
  compgen -G "$root/programdata/Ferrolan-Demo App/Ferrolan-jre17-*-complete/bin/java" >/dev/null ||
    { echo "[bench] install round $round left no runtime" >&2; tail -n 30 "$out" >&2; exit 1; }
  out=/dev/null
  time_ms sh -c 'xz -dc "$1" >/dev/null' xz "$work/jre.p2.l2" ||
    { echo "[bench] xz -dc failed" >&2; exit 1; }
  xz_ms=$elapsed
  echo "  round $round: launcher install $install_ms ms, xz -dc $xz_ms ms"
  best_install=$(min "$best_install" "$install_ms")
  best_xz=$(min "$best_xz" "$xz_ms")
done
install_ratio=$(ratio "$best_install" "$best_xz")
echo "[bench] offline install: best launcher $best_install ms, best xz -dc $best_xz ms," \
  "ratio $install_ratio (target <= 0.80: $(verdict "$install_ratio" 0.80))"
echo "[bench] launcher timeline of its fastest install (steps of 20 ms or more):"
timeline "$work/install-best.log" 20

# ---- 2. Run as installed ------------------------------------------------------------------
# The last install round's root stays: the launcher finds everything current and launches.
# The menu entry a normal start makes stays in the bench's root too.
export PROGRAMDATA=$root/programdata APPDATA=$root/appdata XDG_DATA_HOME=$root/share
master="$PROGRAMDATA/Ferrolan-Demo App"
installed_jre=$(compgen -G "$master/Ferrolan-jre17-*-complete" | head -n 1)
bench_jar=$(compgen -G "$master/Ferrolan-Ferrolan-*-complete/ferrolan-bench.jar" | head -n 1)
baseline=("$installed_jre/bin/java" -cp "$bench_jar" com.ferrolan.bench.BenchMain)

# jpackage's app image of the same class on the same runtime, when jpackage is at hand.
jpackage=$installed_jre/bin/jpackage
[ -x "$jpackage" ] || jpackage=$(command -v jpackage || true)
image=()
if [ -n "$jpackage" ]; then
  mkdir -p "$work/jpackage-input"
  cp "$jars/ferrolan-bench.jar" "$work/jpackage-input/"
  if "$jpackage" --type app-image --name BenchImage --input "$work/jpackage-input" \
    --main-jar ferrolan-bench.jar --main-class com.ferrolan.bench.BenchMain \
    --runtime-image "$installed_jre" --dest "$work/jpackage" >"$work/jpackage.log" 2>&1; then
    image=("$work/jpackage/BenchImage/bin/BenchImage")
  else
    echo "[bench] jpackage could not make the app image; it is left out:"
    tail -n 5 "$work/jpackage.log"
  fi
else
  echo "[bench] no jpackage found; the app-image comparison is left out"
fi

echo "[bench] run as installed: one warm-up each, then $launch_rounds round(s)"
out=$work/launch-warmup.log
time_ms "./Bench App" || { echo "[bench] launcher run failed (exit code $?):" >&2; tail -n 30 "$out" >&2; exit 1; }
grep -q "Running without extraction" "$out" && grep -q "\[bench\] main reached" "$out" ||
  { echo "[bench] the launcher did not run the bench class as installed:" >&2; tail -n 30 "$out" >&2; exit 1; }
out=$work/java-warmup.log
time_ms "${baseline[@]}" || { echo "[bench] baseline java failed:" >&2; cat "$out" >&2; exit 1; }
grep -q "\[bench\] main reached" "$out" || { echo "[bench] baseline did not run" >&2; exit 1; }
if [ ${#image[@]} -gt 0 ]; then
  time_ms "${image[@]}" || { echo "[bench] the app image failed:" >&2; cat "$out" >&2; exit 1; }
  grep -q "\[bench\] main reached" "$out" || { echo "[bench] the app image did not run" >&2; exit 1; }
fi

best_launch='' best_java='' best_image=''
launch_all='' java_all='' image_all=''
for round in $(seq "$launch_rounds"); do
  out=$work/launch.log
  time_ms "./Bench App" || { echo "[bench] launcher run failed (exit code $?)" >&2; exit 1; }
  launch_ms=$elapsed
  # The timeline of the fastest launcher run is the one shown below.
  [ "$(min "$best_launch" "$launch_ms")" = "$best_launch" ] || cp "$out" "$work/launch-best.log"
  best_launch=$(min "$best_launch" "$launch_ms")
  out=/dev/null
  time_ms "${baseline[@]}" || { echo "[bench] baseline java failed" >&2; exit 1; }
  best_java=$(min "$best_java" "$elapsed")
  launch_all+=" $launch_ms" java_all+=" $elapsed"
  if [ ${#image[@]} -gt 0 ]; then
    time_ms "${image[@]}" || { echo "[bench] the app image failed" >&2; exit 1; }
    best_image=$(min "$best_image" "$elapsed")
    image_all+=" $elapsed"
  fi
done
echo "  launcher (ms):$launch_all"
echo "  java -cp (ms):$java_all"
[ ${#image[@]} -eq 0 ] || echo "  jpackage app image (ms):$image_all"
launch_ratio=$(ratio "$best_launch" "$best_java")
echo "[bench] run as installed: best launcher $best_launch ms, best java -cp $best_java ms," \
  "ratio $launch_ratio (target <= 0.95: $(verdict "$launch_ratio" 0.95))"
if [ ${#image[@]} -gt 0 ]; then
  image_ratio=$(ratio "$best_launch" "$best_image")
  echo "[bench] against jpackage's app image: best $best_image ms, ratio $image_ratio" \
    "(target <= 0.5: $(verdict "$image_ratio" 0.5))"
fi
echo "[bench] launcher timeline of its fastest run (steps of 1 ms or more):"
timeline "$work/launch-best.log" 1
