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
build=$1
runtime=$2
for tool in Xvfb xwininfo; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
if [ ! -f /usr/share/jedit/jedit.jar ] || [ ! -f /usr/share/java/jmol.jar ]; then
  echo "SKIP: the Debian packages jedit and jmol are not installed"
  exit 0
fi
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
e2e_begin swing stop_all

# A screen of the test's own.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")

# The applications as Debian installs them, and a document for each.
mkdir -p "$work/jedit" "$work/jmol" "$work/docs"
cp -rL /usr/share/jedit/. "$work/jedit/"
for jar in jmol commons-cli jni-inchi naga; do cp -L "/usr/share/java/$jar.jar" "$work/jmol/"; done
printf 'A note opened by the launcher.\n' >"$work/docs/note.txt"
printf '3\nwater\nO 0.0 0.0 0.0\nH 0.757 0.586 0.0\nH -0.757 0.586 0.0\n' >"$work/docs/water.xyz"

"$build/bin/ferrolan-pack" keygen -o "$work/key" --bits 2048 >/dev/null
"$build/bin/ferrolan-pack" build --name jEdit --input "$work/jedit" --main-jar jedit.jar \
  --runtime "$runtime" --key "$work/key.private.der" -o "$work/jEdit" >"$work/build-jedit.log" 2>&1 ||
  fail "the build of jEdit failed"
"$build/bin/ferrolan-pack" build --name Jmol --input "$work/jmol" --main-jar jmol.jar \
  --java-options -Xmx512m --runtime "$runtime" --key "$work/key.private.der" -o "$work/Jmol" \
  >"$work/build-jmol.log" 2>&1 || fail "the build of Jmol failed"
e2e_roots

# window_class TITLE: waits up to 90 s for a window named TITLE and prints its class.
window_class() {
  local line
  for _ in $(seq 1 180); do
    line=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (" | head -n 1 || true)
    if [ -n "$line" ]; then
      sed -E 's/.*": \("([^"]*)".*/\1/' <<<"$line"
      return 0
    fi
    sleep 0.5
  done
  return 1
}

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
