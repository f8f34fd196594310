#!/usr/bin/env bash
# The splash of real runs, on a screen of the test's own (Xvfb in the test's namespaces; Wine
# draws on it too), found there by its pixels and compared with the frame the renderer composes:
#   - an offline install shows the image with the scrolling stripes while it sets up the JRE
#     (the stand-in runtime's class-data step is made to take a few seconds);
#   - an online install shows the download's percentage while the JRE streams from nginx, which
#     serves it slowly;
#   - a silent install and a prepare-only run show no splash;
#   - (Linux) an X server that goes away under the splash does not stop the install, and one
#     whose screen has no true-colour visual gets no splash and a log line.
# The two captures are kept in ARTIFACTS as splash-indeterminate-TARGET.png and
# splash-determinate-TARGET.png.
#
# Usage: tests/e2e/splash.sh TARGET LAUNCHER PACKAGER CAPTURE IMAGE ARTIFACTS FAKE_JVM [FAKE_JAVA]
#   CAPTURE is the target's ferrolan_splash_capture, IMAGE the splash image (a PNG); FAKE_JVM and
#   FAKE_JAVA make the stand-in runtime (stand_in_package, tests/e2e/common.sh).
set -uo pipefail
HARNESS_DISPLAY=1
. "$(dirname "$0")/common.sh"
RUN_TIMEOUT=120
e2e_enter "$@"
capture_tool=$(realpath "$4")
image=$(realpath "$5")
artifacts=$6
mkdir -p "$artifacts"
master="$PROGRAMDATA_DIR/Ferrolan-Splash App"
border=10
export FERROLAN_FAKE_JAVA_DUMP_MS=4000

stand_in_package "$pkg" "Splash App" "$7" "${8:-}"
cp "$image" "$pkg/files/splash.png"
cp "$image" "$WORK/image.png"
# config FILE [SETTING...]: the build configuration, offline with the JRE unless SETTING says.
config() {
  local file=$1
  shift
  package_config "Splash App" 1 update_url="${UPDATE_URL:-http://0.0.254.254/}" \
    silent_parameter=/S params="\"splash_buffer\": \"$border\"" "$@" >"$pkg/$file"
}
pack keygen -o key
config offline.json
pack build --config offline.json -o "offline$EXE"

