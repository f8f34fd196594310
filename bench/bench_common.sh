# Shared by the benchmark scripts (sourced, not run).

# Prints the Java runtime to measure with: FERROLAN_BENCH_JRE, else the machine's OpenJDK 17,
# else the runtime of the `java` on the PATH.
bench_jre() {
  local jre=${FERROLAN_BENCH_JRE:-}
  if [ -z "$jre" ]; then
    jre=/usr/lib/jvm/java-17-openjdk-amd64
    if [ ! -d "$jre" ] && command -v java >/dev/null; then
      jre=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
    fi
  fi
  printf '%s\n' "$jre"
}

# Wall-clock milliseconds (with microseconds) of one command, from the shell's own clock so no
# extra process is timed. Standard output and error go to the file in $out; $start_epoch keeps
# the start (seconds since the epoch).
out=/dev/null
time_ms() {
  local start end rc
  start=$EPOCHREALTIME
  start_epoch=$start
  set +e
  "$@" >"$out" 2>&1
  rc=$?
  set -e
  end=$EPOCHREALTIME
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
  return $rc
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r + 0 <= t + 0) ? "PASS" : "ABOVE TARGET" }'; }
# The launcher's log lines ("+<ms> text", ms since the previous line) of one run, as a timeline
# in ms since its first line; only lines that took at least $2 ms are shown.
timeline() { # log-file min-delta
  grep -E '^\+[0-9]+ ' "$1" |
    awk -v min="$2" '{ d = substr($1, 2) + 0; t += d
      if (d >= min) printf "  %7d ms (+%d) %s\n", t, d, substr($0, index($0, $2)) }' |
    cut -c1-160
}
