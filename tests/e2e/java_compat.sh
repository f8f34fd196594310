#!/usr/bin/env bash
# End to end on a real Java runtime: the compatibility application (tests/e2e/compat_app), packaged
# with the jpackage-style flags, reports what it sees of its start, and the report must be the one
# "java -jar" of the installed runtime gives: class loading, services, protocol handlers, JDBC
# drivers, resource bundles, the manifest's attributes, properties, the main thread's bottom
# frame, standard input, output and error, shutdown hooks, a non-daemon thread and the exit code;
# and an exception out of main. Once in the updater's virtual machine (the default), once in one
# of its own (--own-jvm), and once with a SplashScreen-Image in the main jar's manifest, which
# only the "java" command shows, so the updater starts it in a machine of its own too. Each
# launcher's first start installs, its second runs as installed.
#
# Usage: tests/e2e/java_compat.sh BUILD_DIR RUNTIME COMPAT_JARS_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1
runtime=$2
jars=$3
e2e_begin compat

mkdir -p "$work/input" "$work/input-splash" "$work/cwd"
cp "$jars/compat-main.jar" "$jars/compat-lib.jar" "$work/input/"
cp "$jars/splash/compat-main.jar" "$jars/splash/compat-lib.jar" "$work/input-splash/"
"$build/bin/ferrolan-pack" keygen -o "$work/key" --bits 2048 >/dev/null
handlers=-Djava.protocol.handler.pkgs=compat.protocols
for mode in shared own splash; do
  flags=()
  input=$work/input
  if [ "$mode" = own ]; then flags=(--own-jvm); fi
  if [ "$mode" = splash ]; then input=$work/input-splash; fi
  "$build/bin/ferrolan-pack" build --name "Compat-$mode" --input "$input" \
    --main-jar compat-main.jar --runtime "$runtime" --java-options "$handlers" \
    --key "$work/key.private.der" "${flags[@]}" -o "$work/Compat-$mode" >"$work/build-$mode.log" 2>&1 ||
    fail "the build of Compat-$mode failed"
done
e2e_roots

# run NAME COMMAND...: runs COMMAND in $work/cwd with a line on standard input; its standard
# output, standard error and exit code go to $work/NAME.out, NAME.err and NAME.code.
run() {
  local name=$1
  shift
  set +e
  (cd "$work/cwd" && printf 'input line\n' | env -u FERROLAN_LOG_ECHO "$@") >"$work/$name.out" \
    2>"$work/$name.err"
  echo "$?" >"$work/$name.code"
  set -e
}
# same A B TEXT: the two runs printed the same and ended with the same code, or fail.
same() {
  for part in out err code; do
    if ! cmp -s "$work/$1.$part" "$work/$2.$part"; then
      diff "$work/$1.$part" "$work/$2.$part" || true
      fail "$3: standard ${part/code/exit code} differs from \"java -jar\""
    fi
  done
}

for mode in shared own splash; do
  run "$mode-first" "$work/Compat-$mode" one "two words"
  master="$APPDATA/Ferrolan-Compat-$mode"
  app=$(find "$master" -maxdepth 1 -type d -name "Ferrolan-Compat-$mode-[0-9]*-complete" | head -n 1)
  jre=$(find "$master" -maxdepth 1 -type d -name "Ferrolan-Compat-$mode-jre-*-complete" | head -n 1)
  [ -n "$app" ] && [ -n "$jre" ] || fail "Compat-$mode was not installed"
  run "$mode-java" "$jre/bin/java" "$handlers" -jar "$app/compat-main.jar" one "two words"
  expect_line "$work/$mode-java.out" '^Launcher-Agent-Class: ran before main' \
    "the reference run under java -jar did not run the agent"
  [ "$(cat "$work/$mode-java.code")" = 7 ] || fail "the reference run did not end with 7"
  same "$mode-java" "$mode-first" "Compat-$mode's first start (the install)"
  run "$mode-second" "$work/Compat-$mode" one "two words"
  same "$mode-java" "$mode-second" "Compat-$mode's second start"
  run "$mode-java-throw" "$jre/bin/java" "$handlers" -jar "$app/compat-main.jar" throw
  run "$mode-throw" "$work/Compat-$mode" throw
  expect_line "$work/$mode-java-throw.err" '^Exception in thread "main" java.lang.IllegalStateException' \
    "the reference run did not report the exception"
  same "$mode-java-throw" "$mode-throw" "Compat-$mode's start whose main throws"
  # Which machine it ran in, by the updater's log.
  started=$(grep -h "Starting " "$master/logs/"Updater-*.log | head -n 1)
  case "$mode:$started" in
    shared:*"in this virtual machine"*) ;;
    own:*"-jar, $app/compat-main.jar"* | splash:*"-jar, $app/compat-main.jar"*) ;;
    *) fail "Compat-$mode did not start as it should: $started" ;;
  esac
done
echo "PASS: the compatibility report is the same under java -jar and the launcher, in the updater's virtual machine and in its own (asked for, or for a splash screen)"
