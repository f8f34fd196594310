# What the end-to-end scripts share; source it first. It sources tests/net/harness.sh (the
# namespaces, servers, Wine, launcher runs and checks), so that a test is a page of what it tests:
#
#   set -uo pipefail
#   . "$(dirname "$0")/common.sh"
#   e2e_enter "$@"                     # called as TARGET LAUNCHER PACKAGER FAKE_JVM [FAKE_JAVA]
#   stand_in_package "$pkg" "Some App" "$4" "${5:-}"
#   package_config "Some App" 1 >"$pkg/app.json"
#   pack keygen -o key
#   pack build --config app.json -o "launcher$EXE"
#   LAUNCHER=$pkg/launcher$EXE launcher "$WORK/install"
#   check "the install succeeds ($RUN_CODE)" test "$RUN_CODE" = 0
#   finish
#
# In namespaces of the script's own, for a script called as TARGET LAUNCHER PACKAGER [...]:
#   e2e_enter "$@"      harness_enter "$@", then target_folders (PROGRAMDATA_DIR, EXE); sets
#                       PACK_TOOL (the packager) and pkg ($WORK/pkg, the package folder)
#   pack ARGS...        the packager in $pkg, natively or under Wine; the script ends if it fails
#
# Outside any namespace, on a real Java runtime (harness_enter is not called, so no `launcher`,
# `check` or `finish`; the script runs with `set -e` and ends at its first `fail`):
#   e2e_begin NAME [AT_EXIT]   exports the launcher's switches and makes $work, a fresh folder
#                       ferrolan-e2e-NAME.XXXXXX, removed at the end (kept when FERROLAN_E2E_KEEP
#                       is set), when the shell command AT_EXIT runs too
#   e2e_begin_as_root NAME [AT_EXIT]   the same for a test that runs launchers as root and as the
#                       account nobody: without root, nobody or setpriv it prints "SKIP: ..." and
#                       ends with exit code 0; $work is readable by nobody
#   as_nobody COMMAND...   runs COMMAND as the account nobody
#   e2e_roots           the all-users and user folders in $work (PROGRAMDATA, APPDATA)
#
# Either kind:
#   fail TEXT           prints "FAIL: TEXT" and the ends of the logs in $work (where e2e_begin
#                       made one); ends the script
#   expect_line FILE PATTERN TEXT   FILE holds a line matching the regular expression PATTERN,
#                       or fail TEXT
#
# Packages, for the namespaced scripts (they need TARGET, LAUNCHER and EXE):
#   package_files PKG [WINDOWS_IMAGE]   the plain files and the launcher image of a package
#   stand_in_package PKG APP_NAME FAKE_JVM [FAKE_JAVA_EXE]   an application on a stand-in runtime
#   package_config APP_NAME VERSION [SETTING=VALUE...]   prints its build configuration
#   launch_file MAIN_CLASS APP_NAME JAR...   prints a launch file of version 5

. "$(dirname "${BASH_SOURCE[0]}")/../net/harness.sh"

# ---- in namespaces

e2e_enter() {
  harness_enter "$@"
  PACK_TOOL=$(realpath "$3") || { echo "FAIL: no packager at $3"; exit 1; }
  target_folders
  pkg=$WORK/pkg
}

pack() { target_pack "$pkg" "$PACK_TOOL" "$@"; }

# ---- outside any namespace

e2e_begin() {
  # The launcher's log lines on its standard output, which the scripts read; no dialogs; no
  # menu entries for the user running the tests.
  export FERROLAN_LOG_ECHO=1 FERROLAN_NO_DIALOGS=1 FERROLAN_NO_DESKTOP_INTEGRATION=1
  work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-e2e-$1.XXXXXX")
  # The packager's archive cache is the test's own.
  export FERROLAN_PACK_CACHE=$work/pack-cache
  E2E_AT_EXIT=${2:-}
  trap '[ -n "${FERROLAN_E2E_KEEP:-}" ] || rm -rf "$work"; eval "$E2E_AT_EXIT"' EXIT
}

e2e_begin_as_root() {
  if [ "$(id -u)" != 0 ] || ! id nobody >/dev/null 2>&1 || ! command -v setpriv >/dev/null; then
    echo "SKIP: needs root, the account nobody and setpriv"
    exit 0
  fi
  e2e_begin "$@"
  chmod 755 "$work"
}

as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }

e2e_roots() {
  export PROGRAMDATA=$work/root/programdata APPDATA=$work/root/appdata
  mkdir -p "$PROGRAMDATA" "$APPDATA"
}

