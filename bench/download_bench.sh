#!/usr/bin/env bash
# Download benchmarks against nginx on a loopback of their own (a fresh network namespace, as the
# network tests use):
#   1. the machine's JRE packed as a launcher carries it, downloaded and extracted while it
#      arrives, against extracting the same archive from a local file (target: <= 1.10);
#   2. a small version file fetched by the launcher's download test mode, all five strategies
#      racing, against one direct request of the same URL with curl, both timed as whole
#      processes (the race may add at most 50 ms when direct access works).
#
# Usage: bench/download_bench.sh [BUILD_DIR] [ROUNDS] [FETCHES]
#   BUILD_DIR  a native build holding bin/ferrolan, bin/ferrolan-pack and
#              bin/ferrolan_extract_bench (default build/linux)
#   FERROLAN_BENCH_JRE  the Java runtime folder to pack (see bench_common.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${NET_TEST_INSIDE:-}" ]; then
  build=$(realpath "${1:-$here/../build/linux}")
  for tool in ferrolan ferrolan-pack ferrolan_extract_bench; do
    [ -x "$build/bin/$tool" ] || { echo "missing $build/bin/$tool: build the linux preset first" >&2; exit 2; }
  done
  command -v curl >/dev/null || { echo "curl is needed for the baseline" >&2; exit 2; }
  set -- linux "$build/bin/ferrolan" "$build" "${2:-3}" "${3:-20}"
fi
export NET_TEST_TIMEOUT=${NET_TEST_TIMEOUT:-3600} RUN_TIMEOUT=${RUN_TIMEOUT:-600}
set +e
. "$here/../tests/net/harness.sh"
harness_enter "$@"
set -e
build=$3
rounds=$4
fetches=$5
. "$here/bench_common.sh"
jre=$(bench_jre)
[ -d "$jre" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }

mkdir -p "$WORK/www"
echo "[bench] runtime: $jre ($(du -sLh "$jre" 2>/dev/null | cut -f1))"
"$build/bin/ferrolan-pack" keygen -o "$WORK/bench" >/dev/null
"$build/bin/ferrolan-pack" archive "$jre" -o "$WORK/www/jre.p2.l2" \
  --key "$WORK/bench.private.der" | tail -n 1
printf '00000000017' >"$WORK/www/version.txt"
start_nginx "$WORK/www"

echo "[bench] 1. download and extraction against local extraction"
"$build/bin/ferrolan_extract_bench" "$WORK/www/jre.p2.l2" "$WORK/bench.public.der" "$WORK" \
  "$rounds" --download "http://127.0.0.1:$HTTP_PORT/jre.p2.l2"

echo "[bench] 2. the race of five strategies against one direct request ($fetches fetches each)"
url="http://127.0.0.1:$HTTP_PORT/version.txt"
mkdir -p "$WORK/fetch"
millis() { # COMMAND...: the wall time of one run in microseconds
  local start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  echo $((($(date +%s%N) - start) / 1000))
}
race=()
direct=()
for ((i = 0; i < fetches; i++)); do
  race+=("$(cd "$WORK/fetch" && millis "$LAUNCHER" --quorvantis-downloadtest "$url")")
  direct+=("$(millis curl -sf -o /dev/null "$url")")
done
cmp -s "$WORK/fetch/deleteme.tmp" "$WORK/www/version.txt" || { echo "the race fetched something else" >&2; exit 1; }
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
r=$(median "${race[@]}")
d=$(median "${direct[@]}")
awk -v r="$r" -v rb="$(best "${race[@]}")" -v d="$d" -v db="$(best "${direct[@]}")" 'BEGIN {
  printf "race (launcher process): median %.1f ms, best %.1f ms\n", r / 1000, rb / 1000
  printf "curl (one direct request): median %.1f ms, best %.1f ms\n", d / 1000, db / 1000
  printf "added by the race: %.1f ms (target <= 50 ms)\n", (r - d) / 1000
}'
