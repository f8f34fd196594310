#!/usr/bin/env bash
# Extraction benchmark: packs the machine's OpenJDK 17 into a signed archive with ferrolan-pack,
# then times "xz -dc" of it against extraction through the launcher's pipeline and prints the
# ratio and the peak memory.
#
# Usage: bench/extract_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build holding bin/ferrolan-pack and bin/ferrolan_extract_bench
#              (default build/linux)
#   FERROLAN_BENCH_JRE  the Java runtime folder to pack; by default the OpenJDK 17 of the
#              machine, or the one the "java" on PATH belongs to
#   FERROLAN_BENCH_FORMAT  the archive form, "xz" (the default: blocks, as a launcher carries
#              them, decoded on all cores) or "lzma" (one legacy stream)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/linux}
rounds=${2:-3}
pack=$build/bin/ferrolan-pack
bench=$build/bin/ferrolan_extract_bench
for tool in "$pack" "$bench"; do
  [ -x "$tool" ] || { echo "missing $tool: build the linux preset first" >&2; exit 2; }
done
command -v xz >/dev/null || { echo "xz is needed for the baseline" >&2; exit 2; }

. "$here/bench_common.sh"
jre=$(bench_jre)
[ -d "$jre" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "[bench] runtime: $jre ($(du -sLh "$jre" 2>/dev/null | cut -f1))"
"$pack" keygen -o "$work/bench" >/dev/null
start=$(date +%s)
"$pack" archive "$jre" -o "$work/jre.p2.l2" --key "$work/bench.private.der" \
  --format "${FERROLAN_BENCH_FORMAT:-xz}" | tail -n 1
echo "[bench] packed in $(( $(date +%s) - start )) s"
echo "[bench] baseline: $(xz --version | head -n 1)"
"$bench" "$work/jre.p2.l2" "$work/bench.public.der" "$work" "$rounds"
