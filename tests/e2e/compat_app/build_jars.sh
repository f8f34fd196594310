#!/usr/bin/env bash
# Builds the compatibility application's two jars with the JDK's tools: compat-lib.jar (a
# service provider, a protocol handler, a JDBC driver, a resource bundle, and a class named like
# the updater's main class) and compat-main.jar, whose manifest names its main class, the
# library on its Class-Path, Add-Opens, Add-Exports and a Launcher-Agent-Class; and in
# OUT_DIR/splash the same two jars, the main jar's manifest also naming a SplashScreen-Image.
#   build_jars.sh JAVAC JAR OUT_DIR
set -euo pipefail
javac=$1 jar=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lib" "$work/main" "$out"
"$javac" -encoding UTF-8 -Xlint:all -Werror -d "$work/lib" $(find "$here/lib" -name '*.java')
cp -r "$here/lib/META-INF" "$work/lib/"
cp "$here/lib/compat/lib/Messages.properties" "$work/lib/compat/lib/"
"$javac" -encoding UTF-8 -Xlint:all -Werror -cp "$work/lib" -d "$work/main" \
  $(find "$here/main" -name '*.java')
"$jar" --create --file "$out/compat-lib.jar" -C "$work/lib" .
"$jar" --create --file "$out/compat-main.jar" --manifest "$here/main/MANIFEST.MF" -C "$work/main" .
mkdir -p "$out/splash" "$work/main/compat"
cp "$here/../../../src/launcher/testdata/qv_logo.png" "$work/main/compat/splash.png"
{ cat "$here/main/MANIFEST.MF"; echo "SplashScreen-Image: compat/splash.png"; } >"$work/splash.MF"
"$jar" --create --file "$out/splash/compat-main.jar" --manifest "$work/splash.MF" -C "$work/main" .
cp "$out/compat-lib.jar" "$out/splash/"
