#!/usr/bin/env bash
# An elevated run in a hostile master folder. The all-users master folder is writable by an
# ordinary user, who plants links at every name the launcher will create in it — the
# temporary names (predicted from the naming scheme: the time in seconds and the number of
# entries), every versioned "-complete" name, "logs", "FLApps" and "FLAppsSharedConfig" (which
# holds DetectedProxy) — all pointing at a folder outside with a canary file. The launcher then
# runs as root, first with a damaged application archive (rejected after part of it was
# written), then whole: each run must end with an exit code of its table and change nothing
# outside the master folder.
#
# Usage: tests/e2e/hostile_master_folder.sh BUILD_DIR RUNTIME
# Needs root and an unprivileged account (nobody); skips otherwise.
set -euo pipefail
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/hostile_common.sh"
build=$(cd "$1" && pwd)
runtime=$(cd "$2" && pwd)
e2e_begin_as_root hostile

"$SOURCE_DIR/scripts/package-demo.sh" "$build" "$runtime" "$work" >/dev/null
e2e_roots
master="$PROGRAMDATA/Ferrolan-Demo App"
outside=$work/outside
mkdir -p "$master" "$outside/sub"
echo canary >"$outside/canary"
echo canary >"$outside/sub/canary"
chown -R 65534:65534 "$master" "$outside"

# What the user plants: fixed names first, then the temporary names. Each temporary name's
# count is the number of entries in the master folder ("." and ".." included) when it is
# formed, so the counts around that number are covered for every second of the next minute.
fixed=(logs FLApps FLAppsSharedConfig Ferrolan-Ferrolan-00000000001-complete
  Ferrolan-jre17-00000000017-complete "Ferrolan-Demo App-00000000001-complete")
hostile_names "$(date +%s)" 60 21 "${fixed[@]}" >"$work/names"
planted=$(wc -l <"$work/names")
as_nobody bash -c 'cd "$1" && while IFS= read -r name; do ln -s "$2" "$name"; done <"$3"' _ \
  "$master" "$outside" "$work/names"
[ "$(find "$master" -mindepth 1 -maxdepth 1 | wc -l)" = "$planted" ] || fail "the links were not all planted"

snapshot() { # everything outside the master folder: names, types, link targets, contents
  (cd "$work" && find outside root -path "root/programdata/Ferrolan-Demo App" -prune -o -print0 |
    sort -z | xargs -0 stat -c '%n %F %a %u %s' && find outside -type f -print0 | sort -z |
    xargs -0 sha256sum)
}
snapshot >"$work/before"

# First a launcher whose application archive is damaged (one byte, just before the entry that
# follows it): the archive is rejected after some of its files were written, and its clean-up
# must not reach through a link either.
damaged_copy "$work/Demo App" "$work/Damaged App" "Demo App" ||
  fail "the application's version entry was not found"
set +e
(cd "$work" && timeout 300 "./Damaged App" hostile) >"$work/run0.log" 2>&1
rc=$?
set -e
[ "$rc" = 1 ] || fail "the damaged launcher ended with exit code $rc, not 1"
grep -q -E 'unable to verify signature|compressed archive is damaged' "$work/run0.log" ||
  fail "the damaged archive was not the reason the run failed"
snapshot >"$work/after"
diff -u "$work/before" "$work/after" >"$work/diff" ||
  fail "the rejected archive changed something outside the master folder: $(cat "$work/diff")"
[ ! -e "$master/Ferrolan-Demo App-00000000001-complete" ] || [ -L "$master/Ferrolan-Demo App-00000000001-complete" ] ||
  fail "the damaged application was installed"

set +e
(cd "$work" && timeout 300 "./Demo App" hostile) >"$work/run1.log" 2>&1
rc=$?
set -e
snapshot >"$work/after"
diff -u "$work/before" "$work/after" >"$work/diff" || fail "something outside the master folder changed: $(cat "$work/diff")"
case $rc in
0 | 1 | 99) ;;
*) fail "the run ended with exit code $rc, which is none of the launcher's" ;;
esac
grep -q 'is a link; skipping it\|but is a link; skipping it' "$work/run1.log" ||
  fail "the links at the versioned names were not recognised"
grep -q '^.*\[Extractor\] Temporary name .* is taken; trying the next' "$work/run1.log" ||
  fail "no planted temporary name was met (the prediction missed)"
if [ "$rc" = 0 ]; then
  for folder in Ferrolan-Ferrolan-00000000001-complete Ferrolan-jre17-00000000017-complete \
    "Ferrolan-Demo App-00000000001-complete"; do
    [ -d "$master/$folder" ] && [ ! -L "$master/$folder" ] || fail "$folder was not installed in place of the link"
  done
fi
echo "PASS: the elevated run ended with exit code $rc and nothing outside the master folder changed"
