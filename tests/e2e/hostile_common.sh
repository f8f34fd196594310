# Sourced by the hostile-folder scripts: the names a launcher will create in its master folder,
# where an attacker plants links, and a launcher whose application archive is damaged.
#
#   hostile_names NOW SECONDS COUNTS FIXED...
# prints the FIXED names, then every temporary name "FerrolanTemp-<second>-<count>-app" of the
# SECONDS seconds from NOW. A temporary name's count is the number of entries in the master
# folder ("." and ".." included) when it is formed, so the COUNTS counts around the number there
# will be once every name is planted (2 + the names printed) are covered.
hostile_names() {
  local now=$1 seconds=$2 counts=$3 s n
  shift 3
  local base=$((2 + $# + seconds * counts))
  printf '%s\n' "$@"
  for ((s = now; s < now + seconds; s++)); do
    for ((n = base - 5; n < base - 5 + counts; n++)); do
      printf 'FerrolanTemp-%d-%d-app\n' "$s" "$n"
    done
  done
}

#   damaged_copy LAUNCHER COPY APP_NAME
# copies LAUNCHER to COPY with one byte of its application archive changed (just before the
# application's version entry that follows the archive), so that the archive is rejected after
# part of it was written. False when that entry is not found.
damaged_copy() {
  local at
  at=$(grep -boa "Ferrolan-$3-version.txt" "$1" | tail -n 1 | cut -d: -f1)
  [ -n "$at" ] || return 1
  cp "$1" "$2"
  printf '\xff' | dd of="$2" bs=1 seek=$((at - 300)) conv=notrunc status=none
}
