#!/usr/bin/env bash
# A per-user install by an ordinary user on a fresh account: no APPDATA, no XDG variable and
# no ~/.local/share yet. The launcher must create the user's data folder and install there (not
# under /var/lib, which the user cannot write to), then run as installed. A second account
# whose home path the Java side cannot use (a "!" in it) must get a working install too.
#
# Usage: tests/e2e/hostile_per_user.sh BUILD_DIR RUNTIME
# Needs root (to become nobody) and an unprivileged account; skips otherwise.
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd)
runtime=$(cd "$2" && pwd)
# At the end nobody's per-user temporary folders go too.
e2e_begin_as_root peruser 'rm -rf /var/tmp/FLUser-*-nobody*'

"$SOURCE_DIR/scripts/package-demo.sh" "$build" "$runtime" "$work" >/dev/null
sed -i 's/"install_type": "perm_all"/"install_type": "perm_user"/' "$work/demo.json"
"$build/bin/ferrolan-pack" build --config "$work/demo.json" -o "$work/Demo App" >/dev/null
chmod -R a+rX "$work"

run_as_nobody() { # home log args...
  local home=$1 log=$2
  shift 2
  (cd "$work" && as_nobody env -u APPDATA -u LOCALAPPDATA -u XDG_DATA_HOME -u PROGRAMDATA \
    -u ALLUSERSPROFILE HOME="$home" USER=nobody timeout 300 "./Demo App" "$@") \
    >"$work/$log" 2>&1
}

for home in "$work/home" "$work/home!bang"; do
  mkdir -p "$home"
  chown 65534:65534 "$home"
  log=run-$(basename "$home" | tr -c 'a-z\n' _).log
  run_as_nobody "$home" "1$log" first || fail "the first per-user start as nobody in $home failed"
  grep -q 'Permanent install for current user' "$work/1$log" || fail "not a per-user install"
  if grep -q 'Shared dir is /var/lib' "$work/1$log"; then fail "the per-user install went to /var/lib"; fi
  run_as_nobody "$home" "2$log" again || fail "the second per-user start as nobody in $home failed"
  grep -q 'Running without extraction now' "$work/2$log" || fail "the second start did not run as installed"
done
share=$work/home/.local/share
[ -d "$share/Ferrolan-Demo App/Ferrolan-Demo App-00000000001-complete" ] ||
  fail "nothing was installed under the created ~/.local/share"
[ "$(stat -c '%a %u' "$share")" = "700 65534" ] || fail "~/.local/share is not the user's alone"
echo "PASS: per-user installs by nobody work with a missing ~/.local/share and with an unusable home"
