#!/usr/bin/env bash
# CMake's cross-compiling emulator: runs one Windows executable under Wine with the project's
# prefix, bounded in time, and passes its exit code through.
#
# Now and then Wine fails to start a program at all: it ends at once with an error code and
# without a single byte of output, before the program's own code ran (every test program prints
# from its first line). Such a start is made once more, with a note on standard error; a program
# that ran and failed is never run again.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
out=$(mktemp "${TMPDIR:-/tmp}/ferrolan-wine-run.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/ferrolan-wine-run.XXXXXX")
trap 'rm -f "$out" "$err"' EXIT
trap 'exit 143' TERM INT
for attempt in 1 2; do
  start=$SECONDS
  timeout -k 10 "${FERROLAN_WINE_TIMEOUT:-600}" wine "$@" >"$out" 2>"$err"
  rc=$?
  if [ "$attempt" = 1 ] && [ "$rc" != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ] &&
    [ $((SECONDS - start)) -le 2 ]; then
    echo "[wine-run] Wine ended with $rc before $1 printed anything; starting it once more" >&2
    continue
  fi
  break
done
cat "$out"
cat "$err" >&2
exit "$rc"
