#!/usr/bin/env bash
# The README's "Ship your app in ten minutes", run as it stands: its sh blocks, in order, in an
# empty folder holding only a third-party-style application (a jar whose main prints its
# arguments and fails on any argument it does not know), with the build's tools on the PATH.
# Then, on the installed result:
#   - the arguments arrived unchanged;
#   - a second release installs over the first, and when its jar is gone the start falls back
#     to the first release;
#   - the uninstall the README names removes the installation.
#
# Usage: tests/e2e/walkthrough.sh SOURCE_DIR BUILD_DIR JDK_HOME
set -euo pipefail
. "$(dirname "$0")/common.sh"
source_dir=$1
build=$2
jdk=$3
e2e_begin walkthrough
# The walkthrough's install makes its menu entry (in the test's own data folder) and its
# uninstall removes it.
unset FERROLAN_NO_DESKTOP_INTEGRATION

# The vendor's application, which has never heard of the launcher.
mkdir -p "$work/src" "$work/classes" "$work/shop/dist"
cat >"$work/src/Hello.java" <<'JAVA'
public final class Hello {
    public static void main(String[] args) {
        for (String argument : args) {
            if (!argument.startsWith("--greet=") && !argument.equals("--verbose")) {
                System.err.println("Hello: unknown argument " + argument);
                System.exit(2);
            }
            System.out.println("Hello got: " + argument);
        }
        System.out.println("Hello version " + System.getProperty("ferrolan.appVersion"));
    }
}
JAVA
"$jdk/bin/javac" -d "$work/classes" "$work/src/Hello.java"
"$jdk/bin/jar" --create --file "$work/shop/dist/hello.jar" --main-class Hello -C "$work/classes" .

# The README's blocks, extracted between its walkthrough markers.
awk '/^<!-- walkthrough/{on=1; next} /^<!-- \/walkthrough/{on=0} on && /^```sh$/{code=1; next}
     on && /^```$/{code=0; next} on && code' "$source_dir/README.md" >"$work/walkthrough.sh"
[ -s "$work/walkthrough.sh" ] || fail "the README has no walkthrough"
export PATH="$build/bin:$jdk/bin:$PATH"
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
unset APPDATA LOCALAPPDATA PROGRAMDATA
mkdir -p "$HOME"
(cd "$work/shop" && bash -e "$work/walkthrough.sh") >"$work/walkthrough.log" 2>&1 ||
  fail "the walkthrough failed as written"
expect_line "$work/walkthrough.log" '^Hello got: --greet=big world$' \
  "the application did not get its argument unchanged"
if grep -q "unknown argument" "$work/walkthrough.log"; then
  fail "the application received an argument the user did not give"
fi
[ -d "$work/shop/updates" ] || fail "publish wrote no update folder"
master="$XDG_DATA_HOME/Ferrolan-Hello App"
[ -d "$master" ] || fail "no installation under the user's data folder"
[ -x "$master/Hello App" ] || fail "no copy of the launcher to start the application from"

# A second release installs over the first; with its jar gone the start falls back.
(cd "$work/shop" && ferrolan-pack build --name "Hello App" --input dist --main-jar hello.jar \
  --runtime runtime --key hello-key.private.der --app-version 1.1 -o "Hello App 1.1") \
  >"$work/build11.log" 2>&1 || fail "the second release did not build"
(cd "$work/shop" && ./"Hello App 1.1" --verbose) >"$work/run11.log" 2>&1 ||
  fail "the second release did not start"
expect_line "$work/run11.log" '^Hello version 100010000$' "the second release did not run"
rm "$master/Ferrolan-Hello App-00100010000-complete/hello.jar"
set +e
(cd "$work/shop" && ./"Hello App 1.1" --verbose) >"$work/fallback.log" 2>&1
rc=$?
set -e
[ "$rc" = 0 ] || fail "the start with a broken release ended with exit code $rc"
expect_line "$work/fallback.log" '^Hello version 100000000$' "the start did not fall back to 1.0"
grep -q "Falling back to the previous version" "$master"/logs/Updater-* ||
  fail "the updater did not log the fall-back"

# The uninstall the README names.
(cd "$work/shop" && ./"Hello App" FLUNINSTALL) >"$work/uninstall.log" 2>&1 ||
  fail "the uninstall failed"
[ ! -e "$master" ] || fail "the uninstall left the installation"
echo "PASS: the README's walkthrough ran as written; arguments, fall-back and uninstall hold"