fail() {
  echo "FAIL: $*"
  local log
  if [ -n "${work:-}" ]; then
    for log in "$work"/*.log "$work"/*.err; do
      [ -f "$log" ] || continue
      echo "---- $log"
      tail -n 100 "$log"
    done
  fi
  exit 1
}

expect_line() {
  grep -a -q -E -- "$2" "$1" || fail "$3 (no line matching '$2' in $(basename "$1"))"
}

# ---- packages

# package_files PKG [WINDOWS_IMAGE]: the plain files a build carries (files/cacerts, a
# files/splash.png that is only a PNG signature, files/lzma.exe) and the target's launcher as
# PKG/ferrolan$EXE. On Windows the carried lzma.exe is patched into a windowed program, so it
# must be an image: a copy of WINDOWS_IMAGE, any small Windows program.
package_files() {
  mkdir -p "$1/files"
  printf 'no trust store\n' >"$1/files/cacerts"
  printf '\x89PNG\r\n\x1a\n' >"$1/files/splash.png"
  if [ "$TARGET" = windows ]; then cp "$2" "$1/files/lzma.exe"; else
    printf 'not a Windows tool\n' >"$1/files/lzma.exe"; fi
  cp "$LAUNCHER" "$1/ferrolan$EXE"
}

# stand_in_package PKG APP_NAME FAKE_JVM [FAKE_JAVA_EXE]: fills PKG with what `ferrolan-pack
# build` takes to install a whole application without a real Java runtime: an updater and an
# application (each with its launch file and a jar of random bytes), a stand-in runtime (the fake
# JVM library, a java that only exits: FAKE_JAVA_EXE on Windows, a shell script elsewhere, and a
# lib/modules that marks it whole) and package_files. Sets JAVA_LAUNCHER to the runtime
# launcher's name that a start copies under the application's name.
stand_in_package() {
  local pkg=$1 app=$2 fake_jvm fake_java=${4:+$(realpath "$4")}
  fake_jvm=$(realpath "$3") || { echo "FAIL: no fake JVM at $3"; exit 1; }
  mkdir -p "$pkg/updater" "$pkg/app" "$pkg/jre/bin" "$pkg/jre/lib"
  launch_file com.ferrolan.updater.Updater FerrolanUpdater updater.jar \
    >"$pkg/updater/FerrolanLaunch"
  head -c 300000 /dev/urandom >"$pkg/updater/updater.jar"
  launch_file com.example.Main "$app" app.jar >"$pkg/app/FerrolanLaunch"
  head -c 400000 /dev/urandom >"$pkg/app/app.jar"
  head -c 65536 /dev/urandom >"$pkg/jre/lib/modules"
  if [ "$TARGET" = windows ]; then
    JAVA_LAUNCHER=javaw.exe
    mkdir -p "$pkg/jre/bin/server"
    cp "$fake_java" "$pkg/jre/bin/java.exe"
    cp "$fake_java" "$pkg/jre/bin/javaw.exe"
    cp "$fake_jvm" "$pkg/jre/bin/server/jvm.dll"
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
  fi
  package_files "$pkg" "$fake_java"
}

# package_config APP_NAME VERSION [SETTING=VALUE...]: prints the build configuration of a package
# folder laid out as above: the updater (updater/) and the application (app/) at VERSION, the
# runtime "jre17" of version 17 (jre/), the files of package_files, an all-users install that
# needs Java 11. The settings change what is built:
#   launcher=IMAGE   the launcher image (ferrolan$EXE)
#   key=FILE         the private key (key.private.der, as `pack keygen -o key` writes it)
#   update_url=URL   (an address where nothing answers: the build never goes online)
#   jre=FOLDER       the runtime's folder (jre); jre=none builds without a runtime
#   params=PAIRS     a Params section: "jre_name": "jre17" and PAIRS, JSON text such as
#                    '"greeting": "hi"' (params= for the name alone); without it, none
#   NAME=VALUE       any other setting of the top level: a number when VALUE is all digits,
#                    a string otherwise
package_config() {
  local app=$1 version=$2 launcher=ferrolan$EXE key=key.private.der url=http://0.0.254.254/
  local jre=jre params="" with_params="" more="" setting
  shift 2
  for setting; do
    case $setting in
      launcher=*) launcher=${setting#*=} ;;
      key=*) key=${setting#*=} ;;
      update_url=*) url=${setting#*=} ;;
      jre=*) jre=${setting#*=} ;;
      params=*) params=${setting#*=} with_params=1 ;;
      *=*[!0-9]* | *=) more+="  \"${setting%%=*}\": \"${setting#*=}\","$'\n' ;;
      *=*) more+="  \"${setting%%=*}\": ${setting#*=},"$'\n' ;;
      *) echo "FAIL: package_config: no setting in '$setting'" >&2; exit 1 ;;
    esac
  done
  echo "{ \"launcher\": \"$launcher\", \"app_name\": \"$app\", \"install_type\": \"perm_all\","
  echo "  \"update_url\": \"$url\", \"required_java_version\": 11, \"key\": \"$key\","
  echo "  \"lzma_exe\": \"files/lzma.exe\", \"splash_image\": \"files/splash.png\","
  echo "  \"cacerts\": \"files/cacerts\","
  printf '%s' "$more"
  echo "  \"updater\": { \"version\": \"$version\", \"folder\": \"updater\" },"
  if [ "$jre" != none ]; then
    echo "  \"jre\": { \"name\": \"jre17\", \"version\": \"17\", \"folder\": \"$jre\" },"
  fi
  if [ -n "$with_params" ]; then
    echo "  \"app\": { \"version\": \"$version\", \"folder\": \"app\" },"
    echo "  \"params\": { \"jre_name\": \"jre17\"${params:+, $params} } }"
  else
    echo "  \"app\": { \"version\": \"$version\", \"folder\": \"app\" } }"
  fi
}

# launch_file MAIN_CLASS APP_NAME JAR...: a launch file of version 5 whose class path is the
# JARs, with the compatibility check of the updater.
launch_file() {
  local class=$1 name=$2
  shift 2
  printf '%s\0' 5 "$class" "" "$name" "" 0 64 16 $# "$@" 0 \
    com.ferrolan.updater.CompatibilityCheck "" "" 0
}
