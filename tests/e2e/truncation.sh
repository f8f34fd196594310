#!/usr/bin/env bash
# Truncation runs. A signed archive cut at every 100 bytes is fed through the launcher's
# extraction test mode (the real decoder and Unarchiver pipeline), and a packaged launcher is cut
# at every 4 KiB of its payload, with its Params section put back after the cut so that the run
# reaches the entries, and run prepare-only into a fresh master folder. Every run must end
# within its time-out with a defined exit code and message; a cut archive leaves no file behind;
# a cut launcher leaves no versioned folder that differs from a complete install and no
# temporary folder, and writes nothing outside its folders.
#
# Usage: tests/e2e/truncation.sh TARGET LAUNCHER PACKAGER ARCHIVE_MAKER [SMALL_EXE]
#   TARGET linux runs the native programs, windows the .exe files under a private Wine, where
#   SMALL_EXE, any small Windows program, stands in for the payload's lzma.exe.
set -uo pipefail
. "$(dirname "$0")/common.sh"
# Each run is short; one that takes this long hangs.
RUN_TIMEOUT=30
e2e_enter "$@"
maker=$(realpath "$4")

# The extraction test mode's folder: the Windows launcher takes it from the prefix.
if [ "$TARGET" = windows ]; then
  extract_folder=$WINEPREFIX/drive_c/TEMP/FerrolanExtractTest
else
  extract_folder=$TMPDIR/FerrolanExtractTest
fi
master="$PROGRAMDATA_DIR/Ferrolan-Cut App"

# ---- a signed archive, cut at every 100 bytes
mkdir -p "$WORK/archive"
target_run "$WORK/archive" "$maker" >/dev/null 2>&1 || { echo "FAIL: no test archive"; exit 1; }
full=$WORK/archive/full.p2.l2
mv "$WORK/archive/test.p2.l2" "$full"
size=$(stat -c %s "$full")
runs=0
rm -rf "$extract_folder"  # what other runs in the prefix left there
for ((cut = 0; cut < size; cut += 100)); do
  head -c "$cut" "$full" >"$WORK/archive/test.p2.l2"
  LAUNCHER=$LAUNCHER launcher "$WORK/archive" --quorvantis-extracttest x
  runs=$((runs + 1))
  check "archive cut at $cut: exit code 1 ($RUN_CODE)" test "$RUN_CODE" = 1
  check "archive cut at $cut: a defined failure message" grep -q -E \
    'unable to verify signature|the input ends inside the entry|carries no signature block|signature block is incomplete|compressed archive is damaged' \
    "$OUT"
  check "archive cut at $cut leaves no file behind" \
    bash -c '[ ! -d "$1" ] || [ -z "$(ls -A "$1")" ]' _ "$extract_folder"
  rm -rf "$extract_folder"
done
cp "$full" "$WORK/archive/test.p2.l2"
launcher "$WORK/archive" --quorvantis-extracttest x
check "the whole archive is accepted" test "$RUN_CODE" = 0
rm -rf "$extract_folder"
note "archive: $size bytes, $runs cuts"

# ---- a small packaged launcher, cut at every 4 KiB of its payload
mkdir -p "$pkg/updater" "$pkg/app" "$pkg/jre/bin" "$pkg/jre/lib"
head -c 150000 /dev/urandom >"$pkg/jre/lib/modules"
head -c 60000 /dev/urandom >"$pkg/app/app.jar"
head -c 40000 /dev/urandom >"$pkg/updater/updater.jar"
printf 'updater launch file' >"$pkg/updater/FerrolanLaunch"
printf 'app launch file' >"$pkg/app/FerrolanLaunch"
printf 'not a launcher' >"$pkg/jre/bin/unused"
package_files "$pkg" "${5:-}"
package_config "Cut App" 1 update_url=http://127.0.0.1:9/cut/ min_splash_ms=0 params= \
  >"$pkg/app.json"
