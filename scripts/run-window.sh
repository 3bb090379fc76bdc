#!/usr/bin/env bash
# Starts the program built in the given build folder.
set -euo pipefail
build=${1:-build}
if [ -x "$build/src/app/quillon" ]; then
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
        echo "Run Quillon on a desktop, or under a virtual display:  xvfb-run -a $build/src/app/quillon" >&2
        exit 1
    fi
    exec "$build/src/app/quillon"
fi
exec "$build/src/cli/quillon-cli" validate 490154203237518
