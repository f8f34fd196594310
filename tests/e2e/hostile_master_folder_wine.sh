#!/usr/bin/env bash
# A hostile master folder under Windows (Wine). Links to folders are planted at every name the
# launcher will create in the all-users master folder (the temporary names predicted from the
# naming scheme, every versioned "-complete" name, "logs", "FLApps", "FLAppsSharedConfig"), all
# pointing at a folder outside with a canary file. Wine shows such a link to a Windows program as
# a reparse point. The launcher then installs a stand-in application, first with a damaged
# application archive, then whole: each run must end with an exit code of its table, pass over
# every link, and change nothing outside the master folder. (Wine
# cannot show a link to a file as one; such links are tested on Linux.)
#
# Usage: hostile_master_folder_wine.sh windows LAUNCHER PACKAGER FAKE_JVM FAKE_JAVA_EXE
set -uo pipefail
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/hostile_common.sh"
RUN_TIMEOUT=120
e2e_enter "$@"
[ "$TARGET" = windows ] || { echo "FAIL: this test is for the Windows build"; exit 1; }
stand_in_package "$pkg" "Host App" "$4" "$5"
pack keygen -o key
package_config "Host App" 1 >"$pkg/host.json"
pack build --config host.json -o "Host App.exe"

master="$PROGRAMDATA_DIR/Ferrolan-Host App"
outside=$PROGRAMDATA_DIR/outside
mkdir -p "$master" "$outside/sub"
echo canary >"$outside/canary"
echo canary >"$outside/sub/canary"
fixed=(logs FLApps FLAppsSharedConfig Ferrolan-Ferrolan-00000000001-complete
  Ferrolan-jre17-00000000017-complete "Ferrolan-Host App-00000000001-complete")
hostile_names "$(date +%s)" 60 21 "${fixed[@]}" >"$WORK/names"
(cd "$master" && while IFS= read -r name; do ln -s "$outside" "$name"; done <"$WORK/names")
check "every link is planted" \
  test "$(find "$master" -mindepth 1 -maxdepth 1 | wc -l)" = "$(wc -l <"$WORK/names")"

snapshot() { # everything outside the master folder: names, types, contents
  (cd "$PROGRAMDATA_DIR" && find . -path "./Ferrolan-Host App" -prune -o -print0 | sort -z |
    xargs -0 stat -c '%n %F %s' && find outside -type f -print0 | sort -z | xargs -0 sha256sum)
}
snapshot >"$WORK/before"
# First with a damaged application archive, rejected after part of it was written.
damaged_copy "$pkg/Host App.exe" "$pkg/Damaged App.exe" "Host App" ||
  { echo "FAIL: the application's version entry was not found"; exit 1; }
LAUNCHER="$pkg/Damaged App.exe" launcher "$WORK/damaged" hostile
check "the damaged launcher ends with exit code 1 ($RUN_CODE)" test "$RUN_CODE" = 1
check "the damaged archive is the reason" \
  grep -q -E 'unable to verify signature|compressed archive is damaged|a link is on the way' "$OUT"
snapshot >"$WORK/after"
check "the rejected archive changed nothing outside the master folder" \
  diff -u "$WORK/before" "$WORK/after"
LAUNCHER="$pkg/Host App.exe" launcher "$WORK/run" hostile
snapshot >"$WORK/after"
check "nothing outside the master folder changed" diff -u "$WORK/before" "$WORK/after"
check "the run ends with an exit code of the launcher's ($RUN_CODE)" \
  bash -c 'case $1 in 0 | 1 | 99) true ;; *) false ;; esac' _ "$RUN_CODE"
expect "the links at the versioned names are recognised" "is a link; skipping it"
check "a planted temporary name is met and passed over" \
  grep -q '\[Extractor\] Temporary name .* is taken; trying the next' "$OUT"
# Wine cannot remove a POSIX link to a folder as itself (and moving it would move the folder it
# points to), so a link at a versioned name stops the install there, with its message; on
# Windows the link is removed and the component installed in its place.
if [ "$RUN_CODE" = 1 ]; then
  expect "a link that cannot be removed stops the install" "a link is on the way"
fi
if [ "$RUN_CODE" = 0 ]; then
  for folder in Ferrolan-Ferrolan-00000000001-complete Ferrolan-jre17-00000000017-complete \
    "Ferrolan-Host App-00000000001-complete"; do
    check "$folder is installed in place of its link" \
      bash -c '[ -d "$1" ] && [ ! -L "$1" ]' _ "$master/$folder"
  done
  expect "the application is launched" "Start: JNI Launch"
fi
finish
