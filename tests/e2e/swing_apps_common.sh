# The two Debian Swing applications of tests/e2e/swing_apps.sh and bench/swing_apps_bench.sh
# (sourced, not run): jEdit and Jmol as Debian installs them, a document for each, and their
# launchers.
#   swing_apps_missing          prints why the applications cannot run here ("" when they can)
#   swing_apps_package WORK BUILD RUNTIME   copies the applications into WORK/jedit and
#                               WORK/jmol, writes WORK/docs/note.txt and WORK/docs/water.xyz,
#                               and packages WORK/jEdit and WORK/Jmol on RUNTIME with BUILD's
#                               packager; returns 1 (its log in WORK/build-*.log) when it fails
#   swing_display WORK          starts Xvfb on a free display (its number in WORK/display) and
#                               prints its PID
#   window_class TITLE [TRIES]  waits for a window named TITLE (TRIES times 0.05 s, by default
#                               90 s) and prints its class; returns 1 when none shows
# Titles of the documents' windows: jEdit "jEdit - note.txt", Jmol "water.xyz - water".

swing_apps_missing() {
  local tool
  for tool in Xvfb xwininfo; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; return; }
  done
  if [ ! -f /usr/share/jedit/jedit.jar ] || [ ! -f /usr/share/java/jmol.jar ]; then
    echo "the Debian packages jedit and jmol are not installed"
  fi
}

swing_apps_package() {
  local work=$1 build=$2 runtime=$3 jar
  mkdir -p "$work/jedit" "$work/jmol" "$work/docs"
  cp -rL /usr/share/jedit/. "$work/jedit/"
  for jar in jmol commons-cli jni-inchi naga; do cp -L "/usr/share/java/$jar.jar" "$work/jmol/"; done
  printf 'A note opened by the launcher.\n' >"$work/docs/note.txt"
  printf '3\nwater\nO 0.0 0.0 0.0\nH 0.757 0.586 0.0\nH -0.757 0.586 0.0\n' >"$work/docs/water.xyz"
  "$build/bin/ferrolan-pack" keygen -o "$work/key" --bits 2048 >/dev/null || return 1
  "$build/bin/ferrolan-pack" build --name jEdit --input "$work/jedit" --main-jar jedit.jar \
    --runtime "$runtime" --key "$work/key.private.der" -o "$work/jEdit" \
    >"$work/build-jedit.log" 2>&1 || return 1
  "$build/bin/ferrolan-pack" build --name Jmol --input "$work/jmol" --main-jar jmol.jar \
    --java-options -Xmx512m --runtime "$runtime" --key "$work/key.private.der" -o "$work/Jmol" \
    >"$work/build-jmol.log" 2>&1
}

swing_display() {
  local work=$1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || return 1
  echo "$pid"
}

window_class() {
  local line tries=${2:-1800}
  for _ in $(seq 1 "$tries"); do
    line=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (" | head -n 1 || true)
    if [ -n "$line" ]; then
      sed -E 's/.*": \("([^"]*)".*/\1/' <<<"$line"
      return 0
    fi
    sleep 0.05
  done
  return 1
}
