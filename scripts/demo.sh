#!/usr/bin/env bash
# The product's main job on this machine, in one command: builds the launcher, the packager and
# the Java side; packages the demo application with a runtime made from the machine's JDK into
# one offline launcher; installs and launches it in a temporary root; then starts it a second
# time, which runs the installed version without extracting anything.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"

"$here/install-deps.sh"
echo "[demo] building (linux preset)"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target ferrolan ferrolan-pack ferrolan_updater_jar \
  ferrolan_demo_jar >/dev/null

java_home=${FERROLAN_JAVA_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
cache=${FERROLAN_CACHE:-$HOME/.cache/ferrolan}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A small private runtime from the JDK's modules, linked once and cached.
jre=$cache/demo-jre
if [ ! -x "$jre/bin/java" ]; then
  echo "[demo] linking a runtime from $java_home"
  rm -rf "$jre"
  "$java_home/bin/jlink" --add-modules java.base,java.management --strip-debug --no-header-files \
    --no-man-pages --output "$jre"
fi

echo "[demo] packaging the demo application with its runtime"
"$here/package-demo.sh" "$root/build/linux" "$jre" "$work"
ls -l "$work/Demo App" | awk '{print "[demo] launcher file: " $5 " bytes"}'

# The menu entry and icon the first start makes go into the temporary root too, not into the
# menus of the user who runs the demo.
export PROGRAMDATA=$work/root/programdata APPDATA=$work/root/appdata XDG_DATA_HOME=$work/root/share
# A start is quiet on Linux; the demo shows a few of the launcher's log lines, so it asks for them.
export FERROLAN_LOG_ECHO=1
mkdir -p "$PROGRAMDATA" "$APPDATA" "$XDG_DATA_HOME"
run() {
  local start end
  start=$(date +%s%N)
  set +e
  (cd "$work" && "./Demo App" "$@") >"$work/run.log" 2>&1
  local rc=$?
  set -e
  end=$(date +%s%N)
  # A few of the launcher's log lines, then everything the Java side printed.
  grep -E "Running without extraction|renamed to|Archive signature verified|Start: JNI|Spawn" \
    "$work/run.log" | sed 's/^/    launcher| /' || true
  grep -v -E '^\+[0-9]+ |^Extracting wrapper tail' "$work/run.log" | sed 's/^/    java| /' || true
  echo "[demo] exit code $rc, $(((end - start) / 1000000)) ms"
}
echo "[demo] first start: install and launch"
run first-argument "second argument"
echo "[demo] second start: run as installed"
run again
echo "[demo] installed: $(ls "$PROGRAMDATA/Ferrolan-Demo App" | tr '\n' ' ')"
echo "[demo] menu entry: $(ls "$XDG_DATA_HOME/applications" 2>/dev/null | tr '\n' ' ')"
