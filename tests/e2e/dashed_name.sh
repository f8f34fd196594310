#!/usr/bin/env bash
# End to end on a real Java runtime, packaged with the jpackage-style flags: an application whose
# name holds dashes ("Demo-App-2", its runtime "Demo-App-2-jre") is installed from nothing, and
# the updater (the jar beside ferrolan-pack, with the launch file the packager wrote) finds the
# application's folder again and starts it; then it runs again as installed.
#
# Usage: tests/e2e/dashed_name.sh BUILD_DIR RUNTIME
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1
runtime=$2
e2e_begin dashed

mkdir -p "$work/input"
cp "$build/java/ferrolan-demo.jar" "$work/input/"
"$build/bin/ferrolan-pack" keygen -o "$work/key" --bits 2048 >/dev/null
"$build/bin/ferrolan-pack" build --name Demo-App-2 --input "$work/input" \
  --main-jar ferrolan-demo.jar --main-class com.ferrolan.demo.DemoApp --runtime "$runtime" \
  --java-options -Dferrolan.demo=dashes --arguments "from the launch file" --app-version 1.2 \
  --key "$work/key.private.der" -o "$work/Demo-App-2" >"$work/build.log" 2>&1 ||
  fail "the build failed"
"$build/bin/ferrolan-pack" inspect "$work/Demo-App-2" >"$work/inspect.log" 2>&1 ||
  fail "inspect failed"
expect_line "$work/inspect.log" 'main class +"com.ferrolan.demo.DemoApp"' "inspect shows no main class"

e2e_roots
set +e
(cd "$work" && ./Demo-App-2 first) >"$work/run1.log" 2>&1
rc=$?
set -e
[ "$rc" = 0 ] || fail "the first start ended with exit code $rc"
master=$(find "$work/root" -maxdepth 2 -name 'Ferrolan-Demo-App-2' -type d | head -n 1)
[ -n "$master" ] || fail "no master folder for Demo-App-2"
[ -d "$master/Ferrolan-Demo-App-2-00100020000-complete" ] || fail "the application was not installed"
[ -d "$master/Ferrolan-Demo-App-2-jre-00100020000-complete" ] || fail "the runtime was not installed"
expect_line "$work/run1.log" '^argument [0-9]+: from the launch file$' \
  "the application did not get the launch file's argument"
expect_line "$work/run1.log" '^argument [0-9]+: first$' "the application did not get the argument"

(cd "$work" && ./Demo-App-2 again) >"$work/run2.log" 2>&1 || fail "the second start failed"
expect_line "$work/run2.log" 'Running without extraction now' "the second start did not run as installed"
expect_line "$work/run2.log" '^argument [0-9]+: again$' "the application did not run the second time"
echo "PASS: an application named with dashes, packaged with flags, installed and ran twice"
