#!/usr/bin/env bash
# Creates the project's Wine prefix when it is missing (about 10 s), then, with "start", keeps a
# persistent wineserver running so each test process costs tens of milliseconds; "stop" ends it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
case "${1:-start}" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "[wine] creating prefix $WINEPREFIX"
      mkdir -p "$WINEPREFIX"
      timeout 300 wine wineboot -i >/dev/null 2>&1 || true
      timeout 300 wineserver -w || true
    fi
    # Keep a server running for the test run; one that already runs is fine.
    wineserver -p 2>/dev/null || pgrep -f wineserver >/dev/null
    # A first process brings the services up before the tests time anything.
    timeout 120 wine cmd /c exit >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
esac
