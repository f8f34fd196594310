#!/usr/bin/env bash
# Crash consistency: the launcher is killed with SIGKILL at random moments of an install, then
# started again. Whatever the moment, a folder under a versioned "-complete" name is complete
# (it equals the same folder of an undisturbed install), the rerun ends with the application
# launched from complete folders, and during an install over an older version the older
# version stays installed until the newer one is complete.
#
# The runtime is a stand-in (the project's fake JVM library, a java that only exits), so an
# install takes a fraction of a second and many kills fit in the test's time.
#
# Usage: crash_consistency.sh BUILD_DIR FAKE_JVM [KILLS]
set -euo pipefail
build=$(realpath "$1")
fake_jvm=$(realpath "$2")
kills=${3:-200}
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-crash.XXXXXX")
trap '[ -n "${FERROLAN_E2E_KEEP:-}" ] || rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The payload: an updater, an application and a runtime of a few MiB of incompressible files,
# so that a kill lands in every stage of the extraction.
pkg=$work/pkg
mkdir -p "$pkg/updater" "$pkg/app" "$pkg/files" "$pkg/jre/bin" "$pkg/jre/lib/server"
launch_file() { # main-class app-name jar
  printf '%s\0' 5 "$1" "" "$2" "" 0 64 16 1 "$3" 0 com.ferrolan.updater.CompatibilityCheck "" "" 0
}
launch_file com.ferrolan.updater.Updater FerrolanUpdater updater.jar >"$pkg/updater/FerrolanLaunch"
head -c 300000 /dev/urandom >"$pkg/updater/updater.jar"
launch_file com.example.Main "Crash App" app.jar >"$pkg/app/FerrolanLaunch"
printf '#!/bin/sh\nexit 0\n' >"$pkg/jre/bin/java"
head -c 65536 /dev/urandom >"$pkg/jre/lib/modules"  # what marks a runtime as whole
chmod +x "$pkg/jre/bin/java"
cp "$fake_jvm" "$pkg/jre/lib/server/libjvm.so"
for i in $(seq 1 24); do head -c 131072 /dev/urandom >"$pkg/jre/lib/part$i"; done
printf 'no trust store\n' >"$pkg/files/cacerts"
printf 'not a Windows tool\n' >"$pkg/files/lzma.exe"
printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"
"$build/bin/ferrolan-pack" keygen -o "$pkg/key" >/dev/null
package() { # app-version output
  head -c 400000 /dev/urandom >"$pkg/app/app.jar"
  printf '%s' "$1" >"$pkg/app/version.txt"
  cat >"$pkg/crash.json" <<JSON
{ "launcher": "$build/bin/ferrolan", "app_name": "Crash App", "install_type": "perm_all",
  "update_url": "http://0.0.254.254/", "required_java_version": 11, "key": "key.private.der",
  "lzma_exe": "files/lzma.exe", "splash_image": "files/splash.png", "cacerts": "files/cacerts",
  "updater": { "version": "$1", "folder": "updater" },
  "jre": { "name": "jre17", "version": "17", "folder": "jre" },
  "app": { "version": "$1", "folder": "app" } }
JSON
  "$build/bin/ferrolan-pack" build --config "$pkg/crash.json" -o "$2" >/dev/null
}
package 1 "$work/v1"
package 2 "$work/v2"

# run LAUNCHER ROOT [LOG]: one start into the shared folder ROOT.
run() { mkdir -p "$2"; (cd "$work" && PROGRAMDATA=$2 timeout -k 5 60 "$1" >"${3:-/dev/null}" 2>&1); }
# The folders an undisturbed install makes, to compare against. Files the run itself writes
# (launch properties, logs) are not part of an install.
reference=$work/reference
run "$work/v1" "$reference/v1" "$work/ref1.log" || { tail -30 "$work/ref1.log"; false; } || fail "the undisturbed install of version 1 failed"
run "$work/v2" "$reference/v2" || fail "the undisturbed install of version 2 failed"
# Not compared: what a launch writes (the launch properties, and the copy of the runtime's
# launcher under the application's name, which must then equal the runtime's launcher).
excluded=(-x 'FLLaunchProperties-*' -x FerrolanUpdater -x '*.part')
compare_complete() { # ROOT: every "-complete" folder equals its reference
  local folder name copy
  for folder in "$1"/Ferrolan-Crash\ App/*-complete; do
    [ -e "$folder" ] || continue
    name=$(basename "$folder")
    ref=$(find "$reference" -maxdepth 3 -type d -name "$name" | head -n 1)
    [ -n "$ref" ] || { echo "unknown folder $name"; return 1; }
    diff -r -q "${excluded[@]}" "$ref" "$folder" >/dev/null ||
      { echo "$name differs from an undisturbed install"; diff -r -q "${excluded[@]}" "$ref" "$folder" | head -n 5; return 1; }
    copy=$folder/bin/FerrolanUpdater
    if [ -e "$copy" ] && ! cmp -s "$copy" "$folder/bin/java"; then
      echo "$name holds a cut copy of its launcher"
      return 1
    fi
  done
}
installed() { # ROOT COMPONENT-VERSION-NAME
  [ -d "$1/Ferrolan-Crash App/$2-complete" ]
}

# How long an undisturbed install takes, so the kills fall inside it.
start=$(date +%s%N)
run "$work/v1" "$work/timing" || fail "the timing install failed"
span=$((($(date +%s%N) - start) / 1000))
echo "an undisturbed install takes $((span / 1000)) ms; $kills kills follow"

killed_early=0
for ((i = 0; i < kills; i++)); do
  root=$work/root
  rm -rf "$root"; mkdir -p "$root"
  over_older=$((i % 2))
  launcher=$work/v1
  if [ "$over_older" = 1 ]; then
    cp -a "$reference/v1/." "$root/"
    launcher=$work/v2
  fi
  delay=$((RANDOM * 32768 + RANDOM))
  delay=$((delay % span))
  (cd "$work" && PROGRAMDATA=$root exec setsid "$launcher" >/dev/null 2>&1) &
  pid=$!
  sleep "$(printf '0.%06d' "$delay")"
  kill -KILL -- "-$pid" 2>/dev/null && killed_early=$((killed_early + 1))
  wait "$pid" 2>/dev/null || true

  compare_complete "$root" || fail "round $i (killed after $delay us): a versioned folder is not complete"
  if [ "$over_older" = 1 ] && ! installed "$root" "Ferrolan-Crash App-00000000002"; then
    installed "$root" "Ferrolan-Crash App-00000000001" ||
      fail "round $i: the older version is gone although the newer one is not complete"
  fi
  run "$launcher" "$root" "$work/rerun.log" ||
    { cat "$work/rerun.log"; fail "round $i (killed after $delay us): the rerun failed"; }
  grep -q 'Start: JNI Launch' "$work/rerun.log" || fail "round $i: the rerun launched nothing"
  compare_complete "$root" || fail "round $i: after the rerun a versioned folder is not complete"
  want=$([ "$over_older" = 1 ] && echo 2 || echo 1)
  installed "$root" "Ferrolan-Crash App-0000000000$want" ||
    fail "round $i: the rerun did not install version $want"
done
echo "PASS: $kills kills ($killed_early before the install ended), every rerun launched from complete folders"
