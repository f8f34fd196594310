#!/usr/bin/env bash
# Rebuilding a launcher that carries a full Java runtime when nothing changed: the packager's
# archive cache against compressing everything.
#
# The script packages an offline launcher (the demo application, the updater and the whole
# machine's OpenJDK 17, signed) with an empty archive cache of its own, then packages the same
# launcher again ROUNDS times with that cache, and once more with --no-cache. It prints the
# time of each build, the best warm rebuild against its target (5 s) and against the cold build,
# and checks with "inspect" that a launcher made from the cache verifies.
#
# Usage: bench/pack_cache_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build holding bin/ferrolan, bin/ferrolan-pack and java/ferrolan-*.jar
#              (default build/linux)
#   ROUNDS     warm rebuilds (default 3)
# Environment:
#   FERROLAN_BENCH_JRE  the runtime folder to carry (default: the machine's OpenJDK 17)
#   FERROLAN_BENCH_KEEP 1 keeps the work folder (launchers, key, the filled cache) and prints
#                       where it is
#   TMPDIR              where the work folder goes (about twice the compressed runtime)
# A cold build of a full JDK takes minutes. The exit code is 0 when every build ran and the
# cached launcher verifies, 1 otherwise, 2 when something needed is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
rounds=${2:-3}
pack=$build/bin/ferrolan-pack
for tool in "$pack" "$build/bin/ferrolan" "$build/java/ferrolan-demo.jar"; do
  [ -e "$tool" ] || { echo "missing $tool: build the linux preset first" >&2; exit 2; }
done
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS must be a positive whole number" >&2; exit 2; }
. "$here/bench_common.sh"
jre=$(bench_jre)
[ -x "$jre/bin/java" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-pack-cache-bench.XXXXXX")
if [ "${FERROLAN_BENCH_KEEP:-0}" = 1 ]; then
  trap 'echo "[bench] work folder kept: $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi
export FERROLAN_PACK_CACHE=$work/cache
mkdir -p "$work/app"
cp "$build/java/ferrolan-demo.jar" "$work/app/"
"$pack" keygen -o "$work/key" >/dev/null

# build_ms OUTPUT [FLAGS...]: one build; prints its wall time in milliseconds.
build_ms() {
  local output=$1 start end
  shift
  start=$(date +%s%N)
  "$pack" build --name "Bench App" --input "$work/app" --main-jar ferrolan-demo.jar \
    --main-class com.ferrolan.demo.DemoApp --runtime "$jre" --key "$work/key.private.der" \
    --launcher "$build/bin/ferrolan" -o "$output" "$@" >"$work/build.log" 2>&1 ||
    { cat "$work/build.log" >&2; echo "the build failed" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

echo "[bench] runtime $jre ($(du -sh "$jre" | cut -f1))"
cold=$(build_ms "$work/cold")
echo "[bench] cold build (empty cache): $cold ms"
best=
for ((i = 1; i <= rounds; i++)); do
  warm=$(build_ms "$work/warm")
  grep -q "from the archive cache" "$work/build.log" ||
    { echo "the rebuild did not take its archives from the cache" >&2; exit 1; }
  echo "[bench] warm rebuild $i: $warm ms"
  if [ -z "$best" ] || [ "$warm" -lt "$best" ]; then best=$warm; fi
done
uncached=$(build_ms "$work/uncached" --no-cache)
echo "[bench] rebuild with --no-cache: $uncached ms"
"$pack" inspect "$work/warm" >"$work/inspect.log" 2>&1 ||
  { cat "$work/inspect.log" >&2; echo "the launcher made from the cache does not verify" >&2; exit 1; }
verdict=PASS
[ "$best" -le 5000 ] || verdict="ABOVE TARGET"
echo "[bench] best warm rebuild: $best ms (target <= 5000 ms): $verdict"
awk -v b="$best" -v c="$cold" 'BEGIN { printf "[bench] warm / cold: %.4f\n", b / c }'
echo "[bench] the launcher built from the cache verifies (inspect)"
