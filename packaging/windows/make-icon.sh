#!/usr/bin/env bash
# The program's icon for Windows: packaging/quillon.svg drawn at the sizes Windows asks for, packed
# into one .ico.
#   make-icon.sh quillon.svg OUTPUT.ico
set -euo pipefail
svg=$1
ico=$(realpath -m "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pngs=()
for size in 16 20 24 32 40 48 64 256; do
    rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" "$svg"
    pngs+=("$work/$size.png")
done
# The 256-pixel image stays PNG inside the .ico, as Windows expects; the others are stored plain.
icotool -c -o "$ico" "${pngs[@]:0:7}" -r "${pngs[7]}"
