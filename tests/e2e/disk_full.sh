#!/usr/bin/env bash
# Disk full (Linux, root): the shared folder is a small tmpfs mounted in a mount namespace of
# this script's own. A small version is installed first; then a newer version whose application
# does not fit must end with a clear message and exit code 1, leave no temporary or incomplete
# folder, and leave the installed version whole and still the one a start runs.
#
# Usage: tests/e2e/disk_full.sh BUILD_DIR
set -euo pipefail
if [ -z "${FERROLAN_DISK_FULL_INSIDE:-}" ]; then
  if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
    echo "SKIP: needs root and mount namespaces"
    exit 0
  fi
  FERROLAN_DISK_FULL_INSIDE=1 exec unshare -m --propagation private bash "$0" "$@"
fi
build=$(cd "$1" && pwd)
bin=$build/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-disk-full.XXXXXX")
trap 'umount "$work/programdata" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  for log in "$work"/run*.log; do
    echo "---- $log"
    tail -40 "$log"
  done
  exit 1
}

# A launcher of version $1 whose application carries $2 KiB of incompressible data.
package() { # version app-kib out
  local pkg=$work/pkg-$1
  mkdir -p "$pkg/updater" "$pkg/app" "$pkg/jre/lib" "$pkg/files"
  head -c 100000 /dev/urandom >"$pkg/jre/lib/modules"
  head -c $(($2 * 1024)) /dev/urandom >"$pkg/app/app.jar"
  printf 'updater %s' "$1" >"$pkg/updater/FerrolanLaunch"
  printf 'trust store' >"$pkg/files/cacerts"
  printf 'not a Windows tool' >"$pkg/files/lzma.exe"
  printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"
  cp "$work/key.private.der" "$pkg/"
  cat >"$pkg/app.json" <<JSON
{
  "launcher": "$bin/ferrolan",
  "app_name": "Full App",
  "install_type": "perm_all",
  "update_url": "http://127.0.0.1:9/full/",
  "min_splash_ms": 0,
  "required_java_version": 11,
  "key": "key.private.der",
  "lzma_exe": "files/lzma.exe",
  "splash_image": "files/splash.png",
  "cacerts": "files/cacerts",
  "updater": { "version": "$1", "folder": "updater" },
  "jre": { "name": "jre17", "version": "17", "folder": "jre" },
  "app": { "version": "$1", "folder": "app" },
  "params": { "jre_name": "jre17" }
}
JSON
  "$bin/ferrolan-pack" build --config "$pkg/app.json" -o "$3" >/dev/null
  chmod +x "$3"
}
run() { # launcher log
  local rc=0
  (cd "$work" && PROGRAMDATA=$work/programdata timeout 120 "$1" FLPREPARE_FOR_LAUNCH_ONLY) \
    >"$2" 2>&1 || rc=$?
  echo "$rc"
}

"$bin/ferrolan-pack" keygen -o "$work/key" >/dev/null
package 1 200 "$work/launcher-v1"
package 2 12000 "$work/launcher-v2"
mkdir -p "$work/programdata"
mount -t tmpfs -o size=8m tmpfs "$work/programdata"
master="$work/programdata/Ferrolan-Full App"

[ "$(run "$work/launcher-v1" "$work/run1.log")" = 0 ] || fail "version 1 did not install"
[ -d "$master/Ferrolan-Full App-00000000001-complete" ] || fail "version 1 has no app folder"
cp -a "$master/Ferrolan-Full App-00000000001-complete" "$work/app-v1"

rc=$(run "$work/launcher-v2" "$work/run2.log")
[ "$rc" = 1 ] || fail "the install that fills the disk ended with exit code $rc"
grep -q -E 'Not enough free space|Unable to write to file' "$work/run2.log" ||
  fail "the install that fills the disk gave no clear message"
[ ! -e "$master/Ferrolan-Full App-00000000002-complete" ] || fail "version 2 was renamed complete"
if ls "$master" | grep -q '^FerrolanTemp-'; then fail "a temporary folder was left behind"; fi
diff -r "$work/app-v1" "$master/Ferrolan-Full App-00000000001-complete" >/dev/null ||
  fail "version 1 changed"

# Version 1 is still the installed application: its launcher prepares it for a start (the
# updater of version 2, complete before the disk filled, is the one handed over to).
[ "$(run "$work/launcher-v1" "$work/run3.log")" = 0 ] || fail "version 1 no longer starts"
grep -q -E 'Running without extraction now|Keeping the installed App Ferrolan-Full App-00000000001-complete' \
  "$work/run3.log" || fail "version 1 is no longer taken as installed"
echo "PASS: a full disk failed the newer install cleanly and the installed version still runs"
