#!/usr/bin/env bash
# End to end, updates under attack: version 1 is installed and version 2 is published. Update
# folders that were tampered with must be refused with a clear line in the log, install no part
# of version 2 and leave no update folder, while version 1 still starts: metadata signed with
# another key, metadata of another application signed with the right key, an archive longer
# than declared, a validly signed archive of another build in place of the declared one,
# metadata that has expired (under faketime), and metadata that offers a version at or below
# the installed one. The same folder, unharmed, then installs version 2.
#
# Usage: update_attacks.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM FAKE_JAVA]
# (see online_package.sh).
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
. "$(dirname "$0")/update_faults_common.sh"
e2e_enter "$@"
update_faults_enter "$@"
archive_v2="Ferrolan-Demo App-$v2-archive.p2.l2"
declared=$(stat -c %s "$folders/good/$archive_v2")

# The folders of the attacks: the same release signed with another key, another application
# signed with the right one, and another build of version 2 (without a runtime, so no runtime
# is packed again).
pack keygen -o other
publish_release "$folders/other-key" "Demo App" 2 jre=none key=other.private.der
publish_release "$folders/other-app" "Other App" 2 jre=none
printf 'another build\n' >"$pkg/app/another-build.txt"
publish_release "$folders/another-build" "Demo App" 2 jre=none
rm "$pkg/app/another-build.txt"

# refused NAME WHAT ANSWER LINE: the update command against the folder served now answers
# ANSWER and logs LINE; nothing of version 2 is installed; a start runs version 1 and, its own
# check refused the same way, leaves nothing of version 2 either. With AS=faked both run under
# faketime.
refused() {
  ${AS:-} update_command "$1"
  # Not at the line's start: a decoder's message on standard error may come first.
  check "$2: the command answers '$3'" grep -qE "FLUPDATE $3.?\$" "$OUT"
  expect "$2: the log says why" "$4"
  nothing_of_v2 "$2"
  ${AS:-} start "$1-start"
  installed_starts "$2"
  expect "$2: the start's own check says why" "$4"
  nothing_of_v2 "$2, after a start"
}

serve "$folders/good"
cp "$folders/other-key/Ferrolan-update.meta" "$updates/"
refused other-key "metadata signed with another key" "none refused" \
  "[Update] Refusing the update metadata: its signature does not verify with this launcher's key"

serve "$folders/good"
cp "$folders/other-app/Ferrolan-update.meta" "$updates/"
refused other-app "metadata of another application" "none refused" \
  "[Update] Refusing the update metadata: it is for another application: Other App"

serve "$folders/good"
head -c 4096 /dev/urandom >>"$updates/$archive_v2"
refused longer "an archive longer than declared" "failed .*" \
  "[Update] Demo App $v2 was not installed: the archive is not the one the metadata declares"
expect "the announced length is refused" \
  "Required file size $((declared + 4096)) is above the limit of $declared bytes"

# Another validly signed build of version 2, padded to the declared length: only the digest
# tells it from the published one.
serve "$folders/good"
cp "$folders/another-build/$archive_v2" "$updates/$archive_v2"
check "the other build is shorter than the declared archive" \
  test "$(stat -c %s "$updates/$archive_v2")" -lt "$declared"
truncate -s "$declared" "$updates/$archive_v2"
refused digest "a signed archive of another build" "failed .*" \
  "[Update] Demo App $v2 was not installed: the archive is not the one the metadata declares"
expect "the whole length arrives, with another digest" \
  "[Streamer] [BodyCheck] The archive is not the one declared: $declared of $declared bytes"

# Expired metadata: the launcher's clock a month ahead (the metadata expires after 28 days).
if [ -n "$(faketime_library)" ]; then
  serve "$folders/good"
  FAKED_TIME=+30d AS=faked refused expired "expired metadata" "none expired" \
    "[Update] The update metadata expired"
else
  note "faketime is not installed: the case of expired metadata is left out"
fi

# The unharmed folder installs version 2.
serve "$folders/good"
update_command install
check "the unharmed folder installs version 2" grep -qE "^FLUPDATE ready $v2.?\$" "$OUT"
check "version 2 is complete" test -d "$app_v2" -a -d "$updater_v2"
check "version 2 holds what was published" cmp -s "$WORK/padding.bin" "$app_v2/padding.bin"

# Newer metadata (the master folder forgets what it accepted) that offers version 2 again, as
# another build, or version 1: nothing is installed, and version 2 still starts.
forget_metadata
serve "$folders/another-build"
update_command equal
check "an offer of the installed version is not taken" \
  grep -qE "^FLUPDATE none up-to-date.?\$" "$OUT"
expect "the installed version counts as current" "[Update] Everything installed is current"
check "the installed version 2 is left as it is" \
  test -f "$app_v2/padding.bin" -a ! -e "$app_v2/another-build.txt"
no_update_folder "an offer of the installed version"

# Version 1 is removed first, as the updater's clean-up of old versions would.
rm -rf "$app_v1" "$master/Ferrolan-Ferrolan-$v1-complete"
publish_release "$folders/lower" "Demo App" 1 jre=none
forget_metadata
serve "$folders/lower"
update_command lower
check "an offer of a lower version is not taken" grep -qE "^FLUPDATE none up-to-date.?\$" "$OUT"
expect "the installed version counts as current" "[Update] Everything installed is current"
check "version 1 is not installed again" \
  test ! -e "$app_v1" -a ! -e "$master/Ferrolan-Ferrolan-$v1-complete"
no_update_folder "an offer of a lower version"
start lower-start
installed_starts "an offer of a lower version" 2
check "the start installs no lower version either" test ! -e "$app_v1"
finish
