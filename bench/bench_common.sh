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
