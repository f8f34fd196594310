#!/usr/bin/env bash
# Cross-builds the static Windows libraries the launcher links (libtommath, libtomcrypt, liblzma)
# with mingw-w64 from Debian's source packages (liblzma through build-lzma.sh), into a cache
# outside the source tree:
#   ${FERROLAN_CACHE:-~/.cache/ferrolan}/win-deps/{include,lib}
# A finished prefix is reused; delete it to rebuild.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

cache=${FERROLAN_CACHE:-$HOME/.cache/ferrolan}
prefix=$cache/win-deps
stamp=$prefix/.complete-v2
if [ -f "$stamp" ]; then
  echo "[win-deps] reusing $prefix"
  exit 0
fi

triple=x86_64-w64-mingw32
CC=$triple-gcc-posix
AR=$triple-ar
RANLIB=$triple-ranlib
jobs=$(nproc)

# apt-get source needs deb-src entries for the suite this machine runs. Derive them from the
# machine's own deb entries so the mirror configuration stays the machine's.
ensure_deb_src() {
  if apt-get source --print-uris libtommath >/dev/null 2>&1; then return; fi
  local src=/etc/apt/sources.list.d/debian.sources
  local out=/etc/apt/sources.list.d/ferrolan-deb-src.sources
  if [ -f "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" >"$out"
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      >/etc/apt/sources.list.d/ferrolan-deb-src.list
  fi
  apt-get update -qq
}

work=$cache/win-deps-src
log=$cache/win-deps.log
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix/include" "$prefix/lib"
: >"$log"
trap 'echo "[win-deps] failed; the last lines of $log:"; tail -n 30 "$log"' ERR
ensure_deb_src
cd "$work"
apt-get source -qq libtommath libtomcrypt >>"$log" 2>&1

echo "[win-deps] libtommath"
(
  cd libtommath-*/
  make -s -j"$jobs" -f makefile CC="$CC" AR="$AR" RANLIB="$RANLIB" \
    CFLAGS="-O2 -DNDEBUG" libtommath.a >>"$log" 2>&1
  cp libtommath.a "$prefix/lib/"
  cp tommath*.h "$prefix/include/"
)

echo "[win-deps] libtomcrypt"
(
  cd libtomcrypt-*/
  make -s -j"$jobs" -f makefile CC="$CC" AR="$AR" RANLIB="$RANLIB" \
    CFLAGS="-O2 -DNDEBUG -DUSE_LTM -DLTM_DESC -I$prefix/include" library >>"$log" 2>&1
  cp libtomcrypt.a "$prefix/lib/"
  cp src/headers/*.h "$prefix/include/"
)

echo "[win-deps] liblzma"
"$here/build-lzma.sh" mingw "$prefix"

rm -rf "$work"
touch "$stamp"
echo "[win-deps] done: $prefix"
