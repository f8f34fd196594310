#!/usr/bin/env bash
# A signed Windows launcher stamped per download, end to end, in namespaces of the script's own
# (tests/net/harness.sh) with the Windows build under a private Wine: the launcher is packaged
# by the Windows packager, signed once with a certificate made here by openssl, and stamped
# twice with Params of different lengths by the native packager (the one that can sign). The
# signature verifies after each step, the launcher installs the stand-in application and reads
# the Params of the last stamp from inside its signature, and inspect reports it as signed
# and verifying.
#
# Usage: tests/e2e/signed_launcher.sh windows LAUNCHER PACKAGER NATIVE_PACKAGER FAKE_JVM FAKE_JAVA
#   NATIVE_PACKAGER is the Linux build's ferrolan-pack; without it the test is skipped.
set -uo pipefail
if [ ! -x "$4" ]; then
  echo "SKIP: no native ferrolan-pack at $4 (build the linux preset first)"
  exit 77
fi
for tool in osslsigncode openssl; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done
. "$(dirname "$0")/common.sh"
RUN_TIMEOUT=120
e2e_enter "$@"
native_pack=$(realpath "$4")
app="Signed App"
master="$PROGRAMDATA_DIR/Ferrolan-$app"

stand_in_package "$pkg" "$app" "$5" "${6:-}"
package_config "$app" 1 params='"greeting": "as built"' >"$pkg/app.json"
pack keygen -o key
pack build --config app.json -o "launcher$EXE"

# The vendor's certificate, once at build time.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Signed App Vendor/O=Example" \
  -keyout "$WORK/key.pem" -out "$WORK/cert.pem" >/dev/null 2>&1
check "a certificate is made" test -s "$WORK/cert.pem"
verify() { osslsigncode verify -in "$1" -CAfile "$WORK/cert.pem" >"$WORK/verify.txt" 2>&1; }
"$native_pack" sign "$pkg/launcher$EXE" --cert "$WORK/cert.pem" --key "$WORK/key.pem" \
  -o "$WORK/signed$EXE" >"$WORK/sign.txt" 2>&1
check "sign succeeds" test $? = 0
check "the signed launcher verifies" verify "$WORK/signed$EXE"

# Per download, on the server: two stamps of different lengths, the second in place.
"$native_pack" stamp "$WORK/signed$EXE" --set greeting="first download, a long value $(printf 'x%.0s' {1..3000})" \
  -o "$WORK/download$EXE" >/dev/null 2>&1
check "the first stamp succeeds" test $? = 0
check "the first stamp keeps the signature valid" verify "$WORK/download$EXE"
"$native_pack" stamp "$WORK/download$EXE" --set greeting="second download" --set customer=42 \
  >/dev/null 2>&1
check "the second stamp succeeds" test $? = 0
check "the second stamp keeps the signature valid" verify "$WORK/download$EXE"
"$native_pack" inspect "$WORK/download$EXE" --ca "$WORK/cert.pem" >"$WORK/inspect.txt" 2>&1
check "inspect finds it in order" test $? = 0
check "inspect names the signer" grep -qF "signed by  /CN=Signed App Vendor/O=Example" "$WORK/inspect.txt"
check "inspect says it verifies" grep -qF "verifies   yes" "$WORK/inspect.txt"
check "inspect finds the Params inside the signature" grep -qF "inside the signature" "$WORK/inspect.txt"

# The downloaded launcher installs and reads the Params of the last stamp.
LAUNCHER=$WORK/download$EXE launcher "$WORK/install"
check "the install succeeds ($RUN_CODE)" test "$RUN_CODE" = 0
expect "the launcher reads the stamped greeting" "greeting=[second download]"
expect "the launcher reads the added Param" "customer=[42]"
reject "the built greeting is gone" "greeting=[as built]"
reject "the first stamp's greeting is gone" "greeting=[first download"
expect "the application is launched" "Start: JNI Launch"
properties=$(find "$master" -name 'FLLaunchProperties-*' | head -n 1)
check "the launch-properties file carries the stamped greeting" \
  grep -qaF "second download" "$properties"
finish
