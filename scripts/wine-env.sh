# Sourced by the scripts that run Windows binaries under Wine. Sets the environment of the
# project's own Wine prefix (a cache folder, created once per machine).
cache=${FERROLAN_CACHE:-$HOME/.cache/ferrolan}
export WINEPREFIX=$cache/wineprefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# Wine's WinINet and WinHTTP pick these up silently; tests must see only the settings they make.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY
