#!/usr/bin/env bash
# Proxy detection under Wine with the current user's Internet settings set in the registry,
# through the launcher's proxy test mode. Wine's WinHTTP reads those settings from the binary
# value DefaultConnectionSettings under HKCU\...\Internet Settings\Connections (the values
# ProxyEnable, ProxyServer and ProxyOverride beside it are WinINet's and play no part here).
#
# Usage: proxy_detection_wine.sh windows FERROLAN_EXE
# It runs in the harness's namespaces, on a private view of the project's prefix, so the
# settings it writes never reach the prefix that other tests share.
. "$(dirname "$0")/harness.sh"
harness_enter "$@"
exe=$LAUNCHER

key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections'
script_url=http://127.0.0.1:1/proxy.pac
out=$WORK/out.txt
passed=0
failed=0

# A 32-bit number as four little-endian hex bytes.
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) \
  $((($1 >> 24) & 255)); }
# A length-prefixed ASCII field of the settings record.
field() { le32 ${#1}; printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

# The settings record: magic 0x46, a change counter, the flags (1 direct, 2 explicit proxy,
# 4 configuration script, 8 automatic detection), then the proxy list, the bypass list and the
# script URL, and the zeros a record written by the settings dialog ends with.
set_settings() { # flags proxy bypass script
  local data
  data=$(le32 0x46)$(le32 1)$(le32 "$1")$(field "$2")$(field "$3")$(field "$4")$(printf '0%.0s' {1..64})
  wine_run reg add "$key" /v DefaultConnectionSettings /t REG_BINARY /d "$data" /f >/dev/null 2>&1
}

run_case() { # name expected-lines... ; "!line" means the line must not appear
  local name=$1
  shift
  local start end ok=1
  start=$(date +%s%N)
  wine_run "$exe" --quorvantis-proxytest http://updates.invalid/jre.p2.l2 2>/dev/null | tr -d '\r' >"$out" || true
  end=$(date +%s%N)
  for expected in "$@"; do
    if [[ $expected == !* ]]; then
      grep -qF -- "${expected:1}" "$out" && { echo "  unexpected: ${expected:1}"; ok=0; }
    else
      grep -qF -- "$expected" "$out" || { echo "  missing: $expected"; ok=0; }
    fi
  done
  if [ $ok = 1 ]; then
    passed=$((passed + 1))
    echo "PASS $name ($(((end - start) / 1000000)) ms)"
  else
    failed=$((failed + 1))
    echo "FAIL $name; its output:"
    sed 's/^/  | /' "$out"
  fi
}

# Without the value, Wine reports automatic detection on, which finds nothing here.
wine_run reg delete "$key" /v DefaultConnectionSettings /f >/dev/null 2>&1 || true
run_case none "[Proxy] Got IE Proxy Configuration" "Proxy list was empty!" \
  "Proxy bypass list was empty!"

set_settings 3 "proxy.invalid:3128" "<local>;*.corp.example" ""
run_case explicit "[Proxy] IE Setting - explicit" "ProxyList: proxy.invalid:3128" \
  "ProxyBypassList: <local>;*.corp.example"

# Automatic detection wins over a script URL set beside it: the script is never tried.
set_settings 13 "" "" "$script_url"
run_case autodetect_and_script "[Proxy] IE Setting - autodetect" "!IE Setting - autoconfig" \
  "!Using auto config URL" "Proxy list was empty!" "Proxy bypass list was empty!"

# A script URL alone is tried (together with discovery); nothing answers on its port.
set_settings 5 "" "" "$script_url"
run_case script_only "[Proxy] IE Setting - autoconfig" \
  "[Proxy] Using auto config URL: $script_url" "Proxy list was empty!" \
  "Proxy bypass list was empty!"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && echo "PASS: proxy detection from the Internet settings ($passed cases)"
[ "$failed" = 0 ]
