#!/usr/bin/env bash
# End to end, updates against faults: version 1 is installed and version 2 is published. A
# server that answers the update metadata with an error, a cut or an endless body, or the
# archive of version 2 with an error, a cut or a stall, costs nothing but the update: the fault
# is logged, no part of version 2 is installed, no update folder is left, and version 1 still
# starts. A disk that fills during the update keeps its reserve and version 1. Last, with
# direct access blocked, the update installs through the proxy of the user's settings.
#
# Usage: update_faults.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM FAKE_JAVA]
# (see online_package.sh).
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
. "$(dirname "$0")/update_faults_common.sh"
e2e_enter "$@"
# Version 2 must not fit on the small disk below.
V2_PADDING_KIB=2048 update_faults_enter "$@"
start_update_server
serve "$folders/good"
metadata=Ferrolan-update.meta
archive_v2="Ferrolan-Demo App-$v2-archive.p2.l2"

# faulty NAME WHAT ANSWER LINE: the update command against the server's fault answers ANSWER
# and logs LINE; nothing of version 2 is installed; a start runs version 1, its own check
# failing the same way, and leaves nothing of version 2 either.
faulty() {
  UPDATE_LAUNCHER=$faulty update_command "$1"
  # Not at the line's start: a decoder's message on standard error may come first.
  check "$2: the command answers '$3'" grep -qE "FLUPDATE $3.?\$" "$OUT"
  expect "$2: the log says why" "$4"
  nothing_of_v2 "$2"
  UPDATE_LAUNCHER=$faulty start "$1-start"
  installed_starts "$2"
  expect "$2: the start's own check says why" "$4"
  nothing_of_v2 "$2, after a start"
}

offline="[Update] The update folder cannot be reached"
not_installed="[Update] Demo App $v2 was not installed"

# An error page arrives like any answer, and is no signed metadata.
fault "$metadata" notfound
faulty metadata-404 "metadata answered with 404" "none refused" \
  "[Update] Refusing the update metadata: it carries no signature"
fault "$metadata" error
faulty metadata-500 "metadata answered with 500" "none refused" \
  "[Update] Refusing the update metadata: it carries no signature"
fault "$metadata" cut
faulty metadata-cut "metadata cut short" "none offline" "$offline"
fault "$metadata" huge "$HOSTILE_RATE"
faulty metadata-huge "metadata of 1 GiB" "none offline" "$offline"
expect "the announced length is refused" "is above the limit of 65536 bytes, refusing the download"
fault "$metadata" endless "$HOSTILE_RATE"
faulty metadata-endless "metadata without end" "none offline" "$offline"
expect "the body is cut off at the limit" "The body is longer than the limit of 65536 bytes"

# The updater's archive of version 2 comes first and arrives whole; it is not put in place
# either, since the application's does not.
fault "$archive_v2" notfound
faulty archive-404 "the archive answered with 404" "failed .*" "$not_installed"
expect "the updater's archive came before it" "[Update] Downloading Demo App $v2"
fault "$archive_v2" error
faulty archive-500 "the archive answered with 500" "failed .*" "$not_installed"
fault "$archive_v2" cut
faulty archive-cut "the archive cut short" "failed .*" "$not_installed"
# The receive time-out is about 30 seconds; a start waits for its update for up to a minute
# after the application has ended, and so ends once the stalled download has failed.
fault "$archive_v2" stall
faulty archive-stall "a stalled archive" "failed .*" "$not_installed"
check "a stalled archive holds the start no longer than the receive time-out (${RUN_SECONDS}s)" \
  test "$RUN_SECONDS" -lt 50
fault

# The disk fills during the update: the all-users folder (not the master folder: Wine takes a
# mount point for a link) is a small disk with version 1 on it, filled up to 1 MiB above the
# reserve the launcher keeps free (5% of the disk). Version 2 does not fit: natively its
# application does not, under Wine already its updater (which carries a 2 MiB lzma.exe).
small_disk "$(dirname "$master")" 160m
serve "$folders/v1"
fresh_start small-disk
check "version 1 installs on the small disk" test "$RUN_CODE" -eq 0 -a -d "$app_v1"
serve "$folders/good"
space() { df --output="$1" -B1 "$master" | tail -n 1; }
reserve=$(($(space size) / 20))
fallocate -l $(($(space avail) - reserve - 1024 * 1024)) "$(dirname "$master")/filler"
check "the small disk has 1 MiB above the reserve ($(space avail) bytes free)" \
  test "$(space avail)" -lt $((reserve + 2 * 1024 * 1024))
full() {
  expect "$1: the archive does not fit" "Not enough free space"
  check "$1: it is not installed, for want of space" grep -qE \
    "\[Update\] (Ferrolan|Demo App) $v2 was not installed: the disk has not enough free space" \
    "$OUT"
  check "$1: the reserve holds ($(space avail) bytes free)" test "$(space avail)" -ge "$reserve"
  nothing_of_v2 "$1"
}
update_command disk-full
check "a full disk fails the update command" grep -qE "FLUPDATE failed .*" "$OUT"
full "a full disk"
start disk-full-start
installed_starts "a full disk"
full "a full disk, at a start"
rm "$(dirname "$master")/filler"

# Only the proxy reaches the server: direct access is blocked, the proxy is in the user's
# settings. The update installs through it.
start_tinyproxy
block_direct "$HTTP_PORT"
proxy_in_user_settings
update_command proxy
check "the update installs through the proxy" grep -qE "^FLUPDATE ready $v2.?\$" "$OUT"
check "a proxy strategy wins" \
  grep -qE '\[(State Proxy|WPAD|Windows Proxy|Proxy Non Auto)\] Opened file. Set downloadWorked' \
  "$OUT"
check "version 2 is complete" test -d "$app_v2" -a -d "$updater_v2"
check "version 2 holds what was published" cmp -s "$WORK/padding.bin" "$app_v2/padding.bin"
no_update_folder "through the proxy"
start proxy-start
installed_starts "after the update through the proxy" 2
finish
