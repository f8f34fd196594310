#!/usr/bin/env bash
# The download-and-extract pipeline against a real server: an archive signed with the test key
# is downloaded, decoded and installed; a forged archive (one byte changed after signing), a
# truncated one, and a good one whose server sends less than it announced leave nothing
# installed. Called with a third argument: the test-archive maker of the same target.
. "$(dirname "$0")/harness.sh"
harness_enter "$@"
maker=$(realpath "$3") || { echo "FAIL: no test-archive maker at $3"; exit 1; }

# Where the test mode extracts: the temporary folder of the target ("C:\TEMP" under Windows).
if [ "$TARGET" = windows ]; then
  installed=$WINEPREFIX/drive_c/TEMP/FerrolanDownloadTest
else
  installed=$TMPDIR/FerrolanDownloadTest
fi

# make_archive NAME [tampered]: the maker writes test.p2.l2 into its working folder.
make_archive() {
  mkdir -p "$WORK/make-$1"
  if [ "$TARGET" = windows ]; then
    (cd "$WORK/make-$1" && wine_run "$maker" ${2:+"$2"}) >/dev/null 2>&1
  else
    (cd "$WORK/make-$1" && timeout 60 "$maker" ${2:+"$2"})
  fi || { echo "FAIL: the test archive could not be made"; exit 1; }
  mv "$WORK/make-$1/test.p2.l2" "$WORK/www/$1.p2.l2"
}

mkdir -p "$WORK/www"
make_archive good
make_archive forged tampered
size=$(stat -c %s "$WORK/www/good.p2.l2")
head -c $((size / 2)) "$WORK/www/good.p2.l2" >"$WORK/www/truncated.p2.l2"
start_nginx "$WORK/www"

# Installs from URL after emptying the destination; nothing of an earlier run may count.
install_from() {
  rm -rf "$installed"
  launcher "$WORK/$1" --quorvantis-downloadtest2 "$2"
}
nothing_installed() { [ -z "$(find "$installed" -type f 2>/dev/null)" ]; }

install_from good "http://127.0.0.1:$HTTP_PORT/good.p2.l2"
expect "the good archive downloads" "[DEBUG] Download worked!"
check "the good archive is installed" \
  grep -qx "hello from the extraction test" "$installed/extracttest/hello.txt"
check "the run succeeds" test "$RUN_CODE" -eq 0

install_from forged "http://127.0.0.1:$HTTP_PORT/forged.p2.l2"
expect "the forged archive's signature is refused" "unable to verify signature of hash of archive"
check "the forged archive installs nothing" nothing_installed
check "the forged archive fails the run" test "$RUN_CODE" -ne 0

install_from truncated "http://127.0.0.1:$HTTP_PORT/truncated.p2.l2"
check "the truncated archive installs nothing" nothing_installed
check "the truncated archive fails the run" test "$RUN_CODE" -ne 0

# A body that ends before its announced length is no download, however good its start.
start_bad_server short "$WORK/www/good.p2.l2"
install_from short "http://127.0.0.1:$BAD_PORT/good.p2.l2"
expect "a short download is reported as failed" "[DEBUG] Download FALED!"
check "a short download installs nothing" nothing_installed
finish
