#!/usr/bin/env bash
# Servers that misbehave: a body shorter than announced never counts as a download; a body
# without a length counts once it has ended; a 404 is downloaded like any answer; and a server
# that stops sending mid-body ends in failure after the receive time-out instead of a hang. A body
# without end written into a file (the download test mode sets no length limit) stops where the
# disk keeps its reserve of free space, and leaves no file.
. "$(dirname "$0")/harness.sh"
harness_enter "$@"

body=$WORK/body.bin
head -c 200000 /dev/urandom >"$body"

start_bad_server short "$body"
launcher "$WORK/short" --quorvantis-downloadtest "http://127.0.0.1:$BAD_PORT/file"
expect "a short body is noticed" "Warning: download complete but required length is still 100000."
expect "a short body fails the race" "[HttpDownloader] Download Tasks Complete! (success=0)"
expect "the race closes the buffer" "[HttpDownloader] Downloads failed. Closing buffer."

start_bad_server nolength "$body"
launcher "$WORK/nolength" --quorvantis-downloadtest "http://127.0.0.1:$BAD_PORT/file"
expect "the length is unknown" "Required file size is unknown!"
expect "a body without a length counts once it has ended" \
  "[HttpDownloader] Download Tasks Complete! (success=1)"
check "the whole body arrives" cmp -s "$body" "$WORK/nolength/deleteme.tmp"

start_bad_server notfound "$body"
launcher "$WORK/notfound" --quorvantis-downloadtest "http://127.0.0.1:$BAD_PORT/missing"
expect "a 404 with a body is downloaded like any answer" \
  "[HttpDownloader] Download Tasks Complete! (success=1)"
check "the 404's body is what arrives" cmp -s "$body" "$WORK/notfound/deleteme.tmp"

start_bad_server endless /dev/null "$HOSTILE_RATE"
small_disk "$WORK/full" 16m
launcher "$WORK/full" --quorvantis-downloadtest "http://127.0.0.1:$BAD_PORT/file"
expect "an endless body stops at the disk's reserve" \
  "[Streamer] [FileSaver] Not enough free space for deleteme.tmp:"
expect "an endless body fails the race" "[HttpDownloader] Download Tasks Complete! (success=0)"
check "an endless body leaves no file" test ! -e "$WORK/full/deleteme.tmp"
check "the reserve is still free ($(df --output=avail -B1 "$WORK/full" | tail -n 1) bytes)" \
  test "$(df --output=avail -B1 "$WORK/full" | tail -n 1)" -gt $((512 * 1024))

# The receive time-out is about 30 seconds on both targets; the run must end well within the
# launcher's own bound (RUN_TIMEOUT), having reported failure.
start_bad_server stall "$body"
launcher "$WORK/stall" --quorvantis-downloadtest "http://127.0.0.1:$BAD_PORT/file"
check "a stalled server does not hang the download (${RUN_SECONDS}s)" \
  test "$RUN_CODE" -eq 0 -a "$RUN_SECONDS" -ge 20 -a "$RUN_SECONDS" -lt 80
expect "a stalled download fails" "[HttpDownloader] Download Tasks Complete! (success=0)"
finish
