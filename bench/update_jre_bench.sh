#!/usr/bin/env bash
# JRE update benchmark: an update of the whole Java runtime, downloaded from nginx on a loopback
# of its own (a fresh network namespace, as the network tests use), against extracting the same
# archive from a local file through the launcher's pipeline.
#
# The script packages, once, an offline launcher carrying the updater, a small application and
# the machine's OpenJDK 17 as jre17 version 17, installs it, and publishes into the update folder
# the same release with the same runtime as jre17 version 18: the installed updater and
# application are current, the runtime is newer. Each round then times, in turn:
#   - local extraction: the published runtime archive extracted from its file (file reader,
#     decoder, unarchiver, signature check: the path an offline install takes), and the same
#     archive downloaded and extracted as it arrives, by bin/ferrolan_extract_bench;
#   - the update: a whole run of the launcher's FLUPDATE_DOWNLOAD command, as the application's
#     side runs it (the metadata fetched and verified, the lock, the runtime downloaded and
#     extracted as it arrives with its length and SHA-256 checked, the runtime's class data
#     made, the folder put in place), the runtime installed by the previous round removed first.
# It prints every round, the medians and the ratio of the update to the local extraction
# (target <= 1.10), and the launcher's log timeline of the fastest update, which shows where
# the time above the extraction goes.
#
# Usage: bench/update_jre_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build holding bin/ferrolan-ship, bin/ferrolan-pack,
#              bin/ferrolan_extract_bench and java/ferrolan-{updater,bench}.jar (default
#              build/linux)
#   ROUNDS     timed rounds (default 3)
# Environment: FERROLAN_BENCH_JRE (see bench_common.sh). Packing a whole JDK takes a minute or
# two; it is packed once per run, signed with a key of the run's own.
# The exit code is 0 when the benchmark ran (whatever the ratio), 1 when a run failed, 2 when
# something needed is missing; root or user namespaces are needed (skipped with 77 without).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/update_bench_common.sh"
if [ -z "${NET_TEST_INSIDE:-}" ]; then
  build=$(realpath "${1:-$here/../build/linux}")
  for tool in bin/ferrolan-ship bin/ferrolan-pack bin/ferrolan_extract_bench \
    java/ferrolan-updater.jar java/ferrolan-bench.jar; do
    [ -e "$build/$tool" ] || { echo "missing $build/$tool: build the linux preset first" >&2; exit 2; }
  done
  rounds=${2:-3}
  [[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "rounds must be a positive whole number" >&2; exit 2; }
  set -- linux "$build/bin/ferrolan-ship" "$build" "$rounds"
fi
export NET_TEST_TIMEOUT=${NET_TEST_TIMEOUT:-3600} RUN_TIMEOUT=${RUN_TIMEOUT:-600}
set +e
. "$here/../tests/net/harness.sh"
harness_enter "$@"
set -e
build=$3
rounds=$4
. "$here/bench_common.sh"
jre=$(bench_jre)
[ -x "$jre/bin/java" ] || { echo "no Java runtime found; set FERROLAN_BENCH_JRE" >&2; exit 2; }
pack=$build/bin/ferrolan-pack

# ---- Packaging, the install, the update folder ----------------------------------------------
echo "[bench] runtime: $jre ($(du -sLh "$jre" 2>/dev/null | cut -f1)); packaging (a minute or" \
  "two for a whole JDK)"
pkg=$WORK/pkg
mkdir -p "$pkg"
update_bench_package "$pkg" "$build" "$jre" 17
"$pack" build --config "$pkg/bench.json" -o "$pkg/Bench App" >"$WORK/build.log" 2>&1 ||
  { cat "$WORK/build.log" >&2; exit 1; }
update_bench_package "$pkg" "$build" "$jre" 18
"$pack" publish --config "$pkg/bench.json" -o "$WORK/www/updates" >"$WORK/publish.log" 2>&1 ||
  { cat "$WORK/publish.log" >&2; exit 1; }
archive=$WORK/www/updates/Ferrolan-jre17-00000000018-archive.p2.l2
[ -s "$archive" ] || { echo "[bench] publish wrote no runtime archive" >&2; cat "$WORK/publish.log" >&2; exit 1; }
start_nginx "$WORK/www"
url=http://127.0.0.1:$HTTP_PORT/updates/
app_launcher="$WORK/Bench App"
"$pack" stamp "$pkg/Bench App" --set "update_url=$url" -o "$app_launcher" >/dev/null

export PROGRAMDATA=$WORK/root/programdata APPDATA=$WORK/root/appdata XDG_DATA_HOME=$WORK/root/share
mkdir -p "$PROGRAMDATA" "$APPDATA"
master="$PROGRAMDATA/Ferrolan-Bench App"
out=$WORK/install.log
time_ms "$app_launcher" FLPREPARE_FOR_LAUNCH_ONLY ||
  { echo "[bench] the install failed (exit code $?):" >&2; tail -n 30 "$out" >&2; exit 1; }
[ -d "$master/Ferrolan-jre17-00000000017-complete" ] ||
  { echo "[bench] the install left no runtime:" >&2; tail -n 30 "$out" >&2; exit 1; }
echo "[bench] installed in $elapsed ms; the update folder offers jre17 18" \
  "($(stat -c %s "$archive") bytes)"

# ---- Rounds ---------------------------------------------------------------------------------
# steps LOG: the update's steps from the launcher's log (whole milliseconds): $check_ms from the
# log's start to the download's, $transfer_ms the download and extraction (to the archive's
# signature checked), $class_data_ms the runtime's class data.
steps() {
  read -r check_ms transfer_ms class_data_ms < <(awk '
    { t += substr($1, 2) + 0 }
    /\[Update\] Downloading/ && d == "" { d = t }
    /\[Streamer\] \[UnArchiver\] Done/ { x = t }
    /Creating command line .*-Xshare:dump/ { c0 = t }
    /runSpawnerAndWait returned/ && c0 != "" && c1 == "" { c1 = t }
    END { print d + 0, x - d, c1 - c0 }' "$1")
}

updated=$master/Ferrolan-jre17-00000000018-complete
local_all=() download_all=() update_all=() without_class_data=()
best_update=''
mkdir -p "$WORK/extract"
for round in $(seq "$rounds"); do
  "$build/bin/ferrolan_extract_bench" "$archive" "$pkg/key.public.der" "$WORK/extract" 1 \
    --download "${url}Ferrolan-jre17-00000000018-archive.p2.l2" >"$WORK/extract.log" 2>&1 ||
    { echo "[bench] the local extraction failed:" >&2; cat "$WORK/extract.log" >&2; exit 1; }
  read -r local_s download_s < <(sed -n \
    's/^round 1: local extraction \([0-9.]*\) s, download and extraction \([0-9.]*\) s$/\1 \2/p' \
    "$WORK/extract.log")
  [ -n "$download_s" ] || { echo "[bench] unexpected output:" >&2; cat "$WORK/extract.log" >&2; exit 1; }
  local_ms=$(awk -v s="$local_s" 'BEGIN { printf "%.1f", s * 1000 }')
  download_ms=$(awk -v s="$download_s" 'BEGIN { printf "%.1f", s * 1000 }')

  rm -rf "$updated"
  out=$WORK/update.log
  time_ms "$app_launcher" FLUPDATE_DOWNLOAD ||
    { echo "[bench] the update command failed (exit code $?):" >&2; cat "$out" >&2; exit 1; }
  grep -q '^FLUPDATE ready' "$out" && [ -x "$updated/bin/java" ] ||
    { echo "[bench] the update did not install the runtime:" >&2; cat "$out" >&2; exit 1; }
  log=$(ls -t "$master/logs/"*.log | head -n 1)
  steps "$log"
  if [ "$(min "$best_update" "$elapsed")" != "$best_update" ]; then
    best_update=$elapsed
    cp "$log" "$WORK/update-best.log"
  fi
  echo "  round $round: local extraction $local_ms ms, download and extraction $download_ms ms;" \
    "update command $elapsed ms (check $check_ms, download and extraction $transfer_ms, class" \
    "data $class_data_ms)"
  local_all+=("$local_ms") download_all+=("$download_ms") update_all+=("$elapsed")
  without_class_data+=("$(awk -v a="$elapsed" -v b="$class_data_ms" 'BEGIN { print a - b }')")
done

m_local=$(median "${local_all[@]}")
m_download=$(median "${download_all[@]}")
m_update=$(median "${update_all[@]}")
m_without=$(median "${without_class_data[@]}")
r=$(ratio "$m_update" "$m_local")
echo "[bench] medians of $rounds round(s): local extraction $m_local ms, download and extraction" \
  "$m_download ms (ratio $(ratio "$m_download" "$m_local")), update command $m_update ms," \
  "without its class-data step $m_without ms (ratio $(ratio "$m_without" "$m_local"))"
echo "[bench] the runtime's update against its local extraction: ratio $r" \
  "(target <= 1.10: $(verdict "$r" 1.10))"
echo "[bench] launcher timeline of the fastest update (steps of 20 ms or more):"
timeline "$WORK/update-best.log" 20
