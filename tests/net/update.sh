#!/usr/bin/env bash
# End to end, updates: version 1 is installed from a launcher; version 2 is published into the
# same update folder. The next start runs version 1 at once and installs version 2 beside it
# while the application runs; the start after runs version 2. Replayed older metadata is
# refused with the installed version still running, and the launcher's update commands answer
# the application's side.
#
# Usage: update.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM FAKE_JAVA]
# (see online_package.sh).
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
e2e_enter "$@"
online_package static "$@"
updates=$WORK/www/updates
url=http://127.0.0.1:$HTTP_PORT/updates
start() { LAUNCHER=$packaged launcher "$WORK/$1" first-argument; }
v1=00000000001
v2=00000000002

check "publish signs metadata for the update folder" test -s "$updates/Ferrolan-update.meta"
fresh_start first
check "version 1 installs" test -d "$master/Ferrolan-Demo App-$v1-complete"
cp "$updates/Ferrolan-update.meta" "$WORK/metadata-v1"

# Version 2 into the same folder.
package_config "Demo App" 2 update_url="$url" jre="$jre" params= >"$pkg/publish2.json"
pack publish --config publish2.json -o "$updates"
check "version 2 is published beside version 1" \
  test -s "$updates/Ferrolan-Demo App-$v2-archive.p2.l2" -a \
  -s "$updates/Ferrolan-Demo App-$v1-archive.p2.l2"

start second
check "the start after the release succeeds" test "$RUN_CODE" -eq 0
expect "it runs the installed updater" "Ferrolan-Ferrolan-$v1-complete"
check "it installs the new application beside the running one" \
  grep -qE "\[Update\] Installed .*Ferrolan-Demo App-$v2-complete" "$OUT"
check "and the new updater" grep -qE "\[Update\] Installed .*Ferrolan-Ferrolan-$v2-complete" "$OUT"
check "version 2 is complete" test -d "$master/Ferrolan-Demo App-$v2-complete"
check "the updater from the update folder brings the splash image and trust store" \
  test -f "$master/Ferrolan-Ferrolan-$v2-complete/nativesplash.png" -a \
  -f "$master/Ferrolan-Ferrolan-$v2-complete/cacerts"
check "version 1 is still there" test -d "$master/Ferrolan-Demo App-$v1-complete"
check "no update folder is left" bash -c '! ls "$1" | grep -q "^FerrolanUpdate-"' _ "$master"

start third
check "the next start succeeds" test "$RUN_CODE" -eq 0
expect "it runs version 2's updater" "Ferrolan-Ferrolan-$v2-complete"
expect "and finds nothing newer" "[Update] Everything installed is current"
if [ "$TARGET" = linux ]; then
  expect "the application runs version 2" "system property ferrolan.appVersion: 2"
fi

# Rollback: the older, validly signed metadata replayed.
cp "$updates/Ferrolan-update.meta" "$WORK/metadata-v2"
cp "$WORK/metadata-v1" "$updates/Ferrolan-update.meta"
start replay
check "a start against replayed metadata succeeds" test "$RUN_CODE" -eq 0
expect "the replay is refused" "[Update] Refusing the update metadata: it is older than"
cp "$WORK/metadata-v2" "$updates/Ferrolan-update.meta"

# The commands the application's side runs.
LAUNCHER=$packaged launcher "$WORK/command" FLUPDATE_CHECK
check "the check command answers" grep -qE "^FLUPDATE none up-to-date.?$" "$OUT"
finish
