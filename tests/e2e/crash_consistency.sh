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
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../net/harness.sh"
RUN_TIMEOUT=60
harness_enter "$@"
pack_tool=$(realpath "$3")
fake_jvm=$(realpath "$4")
kills=${5:-200}
fail() { echo "FAIL: $*"; exit 1; }

if [ "$TARGET" = windows ]; then
  programdata=$WINEPREFIX/drive_c/ProgramData
  exe=.exe
  runner=(wine)
else
  programdata=$WORK/programdata
  export PROGRAMDATA=$programdata
  exe=
  runner=()
fi
mkdir -p "$programdata"
master="$programdata/Ferrolan-Crash App"

# The payload: an updater, an application and a runtime of a few MiB of incompressible files,
# so that a kill lands in every stage of the extraction.
pkg=$WORK/pkg
mkdir -p "$pkg/updater" "$pkg/app" "$pkg/files" "$pkg/jre/bin" "$pkg/jre/lib"
launch_file() { # main-class app-name jar
  printf '%s\0' 5 "$1" "" "$2" "" 0 64 16 1 "$3" 0 com.ferrolan.updater.CompatibilityCheck "" "" 0
}
launch_file com.ferrolan.updater.Updater FerrolanUpdater updater.jar >"$pkg/updater/FerrolanLaunch"
head -c 300000 /dev/urandom >"$pkg/updater/updater.jar"
launch_file com.example.Main "Crash App" app.jar >"$pkg/app/FerrolanLaunch"
head -c 65536 /dev/urandom >"$pkg/jre/lib/modules"  # what marks a runtime as whole
if [ "$TARGET" = windows ]; then
  java_launcher=javaw.exe
  mkdir -p "$pkg/jre/bin/server"
  cp "$6" "$pkg/jre/bin/java.exe"
  cp "$6" "$pkg/jre/bin/javaw.exe"
  cp "$fake_jvm" "$pkg/jre/bin/server/jvm.dll"
  # On Windows the carried lzma.exe is patched into a windowed program, so it must be an image.
  cp "$6" "$pkg/files/lzma.exe"
else
  java_launcher=java
  mkdir -p "$pkg/jre/lib/server"
  printf '#!/bin/sh\nexit 0\n' >"$pkg/jre/bin/java"
  chmod +x "$pkg/jre/bin/java"
  cp "$fake_jvm" "$pkg/jre/lib/server/libjvm.so"
  printf 'not a Windows tool\n' >"$pkg/files/lzma.exe"
fi
for i in $(seq 1 24); do head -c 131072 /dev/urandom >"$pkg/jre/lib/part$i"; done
printf 'no trust store\n' >"$pkg/files/cacerts"
printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"
cp "$LAUNCHER" "$pkg/ferrolan$exe"
pack() {
  (cd "$pkg" && timeout -k 5 "$RUN_TIMEOUT" "${runner[@]}" "$pack_tool" "$@") >"$WORK/pack.log" 2>&1 ||
    { cat "$WORK/pack.log"; fail "ferrolan-pack $1 failed"; }
}
pack keygen -o key
package() { # app-version output
  head -c 400000 /dev/urandom >"$pkg/app/app.jar"
  printf '%s' "$1" >"$pkg/app/version.txt"
  cat >"$pkg/crash.json" <<JSON
{ "launcher": "ferrolan$exe", "app_name": "Crash App", "install_type": "perm_all",
  "update_url": "http://0.0.254.254/", "required_java_version": 11, "key": "key.private.der",
  "lzma_exe": "files/lzma.exe", "splash_image": "files/splash.png", "cacerts": "files/cacerts",
  "updater": { "version": "$1", "folder": "updater" },
  "jre": { "name": "jre17", "version": "17", "folder": "jre" },
  "app": { "version": "$1", "folder": "app" } }
JSON
  pack build --config crash.json -o "$2$exe"
  mv "$pkg/$2$exe" "$WORK/$2$exe"
  chmod +x "$WORK/$2$exe"
}
package 1 v1
package 2 v2

# run LAUNCHER [LOG]: one start into the master folder.
run() {
  (cd "$WORK" && timeout -k 5 "$RUN_TIMEOUT" "${runner[@]}" "$1" >"${2:-/dev/null}" 2>&1)
}
# The folders an undisturbed install makes, to compare against. Files the run itself writes
# (launch properties, logs) are not part of an install.
reference=$WORK/reference
mkdir -p "$reference"
rm -rf "$master"
run "$WORK/v1$exe" "$WORK/ref1.log" || { tail -30 "$WORK/ref1.log"; fail "the undisturbed install of version 1 failed"; }
cp -a "$master" "$reference/v1"
rm -rf "$master"
run "$WORK/v2$exe" || fail "the undisturbed install of version 2 failed"
cp -a "$master" "$reference/v2"
# Not compared: what a launch writes (the launch properties, and the copy of the runtime's
# launcher under the application's name, which must then equal the runtime's launcher).
excluded=(-x 'FLLaunchProperties-*' -x "FerrolanUpdater$exe" -x '*.part')
compare_complete() { # every "-complete" folder of the master folder equals its reference
  local folder name copy ref
  for folder in "$master"/*-complete; do
    [ -e "$folder" ] || continue
    name=$(basename "$folder")
    ref=$(find "$reference" -maxdepth 2 -type d -name "$name" | head -n 1)
    [ -n "$ref" ] || { echo "unknown folder $name"; return 1; }
    diff -r -q "${excluded[@]}" "$ref" "$folder" >/dev/null ||
      { echo "$name differs from an undisturbed install"; diff -r -q "${excluded[@]}" "$ref" "$folder" | head -n 5; return 1; }
    copy=$folder/bin/FerrolanUpdater$exe
    if [ -e "$copy" ] && ! cmp -s "$copy" "$folder/bin/$java_launcher"; then
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
run "$WORK/v1$exe" || fail "the timing install failed"
span=$((($(date +%s%N) - start) / 1000))
note "an undisturbed install takes $((span / 1000)) ms; $kills kills follow"

killed_early=0
for ((i = 0; i < kills; i++)); do
  rm -rf "$master"
  over_older=$((i % 2))
  launcher=$WORK/v1$exe
  if [ "$over_older" = 1 ]; then
    cp -a "$reference/v1" "$master"
    launcher=$WORK/v2$exe
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
  run "$launcher" "$WORK/rerun.log" ||
    { cat "$WORK/rerun.log"; fail "round $i (killed after $delay us): the rerun failed"; }
  grep -q 'Start: JNI Launch' "$WORK/rerun.log" || { cat "$WORK/rerun.log"; fail "round $i: the rerun launched nothing"; }
  compare_complete || fail "round $i: after the rerun a versioned folder is not complete"
  want=$([ "$over_older" = 1 ] && echo 2 || echo 1)
  installed "Ferrolan-Crash App-0000000000$want" ||
    fail "round $i: the rerun did not install version $want"
done
echo "PASS: $kills kills ($killed_early before the install ended), every rerun launched from complete folders"
