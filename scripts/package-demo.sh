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
#   FERROLAN_DEMO_APP_MAIN      the application's main class (default com.ferrolan.demo.DemoApp)
#   FERROLAN_DEMO_APP_JARS      the application's jars, separated by blanks (default the demo's)
#   FERROLAN_DEMO_HEAP          "MAX INITIAL" heap sizes in MiB of the launch files (default
#                               "256 16"; "0 0" leaves the virtual machine's defaults)
#   FERROLAN_DEMO_SPLASH        the splash image (a PNG file); by default none (no splash)
#   FERROLAN_DEMO_LAUNCHER      the launcher image to embed (default BUILD_DIR/bin/ferrolan, the
#                               one with debugging information; the benchmarks embed
#                               ferrolan-ship, the image users get)
set -euo pipefail
build=$1
runtime=$2
out=$3
bin=$build/bin
jars=$build/java
updater_main=${FERROLAN_DEMO_UPDATER_MAIN:-com.ferrolan.updater.Updater}
read -r heap_max heap_initial <<<"${FERROLAN_DEMO_HEAP:-256 16}"

# ferrolan-pack writes both launch files from the settings below; the updater folder is made here
# only because the benchmarks add jars to it and start another class.
rm -rf "$out/updater" "$out/app" "$out/files"
mkdir -p "$out/updater" "$out/app" "$out/files"
cp "$jars/ferrolan-updater.jar" "$out/updater/"
for jar in ${FERROLAN_DEMO_UPDATER_JARS:-}; do
  cp "$jar" "$out/updater/"
done
for jar in ${FERROLAN_DEMO_APP_JARS:-$jars/ferrolan-demo.jar}; do
  cp "$jar" "$out/app/"
done
# No lzma_exe (nothing here runs one) and no cacerts (the runtime keeps its own trust store);
# without FERROLAN_DEMO_SPLASH there is no splash image either.
splash=
if [ -n "${FERROLAN_DEMO_SPLASH:-}" ]; then
  cp "$FERROLAN_DEMO_SPLASH" "$out/files/splash.png"
  splash='"splash_image": "files/splash.png",'
fi

"$bin/ferrolan-pack" keygen -o "$out/demo-key" >/dev/null
cat >"$out/demo.json" <<JSON
{
  "launcher": "${FERROLAN_DEMO_LAUNCHER:-$bin/ferrolan}",
  "app_name": "Demo App",
  "install_type": "perm_all",
  "update_url": "http://127.0.0.1:9/demo/",
  "min_splash_ms": 700,
  "required_java_version": 11,
  "key": "demo-key.private.der", $splash
  "updater": { "version": "1", "folder": "updater", "main_class": "$updater_main",
               "max_heap_mb": $heap_max, "initial_heap_mb": $heap_initial },
  "jre": { "name": "jre17", "version": "17", "folder": "$runtime" },
  "app": { "version": "1", "folder": "app", "main_class": "${FERROLAN_DEMO_APP_MAIN:-com.ferrolan.demo.DemoApp}",
           "max_heap_mb": $heap_max, "initial_heap_mb": $heap_initial },
  "params": { "jre_name": "jre17", "greeting": "hello from the Params section" }
}
JSON
"$bin/ferrolan-pack" build --config "$out/demo.json" -o "$out/Demo App" >/dev/null
