# Sourced by the end-to-end scripts that run launchers outside the network harness (on a real
# Java runtime, in no namespaces): the environment every launcher run of the tests gets, a work
# folder removed at the end (kept when FERROLAN_E2E_KEEP is set), and the checks they share.
#   e2e_begin NAME                 makes $work, a fresh ferrolan-e2e-NAME.XXXXXX folder
#   fail TEXT                      prints TEXT and the ends of the work folder's logs; ends
#   expect_line FILE PATTERN TEXT  FILE holds a line matching PATTERN, or fail TEXT

# The launcher's log lines on its standard output, which the scripts read; no dialogs; no menu
# entries for the user running the tests.
export FERROLAN_LOG_ECHO=1 FERROLAN_NO_DIALOGS=1 FERROLAN_NO_DESKTOP_INTEGRATION=1

e2e_begin() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-e2e-$1.XXXXXX")
  # The packager's archive cache is the test's own.
  export FERROLAN_PACK_CACHE=$work/pack-cache
  trap '[ -n "${FERROLAN_E2E_KEEP:-}" ] || rm -rf "$work"' EXIT
}

fail() {
  echo "FAIL: $*"
  for log in "$work"/*.log "$work"/*.err; do
    [ -f "$log" ] || continue
    echo "---- $log"
    tail -n 100 "$log"
  done
  exit 1
}

expect_line() {
  grep -a -q -E -- "$2" "$1" || fail "$3 (no line matching '$2' in $(basename "$1"))"
}
