#!/usr/bin/env bash
# Time to the main window of two real Swing applications, jEdit and Jmol from Debian
# (tests/e2e/swing_apps_common.sh), each opening a document: through their installed launchers
# (in the updater's virtual machine) against "java -jar" of the same runtime, alternating, on a
# screen of the benchmark's own. Each run starts from the same settings folder (made by one
# untimed run) and is ended once its window shows; the window is looked for every 50 ms. Prints
# each run, then the best and the median of each side and the ratio of the medians.
#
# Usage: bench/swing_apps_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build of the linux preset (default build/linux): its packager and the
#              desktop runtime the end-to-end tests link (tests/e2e/runtime-desktop)
#   ROUNDS     timed rounds per application (default 5)
# Needs the Debian packages jedit and jmol, Xvfb and xwininfo. The exit code is 0 when the
# benchmark ran, 1 when a start failed, 2 when something needed is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
rounds=${2:-5}
. "$here/../tests/e2e/swing_apps_common.sh"
missing=$(swing_apps_missing)
[ -z "$missing" ] || { echo "$missing" >&2; exit 2; }
runtime=$build/tests/e2e/runtime-desktop
[ -x "$runtime/bin/java" ] || { echo "missing $runtime: build the linux preset first" >&2; exit 2; }
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "rounds must be a positive whole number" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-swing-bench.XXXXXX")
xvfb=
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
xvfb=$(swing_display "$work") || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$work/display")
export PROGRAMDATA=$work/root/programdata APPDATA=$work/root/appdata XDG_DATA_HOME=$work/root/share
export FERROLAN_NO_DESKTOP_INTEGRATION=1 FERROLAN_NO_DIALOGS=1
unset FERROLAN_LOG_ECHO
mkdir -p "$PROGRAMDATA" "$APPDATA"
swing_apps_package "$work" "$build" "$runtime" || { echo "packaging failed" >&2; exit 1; }

# to_window HOME TITLE COMMAND...: starts COMMAND in the documents' folder with a copy of the
# settings folder HOME, waits for the window TITLE, ends the run; $elapsed is the time in ms.
to_window() {
  local home=$1 title=$2 pid start
  shift 2
  rm -rf "$work/home"
  cp -r "$home" "$work/home"
  start=$EPOCHREALTIME
  (cd "$work/docs" && exec env HOME="$work/home" "$@") >/dev/null 2>&1 &
  pid=$!
  if ! window_class "$title" >/dev/null; then
    kill "$pid" 2>/dev/null || true
    echo "[bench] no window \"$title\" from $*" >&2
    exit 1
  fi
  elapsed=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

stats() { # values...: best and median
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "best %d ms, median %d ms", v[1], v[int((NR + 1) / 2)] }'
}
median() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

bench_app() { # NAME TITLE DOCUMENT LAUNCHER JAVA_COMMAND...
  local name=$1 title=$2 document=$3 launcher=$4 java=() launched=()
  shift 4
  mkdir -p "$work/home-$name"
  # Untimed: the install, and the settings folder every run starts from.
  to_window "$work/home-$name" "$title" "$launcher" "$document"
  to_window "$work/home-$name" "$title" "$@" "$document"
  rm -rf "$work/home-$name" && cp -r "$work/home" "$work/home-$name"
  for _ in $(seq 1 "$rounds"); do
    to_window "$work/home-$name" "$title" "$@" "$document"
    java+=("$elapsed")
    to_window "$work/home-$name" "$title" "$launcher" "$document"
    launched+=("$elapsed")
  done
  echo "[bench] $name: launcher ${launched[*]} ms; java -jar ${java[*]} ms"
  echo "[bench] $name: launcher $(stats "${launched[@]}"); java -jar $(stats "${java[@]}");" \
    "ratio of medians $(awk -v a="$(median "${launched[@]}")" -v b="$(median "${java[@]}")" \
      'BEGIN { printf "%.3f", a / b }')"
}

bench_app jEdit "jEdit - note.txt" note.txt "$work/jEdit" \
  "$runtime/bin/java" -jar "$work/jedit/jedit.jar"
bench_app Jmol "water.xyz - water" water.xyz "$work/Jmol" \
  "$runtime/bin/java" -Xmx512m -jar "$work/jmol/jmol.jar"
