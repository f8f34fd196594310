#!/usr/bin/env bash
# Update-check benchmark: does the update check that runs beside the application delay its
# start? A start that runs what is installed, with the check, is timed to the application's main
# class against the same start whose launcher has no update URL (so no check), alternating:
#   a. the update folder is served by nginx on a loopback of its own (a fresh network namespace,
#      as the network tests use) and offers nothing new: its signed metadata names the versions
#      installed;
#   b. the update URL names an address that never answers (10.255.255.1, routed into the
#      namespace's loopback, where every packet to it is dropped): a connection there would wait
#      for the connect time-out.
# Target: time to the main class with the check <= 1.02 of the time without it, both cases
# (the median of the rounds' ratios).
#
# The script packages, once, an offline launcher carrying the updater as it ships, an
# application whose main class is the bench class (it prints the wall-clock time it was reached
# and returns) and a Java runtime, publishes the same release into the update folder, installs it
# with a first start, and stamps three launchers from the one built: no update URL, the nginx
# folder's, and the silent address's. The timed starts keep the launcher's log off their output,
# which then carries only the bench class's line: the moment it arrives, against the shell's
# clock just before the start, is the time to the main class. After the application ends the
# launcher waits for an unfinished check (up to its grace of 60 s); a start against the silent
# address is therefore ended as soon as the main class was reached. The other starts end by
# themselves, and their whole runs are printed too.
#
# Usage: bench/update_check_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR  a native build holding bin/ferrolan-ship, bin/ferrolan-pack and
#              java/ferrolan-{updater,bench}.jar (default build/linux)
#   ROUNDS     timed rounds of each case, each round one start with and one without the check
#              (default 100)
# Environment: FERROLAN_BENCH_JRE (see bench_common.sh). Packing a whole JDK takes a minute or
# two; it is packed once per run, signed with a key of the run's own.
# The exit code is 0 when the benchmark ran (whatever the ratios), 1 when a start failed, 2 when
# something needed is missing; root or user namespaces are needed (skipped with 77 without).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/update_bench_common.sh"
if [ -z "${NET_TEST_INSIDE:-}" ]; then
  build=$(realpath "${1:-$here/../build/linux}")
  for tool in bin/ferrolan-ship bin/ferrolan-pack java/ferrolan-updater.jar java/ferrolan-bench.jar; do
    [ -e "$build/$tool" ] || { echo "missing $build/$tool: build the linux preset first" >&2; exit 2; }
  done
  rounds=${2:-100}
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

# ---- Packaging, the update folder, the install ----------------------------------------------
echo "[bench] runtime: $jre; packaging (a minute or two for a whole JDK)"
pkg=$WORK/pkg
mkdir -p "$pkg"
update_bench_package "$pkg" "$build" "$jre" 17
"$pack" build --config "$pkg/bench.json" -o "$pkg/Bench App" >"$WORK/build.log" 2>&1 ||
  { cat "$WORK/build.log" >&2; exit 1; }
# The same release in the update folder: its metadata names exactly what gets installed.
"$pack" publish --config "$pkg/bench.json" -o "$WORK/www/updates" >"$WORK/publish.log" 2>&1 ||
  { cat "$WORK/publish.log" >&2; exit 1; }
start_nginx "$WORK/www"
# Every packet to 10.255.255.0/24 goes to the loopback, which has no such address: dropped.
silent=10.255.255.1
ip route add 10.255.255.0/24 dev lo

declare -A launcher_of
for case in none current silent; do
  mkdir -p "$WORK/$case"
  launcher_of[$case]="$WORK/$case/Bench App"
done
"$pack" stamp "$pkg/Bench App" --unset update_url -o "${launcher_of[none]}" >/dev/null
"$pack" stamp "$pkg/Bench App" --set "update_url=http://127.0.0.1:$HTTP_PORT/updates/" \
  -o "${launcher_of[current]}" >/dev/null
"$pack" stamp "$pkg/Bench App" --set "update_url=http://$silent/updates/" \
  -o "${launcher_of[silent]}" >/dev/null

export PROGRAMDATA=$WORK/root/programdata APPDATA=$WORK/root/appdata XDG_DATA_HOME=$WORK/root/share
mkdir -p "$PROGRAMDATA" "$APPDATA"
out=$WORK/install.log
# The first start with the update folder at hand, as a real one has it.
time_ms "${launcher_of[current]}" ||
  { echo "[bench] the first start failed (exit code $?):" >&2; tail -n 30 "$out" >&2; exit 1; }
echo "[bench] first start (install and run): $elapsed ms"

# ---- Timed starts ---------------------------------------------------------------------------
# One warm-up of each, with the launcher's log on its output, which shows that each case does
# what it stands for.
warm_up() { # CASE
  "${launcher_of[$1]}" >"$WORK/$1.log" 2>&1 ||
    { echo "[bench] the $1 start failed (exit code $?):" >&2; tail -n 30 "$WORK/$1.log" >&2; exit 1; }
  grep -q '^\[bench\] main reached' "$WORK/$1.log" ||
    { echo "[bench] the $1 start did not reach the main class:" >&2; tail -n 30 "$WORK/$1.log" >&2; exit 1; }
}
warm_up none
! grep -q '\[Update\]' "$WORK/none.log" ||
  { echo "[bench] the launcher without an update URL checked for updates" >&2; exit 1; }
