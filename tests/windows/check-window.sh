#!/usr/bin/env bash
# Starts Quillon.exe under Wine with the windows platform on a virtual display, from a folder named
# in Cyrillic that holds it and its database, waits for its main window (which shows only when the
# database was read), closes it as a user would (Alt+F4) and checks that the program ended.
#   check-window.sh Quillon.exe tacdex.csv PREFIX_DIR
set -euo pipefail
if [ -z "${QUILLON_CHECK_WINDOW_DISPLAY:-}" ]; then
    QUILLON_CHECK_WINDOW_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x700x24" "$0" "$@"
fi
exe=$(realpath "$1")
database=$(realpath "$2")
export WINEPREFIX=$(realpath -m "$3")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

work=$(mktemp -d)
trap '"$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
folder="$work/Проверка"
mkdir "$folder"
cp "$exe" "$folder/Quillon.exe"
cp "$database" "$folder/tacdex.csv"
[ -f "$WINEPREFIX/system.reg" ] || { "$wine" wineboot --init >/dev/null 2>&1 || true; "$server" -w || true; }
# The window reads a database in the user's data folder first; Wine's APPDATA is the prefix's own.
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Quillon

# Wine hands WINE-prefixed variables to the program without the prefix. The freetype font engine is
# for this test only: Wine's own font rendering leaves the text box blank.
WINEQT_QPA_PLATFORM=windows:fontengine=freetype "$wine" "$folder/Quillon.exe" >"$work/log" 2>&1 &
app=$!
window=
for _ in $(seq 300); do
    window=$(xdotool search --name '^Quillon v' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$app" 2>/dev/null || break
    sleep 0.2
done
if [ -z "$window" ]; then
    echo "FAIL: no Quillon window; open windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|')" >&2
    cat "$work/log" >&2
    exit 1
fi
echo "window: $(xdotool getwindowname "$window")"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --window "$window" alt+F4
for _ in $(seq 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
    echo "FAIL: Quillon.exe still runs 10 s after Alt+F4" >&2
    exit 1
fi
wait "$app" || { echo "FAIL: Quillon.exe ended with status $?" >&2; exit 1; }
echo "closed"
