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
bin=$root/build/linux/bin
jars=$root/build/linux/java

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

# A launch file: NUL-terminated fields (version 5: class, names, heap, class path, extra
# arguments, compatibility class, install hooks, application JVM options).
launch_file() { # main-class app-name jar
  printf '%s\0' 5 "$1" "" "$2" "" 0 256 16 1 "$3" 0 com.ferrolan.updater.CompatibilityCheck "" "" 0
}
mkdir -p "$work/updater" "$work/app" "$work/files"
cp "$jars/ferrolan-updater.jar" "$work/updater/"
launch_file com.ferrolan.updater.Updater FerrolanUpdater ferrolan-updater.jar \
  >"$work/updater/FerrolanLaunch"
cp "$jars/ferrolan-demo.jar" "$work/app/"
launch_file com.ferrolan.demo.DemoApp "Demo App" ferrolan-demo.jar >"$work/app/FerrolanLaunch"
cp "$java_home/lib/security/cacerts" "$work/files/cacerts"
printf 'not a Windows tool\n' >"$work/files/lzma.exe"
printf '\x89PNG\r\n\x1a\n' >"$work/files/splash.png"

"$bin/ferrolan-pack" keygen -o "$work/demo-key" >/dev/null
cat >"$work/demo.json" <<JSON
{
  "launcher": "$bin/ferrolan",
  "app_name": "Demo App",
  "install_type": "perm_all",
  "update_url": "http://127.0.0.1:9/demo/",
  "min_splash_ms": 700,
  "required_java_version": 11,
  "key": "demo-key.private.der",
  "lzma_exe": "files/lzma.exe",
  "splash_image": "files/splash.png",
  "cacerts": "files/cacerts",
  "updater": { "version": "1", "folder": "updater" },
  "jre": { "name": "jre17", "version": "17", "folder": "$jre" },
  "app": { "version": "1", "folder": "app" },
  "params": { "jre_name": "jre17", "greeting": "hello from the Params section" }
}
JSON
echo "[demo] packaging the demo application with its runtime"
"$bin/ferrolan-pack" build --config "$work/demo.json" -o "$work/Demo App" >/dev/null
ls -l "$work/Demo App" | awk '{print "[demo] launcher file: " $5 " bytes"}'

export PROGRAMDATA=$work/root/programdata APPDATA=$work/root/appdata
mkdir -p "$PROGRAMDATA" "$APPDATA"
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