warm_up current
grep -q '\[Update\] Everything installed is current' "$WORK/current.log" ||
  { echo "[bench] the check against nginx did not find everything current:" >&2; grep '\[Update\]' "$WORK/current.log" >&2; exit 1; }
# The silent case for 4 s: the application must have run, and the check must still be waiting
# for an answer.
"${launcher_of[silent]}" >"$WORK/silent.log" 2>&1 &
pid=$!
sleep 4
kill -KILL "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
if ! grep -q '^\[bench\] main reached' "$WORK/silent.log" ||
  ! grep -q "\[Update\] Checking http://$silent/" "$WORK/silent.log" ||
  grep -q '\[Update\] The update folder cannot be reached' "$WORK/silent.log"; then
  echo "[bench] the silent address did not hold the check:" >&2
  grep -E '\[Update\]|main reached' "$WORK/silent.log" >&2
  exit 1
fi
echo "[bench] warm-up: nginx's folder found everything current; the silent address held the" \
  "check for 4 s without an answer"

# The timed starts keep the launcher's log off their output, which then carries only the bench
# class's line, read as it comes: the moment it arrives is the time to the main class, to the
# microsecond (the bench class's own clock, which its line ends with, counts whole milliseconds).
fifo=$WORK/output.fifo
mkfifo "$fifo"
# start CASE: one start of the case's launcher. Sets $to_main, the milliseconds from the start
# to the main class's line, and $whole, the whole run's milliseconds (empty for a start ended at
# the main class: the silent case's).
start() {
  local case=$1 stop=0 pid reader begin
  if [ "$case" = silent ]; then stop=1; fi
  # The reader waits on the pipe before the launcher starts, so the launcher never waits to
  # open its output; it writes the arrival time of the bench class's line.
  (
    arrived=''
    while IFS= read -r line; do
      if [ -z "$arrived" ] && [[ $line == "[bench] main reached"* ]]; then
        arrived=$EPOCHREALTIME
        echo "$arrived" >"$WORK/arrived"
        [ "$stop" = 0 ] || exit 0
      fi
    done
  ) <"$fifo" &
  reader=$!
  rm -f "$WORK/arrived"
  begin=$EPOCHREALTIME
  FERROLAN_LOG_ECHO=0 "${launcher_of[$case]}" >"$fifo" 2>&1 &
  pid=$!
  wait "$reader"
  if [ "$stop" = 1 ]; then
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    whole=''
  else
    wait "$pid" || { echo "[bench] the $case start failed (exit code $?)" >&2; exit 1; }
    whole=$(awk -v a="$begin" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
  fi
  [ -s "$WORK/arrived" ] || { echo "[bench] the $case start did not reach the main class" >&2; exit 1; }
  to_main=$(awk -v a="$begin" -v b="$(cat "$WORK/arrived")" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
}

# measure CASE NAME: ROUNDS rounds of a start without an update URL and one of CASE, in turn;
# prints every start, then the median of the rounds' ratios (each start with the check against
# the start without it just before, so the machine's changing load cancels out), the medians
# and the best times.
measure() {
  local case=$1 name=$2 without=() with=() ratios=() without_whole=() with_whole=()
  local line_without='' line_with=''
  for _ in $(seq "$rounds"); do
    start none
    without+=("$to_main") without_whole+=("$whole")
    line_without+=" $to_main/$whole"
    start "$case"
    with+=("$to_main")
    [ -z "$whole" ] || with_whole+=("$whole")
    line_with+=" $to_main${whole:+/$whole}"
    ratios+=("$(ratio "$to_main" "${without[-1]}")")
  done
  local r
  r=$(awk -v v="$(median "${ratios[@]}")" 'BEGIN { printf "%.3f", v }')
  echo "  no update URL (ms to main / whole run):$line_without"
  echo "  with the check (ms to main${with_whole:+ / whole run}):$line_with"
  echo "[bench] $name: time to the main class with the check against without it, median of" \
    "$rounds rounds' ratios $r (target <= 1.02: $(verdict "$r" 1.02)); medians" \
    "$(median "${with[@]}") ms and $(median "${without[@]}") ms, best" \
    "$(printf '%s\n' "${with[@]}" | sort -g | head -n 1) ms and" \
    "$(printf '%s\n' "${without[@]}" | sort -g | head -n 1) ms"
  if [ ${#with_whole[@]} -gt 0 ]; then
    echo "[bench] $name: whole runs, medians $(median "${with_whole[@]}") ms with the check," \
      "$(median "${without_whole[@]}") ms without"
  fi
}

echo "[bench] a. the update folder on nginx, nothing new: $rounds round(s)"
measure current "nginx, nothing new"
echo "[bench] b. an update URL that never answers: $rounds round(s)"
measure silent "silent address"
