#!/usr/bin/env bash
# Direct access to the web server is blocked; only a proxy gets through. With the proxy named in
# the user's settings (POSIX: http_proxy; Windows: the Internet settings in the registry of the
# private prefix) a proxy strategy wins and the test mode prints the proxy. A proxy that asks for
# credentials: with them in the setting (POSIX) the download works; without them the refused
# dialog ends every attempt at the proxy, and the run ends at once.
#
# Every check runs in a process of its own: Wine's WinINet reuses a kept-alive connection to the
# same server for about a minute, even from a proxy session of the same process, which would let
# a later check pass through an earlier connection.
. "$(dirname "$0")/harness.sh"
harness_enter "$@"

serve_payload 100000
url=http://127.0.0.1:$HTTP_PORT/payload.bin
start_tinyproxy
open_proxy=127.0.0.1:$PROXY_PORT
start_tinyproxy tester:secret
auth_proxy=127.0.0.1:$PROXY_PORT
block_direct "$HTTP_PORT" "$HTTPS_PORT"

# Names PROXY (host:port, with credentials if any) as the user's proxy for the next run.
use_proxy() {
  if [ "$TARGET" = windows ]; then
    local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
    wine_run reg add "$key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1 &&
      wine_run reg add "$key" /v ProxyServer /t REG_SZ /d "$1" /f >/dev/null 2>&1 ||
      { echo "FAIL: cannot set the proxy in the private prefix"; exit 1; }
  else
    export http_proxy=http://$1
  fi
}

use_proxy "$open_proxy"
# Direct alone: in a race it may give up before its own failure, once a proxy has won.
launcher "$WORK/direct" --quorvantis-downloadtest "$url" Direct
expect "the blocked direct attempt fails" "HttpSendRequest failed with error"
expect "the blocked direct attempt fails the download" \
  "[HttpDownloader] Download Tasks Complete! (success=0)"

launcher "$WORK/proxy" --quorvantis-downloadtest "$url"
reject "Direct does not win" "[HttpDownloader] [Direct] Opened file."
check "a proxy strategy wins" \
  grep -qE '\[(Windows Proxy|Proxy Non Auto|State Proxy|WPAD)\] Opened file. Set downloadWorked to TRUE' "$OUT"
expect "the download through the proxy succeeds" "[HttpDownloader] Download Tasks Complete! (success=1)"
check "the file through the proxy equals the served one" \
  cmp -s "$WORK/www/payload.bin" "$WORK/proxy/deleteme.tmp"
if [ "$TARGET" = linux ]; then
  # Detection finds the proxy of the environment for "State Proxy" (and libproxy for "WPAD"),
  # and whichever strategy wins, the proxy that worked is printed. (Under Wine only WinINet's
  # values are set here; WinHTTP's own settings are tested in proxy_detection_wine.sh.)
  expect "State Proxy tries the detected proxy" \
    "[HttpDownloader] [State Proxy] Downloading with proxy settings (http://$open_proxy"
  check "the proxy that worked is printed" grep -qE "^ProxyList: .*$open_proxy" "$OUT"
fi

# "Windows Proxy" alone reads the proxy back from its session, and the test mode prints it.
launcher "$WORK/windows-proxy" --quorvantis-downloadtest "$url" "Windows Proxy"
expect "Windows Proxy alone gets through" \
  "[HttpDownloader] [Windows Proxy] Opened file. Set downloadWorked to TRUE (1)"
check "the working proxy is printed" grep -qE "^ProxyList: .*$open_proxy" "$OUT"

if [ "$TARGET" = linux ]; then
  use_proxy "tester:secret@$auth_proxy"
  launcher "$WORK/credentials" --quorvantis-downloadtest "$url"
  expect "credentials in the proxy setting pass the proxy" \
    "[HttpDownloader] Download Tasks Complete! (success=1)"
  check "the file through the authenticating proxy equals the served one" \
    cmp -s "$WORK/www/payload.bin" "$WORK/credentials/deleteme.tmp"
fi

# Without a display, Wine's credential dialog returns at once, as a refusal.
use_proxy "$auth_proxy"
launcher "$WORK/refused" --quorvantis-downloadtest "$url"
expect "the proxy asks for credentials" "Status code is 407"
expect "the dialog's answer is logged" "InternetErrorDlg return code is"
check "the refusal is logged exactly once" \
  test "$(grep -c 'Could not get proxy credentials.' "$OUT")" -eq 1
expect "the download fails" "[HttpDownloader] Download Tasks Complete! (success=0)"
check "the refused dialog ends the run at once (${RUN_SECONDS}s)" test "$RUN_SECONDS" -lt 15
finish