pack keygen -o key
pack build --config app.json -o "launcher$EXE"
packaged=$pkg/launcher$EXE
# Where the payload starts (after the tail marker) and where the Params section starts (its
# marker), from the marker values of the launcher's source.
read -r tail_at params_at < <(python3 - "$SOURCE_DIR/src/tail/markers.cpp" "$packaged" <<'PY'
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
launcher_size=$(stat -c %s "$packaged")
tail -c +$((params_at + 1)) "$packaged" >"$pkg/params"
[ "$tail_at" -gt 0 ] && [ "$params_at" -gt "$tail_at" ] || { echo "FAIL: markers not found"; exit 1; }

# Nothing but the master folder may appear beside what the master folder's parent holds now.
before=$(ls -A "$PROGRAMDATA_DIR")
# run_cut DIR FILE: FILE as the launcher, prepare-only, from a fresh master folder.
run_cut() {
  rm -rf "$master" "$1"
  mkdir -p "$1"
  cp "$2" "$1/launcher$EXE"
  chmod +x "$1/launcher$EXE"
  LAUNCHER="$1/launcher$EXE" launcher "$1" FLPREPARE_FOR_LAUNCH_ONLY
}
# A complete install is the reference every versioned folder of a cut run is compared with.
run_cut "$WORK/reference-run" "$packaged"
check "the whole launcher installs" test "$RUN_CODE" = 0
[ "$RUN_CODE" = 0 ] || finish
rm -rf "$WORK/reference"
cp -r "$master" "$WORK/reference"

cuts=0
check_cut() { # cut label file
  run_cut "$WORK/cut" "$3"
  cuts=$((cuts + 1))
  check "$2 cut at $1: exit code 0 or 1 ($RUN_CODE)" test "$RUN_CODE" -le 1
  if [ "$RUN_CODE" = 1 ]; then
    check "$2 cut at $1: exit code 1 with a defined message" grep -q -E \
      'Could not find marker|missing or too long|the input ends inside the entry|payload ends before all of its entries|unable to verify signature|carries no signature block|signature block is incomplete|compressed archive is damaged|Unable to extract archive file|Params' \
      "$OUT"
  fi
  local folder name reference version
  for folder in "$master"/*-complete; do
    [ -e "$folder" ] || continue
    name=$(basename "$folder")
    reference=$WORK/reference/$name
    # A cut inside the Params section loses the pairs after the cut, the JRE's name among them:
    # the runtime is then installed under an empty name. Its reference is the folder of the
    # same version.
    if [ ! -d "$reference" ]; then
      version=${name%-complete}
      version=${version##*-}
      reference=$(compgen -G "$WORK/reference/*-$version-complete" | head -n 1)
      reference=${reference:-$WORK/reference/$name}
    fi
    check "$2 cut at $1: $name is complete" diff -r "$folder" "$reference"
  done
  check "$2 cut at $1: no temporary folder is left" \
    bash -c '! ls "$1" 2>/dev/null | grep -q "^FerrolanTemp-"' _ "$master"
  check "$2 cut at $1: nothing is written outside the master folder" \
    test "$(ls -A "$PROGRAMDATA_DIR" | grep -vxF "Ferrolan-Cut App")" = "$before"
  check "$2 cut at $1: nothing is written beside the launcher" \
    test "$(ls -A "$WORK/cut")" = "$(printf 'launcher%s\nout.txt' "$EXE")"
}
# Cut as it is: the Params section is gone, so the run must stop before the payload. Cuts
# inside the executable image itself are left out: a program whose own code is cut off is
# refused by the system's loader before any of it runs. The first cut is where the image ends,
# the others at every 4 KiB after it.
image_end=$((tail_at - 128))
next_cut() { echo $(($1 - ($1 % 4096) + 4096)); }
for ((cut = image_end; cut < launcher_size; cut = $(next_cut $cut))); do
  head -c "$cut" "$packaged" >"$WORK/cut.bin"
  check_cut "$cut" plain "$WORK/cut.bin"
done
# Cut inside the payload with the Params section put back: the entries end early.
for ((cut = image_end; cut < params_at; cut = $(next_cut $cut))); do
  { head -c "$cut" "$packaged"; cat "$pkg/params"; } >"$WORK/cut.bin"
  check_cut "$cut" payload "$WORK/cut.bin"
done
# The last entry (the application's version file, a plain entry no signature covers) cut by a
# few bytes, right before the Params section: it must end at the Params marker.
for short in 1 2 5 11; do
  { head -c $((params_at - short)) "$packaged"; cat "$pkg/params"; } >"$WORK/cut.bin"
  check_cut "$((params_at - short))" "last entry" "$WORK/cut.bin"
  expect "the last entry short by $short bytes is reported as cut" "the input ends inside the entry"
done
note "launcher: $launcher_size bytes, payload $tail_at..$params_at, $cuts cuts"
finish
