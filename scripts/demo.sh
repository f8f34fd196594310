#!/usr/bin/env bash
# The product's main job, end to end, on this machine: builds the launcher for linux-x64 and runs
# it. As the payload, install and launch steps land, this grows into packaging the demo Java
# application with the machine's JRE, installing it into a temporary root and launching it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"
"$here/install-deps.sh"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" >/dev/null
demo_root=$(mktemp -d)
trap 'rm -rf "$demo_root"' EXIT
echo "[demo] running the launcher in $demo_root"
set +e
(cd "$demo_root" && "$root/build/linux/bin/ferrolan" FLPREPARE_FOR_LAUNCH_ONLY)
rc=$?
set -e
echo "[demo] launcher exit code: $rc"
