#!/usr/bin/env bash
# CMake's cross-compiling emulator: runs one Windows executable under Wine with the project's
# prefix, bounded in time, and passes its exit code through.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
exec timeout -k 10 "${FERROLAN_WINE_TIMEOUT:-600}" wine "$@"
