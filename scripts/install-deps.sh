#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, then builds the static liblzma
# the native build links (build-lzma.sh, into the cache). Idempotent: packages that are already
# installed are skipped, apt is only consulted when something is missing, and a built liblzma is
# reused.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates xz-utils dpkg-dev
  libtomcrypt-dev libtommath-dev nlohmann-json3-dev libcurl4-openssl-dev libproxy-dev libpng-dev libx11-dev
  zlib1g-dev libz-mingw-w64-dev
  openjdk-17-jdk-headless googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils clang clang-format libclang-rt-14-dev faketime
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 wine
  nginx-light tinyproxy ccache nftables iproute2 python3 openssl libssl-dev osslsigncode time
  jedit jmol
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

install_packages() {
  echo "[deps] installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # The test servers are started by the test driver on loopback, never as system services.
  for svc in nginx tinyproxy; do
    $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 || true
    $SUDO service "$svc" stop >/dev/null 2>&1 || true
  done
  echo "[deps] done"
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "[deps] all packages present"
else
  install_packages
fi
"$here/build-lzma.sh" native "${FERROLAN_CACHE:-$HOME/.cache/ferrolan}/native-deps"
