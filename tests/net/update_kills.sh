#!/usr/bin/env bash
# End to end, updates killed: version 1 is installed and version 2 is published, its archive a
# few MiB that the server sends slowly. The launcher's update command is killed (SIGKILL) at
# random moments of the update, many times. After every kill each folder under a versioned
# "-complete" name equals the same folder of an undisturbed update, and a start runs a complete
# version. A last, undisturbed update removes what the killed ones left and installs version 2.
#
# Usage: update_kills.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM FAKE_JAVA]
# (see online_package.sh). UPDATE_KILLS sets the number of kills (100).
. "$(dirname "$0")/../e2e/common.sh"
. "$(dirname "$0")/online_package.sh"
. "$(dirname "$0")/update_faults_common.sh"
e2e_enter "$@"
kills=${UPDATE_KILLS:-100}
V2_PADDING_KIB=4096 update_faults_enter "$@"
start_update_server
serve "$folders/good"
# About half a second for the archive of version 2.
fault "Ferrolan-Demo App-$v2-archive.p2.l2" slow 8000000
# The starts between the kills run what is installed, and their own update check finds no
# server: they must not finish the update themselves.
cp "$packaged" "$pkg/offline$EXE"
pack stamp "offline$EXE" --set "update_url=http://127.0.0.1:9/updates/"
offline=$pkg/offline$EXE
runner=()
[ "$TARGET" = windows ] && runner=(wine)

# The undisturbed update, to compare against and to time the kills by.
began=$(date +%s%N)
UPDATE_LAUNCHER=$faulty update_command reference
span=$((($(date +%s%N) - began) / 1000))
check "the undisturbed update installs version 2" grep -qE "^FLUPDATE ready $v2.?\$" "$OUT"
reference=$WORK/reference
mkdir -p "$reference"
cp -a "$master"/*-complete "$reference/"
note "an undisturbed update takes $((span / 1000)) ms; $kills kills follow"
# What a start writes beside what was installed is not compared.
excluded=(-x 'FLLaunchProperties-*' -x "FerrolanUpdater$EXE" -x '*.jsa')

# Every "-complete" folder equals its reference.
complete_folders() {
  local folder name
  for folder in "$master"/*-complete; do
    name=$(basename "$folder")
    [ -d "$reference/$name" ] || { echo "unknown folder $name"; return 1; }
    diff -r -q "${excluded[@]}" "$reference/$name" "$folder" ||
      { echo "$name differs from the undisturbed update"; return 1; }
  done
}
# A kill that came after the update leaves version 2 installed; it goes again, so that the next
# kill has an update to interrupt.
rearm() { rm -rf "$app_v2" "$updater_v2"; }
rearm

interrupted=0 completed=0 failed=0
for ((i = 1; i <= kills; i++)); do
  delay=$(((RANDOM * 32768 + RANDOM) % span))
  (cd "$WORK" && exec setsid "${runner[@]}" "$faulty" FLUPDATE_DOWNLOAD >/dev/null 2>&1) &
  pid=$!
  sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  # Under Wine the program's end reaches the wineserver a moment later.
  [ "$TARGET" = windows ] &&
    timeout 10 bash -c 'while pgrep -f "$1" >/dev/null; do sleep 0.05; done' _ \
      "$(basename "$WORK")/pkg/[f]aulty"
  if ls "$master" | grep -q "^FerrolanUpdate-"; then interrupted=$((interrupted + 1)); fi
  round="kill $i after $((delay / 1000)) ms"
  if ! complete_folders; then
    check "$round: every complete folder is whole" false
    failed=1
    break
  fi
  LAUNCHER=$offline launcher "$WORK/start-$i" first-argument
  if [ "$RUN_CODE" -ne 0 ] || ! complete_folders ||
    ! grep -qE "\[Extractor\] Launching 'Ferrolan-Ferrolan-($v1|$v2)-complete'" "$OUT"; then
    check "$round: the next start runs a complete version" false
    failed=1
    break
  fi
  if [ -d "$app_v2" ]; then
    completed=$((completed + 1))
    rearm
  fi
  rm -rf "$WORK/start-$i"
done
check "after each of $kills kills every complete folder is whole and a start runs" \
  test "$failed" -eq 0
note "$interrupted kills left an unfinished update behind, $completed came after the update"
check "kills landed inside the update ($interrupted of $kills)" \
  test "$interrupted" -ge $((kills / 5))

left=$(ls "$master" | grep -c "^FerrolanUpdate-")
UPDATE_LAUNCHER=$faulty update_command last
check "an undisturbed update afterwards installs version 2" \
  grep -qE "^FLUPDATE ready $v2.?\$" "$OUT"
if [ "$left" -gt 0 ]; then
  expect "it removes what the last kill left" "[Update] Removing FerrolanUpdate-"
fi
check "version 2 equals the undisturbed update" complete_folders
check "version 2 is complete" test -d "$app_v2" -a -d "$updater_v2"
no_update_folder "after the last update"
LAUNCHER=$offline launcher "$WORK/after" first-argument
installed_starts "after the last update" 2
finish
