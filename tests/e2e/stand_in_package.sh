# Sourced by the end-to-end scripts that install a whole application without a real Java
# runtime. Needs the harness's TARGET, LAUNCHER and EXE (tests/net/harness.sh, target_folders).
#
#   stand_in_package PKG APP_NAME FAKE_JVM [FAKE_JAVA_EXE]
# fills PKG with what `ferrolan-pack build` takes: an updater and an application (each with its
# launch file and a jar of random bytes), a stand-in runtime (the fake JVM library, a java that
# only exits: FAKE_JAVA_EXE on Windows, a shell script elsewhere, and a lib/modules that marks it
# whole), the plain files, and the target's launcher as PKG/ferrolan$EXE. Sets JAVA_LAUNCHER to
# the runtime launcher's name that a start copies under the application's name.
stand_in_package() {
  local pkg=$1 app=$2 fake_jvm=$3 fake_java=${4:-}
  mkdir -p "$pkg/updater" "$pkg/app" "$pkg/files" "$pkg/jre/bin" "$pkg/jre/lib"
  stand_in_launch_file com.ferrolan.updater.Updater FerrolanUpdater updater.jar \
    >"$pkg/updater/FerrolanLaunch"
  head -c 300000 /dev/urandom >"$pkg/updater/updater.jar"
  stand_in_launch_file com.example.Main "$app" app.jar >"$pkg/app/FerrolanLaunch"
  head -c 400000 /dev/urandom >"$pkg/app/app.jar"
  head -c 65536 /dev/urandom >"$pkg/jre/lib/modules"
  if [ "$TARGET" = windows ]; then
    JAVA_LAUNCHER=javaw.exe
    mkdir -p "$pkg/jre/bin/server"
    cp "$fake_java" "$pkg/jre/bin/java.exe"
    cp "$fake_java" "$pkg/jre/bin/javaw.exe"
    cp "$fake_jvm" "$pkg/jre/bin/server/jvm.dll"
    # The carried lzma.exe is patched into a windowed program, so it must be an image.
    cp "$fake_java" "$pkg/files/lzma.exe"
  else
    JAVA_LAUNCHER=java
    mkdir -p "$pkg/jre/lib/server"
    # Like the Windows stand-in, its class-data step takes FERROLAN_FAKE_JAVA_DUMP_MS (whole
    # seconds here) when that is set.
    cat >"$pkg/jre/bin/java" <<'SH'
#!/bin/sh
for argument; do
  if [ "$argument" = -Xshare:dump ] && [ -n "${FERROLAN_FAKE_JAVA_DUMP_MS:-}" ]; then
    sleep $((FERROLAN_FAKE_JAVA_DUMP_MS / 1000))
  fi
done
exit 0
SH
    chmod +x "$pkg/jre/bin/java"
    cp "$fake_jvm" "$pkg/jre/lib/server/libjvm.so"
    printf 'not a Windows tool\n' >"$pkg/files/lzma.exe"
  fi
  printf 'no trust store\n' >"$pkg/files/cacerts"
  printf '\x89PNG\r\n\x1a\n' >"$pkg/files/splash.png"
  cp "$LAUNCHER" "$pkg/ferrolan$EXE"
}

# stand_in_config APP_NAME VERSION: the build configuration of such a package (prints it): an
# offline build of every component at VERSION that never goes online.
stand_in_config() {
  cat <<JSON
{ "launcher": "ferrolan$EXE", "app_name": "$1", "install_type": "perm_all",
  "update_url": "http://0.0.254.254/", "required_java_version": 11, "key": "key.private.der",
  "lzma_exe": "files/lzma.exe", "splash_image": "files/splash.png", "cacerts": "files/cacerts",
  "updater": { "version": "$2", "folder": "updater" },
  "jre": { "name": "jre17", "version": "17", "folder": "jre" },
  "app": { "version": "$2", "folder": "app" } }
JSON
}

# stand_in_launch_file MAIN_CLASS APP_NAME JAR: a launch file of version 5.
stand_in_launch_file() {
  printf '%s\0' 5 "$1" "" "$2" "" 0 64 16 1 "$3" 0 com.ferrolan.updater.CompatibilityCheck "" "" 0
}
