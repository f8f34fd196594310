# A small library for tests that need real servers. Source it, then call `harness_enter "$@"`
# first: the script re-executes itself in a fresh network and mount namespace, so its servers
# listen on a loopback of their own and nothing reaches the machine's network or its other
# tests. Everything a test starts runs under `timeout` and is stopped by PID when the script
# ends; the work folder is removed.
#
# The end-to-end scripts source it through tests/e2e/common.sh, which adds the packaging.
#
# A test script is called as `bash SCRIPT TARGET LAUNCHER [TOOL...]`: TARGET is `linux` (the
# native launcher) or `windows` (the .exe, run under a private wineserver in the namespace).
#
#   harness_enter "$@"           enter the namespaces (skips with exit code 77 where there are none)
#   start_nginx ROOT             HTTP on $HTTP_PORT and HTTPS (self-signed) on $HTTPS_PORT serve
#                                the folder ROOT (made if missing); NGINX_LIMIT_RATE (e.g. 200k)
#                                slows each response to that rate
#   serve_payload SIZE           nginx serves SIZE random bytes, $WORK/www/payload.bin, as
#                                /payload.bin
#   start_tinyproxy [USER:PASS]  a proxy on $PROXY_PORT, with Basic authentication when given
#   block_direct PORT...         only the proxy's user may connect to these ports
#   start_bad_server MODE BODY [RATE]  a misbehaving HTTP server on $BAD_PORT (bad_server.py)
#   HOSTILE_RATE                 the rate, bytes a second, of a server that sends without end:
#                                none natively; 4 MB/s under Wine, whose WinINet reads the rest
#                                of a response it was told to close for as long as more is ready
#                                at once, which on the loopback it always is
#   launcher DIR ARGS...         run the launcher of the target in DIR; output in $OUT, exit
#                                code in $RUN_CODE; checks that it ended by itself
#   wine_run EXE ARGS...         run any Windows program in the test's Wine (TARGET=windows)
#   HARNESS_MOUNTS+=(DIR)        a mount of the test's, unmounted before the clean-up deletes
#   small_disk DIR SIZE          DIR becomes an empty tmpfs of SIZE (such as 16m)
#   target_run DIR PROGRAM ARGS...   a program of the target (natively or in the test's Wine)
#   target_pack DIR PACKAGER ARGS... the packager; the script ends when it fails
#   target_folders               sets PROGRAMDATA_DIR (where installs go) and EXE (".exe" or "")
#   check / expect / reject      record a check; `finish` prints "PASS: ..." or fails the script
#   HARNESS_DISPLAY=1            set before harness_enter: a display of the test's own (Xvfb,
#                                $SCREEN_SIZE) in $DISPLAY, started before the first Wine process

HARNESS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE_DIR=$(cd "$HARNESS_DIR/../.." && pwd)
# The whole script, every server and every launcher run is bounded in time.
NET_TEST_TIMEOUT=${NET_TEST_TIMEOUT:-300}
RUN_TIMEOUT=${RUN_TIMEOUT:-90}
STARTED_PIDS=()
HARNESS_MOUNTS=()  # mounted by the test, unmounted at its end
FAILURES=0
CHECKS=0
WINE_READY=""

note() { echo "[net] $*"; }

harness_enter() {
  if [ -z "${NET_TEST_INSIDE:-}" ]; then
    local share=(unshare -n -m)
    # Without root, a user namespace supplies the rights the other two need.
    [ "$(id -u)" -eq 0 ] || share=(unshare -r -n -m)
    if ! "${share[@]}" true 2>/dev/null; then
      echo "SKIP: network namespaces are not available here (${share[*]} failed)"
      exit 77
    fi
    NET_TEST_INSIDE=1 exec timeout -k 10 "$NET_TEST_TIMEOUT" "${share[@]}" bash "$0" "$@"
  fi
  TARGET=$1
  LAUNCHER=$(realpath "$2") || { echo "FAIL: no launcher at $2"; exit 1; }
  ip link set lo up || { echo "FAIL: cannot bring up the loopback interface"; exit 1; }
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-net.XXXXXX")
  # The proxy drops to its own user and must still read its configuration here.
  chmod 755 "$WORK"
  trap harness_cleanup EXIT
  trap 'exit 1' INT TERM
  # The native launcher writes its temporary files here, not into the machine's folder.
  export TMPDIR=$WORK/tmp
  mkdir -p "$TMPDIR"
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY
  unset DISPLAY WAYLAND_DISPLAY
  # The checks read the launcher's log lines on its standard output; nobody closes dialogs.
  export FERROLAN_LOG_ECHO=1 FERROLAN_NO_DIALOGS=1
  # Installs go into throwaway folders: no shortcuts or menu entries for the user running the
  # tests. A test of the desktop integration turns it on again with its own data folders.
  export FERROLAN_NO_DESKTOP_INTEGRATION=1
  # The packager's archive cache is the test's own (the Windows packager's is in the private
  # prefix's LOCALAPPDATA already).
  if [ "$TARGET" != windows ]; then export FERROLAN_PACK_CACHE=$WORK/pack-cache; fi
  if [ -n "${HARNESS_DISPLAY:-}" ]; then start_display; fi
  HOSTILE_RATE=""
  if [ "$TARGET" = windows ]; then
    HOSTILE_RATE=4000000
    wine_setup
  fi
}

