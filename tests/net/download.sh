#!/usr/bin/env bash
# Downloads from a real web server: over HTTP with all five strategies racing, with one strategy
# alone, and over HTTPS with a self-signed certificate, which only the relaxed resend accepts.
. "$(dirname "$0")/harness.sh"
harness_enter "$@"

serve_payload 300000
url=http://127.0.0.1:$HTTP_PORT/payload.bin

launcher "$WORK/race" --quorvantis-downloadtest "$url"
expect "the race reports success" "[HttpDownloader] Download Tasks Complete! (success=1)"
check "the downloaded file equals the served one" cmp -s "$WORK/www/payload.bin" "$WORK/race/deleteme.tmp"
for name in "Direct" "State Proxy" "WPAD" "Windows Proxy" "Proxy Non Auto"; do
  expect "$name starts" "[HttpDownloader] [$name] +++ Start +++"
  expect "$name runs once all threads exist" "[HttpDownloader] [$name] Got lock - running now."
  expect "$name ends" "[HttpDownloader] [$name] --- End --- (worked="
done
for name in "Direct" "Windows Proxy" "Proxy Non Auto"; do
  expect "$name tries" "[HttpDownloader] [$name] Starting download attempt..."
done
# With no proxy configured, "State Proxy" has nothing to try and "WPAD" finds nothing.
reject "State Proxy has nothing to try" "[HttpDownloader] [State Proxy] Starting download attempt"
expect "WPAD looks for a configuration" "[HttpDownloader] [WPAD] Detecting WPAD proxy configuration"
reject "WPAD finds none" "[HttpDownloader] [WPAD] Starting download attempt"
check "exactly one attempt claims the download" \
  test "$(grep -c 'Set downloadWorked to TRUE (1)' "$OUT")" -eq 1
check "the last thread to end counts zero" grep -qE -- '--- End --- \(worked=1,threads=0\)' "$OUT"
expect "no proxy was needed" "Proxy list was empty!"

launcher "$WORK/direct-only" --quorvantis-downloadtest "$url" Direct
expect "Direct alone downloads" "[HttpDownloader] [Direct] Opened file. Set downloadWorked to TRUE (1)"
expect "the other strategies skip" "[HttpDownloader] [Proxy Non Auto] Skipping for debug purposes."
check "Direct alone delivers the file" cmp -s "$WORK/www/payload.bin" "$WORK/direct-only/deleteme.tmp"

launcher "$WORK/https" --quorvantis-downloadtest "https://127.0.0.1:$HTTPS_PORT/payload.bin"
expect "the request is sent as secure" "[HttpDownloader] secure = 1"
expect "the self-signed certificate is accepted on the resend" \
  "[HttpDownloader] Download Tasks Complete! (success=1)"
check "the HTTPS download equals the served file" \
  cmp -s "$WORK/www/payload.bin" "$WORK/https/deleteme.tmp"
finish
