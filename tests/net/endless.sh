#!/usr/bin/env bash
# Endless data: an update server that answers the JRE's version file with 2 GiB (announced), or
# with a chunked body that never ends, cannot fill the disk or hold the launcher. The master
# folder is a small tmpfs; each run ends within seconds, names the limit, leaves no version file
# and leaves the disk as it was. An honest server afterwards installs normally on the same disk.
#
# Usage: endless.sh TARGET LAUNCHER PACK ... (as online.sh)
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
e2e_enter "$@"
# A server without end is a fast one (see HOSTILE_RATE in harness.sh).
[ -n "$HOSTILE_RATE" ] && export NGINX_LIMIT_RATE=$HOSTILE_RATE
online_package params "$@"
# The all-users folder, not the master folder: Wine takes a mount point for a link.
small_disk "$(dirname "$master")" 160m

used() { df --output=used -B1 "$master" | tail -n 1; }
# hostile_run NAME WHAT: a first start that must fail at the version file, quickly and cleanly.
hostile_run() {
  fresh_start "$1"
  check "$2: the run fails with exit code 1" test "$RUN_CODE" -eq 1
  check "$2: the run ends within seconds (${RUN_SECONDS}s)" test "$RUN_SECONDS" -lt 20
  expect "$2: the version file counts as not downloaded" \
    "[JREDownload] Failed to download JRE version file"
  check "$2: no version file is left" \
    bash -c '[ -z "$(find "$1" -name "Ferrolan-jre17-version.txt")" ]' _ "$master"
  # The updater is extracted before the JRE's turn; beyond it nothing may have grown.
  check "$2: the disk holds no more than the updater ($(used) bytes used)" \
    test "$(used)" -lt $((8 * 1024 * 1024))
  reject "$2: nothing is installed" "Downloaded JRE is now ready."
}

cp "$served_version" "$WORK/version.good"
rm "$served_version"
truncate -s 2G "$served_version"
hostile_run announced "2 GiB announced"
expect "the announced length is refused by its size" \
  "Required file size 2147483648 is above the limit of 4096 bytes, refusing the download"

start_bad_server endless /dev/null "$HOSTILE_RATE"
cp "$packaged" "$pkg/endless$EXE"
pack stamp "endless$EXE" --set "update_url=http://127.0.0.1:$BAD_PORT/updates/"
LAUNCHER_FILE=$pkg/endless$EXE hostile_run chunked "endless chunked body"
expect "the endless body is cut off at the limit" \
  "The body is longer than the limit of 4096 bytes, giving up the download"

cp "$WORK/version.good" "$served_version"
fresh_start honest
check "an honest server afterwards installs normally" test "$RUN_CODE" -eq 0
check "the JRE is installed on the small disk" test -d "$installed_jre"
finish