# start NAME LAUNCHER STATE TIMEOUT_MS ARGS...: a run of LAUNCHER into a fresh master folder
# while the capture tool watches the screen for a splash in STATE; its exit code goes to
# $CAPTURE_CODE, its words to $CAPTURE_SAID, its capture to $WORK/NAME.png.
start() {
  local name=$1 program=$2 state=$3 timeout=$4 pid
  shift 4
  rm -rf "$master"
  target_run "$WORK" "$capture_tool" image.png "$border" "$SCREEN_SIZE" "$state" "$name.png" \
    "$timeout" >"$WORK/capture-$name.txt" 2>&1 &
  pid=$!
  LAUNCHER=$program launcher "$WORK/$name" "$@"
  wait "$pid"
  CAPTURE_CODE=$?
  CAPTURE_SAID=$(cat "$WORK/capture-$name.txt")
  note "$name: $CAPTURE_SAID"
}
# The window the launcher logs: the image with its border (the bar comes a moment later).
read -r width height < <(python3 -c 'import struct, sys
print(*struct.unpack(">II", open(sys.argv[1], "rb").read(24)[16:24]))' "$image")
shown="[Splash] Showing a $((width + 2 * border)) x $((height + 2 * border)) splash at"

start offline "$pkg/offline$EXE" indeterminate 60000
check "the offline install succeeds" test "$RUN_CODE" -eq 0
check "the offline install shows the stripes, pixel for pixel ($CAPTURE_SAID)" \
  test "$CAPTURE_CODE" -eq 0
cp "$WORK/offline.png" "$artifacts/splash-indeterminate-$TARGET.png" 2>/dev/null
expect "the splash is shown with its border" "$shown"
check "the splash is shown only once" test "$(grep -cF "[Splash] Showing a" "$OUT")" -eq 1
expect "the splash is configured from the updater's image" "[Extractor] Configuring splash"
expect "the splash is taken down before the launch" "[HttpDownloader] Cleaning up..."
for message in "Error starting SplashThread" "Unable to register class SplashWnd" \
  "Unable to create SplashWnd" "[Splash] X error"; do
  reject "no \"$message\"" "$message"
done

# No splash for a run without a user interface: the capture tool watches while the install
# waits in its class-data step, and must see nothing.
start silent "$pkg/offline$EXE" any 3000 /S
check "the silent install succeeds" test "$RUN_CODE" -eq 0
check "the silent install shows no splash ($CAPTURE_SAID)" test "$CAPTURE_CODE" -eq 1
reject "the silent install logs no splash" "[Splash] Showing a"
start prepare "$pkg/offline$EXE" any 3000 FLPREPARE_FOR_LAUNCH_ONLY
check "the prepare-only run succeeds" test "$RUN_CODE" -eq 0
check "the prepare-only run shows no splash ($CAPTURE_SAID)" test "$CAPTURE_CODE" -eq 1
reject "the prepare-only run logs no splash" "[Splash] Showing a"

# Online: the JRE comes from the update server, 1 MiB of it at 256 KiB/s, and the bar shows how
# much has arrived.
head -c 1048576 /dev/urandom >"$pkg/jre/lib/modules"
NGINX_LIMIT_RATE=256k start_nginx "$WORK/www"
UPDATE_URL=http://127.0.0.1:$HTTP_PORT/updates/
config online.json jre=none
config publish.json
pack build --config online.json -o "online$EXE"
pack publish --config publish.json -o updates
mv "$pkg/updates" "$WORK/www/updates"
if [ "$TARGET" = linux ]; then
  # No system JRE may be taken over: the candidates' folder is empty.
  export PROGRAMFILES=$WORK/programfiles
  mkdir -p "$PROGRAMFILES"
fi
start online "$pkg/online$EXE" determinate 60000
check "the online install succeeds" test "$RUN_CODE" -eq 0
expect "the JRE was downloaded" "[JREDownload] Downloaded JRE is now ready."
check "the online install shows the download's percentage, pixel for pixel ($CAPTURE_SAID)" \
  test "$CAPTURE_CODE" -eq 0
cp "$WORK/online.png" "$artifacts/splash-determinate-$TARGET.png" 2>/dev/null
expect "the splash is taken down before the launch" "[HttpDownloader] Cleaning up..."

# The X server goes away while the splash is up: the splash ends, the install does not.
if [ "$TARGET" = linux ]; then
  (
    for ((i = 0; i < 600; i++)); do
      grep -qF "[Splash] Showing a" "$WORK/lost/out.txt" 2>/dev/null && break
      sleep 0.1
    done
    sleep 0.5
    kill "$XVFB_PID"
  ) &
  killer=$!
  rm -rf "$master"
  LAUNCHER="$pkg/offline" launcher "$WORK/lost"
  wait "$killer"
  check "an install whose display went away succeeds" test "$RUN_CODE" -eq 0
  expect "the lost display is logged" "[Splash] The display went away"
  check "the application is installed" test -d "$master/Ferrolan-Splash App-00000000001-complete"

  # A screen of 8-bit colour has no visual the splash can paint on: no splash, a log line, and
  # the install goes on.
  start_display 8
  rm -rf "$master"
  LAUNCHER="$pkg/offline" launcher "$WORK/eight-bit"
  check "an install on an 8-bit screen succeeds" test "$RUN_CODE" -eq 0
  expect "the window that cannot be made is logged" "Unable to create SplashWnd"
  reject "no splash is shown on it" "[Splash] Showing a"
fi
finish