# A virtual screen of the test's own. Its sockets go to a private folder of the mount namespace
# and the abstract ones stay in the network namespace, so any display number is free; Xvfb
# names the one it took once it accepts connections.
# start_display [DEPTH]: another call starts another screen (24 bits deep unless DEPTH says).
start_display() {
  command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
  local sockets=/tmp/.X11-unix i named=$WORK/display-${#STARTED_PIDS[@]}
  if [ -z "${DISPLAY_SOCKETS_MOUNTED:-}" ]; then
    [ -d "$sockets" ] || mkdir -m 1777 "$sockets"
    mount -t tmpfs -o mode=1777 tmpfs "$sockets" || { echo "FAIL: cannot mount $sockets"; exit 1; }
    HARNESS_MOUNTS+=("$sockets")
    DISPLAY_SOCKETS_MOUNTED=1
  fi
  SCREEN_SIZE=1024x768
  spawn Xvfb -displayfd 3 -screen 0 "${SCREEN_SIZE}x${1:-24}" -nolisten tcp 3>"$named" \
    >"$named.log" 2>&1
  for ((i = 0; i < 100; i++)); do
    [ -s "$named" ] && break
    sleep 0.1
  done
  [ -s "$named" ] || { cat "$named.log"; echo "FAIL: Xvfb did not start"; exit 1; }
  export DISPLAY=:$(head -n 1 "$named") SCREEN_SIZE
  XVFB_PID=${STARTED_PIDS[-1]}
  note "Xvfb on $DISPLAY ($SCREEN_SIZE, ${1:-24} bits)"
}

harness_cleanup() {
  local pid i
  if [ -n "${RUN_PID:-}" ]; then kill "$RUN_PID" 2>/dev/null && wait "$RUN_PID" 2>/dev/null; fi
  if [ -n "$WINE_READY" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
  fi
  for ((i = ${#STARTED_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${STARTED_PIDS[i]}
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  # Mounts go before the folders under them are deleted, the prefix view last.
  for ((i = ${#HARNESS_MOUNTS[@]} - 1; i >= 0; i--)); do umount "${HARNESS_MOUNTS[i]}" 2>/dev/null; done
  if [ -n "$WINE_READY" ]; then umount "$WORK/wine/prefix" 2>/dev/null; fi
  rm -rf "$WORK"
}

# A port that nothing listens on yet; in a fresh namespace that is almost any port, but asking
# the kernel keeps two servers of one test apart.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits until something accepts connections on the port, for at most ten seconds.
wait_port() {
  local i
  for ((i = 0; i < 100; i++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: nothing listens on port $1"
  exit 1
}

# Starts a server in the background under `timeout` and remembers its PID.
spawn() {
  timeout -k 5 "$NET_TEST_TIMEOUT" "$@" &
  STARTED_PIDS+=($!)
}

start_nginx() {
  local root=$1 dir=$WORK/nginx
  mkdir -p "$dir/temp" "$root"
  HTTP_PORT=$(free_port)
  HTTPS_PORT=$(free_port)
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=ferrolan-test \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" >/dev/null 2>&1 ||
    { echo "FAIL: openssl could not make a certificate"; exit 1; }
  cat >"$dir/nginx.conf" <<EOF
daemon off;
user root;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  access_log $dir/access.log;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$HTTP_PORT;
    listen 127.0.0.1:$HTTPS_PORT ssl;
    ssl_certificate $dir/cert.pem;
    ssl_certificate_key $dir/key.pem;
    root $root;
    ${NGINX_LIMIT_RATE:+limit_rate $NGINX_LIMIT_RATE;}
  }
}
EOF
  spawn nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log"
  wait_port "$HTTP_PORT"
  wait_port "$HTTPS_PORT"
  export HTTP_PORT HTTPS_PORT
  note "nginx serves $root on http $HTTP_PORT and https $HTTPS_PORT"
}

serve_payload() {
  mkdir -p "$WORK/www"
  head -c "$1" /dev/urandom >"$WORK/www/payload.bin"
  start_nginx "$WORK/www"
}

start_tinyproxy() {
  local credentials=${1:-} dir
  PROXY_PORT=$(free_port)
  dir=$WORK/tinyproxy-$PROXY_PORT
  mkdir -p "$dir"
  chmod 777 "$dir"
  {
    echo "User tinyproxy"
    echo "Group tinyproxy"
    echo "Port $PROXY_PORT"
    echo "Listen 127.0.0.1"
    echo "Timeout 60"
    echo "LogFile \"$dir/tinyproxy.log\""
    echo "LogLevel Info"
    echo "MaxClients 20"
    echo "DisableViaHeader Yes"
    if [ -n "$credentials" ]; then echo "BasicAuth ${credentials%%:*} ${credentials#*:}"; fi
  } >"$dir/tinyproxy.conf"
  spawn tinyproxy -d -c "$dir/tinyproxy.conf"
  wait_port "$PROXY_PORT"
  export PROXY_PORT
  note "tinyproxy on $PROXY_PORT${credentials:+ with Basic authentication}"
}

# Rejects every connection to the ports except the proxy's own, so a download only gets through
# the proxy. The rule resets at once: a refused attempt ends without waiting for a time-out.
# proxy_in_user_settings: the tinyproxy of start_tinyproxy becomes the proxy of the user's
# settings: the Internet settings of the private prefix under Wine, http_proxy on linux.
proxy_in_user_settings() {
  if [ "$TARGET" = windows ]; then
    local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
    wine_run reg add "$key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1 &&
      wine_run reg add "$key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$PROXY_PORT" /f \
        >/dev/null 2>&1 || { echo "FAIL: cannot set the proxy in the private prefix"; exit 1; }
  else
    export http_proxy=http://127.0.0.1:$PROXY_PORT
  fi
}

block_direct() {
  local uid port
  uid=$(id -u tinyproxy) || { echo "FAIL: there is no tinyproxy user"; exit 1; }
  if ! nft list table inet t >/dev/null 2>&1; then
    nft add table inet t && nft add chain inet t out '{ type filter hook output priority 0; }' ||
      { echo "FAIL: nftables is not usable"; exit 1; }
  fi
  for port in "$@"; do
    nft add rule inet t out tcp dport "$port" meta skuid != "$uid" reject with tcp reset
  done
  note "direct access blocked to ports $*"
}

# MODE: stall, short, nolength, notfound or endless (see bad_server.py). The body it serves is
# BODY_FILE; RATE, bytes a second, slows an endless body.
start_bad_server() {
  BAD_PORT=$(free_port)
  spawn python3 "$HARNESS_DIR/bad_server.py" "$1" "$BAD_PORT" "$2" ${3:+"$3"}
  wait_port "$BAD_PORT"
  export BAD_PORT
}

small_disk() {
  mkdir -p "$1"
  mount -t tmpfs -o "size=$2" tmpfs "$1" || { echo "FAIL: cannot mount a tmpfs on $1"; exit 1; }
  HARNESS_MOUNTS+=("$1")
}

# Wine keeps its sockets in the wineserver, so the wineserver must run in this namespace: a
# private one, found through a private socket folder, on a throwaway view of the project's
# prefix. Registry changes stay in the view, and a shared wineserver outside is never touched.
wine_setup() {
  . "$SOURCE_DIR/scripts/wine-env.sh"
  local lower=$WINEPREFIX sockets=/tmp/.wine-$(id -u)
  if [ ! -f "$lower/system.reg" ]; then
    echo "FAIL: the project's Wine prefix is missing (scripts/wine-prefix.sh makes it)"
    exit 1
  fi
  # Wine refuses a socket folder that others can read, even when only its mount point is.
  [ -d "$sockets" ] || mkdir -m 700 "$sockets"
  mount -t tmpfs -o mode=700 tmpfs "$sockets" || { echo "FAIL: cannot mount $sockets"; exit 1; }
  mkdir -p "$WORK/wine/upper" "$WORK/wine/work" "$WORK/wine/prefix"
  mount -t overlay overlay \
    -o "lowerdir=$lower,upperdir=$WORK/wine/upper,workdir=$WORK/wine/work" "$WORK/wine/prefix" ||
    { echo "FAIL: cannot mount a view of the Wine prefix"; exit 1; }
  export WINEPREFIX=$WORK/wine/prefix
  # Without a display WinINet's credential dialog returns at once; with one (a test's own, for
  # the splash) it would wait for a user who never comes.
  WINE_READY=1
  # A persistent server: with the default one, a test that kills Wine programs can leave it
  # without clients for a moment, and a program started while it shuts down fails to connect
  # ("wine client error: ... Connection reset by peer"). The cleanup ends it.
  timeout 20 wineserver -p >/dev/null 2>&1
  # The first process starts the prefix's services; later ones are quick.
  local start=$(date +%s%N)
  timeout -k 5 "$RUN_TIMEOUT" wine cmd /c exit >/dev/null 2>&1
  note "Wine ready in $((($(date +%s%N) - start) / 1000000)) ms"
}

wine_run() {
  timeout -k 5 "$RUN_TIMEOUT" wine "$@"
}

# target_run DIR PROGRAM ARGS...: a program of the target in DIR, bounded in time; natively, or
# in the test's Wine.
target_run() {
  local dir=$1
  shift
  if [ "$TARGET" = windows ]; then
    (cd "$dir" && wine_run "$@")
  else
    (cd "$dir" && timeout -k 5 "$RUN_TIMEOUT" "$@")
  fi
}

# target_pack DIR PACKAGER ARGS...: the packager in DIR; the script ends when it fails.
target_pack() {
  local dir=$1
  shift
  target_run "$dir" "$@" >"$WORK/pack.log" 2>&1 ||
    { cat "$WORK/pack.log"; echo "FAIL: ferrolan-pack $2 failed"; exit 1; }
}

# target_folders: sets PROGRAMDATA_DIR, the all-users folder the target's launcher installs
# into (the Wine prefix's, or a folder of the test's given to the native launcher), and EXE,
# the target's suffix of program files.
target_folders() {
  if [ "$TARGET" = windows ]; then
    PROGRAMDATA_DIR=$WINEPREFIX/drive_c/ProgramData
    EXE=.exe
  else
    PROGRAMDATA_DIR=$WORK/programdata
    export PROGRAMDATA=$PROGRAMDATA_DIR
    EXE=
  fi
  mkdir -p "$PROGRAMDATA_DIR"
}

# Runs the launcher of the target with ARGS in DIR (created fresh); its output goes to
# DIR/out.txt, its exit code to $RUN_CODE and its duration in seconds to $RUN_SECONDS.
launcher() {
  local dir=$1 start
  shift
  mkdir -p "$dir"
  start=$(date +%s)
  local attempt
  for attempt in 1 2; do
    # In the background, so that a signal to the script is handled at once and not only after
    # the run; the clean-up ends the run too.
    if [ "$TARGET" = windows ]; then
      (cd "$dir" && exec timeout -k 5 "$RUN_TIMEOUT" wine "$LAUNCHER" "$@") >"$dir/out.txt" 2>&1 &
    else
      (cd "$dir" && exec timeout -k 5 "$RUN_TIMEOUT" "$LAUNCHER" "$@") >"$dir/out.txt" 2>&1 &
    fi
    RUN_PID=$!
    wait "$RUN_PID"
    RUN_CODE=$?
    RUN_PID=""
    # On a loaded machine Wine now and then fails to start a program at all: exit code 1 and
    # not one line, where the launcher's first act is to log. That start is made once more.
    [ "$TARGET" = windows ] && [ "$RUN_CODE" = 1 ] && [ ! -s "$dir/out.txt" ] || break
    note "Wine did not start the program in $(basename "$dir"); starting it once more"
  done
  RUN_SECONDS=$(($(date +%s) - start))
  OUT=$dir/out.txt
  SHOWN=""
  # 124 and above: ended by `timeout` or by a signal. Test modes end with 0 or 1.
  check "the run of $(basename "$dir") ends by itself" test "$RUN_CODE" -lt 124
  check "the run of $(basename "$dir") has no sanitizer reports" \
    bash -c '! grep -qE "ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|runtime error:" "$1"' \
    _ "$OUT"
}

# check DESCRIPTION COMMAND...: the command must succeed.
check() {
  local what=$1
  shift
  CHECKS=$((CHECKS + 1))
  if "$@"; then
    echo "ok   - $what"
  else
    echo "FAILED - $what"
    FAILURES=$((FAILURES + 1))
    # The run's output once, at its first failed check, is what explains the failure.
    if [ -z "${SHOWN:-}" ] && [ -f "${OUT:-}" ]; then
      SHOWN=1
      echo "---- output of the run in $(dirname "$OUT") (exit code $RUN_CODE, ${RUN_SECONDS}s)"
      tail -n 80 "$OUT"
      echo "----"
    fi
  fi
}

# expect DESCRIPTION TEXT: the last run's output holds TEXT (a fixed string);
# reject DESCRIPTION TEXT: it does not.
expect() { check "$1" grep -qF -- "$2" "$OUT"; }
reject() { check "$1" bash -c '! grep -qF -- "$1" "$2"' _ "$2" "$OUT"; }

finish() {
  if [ "$FAILURES" -eq 0 ]; then
    echo "PASS: $(basename "$0" .sh) on $TARGET ($CHECKS checks)"
    exit 0
  fi
  echo "FAIL: $FAILURES of $CHECKS checks failed"
  exit 1
}
