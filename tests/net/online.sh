#!/usr/bin/env bash
# End to end, online: a launcher that carries the updater and the application but no JRE, on a
# machine without a usable system JRE, fetches the JRE's version file from the update server,
# streams the JRE archive through download, decoding, verification and writing, installs it and
# launches. The update folder comes from `ferrolan-pack publish`, served by nginx. Then the same
# with direct access blocked and the proxy in the user's settings, and with a damaged archive on
# the server, which installs nothing.
#
# Usage: online.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM FAKE_JAVA]
# (see online_package.sh).
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
e2e_enter "$@"
online_package static "$@"
start() { fresh_start "$1"; }

start online
check "the first start succeeds" test "$RUN_CODE" -eq 0
expect "no system JRE is taken" \
  "[JREDownload] Failed to pick up any existing system JRE, will download"
expect "the version file names the JRE" "[JREDownload] JRE Version is 00000000017"
expect "the archive streams through the pipeline" "[Streamer] [Downloader] Done (0)."
expect "the downloaded JRE is set up" "[JREDownload] Downloaded JRE is now ready."
for strategy in Direct "State Proxy" WPAD "Windows Proxy" "Proxy Non Auto"; do
  expect "the $strategy strategy takes part" "[HttpDownloader] [$strategy] +++ Start +++"
done
check "the JRE is installed under its versioned name" test -d "$installed_jre"
check "the installed JRE holds what was published" \
  cmp -s "$jre/lib/modules" "$installed_jre/lib/modules"
check "no temporary folder is left" \
  bash -c '! ls "$1" | grep -q "^FerrolanTemp-"' _ "$master"
expect "the updater is launched in-process" "Start: JNI Launch"
if [ "$TARGET" = linux ]; then
  check "the demo application runs on the downloaded JRE" \
    grep -qx "java.home: $installed_jre" "$OUT"
fi

# Direct access blocked, the proxy in the user's settings: a proxy strategy wins, and the proxy
# that worked is kept in DetectedProxy for the application.
start_tinyproxy
block_direct "$HTTP_PORT"
proxy_in_user_settings
start proxy
check "the first start through the proxy succeeds" test "$RUN_CODE" -eq 0
reject "Direct does not win" "[HttpDownloader] [Direct] Opened file."
check "a proxy strategy wins" \
  grep -qE '\[(State Proxy|WPAD|Windows Proxy|Proxy Non Auto)\] Opened file. Set downloadWorked' \
  "$OUT"
check "the JRE is installed through the proxy" test -d "$installed_jre"
check "DetectedProxy holds the proxy" \
  grep -q "127.0.0.1:$PROXY_PORT" "$master/FLAppsSharedConfig/DetectedProxy"

# A damaged archive on the server (still reached through the proxy): nothing is installed and
# the run fails.
for damage in truncated forged; do
  cp "$WORK/www/updates.good" "$served" 2>/dev/null || cp "$served" "$WORK/www/updates.good"
  size=$(stat -c %s "$served")
  if [ "$damage" = truncated ]; then
    truncate -s $((size / 2)) "$served"
  else
    printf '\x55' | dd of="$served" bs=1 seek=$((size / 2)) conv=notrunc status=none
  fi
  start "$damage"
  check "a $damage JRE archive fails the run with exit code 1" test "$RUN_CODE" -eq 1
  expect "the $damage archive is reported" \
    "[JREDownload] Failed to download and extract JRE archive."
  check "a $damage JRE archive installs no JRE" test ! -d "$installed_jre"
done
finish
