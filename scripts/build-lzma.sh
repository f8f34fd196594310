#!/usr/bin/env bash
# Builds liblzma as a static library into PREFIX, for this machine ("native") or for
# windows-x64 ("mingw"). The source is xz-utils 5.8.1, the version of Debian's next release:
# its LZMA decoder and its carry-less-multiply checksums take half the processor time of the
# 5.4 this machine's release ships, on the launcher's archives as on any other. The upstream
# tarball is fetched once through apt from that release's signed source index (the machine's
# own mirror) into the cache, and checked against the hash below.
#   scripts/build-lzma.sh native|mingw PREFIX
# A finished PREFIX is reused; delete it to rebuild.
set -euo pipefail

host=${1:-} prefix=${2:-}
case $host in
  native | mingw) ;;
  *) echo "usage: $0 native|mingw PREFIX" >&2; exit 2 ;;
esac
[ -n "$prefix" ] || { echo "usage: $0 native|mingw PREFIX" >&2; exit 2; }

version=5.8.1
suite=trixie
sha256=0b54f79df85912504de0b14aec7971e3f964491af1812d83447005807513cd9e
stamp=$prefix/.liblzma-$version
if [ -f "$stamp" ]; then
  echo "[lzma] reusing liblzma $version in $prefix"
  exit 0
fi

cache=${FERROLAN_CACHE:-$HOME/.cache/ferrolan}
tarball=$cache/src/xz-utils_$version.orig.tar.xz

# The URI of the machine's main Debian archive (not the security one), from either form of the
# apt configuration.
mirror_uri() {
  local sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ]; then
    awk '/^URIs:/ { uri = $2 } /^Suites:/ && uri != "" && $0 !~ /-security/ { print uri; exit }' \
      "$sources"
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | grep -v -- '-security' |
      sed -E 's/^deb +(\[[^]]*\] +)?//' | awk '{ print $1; exit }'
  fi
}

# apt with a configuration of its own under the cache: the machine's sources, lists and package
# cache stay as they are.
fetch() {
  local apt=$cache/apt-$suite uri
  uri=$(mirror_uri)
  [ -n "$uri" ] || { echo "[lzma] no Debian archive found in the apt configuration" >&2; exit 1; }
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$cache/src"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite main" \
    >"$apt/sources.list"
  local opts=(-o Dir::Etc::sourcelist="$apt/sources.list" -o Dir::Etc::sourceparts=-
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  apt-get "${opts[@]}" update -qq
  (cd "$cache/src" && apt-get "${opts[@]}" source -qq --download-only --tar-only xz-utils)
}

if [ ! -f "$tarball" ]; then
  echo "[lzma] fetching the xz-utils $version source"
  fetch
fi
if [ ! -f "$tarball" ] || ! echo "$sha256  $tarball" | sha256sum -c --quiet - 2>/dev/null; then
  echo "[lzma] $tarball is missing or is not the xz-utils $version release" >&2
  rm -f "$tarball"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolan-lzma.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$cache/lzma-$host.log
echo "[lzma] building liblzma $version ($host)"
tar -xf "$tarball" -C "$work"
cd "$work/xz-$version"
case $host in
  # Position-independent: the native executables are PIE.
  native) conf=(CFLAGS="-O2 -fPIC") ;;
  mingw) conf=(--host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix CFLAGS=-O2
    --enable-threads=vista) ;;
esac
if ! {
  ./configure -q --prefix="$prefix" --enable-static --disable-shared --disable-xz \
    --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links --disable-scripts \
    --disable-doc --disable-nls "${conf[@]}" &&
    make -s -j"$(nproc)" -C src/liblzma && make -s -C src/liblzma install
} >"$log" 2>&1; then
  echo "[lzma] the build failed; the last lines of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
fi
touch "$stamp"
echo "[lzma] done: $prefix"
