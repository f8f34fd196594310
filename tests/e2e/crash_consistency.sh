#!/usr/bin/env bash
# Crash consistency: the launcher is killed with SIGKILL at random moments of an install, then
# started again. Whatever the moment, a folder under a versioned "-complete" name is complete
# (it equals the same folder of an undisturbed install), the rerun ends with the application
# launched from complete folders, and during an install over an older version the older
# version stays installed until the newer one is complete.
#
# The runtime is a stand-in (the project's fake JVM library, and a java that only exits), so an
# install takes a fraction of a second and many kills fit in the test's time. The script runs in
# namespaces of its own (tests/net/harness.sh); the Windows build under a private Wine, where a
# SIGKILL to the program's process is the abrupt end TerminateProcess would give.
#
# Usage: crash_consistency.sh TARGET LAUNCHER PACKAGER FAKE_JVM [KILLS] [FAKE_JAVA_EXE]
#   FAKE_JAVA_EXE (windows): the stand-in java.exe.
set -uo pipefail
. "$(dirname "$0")/common.sh"
RUN_TIMEOUT=60
e2e_enter "$@"
kills=${5:-200}
runner=()
[ "$TARGET" = windows ] && runner=(wine)
master="$PROGRAMDATA_DIR/Ferrolan-Crash App"

# The payload: an updater, an application and a runtime of a few MiB of incompressible files,
# so that a kill lands in every stage of the extraction.
stand_in_package "$pkg" "Crash App" "$4" "${6:-}"
for i in $(seq 1 24); do head -c 131072 /dev/urandom >"$pkg/jre/lib/part$i"; done
pack keygen -o key
package() { # app-version output
  head -c 400000 /dev/urandom >"$pkg/app/app.jar"
  printf '%s' "$1" >"$pkg/app/version.txt"
  package_config "Crash App" "$1" >"$pkg/crash.json"
  pack build --config crash.json -o "$2$EXE"
  mv "$pkg/$2$EXE" "$WORK/$2$EXE"
  chmod +x "$WORK/$2$EXE"
}
package 1 v1
package 2 v2

# run LAUNCHER [LOG]: one start into the master folder.
run() {
  local log=${2:-$WORK/run.log} rc
  (cd "$WORK" && timeout -k 5 "$RUN_TIMEOUT" "${runner[@]}" "$1" >"$log" 2>&1)
  rc=$?
  # On a loaded machine Wine now and then fails to start a program at all (exit code 1, nothing
  # but Wine's own client errors, where the launcher's first act is to log): that start is made
  # once more.
  if [ "$TARGET" = windows ] && [ "$rc" = 1 ] && ! grep -qv '^wine client error' "$log"; then
    note "Wine did not start $(basename "$1"); starting it once more"
    (cd "$WORK" && timeout -k 5 "$RUN_TIMEOUT" "${runner[@]}" "$1" >"$log" 2>&1)
    rc=$?
  fi
  return "$rc"
}
# The folders an undisturbed install makes, to compare against. Files the run itself writes
# (launch properties, logs) are not part of an install.
reference=$WORK/reference
mkdir -p "$reference"
rm -rf "$master"
run "$WORK/v1$EXE" "$WORK/ref1.log" || { tail -30 "$WORK/ref1.log"; fail "the undisturbed install of version 1 failed"; }
cp -a "$master" "$reference/v1"
rm -rf "$master"
run "$WORK/v2$EXE" || fail "the undisturbed install of version 2 failed"
cp -a "$master" "$reference/v2"
# Not compared: what a launch writes (the launch properties, and the copy of the runtime's
# launcher under the application's name, which must then equal the runtime's launcher).
excluded=(-x 'FLLaunchProperties-*' -x "FerrolanUpdater$EXE" -x '*.part')
compare_complete() { # every "-complete" folder of the master folder equals its reference
  local folder name copy ref
  for folder in "$master"/*-complete; do
    [ -e "$folder" ] || continue
    name=$(basename "$folder")
    ref=$(find "$reference" -maxdepth 2 -type d -name "$name" | head -n 1)
    [ -n "$ref" ] || { echo "unknown folder $name"; return 1; }
    diff -r -q "${excluded[@]}" "$ref" "$folder" >/dev/null ||
      { echo "$name differs from an undisturbed install"; diff -r -q "${excluded[@]}" "$ref" "$folder" | head -n 5; return 1; }
    copy=$folder/bin/FerrolanUpdater$EXE
    if [ -e "$copy" ] && ! cmp -s "$copy" "$folder/bin/$JAVA_LAUNCHER"; then
      echo "$name holds a cut copy of its launcher"
      return 1
    fi
  done
}
installed() { # COMPONENT-VERSION-NAME
  [ -d "$master/$1-complete" ]
}

# How long an undisturbed install takes, so the kills fall inside it.
rm -rf "$master"
start=$(date +%s%N)
run "$WORK/v1$EXE" || fail "the timing install failed"
span=$((($(date +%s%N) - start) / 1000))
note "an undisturbed install takes $((span / 1000)) ms; $kills kills follow"

killed_early=0
for ((i = 0; i < kills; i++)); do
  rm -rf "$master"
  over_older=$((i % 2))
  launcher=$WORK/v1$EXE
  if [ "$over_older" = 1 ]; then
    cp -a "$reference/v1" "$master"
    launcher=$WORK/v2$EXE
  fi
  delay=$((RANDOM * 32768 + RANDOM))
  delay=$((delay % span))
  (cd "$WORK" && exec setsid "${runner[@]}" "$launcher" >/dev/null 2>&1) &
  pid=$!
  sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
  kill -KILL -- "-$pid" 2>/dev/null && killed_early=$((killed_early + 1))
  wait "$pid" 2>/dev/null
  # Under Wine the program's end reaches the wineserver a moment later; a rerun before that
  # would still see its files open.
  [ "$TARGET" = windows ] &&
    timeout 10 bash -c 'while pgrep -f "$1" >/dev/null; do sleep 0.05; done' _ \
      "$(basename "$WORK")/[v][12]"  # a pattern that does not match its own command line

  compare_complete || fail "round $i (killed after $delay us): a versioned folder is not complete"
  if [ "$over_older" = 1 ] && ! installed "Ferrolan-Crash App-00000000002"; then
    installed "Ferrolan-Crash App-00000000001" ||
      fail "round $i: the older version is gone although the newer one is not complete"
  fi
  run "$launcher" "$WORK/rerun.log"
  rc=$?
  [ "$rc" = 0 ] ||
    { cat "$WORK/rerun.log"; fail "round $i (killed after $delay us): the rerun failed ($rc)"; }
  grep -q 'Start: JNI Launch' "$WORK/rerun.log" || { cat "$WORK/rerun.log"; fail "round $i: the rerun launched nothing"; }
  compare_complete || fail "round $i: after the rerun a versioned folder is not complete"
  want=$([ "$over_older" = 1 ] && echo 2 || echo 1)
  installed "Ferrolan-Crash App-0000000000$want" ||
    fail "round $i: the rerun did not install version $want"
done
echo "PASS: $kills kills ($killed_early before the install ended), every rerun launched from complete folders"
