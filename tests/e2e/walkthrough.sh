#!/usr/bin/env bash
# The README's "Ship your app in ten minutes", run as it stands: its sh blocks, in order, in an
# empty folder holding only a third-party-style application (a jar whose main prints its
# arguments and fails on any argument it does not know), with the build's tools on the PATH.
# Then, on the installed result:
#   - the arguments arrived unchanged;
#   - a second release installs over the first, and when its jar is gone the start falls back
#     to the first release;
#   - the uninstall the README names removes the installation.
# Then "Ship an update", as it stands, in network and PID namespaces of its own (its server's
# fixed port is free there whatever else runs on the machine, and nothing it leaves running in
# the background outlives it), and on what its starts printed:
#   - each start ran the version the README says, and installed the release it says: 1.1 at the
#     start after its publish, 1.2 once the roll-out reaches this installation's number, the
#     critical 1.3 (1.1's build again) at the start after;
#   - publish refuses a version below the published one, as the README says;
#   - the refreshed metadata is the one the last start accepted.
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

# extract NAME: the README's sh blocks between its markers <!-- NAME: ... --> and <!-- /NAME -->.
extract() {
  awk -v name="$1" '$0 ~ "^<!-- " name ":" {on=1; next} $0 == "<!-- /" name " -->" {on=0}
    on && /^```sh$/{code=1; next} on && /^```$/{code=0; next} on && code' "$source_dir/README.md"
}
extract walkthrough >"$work/walkthrough.sh"
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

# "Ship an update", from an empty installation.
extract walkthrough-update >"$work/update.sh"
[ -s "$work/update.sh" ] || fail "the README has no update walkthrough"
share=(unshare -n -p -f --kill-child)
[ "$(id -u)" = 0 ] || share=(unshare -r -n -p -f --kill-child)
"${share[@]}" true 2>/dev/null || fail "network and PID namespaces are not available (${share[*]})"
"${share[@]}" bash -c 'ip link set lo up && cd "$1" && bash -e "$2"' _ "$work/shop" \
  "$work/update.sh" >"$work/update.log" 2>&1 || fail "the update walkthrough failed as written"

# What the starts did, one line each: "run VERSION" (what the application printed),
# "installed VERSION" (an update of the application), "not rolled out".
sed -nE -e 's/^Hello version ([0-9]+)$/run \1/p' \
  -e 's/.*\[Update\] Installed .*Ferrolan-Hello App-0*([0-9]+)-complete.?$/installed \1/p' \
  -e 's/.*\[Update\] The release is rolled out to 20% .*/not rolled out/p' \
  "$work/update.log" >"$work/update-events.txt"
v10=100000000 v11=100010000 v12=100020000 v13=100030000
number=$(cat "$master/FLAppsSharedConfig/UpdateRolloutNumber") ||
  fail "the installation drew no roll-out number"
if [ "$number" -lt 20 ]; then
  rollout=("installed $v12" "run $v12" "run $v12")
else
  rollout=("not rolled out" "run $v11" "installed $v12" "run $v12")
fi
printf '%s\n' "run $v10" "run $v10" "installed $v11" "run $v11" "run $v11" "${rollout[@]}" \
  "run $v12" "installed $v13" "run $v13" "run $v13" >"$work/update-expected.txt"
diff "$work/update-expected.txt" "$work/update-events.txt" >"$work/update-events.diff" ||
  fail "the update walkthrough's starts did not do what the README says (roll-out number" \
    "$number; expected, then seen): $(cat "$work/update-events.diff")"
expect_line "$work/shop/site/hello/Ferrolan-update.meta" '^critical=1' \
  "the critical release's metadata is not critical"
cmp -s "$work/shop/dist/hello.jar" "$master/Ferrolan-Hello App-00100030000-complete/hello.jar" ||
  fail "1.3 does not install 1.1's build again"
refreshed=$(sed -nE 's/^metadata_version=([0-9]+).?$/\1/p' "$work/shop/site/hello/Ferrolan-update.meta")
[ -n "$refreshed" ] || fail "the update folder's metadata has no version"
expect_line "$work/update.log" "Accepted update metadata version $refreshed\$" \
  "the last start did not accept the refreshed metadata"
# As the README says, publish refuses a version below the published one.
if (cd "$work/shop" && ferrolan-pack publish --name "Hello App" --input dist --main-jar hello.jar \
  --runtime runtime --key hello-key.private.der --app-version 1.2 -o site/hello) \
  >"$work/publish-lower.log" 2>&1; then
  fail "publish took a version below the published one"
fi
expect_line "$work/publish-lower.log" "is not newer than the published" \
  "publish did not say why it refused a lower version"
echo "PASS: the README's walkthrough ran as written; arguments, fall-back and uninstall hold;" \
  "its update walkthrough installed 1.1, the rolled-out 1.2 and the critical 1.3 as it says"
