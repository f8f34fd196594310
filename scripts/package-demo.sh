#!/usr/bin/env bash
# Packages the demo application into one offline launcher with ferrolan-pack: the updater
# (ferrolan-updater.jar, whose main class starts the newest installed application), the demo
# application (ferrolan-demo.jar) and a Java runtime, all signed with a fresh key.
#
# Usage: scripts/package-demo.sh BUILD_DIR RUNTIME OUT_DIR
#   BUILD_DIR  a native build holding bin/ferrolan, bin/ferrolan-pack and java/*.jar
#   RUNTIME    the Java runtime folder to carry (a jlinked runtime or a whole JDK)
#   OUT_DIR    receives "Demo App" (the launcher) and the key pair; must exist
# Environment:
#   FERROLAN_DEMO_UPDATER_MAIN  the updater's main class (default com.ferrolan.updater.Updater)
#   FERROLAN_DEMO_UPDATER_JARS  extra jars for the updater folder, separated by blanks
#   FERROLAN_DEMO_HEAP          "MAX INITIAL" heap sizes in MiB of the launch files (default
#                               "256 16"; "0 0" leaves the virtual machine's defaults)
#   FERROLAN_DEMO_SPLASH        the splash image (a PNG file); by default a stand-in that
#                               shows no splash
set -euo pipefail
build=$1
runtime=$2
out=$3
bin=$build/bin
jars=$build/java
updater_main=${FERROLAN_DEMO_UPDATER_MAIN:-com.ferrolan.updater.Updater}
read -r heap_max heap_initial <<<"${FERROLAN_DEMO_HEAP:-256 16}"

# A launch file: NUL-terminated fields (version 5: class, names, heap, class path, extra
# arguments, compatibility class, install hooks, application JVM options).
launch_file() { # main-class app-name jar...
  local class=$1 name=$2
  shift 2
  printf '%s\0' 5 "$class" "" "$name" "" 0 "$heap_max" "$heap_initial" $# "$@" 0 \
    com.ferrolan.updater.CompatibilityCheck "" "" 0
}
rm -rf "$out/updater" "$out/app" "$out/files"
mkdir -p "$out/updater" "$out/app" "$out/files"
updater_jars=(ferrolan-updater.jar)
cp "$jars/ferrolan-updater.jar" "$out/updater/"
for jar in ${FERROLAN_DEMO_UPDATER_JARS:-}; do
  cp "$jar" "$out/updater/"
  updater_jars+=("$(basename "$jar")")
done
launch_file "$updater_main" FerrolanUpdater "${updater_jars[@]}" >"$out/updater/FerrolanLaunch"
cp "$jars/ferrolan-demo.jar" "$out/app/"
launch_file com.ferrolan.demo.DemoApp "Demo App" ferrolan-demo.jar >"$out/app/FerrolanLaunch"
if [ -e "$runtime/lib/security/cacerts" ]; then
  cp -L "$runtime/lib/security/cacerts" "$out/files/cacerts"
else
  printf 'no trust store\n' >"$out/files/cacerts"
fi
printf 'not a Windows tool\n' >"$out/files/lzma.exe"
if [ -n "${FERROLAN_DEMO_SPLASH:-}" ]; then cp "$FERROLAN_DEMO_SPLASH" "$out/files/splash.png"; else
  printf '\x89PNG\r\n\x1a\n' >"$out/files/splash.png"; fi

"$bin/ferrolan-pack" keygen -o "$out/demo-key" >/dev/null
cat >"$out/demo.json" <<JSON
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
  "jre": { "name": "jre17", "version": "17", "folder": "$runtime" },
  "app": { "version": "1", "folder": "app" },
  "params": { "jre_name": "jre17", "greeting": "hello from the Params section" }
}
JSON
"$bin/ferrolan-pack" build --config "$out/demo.json" -o "$out/Demo App" >/dev/null
