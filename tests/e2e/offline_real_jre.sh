#!/usr/bin/env bash
# End to end on a real Java runtime: an offline launcher carrying the updater, the demo
# application and a runtime is installed from nothing and run, then run again as installed.
# The updater runs inside the launcher's process through JNI, on the runtime the launcher has
# just extracted from its own file, and starts the demo application, which prints what it got.
#
# Usage: tests/e2e/offline_real_jre.sh BUILD_DIR RUNTIME
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1
runtime=$2
e2e_begin offline

"$SOURCE_DIR/scripts/package-demo.sh" "$build" "$runtime" "$work"
e2e_roots
master="$PROGRAMDATA/Ferrolan-Demo App"

# First start: installs, then the updater starts the demo application.
set +e
(cd "$work" && "./Demo App" first-argument "second argument") >"$work/run1.log" 2>&1
rc=$?
set -e
[ "$rc" = 0 ] || fail "the first start ended with exit code $rc"
for folder in Ferrolan-Ferrolan-00000000001-complete Ferrolan-jre17-00000000017-complete \
  "Ferrolan-Demo App-00000000001-complete"; do
  [ -d "$master/$folder" ] || fail "no installed folder $folder"
done
if ls "$master" | grep -q '^FerrolanTemp-'; then fail "a temporary folder was left behind"; fi
jre="$master/Ferrolan-jre17-00000000017-complete"
cmp -s "$jre/lib/modules" "$runtime/lib/modules" || fail "the installed runtime differs from the one packaged"
[ -x "$jre/bin/java" ] || fail "the installed runtime's launcher is not executable"
expect_line "$work/run1.log" 'Start: JNI Launch' "the updater was not started through JNI"
expect_line "$work/run1.log" "^java.home: $jre\$" "the demo application did not run on the installed runtime"
expect_line "$work/run1.log" '^argument [0-9]+: second argument$' "the demo application did not get the arguments"
expect_line "$work/run1.log" '^property fldyna_greeting: hello from the Params section$' \
  "the demo application did not get the Params section"

# Second start: everything is current, nothing is extracted.
(cd "$work" && "./Demo App" again) >"$work/run2.log" 2>&1 || fail "the second start failed"
expect_line "$work/run2.log" 'Running without extraction now' "the second start did not run as installed"
expect_line "$work/run2.log" '^argument [0-9]+: again$' "the demo application did not run the second time"
if grep -q 'Extracting JRE archive' "$work/run2.log"; then fail "the second start extracted again"; fi

# A master folder whose path is not ASCII, with the JVM's default charset set unlike the
# system's: the Java side must read the launcher's files in the system's own encoding (the
# file-name bytes of the locale), not in the JVM's default.
export PROGRAMDATA="$work/root-è/programdata"
mkdir -p "$PROGRAMDATA"
(cd "$work" && LC_ALL=C.UTF-8 JAVA_TOOL_OPTIONS=-Dfile.encoding=ISO-8859-1 "./Demo App" accent) \
  >"$work/run3.log" 2>&1 || fail "the start in a non-ASCII master folder failed"
# (The demo prints in the JVM's default charset, so the line is matched without the accent.)
LC_ALL=C expect_line "$work/run3.log" "^java.home: $work/root-.*/programdata/Ferrolan-Demo App/Ferrolan-jre17-00000000017-complete\$" \
  "the demo application did not run from the non-ASCII master folder"
expect_line "$work/run3.log" '^argument [0-9]+: accent$' "the demo application did not get its argument"
# Quiet by default: without FERROLAN_LOG_ECHO a start prints none of the log's lines, and the
# application's own output is all there is.
export PROGRAMDATA=$work/root/programdata
(cd "$work" && env -u FERROLAN_LOG_ECHO "./Demo App" quiet) >"$work/run4.log" 2>&1 ||
  fail "the quiet start failed"
expect_line "$work/run4.log" '^argument [0-9]+: quiet$' "the demo application did not run quietly"
if grep -q -E '\[(Extractor|Updater|JNILaunch)\]' "$work/run4.log"; then
  fail "a start without FERROLAN_LOG_ECHO printed log lines"
fi

# A start that fails is told, not only logged: the application's jar is gone, so the updater
# cannot start it; the launcher ends with exit code 1 and says why on standard error, with the
# log to read.
app_jar="$master/Ferrolan-Demo App-00000000001-complete/ferrolan-demo.jar"
mv "$app_jar" "$work/demo.jar.aside"
set +e
(cd "$work" && env -u FERROLAN_LOG_ECHO "./Demo App" broken) >"$work/run5.log" 2>"$work/run5.err"
rc=$?
set -e
mv "$work/demo.jar.aside" "$app_jar"
[ "$rc" = 1 ] || fail "a start that could not start the application ended with exit code $rc"
expect_line "$work/run5.err" '^Demo App: Demo App could not be installed or started\.' \
  "the failed start was not reported on standard error"
expect_line "$work/run5.err" 'class path entry ferrolan-demo.jar is missing' \
  "the report does not say what is missing"
expect_line "$work/run5.err" "The log has the details: $master/logs/Wrapper-" \
  "the report does not name the log"
ls "$master/logs" | grep -q '^Updater-' || fail "the updater wrote no log of its own"

# With a display the failure also comes up as a dialog of the desktop's own tool: here a
# stand-in zenity on the PATH that records what it was asked to show.
mkdir -p "$work/tools"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/dialog.txt"\n' "$work" >"$work/tools/zenity"
chmod +x "$work/tools/zenity"
mv "$app_jar" "$work/demo.jar.aside"
set +e
(cd "$work" && env -u FERROLAN_NO_DIALOGS DISPLAY=:99 PATH="$work/tools:$PATH" "./Demo App") \
  >"$work/run6.log" 2>"$work/run6.err"
rc=$?
set -e
mv "$work/demo.jar.aside" "$app_jar"
[ "$rc" = 1 ] || fail "a start with a display that could not start the application ended with $rc"
for ((i = 0; i < 50; i++)); do
  [ -s "$work/dialog.txt" ] && break
  sleep 0.1
done
[ -s "$work/dialog.txt" ] || fail "no dialog was shown"
expect_line "$work/dialog.txt" '^--error$' "the dialog is no error dialog"
expect_line "$work/dialog.txt" '^--title=Demo App$' "the dialog is not titled with the application"
expect_line "$work/dialog.txt" 'The log has the details: ' "the dialog does not name the log"
echo "PASS: installed from nothing and ran as installed on the extracted runtime"
