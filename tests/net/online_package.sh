# The package of the online end-to-end tests, for scripts that source harness.sh. Source this
# after `harness_enter "$@"`, then call
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
# Sets: pkg (the package folder), jre (the published runtime), master (the master folder the
# launcher installs into), packaged (the launcher), served (the JRE archive on the server),
# served_version (its version file), installed_jre (the folder it installs as), EXE_SUFFIX
# (".exe" or ""); defines
# pack ARGS... (the packager in the package folder) and fresh_start NAME (a first start of the
# packaged launcher from an empty master folder).

online_package() {
  local url_source=$1
  shift
  local pack_tool
  pack_tool=$(realpath "$3") || { echo "FAIL: no packager at $3"; exit 1; }
  PACK_TOOL=$pack_tool
  pkg=$WORK/pkg
  mkdir -p "$pkg/updater" "$pkg/app" "$pkg/files" "$WORK/www"
  local image
  EXE_SUFFIX=""
  [ "$TARGET" = windows ] && EXE_SUFFIX=.exe
  if [ "$TARGET" = windows ]; then
    jre=$pkg/jre
    mkdir -p "$jre/bin/server" "$jre/lib"
    cp "$4" "$jre/bin/server/jvm.dll"
    cp "$5" "$jre/bin/java.exe"
    printf 'class library\n' >"$jre/lib/modules"
    printf 'stand-in\n' >"$pkg/updater/ferrolan-updater.jar"
    printf 'stand-in\n' >"$pkg/app/ferrolan-demo.jar"
    cp "$LAUNCHER" "$pkg/ferrolan.exe"
    image=ferrolan.exe
    master=$WINEPREFIX/drive_c/ProgramData/Ferrolan-Demo\ App
  else
    jre=$(realpath "$4")
    cp "$5" "$pkg/updater/"
    cp "$6" "$pkg/app/"
    image=$LAUNCHER
    export PROGRAMDATA=$WORK/root/programdata APPDATA=$WORK/root/appdata
    # No system JRE may be taken over: the candidates' folder is empty.
    export PROGRAMFILES=$WORK/root/programfiles
    mkdir -p "$PROGRAMDATA" "$APPDATA" "$PROGRAMFILES"
    master=$PROGRAMDATA/Ferrolan-Demo\ App
  fi
  online_launch_file com.ferrolan.updater.Updater FerrolanUpdater ferrolan-updater.jar \
    >"$pkg/updater/FerrolanLaunch"
  online_launch_file com.ferrolan.demo.DemoApp "Demo App" ferrolan-demo.jar \
    >"$pkg/app/FerrolanLaunch"
  printf 'no trust store\n' >"$pkg/files/cacerts"
  # On Windows the carried lzma.exe is patched into a windowed program, so it must be an image.
  if [ "$TARGET" = windows ]; then cp "$5" "$pkg/files/lzma.exe"; else
    printf 'not a Windows tool\n' >"$pkg/files/lzma.exe"; fi
  printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"

  start_nginx "$WORK/www"
  local url=http://127.0.0.1:$HTTP_PORT/updates
  online_config online.json none "$image" "$url_source" "$url"
  online_config publish.json jre "$image" static "$url"
  pack keygen -o demo-key
  pack build --config online.json -o "Demo App"
  pack publish --config publish.json -o updates
  mv "$pkg/updates" "$WORK/www/updates"
  served=$WORK/www/updates/Ferrolan-jre17-00000000017-archive.p2.l2
  served_version=$WORK/www/updates/Ferrolan-jre17-version.txt
  check "publish wrote the JRE's version file and archive" test -s "$served" -a -s "$served_version"
  installed_jre="$master/Ferrolan-jre17-00000000017-complete"
  packaged="$WORK/Demo App$EXE_SUFFIX"
  cp "$pkg/Demo App" "$packaged"
}

# Runs the packager in the package folder, natively or under Wine.
pack() { target_pack "$pkg" "$PACK_TOOL" "$@"; }

# A first start of the packaged launcher (or of LAUNCHER_FILE) from an empty master folder.
# The folder's contents go, not the folder: it may be a mount point.
fresh_start() {
  mkdir -p "$master"
  find "$master" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
  LAUNCHER="${LAUNCHER_FILE:-$packaged}" launcher "$WORK/$1" first-argument
}

online_launch_file() { # main-class app-name jar...
  local class=$1 name=$2
  shift 2
  printf '%s\0' 5 "$class" "" "$name" "" 0 64 16 $# "$@" 0 \
    com.ferrolan.updater.CompatibilityCheck "" "" 0
}

# online_config FILE none|jre IMAGE static|params URL: the build (no JRE) and the publish (with
# the JRE) configurations.
online_config() {
  local tail_url=$5 params_url=""
  if [ "$4" = params ]; then
    tail_url=D
    params_url=", \"update_url\": \"$5\""
  fi
  {
    echo "{ \"launcher\": \"$3\", \"app_name\": \"Demo App\", \"install_type\": \"perm_all\","
    echo "  \"update_url\": \"$tail_url\", \"required_java_version\": 11,"
    echo "  \"key\": \"demo-key.private.der\", \"lzma_exe\": \"files/lzma.exe\","
    echo "  \"splash_image\": \"files/splash.png\", \"cacerts\": \"files/cacerts\","
    echo "  \"updater\": { \"version\": \"1\", \"folder\": \"updater\" },"
    if [ "$2" = jre ]; then
      echo "  \"jre\": { \"name\": \"jre17\", \"version\": \"17\", \"folder\": \"$jre\" },"
    fi
    echo "  \"app\": { \"version\": \"1\", \"folder\": \"app\" },"
    echo "  \"params\": { \"jre_name\": \"jre17\"$params_url } }"
  } >"$pkg/$1"
}
