#!/usr/bin/env bash
# Disk full: the all-users folder is a small tmpfs mounted in a mount namespace of this script's
# own (tests/net/harness.sh). A small version is installed first; then a newer version whose
# application does not fit must end with a clear message and exit code 1, leave no temporary or
# incomplete folder, and leave the installed version whole and still the one a start runs.
#
# Usage: tests/e2e/disk_full.sh TARGET LAUNCHER PACKAGER [SMALL_EXE]
#   TARGET linux runs the native programs, windows the .exe files under a private Wine, where
#   SMALL_EXE, any small Windows program, stands in for the payload's lzma.exe.
set -uo pipefail
. "$(dirname "$0")/common.sh"
RUN_TIMEOUT=120
e2e_enter "$@"
master="$PROGRAMDATA_DIR/Ferrolan-Full App"

# package VERSION APP_KIB: a launcher of VERSION whose application carries APP_KIB KiB of
# incompressible data, as $WORK/launcher-VERSION.
package() {
  mkdir -p "$pkg/updater" "$pkg/app" "$pkg/jre/lib"
  head -c 100000 /dev/urandom >"$pkg/jre/lib/modules"
  head -c $(($2 * 1024)) /dev/urandom >"$pkg/app/app.jar"
  printf 'updater %s' "$1" >"$pkg/updater/FerrolanLaunch"
  printf 'app %s' "$1" >"$pkg/app/FerrolanLaunch"
  package_config "Full App" "$1" update_url=http://127.0.0.1:9/full/ min_splash_ms=0 params= \
    >"$pkg/app.json"
  pack build --config app.json -o "launcher-$1$EXE"
  mv "$pkg/launcher-$1$EXE" "$WORK/launcher-$1$EXE"
  chmod +x "$WORK/launcher-$1$EXE"
}
# start NAME VERSION: the launcher of VERSION, prepare-only.
start() {
  LAUNCHER="$WORK/launcher-$2$EXE" launcher "$WORK/$1" FLPREPARE_FOR_LAUNCH_ONLY
}

package_files "$pkg" "${4:-}"
pack keygen -o key
package 1 200
package 2 12000
small_disk "$PROGRAMDATA_DIR" 8m
app1="$master/Ferrolan-Full App-00000000001-complete"

start first 1
check "version 1 installs" test "$RUN_CODE" = 0
check "version 1 has its application folder" test -d "$app1"
cp -a "$app1" "$WORK/app-v1"

start newer 2
check "the install that fills the disk ends with exit code 1 ($RUN_CODE)" test "$RUN_CODE" = 1
check "the install that fills the disk says why" \
  grep -q -E 'Not enough free space|Unable to write to file' "$OUT"
check "version 2 is not renamed complete" \
  test ! -e "$master/Ferrolan-Full App-00000000002-complete"
check "no temporary folder is left behind" \
  bash -c '! ls "$1" | grep -q "^FerrolanTemp-"' _ "$master"
check "version 1 is unchanged" diff -r "$WORK/app-v1" "$app1"

# Version 1 is still the installed application: its launcher prepares it for a start (the
# updater of version 2, complete before the disk filled, is the one handed over to).
start again 1
check "version 1 still starts" test "$RUN_CODE" = 0
check "version 1 is still taken as installed" grep -q -E \
  'Running without extraction now|Keeping the installed App Ferrolan-Full App-00000000001-complete' \
  "$OUT"
finish
