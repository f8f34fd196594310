#!/usr/bin/env bash
# End to end, online: a launcher that carries the updater and the application but no JRE, on a
# machine without a usable system JRE, fetches the JRE's version file from the update server,
# streams the JRE archive through download, decoding, verification and writing, installs it and
# launches. The update folder comes from `ferrolan-pack publish`, served by nginx. Then the same
# with direct access blocked and the proxy in the user's settings, and with a damaged archive on
# the server, which installs nothing.
#
# Usage: online.sh TARGET LAUNCHER PACK [RUNTIME UPDATER_JAR DEMO_JAR | FAKE_JVM FAKE_JAVA]
#   linux:   RUNTIME is a real Java runtime; the updater runs on it and starts the demo.
#   windows: no Java runs under Wine; the JRE is a stand-in (FAKE_JVM as bin\server\jvm.dll,
#            FAKE_JAVA as bin\java.exe), and the launch shows in the launcher's log.
. "$(dirname "$0")/harness.sh"
harness_enter "$@"
pack=$(realpath "$3") || { echo "FAIL: no packager at $3"; exit 1; }

pkg=$WORK/pkg
mkdir -p "$pkg/updater" "$pkg/app" "$pkg/files" "$WORK/www"
launch_file() { # main-class app-name jar...
  local class=$1 name=$2
  shift 2
  printf '%s\0' 5 "$class" "" "$name" "" 0 64 16 $# "$@" 0 \
    com.ferrolan.updater.CompatibilityCheck "" "" 0
}
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
launch_file com.ferrolan.updater.Updater FerrolanUpdater ferrolan-updater.jar \
  >"$pkg/updater/FerrolanLaunch"
launch_file com.ferrolan.demo.DemoApp "Demo App" ferrolan-demo.jar >"$pkg/app/FerrolanLaunch"
printf 'no trust store\n' >"$pkg/files/cacerts"
# On Windows the carried lzma.exe is patched into a windowed program, so it must be an image.
if [ "$TARGET" = windows ]; then cp "$5" "$pkg/files/lzma.exe"; else
  printf 'not a Windows tool\n' >"$pkg/files/lzma.exe"; fi
printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"

start_nginx "$WORK/www"

# Runs the packager in the package folder, natively or under Wine.
pack() { target_pack "$pkg" "$pack" "$@"; }
# config FILE WITH_JRE: the build (no JRE) and the publish (with the JRE) configurations.
config() {
  {
    echo "{ \"launcher\": \"$image\", \"app_name\": \"Demo App\", \"install_type\": \"perm_all\","
    echo "  \"update_url\": \"http://127.0.0.1:$HTTP_PORT/updates\", \"required_java_version\": 11,"
    echo "  \"key\": \"demo-key.private.der\", \"lzma_exe\": \"files/lzma.exe\","
    echo "  \"splash_image\": \"files/splash.png\", \"cacerts\": \"files/cacerts\","
    echo "  \"updater\": { \"version\": \"1\", \"folder\": \"updater\" },"
    if [ "$2" = jre ]; then
      echo "  \"jre\": { \"name\": \"jre17\", \"version\": \"17\", \"folder\": \"$jre\" },"
    fi
    echo "  \"app\": { \"version\": \"1\", \"folder\": \"app\" },"
    echo "  \"params\": { \"jre_name\": \"jre17\" } }"
  } >"$pkg/$1"
}
pack keygen -o demo-key
config online.json none
config publish.json jre
pack build --config online.json -o "Demo App"
pack publish --config publish.json -o updates
mv "$pkg/updates" "$WORK/www/updates"
served=$WORK/www/updates/Ferrolan-jre17-00000000017-archive.p2.l2
check "publish wrote the JRE's version file and archive" \
  test -s "$served" -a -s "$WORK/www/updates/Ferrolan-jre17-version.txt"

installed_jre="$master/Ferrolan-jre17-00000000017-complete"
packaged="$WORK/Demo App"
[ "$TARGET" = windows ] && packaged="$packaged.exe"
cp "$pkg/Demo App" "$packaged"
start() { # NAME: a first start of the packaged launcher from a fresh master folder
  rm -rf "$master"
  LAUNCHER="$packaged" launcher "$WORK/$1" first-argument
}

start online
check "the first start succeeds" test "$RUN_CODE" -eq 0
expect "no system JRE is taken" \
  "[JREDownload] Failed to pick up any existing system JRE, will download"
expect "the version file names the JRE" "[JREDownload] JRE Version is 00000000017"
expect "the archive streams through the pipeline" "[Streamer] [Downloader] Done (0)."
expect "the downloaded JRE is set up" "[JREDownload] Downloaded JRE is now ready."
for strategy in Direct "State Proxy" WPAD "Windows Proxy" "Proxy Non Auto"; do
  expect "the $strategy strategy takes part" "[HttpDownloader] [$strategy] +++ Start +++"
done
check "the JRE is installed under its versioned name" test -d "$installed_jre"
check "the installed JRE holds what was published" \
  cmp -s "$jre/lib/modules" "$installed_jre/lib/modules"
check "no temporary folder is left" \
  bash -c '! ls "$1" | grep -q "^FerrolanTemp-"' _ "$master"
expect "the updater is launched in-process" "Start: JNI Launch"
if [ "$TARGET" = linux ]; then
  check "the demo application runs on the downloaded JRE" \
    grep -qx "java.home: $installed_jre" "$OUT"
fi

# Direct access blocked, the proxy in the user's settings: a proxy strategy wins, and the proxy
# that worked is kept in DetectedProxy for the application.
start_tinyproxy
block_direct "$HTTP_PORT"
if [ "$TARGET" = windows ]; then
  key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
  wine_run reg add "$key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1 &&
    wine_run reg add "$key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$PROXY_PORT" /f \
      >/dev/null 2>&1 || { echo "FAIL: cannot set the proxy in the private prefix"; exit 1; }
else
  export http_proxy=http://127.0.0.1:$PROXY_PORT
fi
start proxy
check "the first start through the proxy succeeds" test "$RUN_CODE" -eq 0
reject "Direct does not win" "[HttpDownloader] [Direct] Opened file."
check "a proxy strategy wins" \
  grep -qE '\[(State Proxy|WPAD|Windows Proxy|Proxy Non Auto)\] Opened file. Set downloadWorked' \
  "$OUT"
check "the JRE is installed through the proxy" test -d "$installed_jre"
check "DetectedProxy holds the proxy" \
  grep -q "127.0.0.1:$PROXY_PORT" "$master/FLAppsSharedConfig/DetectedProxy"

# A damaged archive on the server (still reached through the proxy): nothing is installed and
# the run fails.
for damage in truncated forged; do
  cp "$WORK/www/updates.good" "$served" 2>/dev/null || cp "$served" "$WORK/www/updates.good"
  size=$(stat -c %s "$served")
  if [ "$damage" = truncated ]; then
    truncate -s $((size / 2)) "$served"
  else
    printf '\x55' | dd of="$served" bs=1 seek=$((size / 2)) conv=notrunc status=none
  fi
  start "$damage"
  check "a $damage JRE archive fails the run with exit code 1" test "$RUN_CODE" -eq 1
  expect "the $damage archive is reported" \
    "[JREDownload] Failed to download and extract JRE archive."
  check "a $damage JRE archive installs no JRE" test ! -d "$installed_jre"
done
finish
