# What the end-to-end tests of update attacks and faults share. Source it after
# tests/e2e/common.sh and online_package.sh; after `e2e_enter "$@"` call
#   update_faults_enter "$@"
# which builds the online package (its update URL in the Params, so `pack stamp` can point a
# copy elsewhere), installs version 1 with a first start and publishes version 2 into the
# served update folder. Every case then sets up the served folder from the kept copies and runs
# the launcher against it.
#
# Sets: updates (the served folder), url (its address), v1, v2 (the versions as folder names
# carry them), folders ($WORK/folders: kept copies of update folders, "v1" and "good", the
# latter with version 2 beside version 1), app_v1/app_v2/updater_v2 (their complete folders).
#
#   publish_release FOLDER APP VERSION [SETTING...]   publish APP at VERSION from $pkg into
#                       FOLDER (package_config's settings, e.g. key=... or jre=none)
#   serve FOLDER        the served update folder becomes a copy of FOLDER
#   update_command NAME [ARG]   the launcher's FLUPDATE_DOWNLOAD (or ARG) in $WORK/NAME; $OUT
#                       holds its answer followed by the run's log file
#   start NAME          a normal start of the installed version, in $WORK/NAME
#   forget_metadata     the master folder forgets the update metadata it accepted
#   nothing_of_v2 WHAT  no part of version 2 is installed and no update folder is left
#   no_update_folder WHAT  no update folder is left in the master folder
#   installed_starts WHAT [VERSION]  the last run was a start that ran the installed VERSION
#                       (1 unless given)
#   start_update_server  serves $WORK/www on $FAULT_PORT with update_server.py, and makes
#                       $faulty, a copy of the launcher whose update URL is that server's
#   fault NAME MODE [RATE]   that server serves the file NAME so from now on (update_server.py);
#                       `fault` alone: every file plainly
#   faked COMMAND...    runs COMMAND with the clock of its programs FAKED_TIME ahead (such as
#                       +30d), through the library of faketime; faketime_library is empty when
#                       that is not installed

update_faults_enter() {
  online_package params "$@"
  updates=$WORK/www/updates
  url=http://127.0.0.1:$HTTP_PORT/updates
  v1=00000000001
  v2=00000000002
  app_v1="$master/Ferrolan-Demo App-$v1-complete"
  app_v2="$master/Ferrolan-Demo App-$v2-complete"
  updater_v2="$master/Ferrolan-Ferrolan-$v2-complete"
  folders=$WORK/folders
  mkdir -p "$folders"
  fresh_start first
  check "version 1 installs" test "$RUN_CODE" -eq 0 -a -d "$app_v1"
  cp -a "$updates" "$folders/v1"
  # Version 2 carries incompressible data (V2_PADDING_KIB, 64 KiB unless set), so that its
  # archive takes a while to arrive.
  head -c $((${V2_PADDING_KIB:-64} * 1024)) /dev/urandom >"$pkg/app/padding.bin"
  publish_release "$updates" "Demo App" 2 jre="$jre"
  mv "$pkg/app/padding.bin" "$WORK/padding.bin"
  cp -a "$updates" "$folders/good"
  check "version 2 is published" test -s "$updates/Ferrolan-Demo App-$v2-archive.p2.l2"
}

publish_release() {
  local folder=$1 app=$2 version=$3
  shift 3
  package_config "$app" "$version" update_url="$url" params= "$@" >"$pkg/publish.json"
  pack publish --config publish.json -o "$folder"
}

serve() {
  rm -rf "$updates"
  cp -a "$1" "$updates"
}

update_command() {
  local logs=$master/logs before
  before=$(ls "$logs" 2>/dev/null)
  LAUNCHER=${UPDATE_LAUNCHER:-$packaged} launcher "$WORK/$1" "${2:-FLUPDATE_DOWNLOAD}"
  # The command keeps standard output for its answer; the log lines are in the run's log file.
  local name
  for name in $(ls "$logs" 2>/dev/null); do
    if ! grep -qxF -- "$name" <<<"$before"; then cat "$logs/$name" >>"$OUT"; fi
  done
}

start_update_server() {
  FAULT_PORT=$(free_port)
  FAULTS=$WORK/faults
  : >"$FAULTS"
  spawn python3 "$HARNESS_DIR/update_server.py" "$FAULT_PORT" "$WORK/www" "$FAULTS"
  wait_port "$FAULT_PORT"
  cp "$packaged" "$pkg/faulty$EXE"
  pack stamp "faulty$EXE" --set "update_url=http://127.0.0.1:$FAULT_PORT/updates/"
  faulty=$pkg/faulty$EXE
}

fault() {
  if [ $# -gt 0 ]; then (IFS=$'\t' && echo "$*") >"$FAULTS"; else : >"$FAULTS"; fi
}

start() { LAUNCHER=${UPDATE_LAUNCHER:-$packaged} launcher "$WORK/$1" first-argument; }

forget_metadata() { rm -f "$master/FLAppsSharedConfig/AcceptedUpdateMetadata"; }

nothing_of_v2() {
  check "$1: version 2 of the application is not installed" test ! -e "$app_v2"
  check "$1: version 2 of the updater is not installed" test ! -e "$updater_v2"
  no_update_folder "$1"
}

no_update_folder() {
  check "$1: no update folder is left" bash -c '! ls "$1" | grep -q "^FerrolanUpdate-"' _ "$master"
}

installed_starts() {
  local version=${2:-1}
  check "$1: the installed version starts" test "$RUN_CODE" -eq 0
  expect "$1: it runs the installed updater" \
    "[Extractor] Launching 'Ferrolan-Ferrolan-0000000000$version-complete'"
  if [ "$TARGET" = linux ]; then
    expect "$1: the application runs version $version" \
      "system property ferrolan.appVersion: $version"
  fi
}

# The library the faketime command preloads, in its form for programs with threads; Wine's
# programs take it too, their clock being the Linux one.
faketime_library() { ls /usr/lib/*/faketime/libfaketimeMT.so.1 2>/dev/null | head -n 1; }
# Under AddressSanitizer the preloaded library comes before the sanitizer's runtime, which the
# runtime accepts once told so.
faked() {
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
    LD_PRELOAD=$(faketime_library) FAKETIME=$FAKED_TIME FAKETIME_DONT_FAKE_MONOTONIC=1 "$@"
}
