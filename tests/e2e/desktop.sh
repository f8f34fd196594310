#!/usr/bin/env bash
# Desktop integration end to end, in namespaces of the script's own (tests/net/harness.sh): an
# offline install of a stand-in application leaves a copy of the launcher in the master folder
# and, on Windows, Start-menu and desktop shortcuts and the installed-programs entry (in the
# private Wine's prefix view and registry), on Linux a menu entry and icon under XDG_DATA_HOME;
# the copy starts the application as installed; its uninstall removes all of that and nothing
# else: a file beside the master folder, another application's master folder and a user's own
# shortcut stay. A second uninstall finds nothing and succeeds.
#
# Usage: tests/e2e/desktop.sh TARGET LAUNCHER PACKAGER FAKE_JVM [FAKE_JAVA_EXE]
set -uo pipefail
. "$(dirname "$0")/common.sh"
RUN_TIMEOUT=120
e2e_enter "$@"
# The harness turns integration off for every other test; this one is about it.
unset FERROLAN_NO_DESKTOP_INTEGRATION
app="Desk App"
master="$PROGRAMDATA_DIR/Ferrolan-$app"

stand_in_package "$pkg" "$app" "$4" "${5:-}"
# The application's icons, where the packager puts them: a PNG header that declares 64 x 64
# pixels, and an .ico of the shape Windows reads (one 16 x 16 entry).
printf '\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x40\0\0\0\x40\x08\x06\0\0\0' >"$pkg/app/FerrolanIcon.png"
{ printf '\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x68\4\0\0\x16\0\0\0'; head -c 1128 /dev/zero; } \
  >"$pkg/app/FerrolanIcon.ico"
package_config "$app" 1 params='"desktop_shortcut": "true", "publisher": "Example Ltd"' \
  >"$pkg/app.json"
pack keygen -o key
pack build --config app.json -o "launcher$EXE"
original=$pkg/launcher$EXE

# What must survive the uninstall: a file beside the master folder, and another application's
# master folder.
printf 'notes' >"$PROGRAMDATA_DIR/notes.txt"
mkdir -p "$PROGRAMDATA_DIR/Ferrolan-Other App/FLApps"
printf 'other' >"$PROGRAMDATA_DIR/Ferrolan-Other App/FLApps/state"

if [ "$TARGET" = windows ]; then
  copy="$master/$app.exe"
  copy_windows="C:\\ProgramData\\Ferrolan-$app\\$app.exe"
  key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ferrolan-$app"
  start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
  # Shortcuts anywhere in the prefix: the Start menu's and the desktop's.
  shortcuts() { find "$WINEPREFIX/drive_c" -name "$app.lnk" | sort; }
  entry_query() { wine_run reg query "$key" /v "$1" 2>/dev/null | tr -d '\r'; }
  entry_gone() { ! wine_run reg query "$key" >/dev/null 2>&1; }
else
  copy="$master/$app"
  copy_windows=$copy
  export XDG_DATA_HOME=$WORK/share HOME=$WORK/home
  mkdir -p "$HOME"
  entry="$XDG_DATA_HOME/applications/ferrolan-Desk_20App.desktop"
  icon="$XDG_DATA_HOME/icons/hicolor/64x64/apps/ferrolan-Desk_20App.png"
fi

# Install and launch with the downloaded launcher.
LAUNCHER=$original launcher "$WORK/install"
check "the install succeeds ($RUN_CODE)" test "$RUN_CODE" = 0
expect "the install says the integration is in place" "[Desktop] Desktop integration is in place"
check "the launcher's copy is in the master folder" cmp -s "$original" "$copy"
if [ "$TARGET" = windows ]; then
  check "the icon is copied beside the launcher copy" cmp -s "$pkg/app/FerrolanIcon.ico" "$master/$app.ico"
  check "a Start-menu shortcut is made" test -f "$start_menu/$app.lnk"
  check "a desktop shortcut is made too" test "$(shortcuts | wc -l)" = 2
  check "the installed-programs entry runs the copy with FLUNINSTALL" \
    grep -qF "\"$copy_windows\" FLUNINSTALL" <(entry_query UninstallString)
  check "the entry names the master folder" \
    grep -qF "C:\\ProgramData\\Ferrolan-$app" <(entry_query InstallLocation)
  check "the entry names the publisher" grep -qF "Example Ltd" <(entry_query Publisher)
  check "the entry has no modify button" grep -qE "NoModify +REG_DWORD +0x1" <(entry_query NoModify)
  # A shortcut of the user's own beside ours, which the uninstall must leave.
  printf 'mine' >"$start_menu/Mine.lnk"
else
  check "the launcher's copy is executable" test -x "$copy"
  check "the menu entry is written" test -f "$entry"
  check "the menu entry runs the copy" grep -qxF "Exec=\"$copy\"" "$entry"
  check "the menu entry names the icon" grep -qxF "Icon=ferrolan-Desk_20App" "$entry"
  check "the icon is in the theme at its size" cmp -s "$pkg/app/FerrolanIcon.png" "$icon"
  printf '[Desktop Entry]\nName=Mine\n' >"$XDG_DATA_HOME/applications/mine.desktop"
fi

# The copy starts the application as installed, and finds nothing to refresh.
LAUNCHER=$copy_windows launcher "$WORK/run-copy"
check "the copy's run succeeds ($RUN_CODE)" test "$RUN_CODE" = 0
expect "the copy runs the installed application" "Running without extraction now"
expect "the copy launches it" "Start: JNI Launch"
reject "the copy does not rewrite itself" "[Desktop] Wrote $copy_windows"

# Uninstall, from the copy as the installed-programs entry runs it.
LAUNCHER=$copy_windows launcher "$WORK/uninstall" FLUNINSTALL
check "the uninstall succeeds ($RUN_CODE)" test "$RUN_CODE" = 0
if grep -qF "[Desktop] Moved the running program" "$OUT"; then
  note "the running copy was moved to the temporary folder"
else
  note "the running copy was deleted in place"
fi
expect "the uninstall says so" "[Desktop] Uninstalled $app"
check "the master folder is gone" test ! -e "$master"
check "the file beside it stays" test "$(cat "$PROGRAMDATA_DIR/notes.txt")" = notes
check "another application's master folder stays" \
  test "$(cat "$PROGRAMDATA_DIR/Ferrolan-Other App/FLApps/state")" = other
if [ "$TARGET" = windows ]; then
  check "no shortcut is left" test -z "$(shortcuts)"
  check "the user's own shortcut stays" test -f "$start_menu/Mine.lnk"
  check "the installed-programs entry is gone" entry_gone
else
  check "the menu entry is gone" test ! -e "$entry"
  check "the icon is gone" test ! -e "$icon"
  check "the user's own menu entry stays" test -f "$XDG_DATA_HOME/applications/mine.desktop"
fi

# A second uninstall, with the downloaded launcher, finds nothing and succeeds.
LAUNCHER=$original launcher "$WORK/uninstall-again" FLUNINSTALL
check "a second uninstall succeeds ($RUN_CODE)" test "$RUN_CODE" = 0
expect "a second uninstall finds nothing" "is not installed: nothing to uninstall"
check "the second uninstall makes no master folder" test ! -e "$master"
finish
