#!/usr/bin/env bash
# End to end, updates that do not wait, and a launcher without an application:
#   - a critical release that one start learned of but could not install (its application
#     archive was missing from the server then) is installed before the next start, with the
#     splash showing the download's percentage, and that start runs it;
#   - with the server gone, a start that must update runs the installed version; below the
#     published minimum version the user is told that an update is required, with the server
#     there (and the archive missing) and without it;
#   - a launcher that carries no application installs the JRE and the newest application of the
#     update folder at its first start, the splash showing the percentage, and runs it; with no
#     application published it ends with exit code 1 and says why.
# The launchers read the update folders from throttled_server.py, which sends the archives whose
# progress the splash shows slowly; the splash is found on the screen by the capture tool.
#
# Usage: update_required.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM
#   FAKE_JAVA] CAPTURE IMAGE (see online_package.sh); CAPTURE is the target's
#   ferrolan_splash_capture, IMAGE a PNG for the splash.
HARNESS_DISPLAY=1
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
e2e_enter "$@"
capture_tool=$(realpath "${@: -2:1}")
cp "${@: -1}" "$WORK/image.png"
online_package params "${@:1:$#-2}"
updates=$WORK/www/updates
v1=00000000001
v2=00000000002
v4=00000000004
border=10

# The server of the update folders, on a port that stays the same when it starts again.
SLOW_PORT=$(free_port)
slow_list=$WORK/slow-files
serve() {
  spawn python3 "$HARNESS_DIR/throttled_server.py" "$SLOW_PORT" "$WORK/www" "$slow_list" \
    2>>"$WORK/server.log"
  SERVER_PID=${STARTED_PIDS[-1]}
  wait_port "$SLOW_PORT"
}
server_gone() {
  kill "$SERVER_PID"
  wait "$SERVER_PID" 2>/dev/null
}
serve

# The launcher with a splash image, its Params pointing at FOLDER of that server.
# stamped SOURCE FOLDER OUT
stamped() {
  pack stamp "$1" --set "update_url=http://127.0.0.1:$SLOW_PORT/$2" \
    --set "splash_buffer=$border" -o "$3"
}
cp "$WORK/image.png" "$pkg/files/splash.png"
pack build --config online.json -o "Demo App"
stamped "Demo App" updates "Demo App.stamped"
cp "$pkg/Demo App.stamped" "$packaged"
start() { LAUNCHER=$packaged launcher "$WORK/$1" first-argument; }
# An application archive large enough that its download is seen on the splash.
head -c 600000 /dev/urandom >"$pkg/app/padding.bin"

# watch NAME STATE [LINE]: the capture tool looks for a splash in STATE while the run NAME goes
# on (from the moment its output holds LINE, when given); seen waits for its answer and sets
# CAPTURE_CODE (0: seen) and CAPTURE_SAID.
watch() {
  local name=$1 state=$2 line=${3:-} i
  (
    if [ -n "$line" ]; then
      for ((i = 0; i < 900; i++)); do
        grep -qF -- "$line" "$WORK/$name/out.txt" 2>/dev/null && break
        sleep 0.1
      done
    fi
    target_run "$WORK" "$capture_tool" image.png "$border" "$SCREEN_SIZE" "$state" "$name.png" \
      30000
  ) >"$WORK/capture-$name.txt" 2>&1 &
  CAPTURE_PID=$!
}
seen() {
  wait "$CAPTURE_PID"
  CAPTURE_CODE=$?
  CAPTURE_SAID=$(tail -n 1 "$WORK/capture-$1.txt")
  note "$1: $CAPTURE_SAID"
}
# publish VERSION [OPTION...]: the release of VERSION into the update folder.
publish() {
  local version=$1
  shift
  package_config "Demo App" "$version" update_url=http://0.0.254.254/ jre="$jre" params= \
    >"$pkg/publish$version.json"
  pack publish --config "publish$version.json" -o "$updates" "$@"
}
# hide VERSION / restore VERSION: the application's archive of VERSION leaves the server / is
# back.
app_archive() { echo "Ferrolan-Demo App-$1-archive.p2.l2"; }
hide() { mv "$updates/$(app_archive "$1")" "$WORK/"; }
restore() { mv "$WORK/$(app_archive "$1")" "$updates/"; }
accepted=$master/FLAppsSharedConfig/AcceptedUpdateMetadata
# in_order FILE TEXT...: FILE holds each TEXT (a fixed string) on a line after the previous one's.
in_order() {
  local file=$1 from=1 at
  shift
  for text; do
    at=$(tail -n "+$from" "$file" | grep -nF -m 1 -- "$text" | cut -d: -f1)
    [ -n "$at" ] || return 1
    from=$((from + at))
  done
}

fresh_start first
check "version 1 installs" test -d "$master/Ferrolan-Demo App-$v1-complete"

# A critical version 2 whose application archive is missing: the start runs version 1, accepts
# the metadata and installs nothing.
publish 2 --critical
hide "$v2"
start learns
check "the start that learns of the critical release succeeds" test "$RUN_CODE" -eq 0
reject "it does not install before the start: it knew of nothing" "must update before it starts"
expect "the missing archive stops the install" "[Update] Demo App $v2 was not installed"
check "version 2 is not installed" test ! -e "$master/Ferrolan-Demo App-$v2-complete"
check "no update folder is left" bash -c '! ls "$1" | grep -q "^FerrolanUpdate-"' _ "$master"
check "the critical metadata is kept" grep -qa "^critical=1" "$accepted"

