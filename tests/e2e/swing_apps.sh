#!/usr/bin/env bash
# End to end with real applications: two unmodified Swing applications from Debian's packages,
# jEdit (whose resources load through a URL protocol of its own, and whose manifest opens a JDK
# package) and Jmol (whose manifest's Class-Path names its libraries), packaged with the
# jpackage-style flags on a desktop runtime linked from the JDK. Each is started with a document
# as the user's argument on a screen of the test's own, first under "java -jar" of the same
# runtime, then through its launcher (which installs it and runs it in the updater's virtual
# machine): the main window shows the document (by its title) with the window class "java -jar"
# gives it, and standard error holds only lines the application printed under "java -jar".
#
# Usage: tests/e2e/swing_apps.sh BUILD_DIR RUNTIME
set -euo pipefail
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/swing_apps_common.sh"
build=$1
runtime=$2
missing=$(swing_apps_missing)
if [ -n "$missing" ]; then
  echo "SKIP: $missing"
  exit 0
fi
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
e2e_begin swing stop_all

# A screen of the test's own, and the applications with their launchers.
display_pid=$(swing_display "$work") || fail "Xvfb did not start"
pids+=("$display_pid")
export DISPLAY=:$(cat "$work/display")
swing_apps_package "$work" "$build" "$runtime" || fail "packaging the applications failed"
e2e_roots

# start NAME TITLE COMMAND...: runs COMMAND in $work/docs with a home of its own until a window
# named TITLE shows, then ends it; the window's class goes to $work/NAME.class, the output to
# $work/NAME.out and NAME.err.
start() {
  local name=$1 title=$2 pid class
  shift 2
  mkdir -p "$work/home-$name"
  (cd "$work/docs" && exec env -u FERROLAN_LOG_ECHO HOME="$work/home-$name" "$@") \
    >"$work/$name.out" 2>"$work/$name.err" &
  pid=$!
  pids+=("$pid")
  class=$(window_class "$title") || fail "$name: no window \"$title\" within 90 s"
  echo "$class" >"$work/$name.class"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# compare NAME APP MAIN_CLASS: the launcher's run of APP showed the window with the class of
# "java -jar"'s, in the updater's virtual machine, and its standard error holds only lines
# "java -jar"'s held.
compare() {
  grep -qs "Starting $3 of .* in this virtual machine" "$APPDATA/Ferrolan-$2/logs/"Updater-*.log ||
    fail "$1: the application did not run in the updater's virtual machine"
  [ "$(cat "$work/$1-launcher.class")" = "$(cat "$work/$1-java.class")" ] ||
    fail "$1: the window class is $(cat "$work/$1-launcher.class"), under java -jar $(cat "$work/$1-java.class")"
  local extra
  extra=$(grep -vxF -f "$work/$1-java.err" "$work/$1-launcher.err" || true)
  [ -z "$extra" ] || fail "$1: standard error holds lines java -jar did not print: $extra"
}

start jedit-java "jEdit - note.txt" "$runtime/bin/java" -jar "$work/jedit/jedit.jar" note.txt
start jedit-launcher "jEdit - note.txt" "$work/jEdit" note.txt
compare jedit jEdit org.gjt.sp.jedit.jEdit
start jmol-java "water.xyz - water" "$runtime/bin/java" -Xmx512m -jar "$work/jmol/jmol.jar" water.xyz
start jmol-launcher "water.xyz - water" "$work/Jmol" water.xyz
compare jmol Jmol org.openscience.jmol.app.Jmol
echo "PASS: jEdit and Jmol show their documents in windows of their own class, as under java -jar"
