#!/usr/bin/env bash
# Runs a Windows program under Debian's Wine with a prefix of the build's own, created on first use:
#   QUILLON_WINEPREFIX=build-windows/wine cmake/wine-run.sh program.exe args...
# QUILLON_WINEPREFIX defaults to ./wine-prefix in the current folder.
set -euo pipefail
loader=${QUILLON_WINE_LOADER:-/usr/lib/wine/wine64}
export WINEPREFIX=$(realpath -m "${QUILLON_WINEPREFIX:-${WINEPREFIX:-wine-prefix}}")
export WINEDEBUG=-all
# No downloads of Wine's .NET and HTML engines on the first start, and no display needed.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # One creator at a time: parallel tests share the prefix.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$loader" wineboot --init >/dev/null 2>&1 || true
            "${loader%wine64}wineserver" -w || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# Wine sets APPDATA from the prefix whatever the environment says, so the programs' user data folder
# (%APPDATA%\Quillon) is the prefix's own: a database imported there must not change a result. The
# test programs point APPDATA at folders of their own; the checks that start the programs directly
# find none there.
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Quillon
exec "$loader" "$@"
