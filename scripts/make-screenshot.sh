#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes docs/window.png, the README's picture of the window: starts a virtual display (Xvfb), runs
# the built window program with the shipped device database (data/tacdex.csv, in a folder of its
# own, so that no database the developer imported is read), validates one IMEI as a user would
# (typed into the IMEI box, then the Validate button) and takes the window's part of the screen
# with ImageMagick's `import`. Needs xvfb, xauth, xdotool and imagemagick (scripts/install-deps.sh
# installs them) and an administrator account, as the window does (root, or a member of sudo,
# wheel or admin).
#   scripts/make-screenshot.sh [BUILD_DIR [OUTPUT.png]]   (defaults: build, docs/window.png)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
output=$(realpath -m "${2:-$root/docs/window.png}")
imei=${QUILLON_SCREENSHOT_IMEI:-49-015420-323751-8}
program=$build/src/app/quillon
[ -x "$program" ] || { echo "no $program: build the window first (cmake --build $build --target quillon)" >&2; exit 2; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 2; }
done

# A fixed folder, since the help view in the picture names the database read; one run at a time.
work=${TMPDIR:-/tmp}/quillon-screenshot
exec 4>"$work.lock"
flock -w 120 4 || { echo "another make-screenshot.sh holds $work.lock" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
xvfb=
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The program reads tacdex.csv beside its executable: the shipped file, in a folder of this run.
mkdir -p "$work/Quillon" "$work/user-data" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$work/Quillon/quillon"
cp "$root/data/tacdex.csv" "$work/Quillon/tacdex.csv"
export XDG_DATA_HOME=$work/user-data XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=xcb LANG=C.UTF-8

# A free display number; Xvfb says it is ready by writing its number to the descriptor given.
display=
for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        display=$n
        break
    fi
done
[ -n "$display" ] || { echo "no free display number between 90 and 140" >&2; exit 1; }
exec 3>"$work/ready"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -displayfd 3 >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$work/ready" ] && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
[ -s "$work/ready" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display

"$work/Quillon/quillon" >"$work/quillon.log" 2>&1 &
app=$!
window=
for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Quillon' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$app" 2>/dev/null || { echo "the window program ended:" >&2; cat "$work/quillon.log" >&2; exit 1; }
    sleep 0.1
done
[ -n "$window" ] || { echo "no Quillon window within 30 seconds" >&2; exit 1; }
# Without a window manager the window stands where it asked to; it is moved to the corner.
xdotool windowmove --sync "$window" 0 0 2>/dev/null || true
xdotool windowfocus --sync "$window" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$window")"

# As a user would: click into the IMEI box, type, press Validate. Positions come from the window's
# fixed layout (src/window/Form1Layout.h, 15 twips a pixel), measured from the client area below the
# menu bar, which is 3705 twips (247 pixels) high: the IMEI box "Text1" at 6840,120 twips, the
# Validate button "Command1" at 3960,600 twips (855 by 315).
top=$((Y + HEIGHT - 247))
click() { xdotool mousemove --sync "$((X + $1))" "$((top + $2))" click 1; }
click 560 21
xdotool key ctrl+a
xdotool type --delay 20 "$imei"
click 292 50
xdotool mousemove --sync "$((X + WIDTH - 1))" "$((Y + HEIGHT + 5))" 2>/dev/null || true
# Drawing is done when the screen stops changing: two captures in a row that are the same.
previous=
for _ in $(seq 50); do
    import -display ":$display" -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
    sum=$(import -display ":$display" -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage rgb:- | md5sum)
    [ "$sum" = "$previous" ] && break
    previous=$sum
    sleep 0.2
done
mkdir -p "$(dirname "$output")"
# The same pixels give the same file: no time stamps in the PNG.
convert "$work/shot.png" -strip -define png:exclude-chunks=date,time "$output"
echo "$output: ${WIDTH}x${HEIGHT}"
