# The package of the online end-to-end tests, for scripts that source tests/e2e/common.sh. Source
# this beside it and, after `e2e_enter "$@"`, call
#   online_package URL_SOURCE "$@"
# with the script's own arguments (TARGET LAUNCHER PACK, then RUNTIME UPDATER_JAR DEMO_JAR on
# linux or FAKE_JVM FAKE_JAVA on windows). It builds a launcher that carries the updater and the
# application but no JRE, publishes the update folder with the JRE, and serves it with nginx at
# /updates. URL_SOURCE "static" puts the update URL into the tail; "params" puts it into the
# Params section, where `pack stamp` can change it.
#
# linux:   RUNTIME is a real Java runtime; the updater runs on it and starts the demo.
# windows: no Java runs under Wine; the JRE is a stand-in (FAKE_JVM as bin\server\jvm.dll,
#          FAKE_JAVA as bin\java.exe), and the launch shows in the launcher's log.
#
# Sets: jre (the published runtime), master (the master folder the launcher installs into),
# packaged (the launcher), served (the JRE archive on the server), served_version (its version
# file), installed_jre (the folder it installs as); defines fresh_start NAME (a first start of
# the packaged launcher from an empty master folder).

online_package() {
  local url_source=$1
  shift
  mkdir -p "$pkg/updater" "$pkg/app"
  if [ "$TARGET" = windows ]; then
    jre=$pkg/jre
    mkdir -p "$jre/bin/server" "$jre/lib"
    cp "$4" "$jre/bin/server/jvm.dll"
    cp "$5" "$jre/bin/java.exe"
    cp "$5" "$jre/bin/javaw.exe"  # a sound JRE, so later starts run what is installed
    printf 'class library\n' >"$jre/lib/modules"
    printf 'stand-in\n' >"$pkg/updater/ferrolan-updater.jar"
    printf 'stand-in\n' >"$pkg/app/ferrolan-demo.jar"
  else
    jre=$(realpath "$4")
    cp "$5" "$pkg/updater/"
    cp "$6" "$pkg/app/"
    # The user's own folder, and no system JRE to take over: the candidates' folder is empty.
    export APPDATA=$WORK/appdata PROGRAMFILES=$WORK/programfiles
    mkdir -p "$APPDATA" "$PROGRAMFILES"
  fi
  master="$PROGRAMDATA_DIR/Ferrolan-Demo App"
  launch_file com.ferrolan.updater.Updater FerrolanUpdater ferrolan-updater.jar \
    >"$pkg/updater/FerrolanLaunch"
  launch_file com.ferrolan.demo.DemoApp "Demo App" ferrolan-demo.jar >"$pkg/app/FerrolanLaunch"
  # On Windows the stand-in java.exe is the image the carried lzma.exe must be.
  package_files "$pkg" "$5"

  start_nginx "$WORK/www"
  local url=http://127.0.0.1:$HTTP_PORT/updates tail_url params=""
  tail_url=$url
  if [ "$url_source" = params ]; then
    tail_url=D
    params="\"update_url\": \"$url\""
  fi
  package_config "Demo App" 1 update_url="$tail_url" jre=none params="$params" >"$pkg/online.json"
  package_config "Demo App" 1 update_url="$url" jre="$jre" params= >"$pkg/publish.json"
  pack keygen -o key
  pack build --config online.json -o "Demo App"
  pack publish --config publish.json -o updates
  mv "$pkg/updates" "$WORK/www/updates"
  served=$WORK/www/updates/Ferrolan-jre17-00000000017-archive.p2.l2
  served_version=$WORK/www/updates/Ferrolan-jre17-version.txt
  check "publish wrote the JRE's version file and archive" test -s "$served" -a -s "$served_version"
  installed_jre="$master/Ferrolan-jre17-00000000017-complete"
  packaged="$WORK/Demo App$EXE"
  cp "$pkg/Demo App" "$packaged"
}

# A first start of the packaged launcher (or of LAUNCHER_FILE) from an empty master folder.
# The folder's contents go, not the folder: it may be a mount point.
fresh_start() {
  mkdir -p "$master"
  find "$master" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
  LAUNCHER="${LAUNCHER_FILE:-$packaged}" launcher "$WORK/$1" first-argument
}