# The archive is back: the next start installs version 2 before it starts, on the splash.
restore "$v2"
app_archive "$v2" | sed 's|^|updates/|' >"$slow_list"
watch required determinate
start required
seen required
check "the start with a required update succeeds" test "$RUN_CODE" -eq 0
expect "it updates before the start" "[Update] The installed version must update before it starts"
expect "the splash is shown" "[Splash] Showing a "
grep -qF "[Splash] Showing a " "$OUT" || note "what the splash logged: $(grep -E "Splash" "$OUT")"
check "the splash shows the download's percentage, pixel for pixel ($CAPTURE_SAID)" \
  test "$CAPTURE_CODE" -eq 0
expect "the update is installed" "[Update] The required update is installed"
check "version 2 is complete" test -d "$master/Ferrolan-Demo App-$v2-complete"
check "its updater too" test -d "$master/Ferrolan-Ferrolan-$v2-complete"
check "the splash is taken down before the launch" in_order "$OUT" "[Splash] Showing a " \
  "[HttpDownloader] Cleaning up..." "[Update] The required update is installed" \
  "[Extractor] Launching "
if [ "$TARGET" = linux ]; then
  expect "the application that runs is version 2" "system property ferrolan.appVersion: 2"
fi
expect "version 2's updater is launched" "[Extractor] Launching 'Ferrolan-Ferrolan-$v2-complete'"
: >"$slow_list"

# A critical version 3 learned of, then the server gone: the installed version 2 starts.
publish 3 --critical
hide 00000000003
start learns3
check "the start that learns of version 3 succeeds" test "$RUN_CODE" -eq 0
server_gone
start offline
check "a start that must update, without the server, succeeds" test "$RUN_CODE" -eq 0
expect "it tries to update first" "[Update] The installed version must update before it starts"
expect "the server cannot be reached" "[Update] The update folder cannot be reached"
expect "it starts the installed version" \
  "[Update] The update cannot be installed now; starting the installed version"
if [ "$TARGET" = linux ]; then
  expect "the application that runs is version 2" "system property ferrolan.appVersion: 2"
fi

# Version 4 with the minimum version 4, its archive missing: the user is told that an update
# is required, and the installed version starts.
serve
restore 00000000003
publish 4 --minimum-version 4
hide "$v4"
start minimum
required_text="An update of Demo App is required, but it cannot be installed now"
check "a start below the minimum, with the update failing, succeeds" test "$RUN_CODE" -eq 0
expect "it tries to update first" "[Update] The installed version must update before it starts"
expect "the user is told that an update is required" "[Extractor] Telling the user: $required_text"
reject "it is not only logged as a failure to install" "The update cannot be installed now"
check "version 4 is not installed" test ! -e "$master/Ferrolan-Demo App-$v4-complete"
server_gone
start minimum-offline
check "a start below the minimum, without the server, succeeds" test "$RUN_CODE" -eq 0
expect "the user is told again" "[Extractor] Telling the user: $required_text"
if [ "$TARGET" = linux ]; then
  check "on standard error" grep -q "^Demo App: $required_text" "$OUT"
  expect "the application that runs is version 2" "system property ferrolan.appVersion: 2"
fi

# A launcher without an application, on a machine without the application or a JRE: the
# update folder's JRE and application are installed at its first start.
serve
python3 -c 'import json, sys
config = json.load(open(sys.argv[1]))
del config["app"]
json.dump(config, open(sys.argv[2], "w"))' "$pkg/online.json" "$pkg/wrapper.json"
pack build --config wrapper.json -o wrapper-image
stamped wrapper-image wrapper "Wrapper$EXE"
pack publish --config publish.json -o wrapper
mv "$pkg/wrapper" "$WORK/www/wrapper"
echo "wrapper/$(app_archive "$v1")" >"$slow_list"
watch wrapper determinate "[Update] Installing the application from the update folder"
LAUNCHER_FILE=$pkg/Wrapper$EXE fresh_start wrapper
seen wrapper
check "the first start of a launcher without an application succeeds" test "$RUN_CODE" -eq 0
expect "it carries no application" "[Extractor] ONLINE wrapper: No App embedded"
expect "the JRE comes from the update folder" "[JREDownload] Downloaded JRE is now ready."
expect "then the application" "[Update] Installing the application from the update folder"
check "the splash shows the application's download, pixel for pixel ($CAPTURE_SAID)" \
  test "$CAPTURE_CODE" -eq 0
check "the JRE is installed" test -d "$installed_jre"
check "the application is installed" test -d "$master/Ferrolan-Demo App-$v1-complete"
check "no update folder is left" bash -c '! ls "$1" | grep -q "^FerrolanUpdate-"' _ "$master"
expect "the updater is launched" "[Extractor] Launching 'Ferrolan-Ferrolan-$v1-complete'"
if [ "$TARGET" = linux ]; then
  expect "the application runs" "system property ferrolan.appVersion: 1"
fi
: >"$slow_list"

# The same launcher against an update folder without an application.
python3 -c 'import json, sys
config = json.load(open(sys.argv[1]))
del config["app"]
json.dump(config, open(sys.argv[2], "w"))' "$pkg/publish.json" "$pkg/publish-noapp.json"
pack publish --config publish-noapp.json -o noapp
mv "$pkg/noapp" "$WORK/www/noapp"
stamped wrapper-image noapp "Wrapper-noapp$EXE"
LAUNCHER_FILE=$pkg/Wrapper-noapp$EXE fresh_start noapp
check "without an application to install the start fails ($RUN_CODE)" test "$RUN_CODE" -eq 1
expect "the log says why" "[Update] The update folder offers no application to install"
expect "the user is told" "The application cannot be downloaded from its update server."
check "no application is installed" \
  bash -c '! ls "$1" | grep -q "^Ferrolan-Demo App-"' _ "$master"
finish
