#!/usr/bin/env bash
# Builds the Windows download: quillon-cli.exe, tacdex.csv, the licences and a short README.
#   make-zip.sh OUTPUT.zip quillon-cli.exe SOURCE_DIR VERSION
set -euo pipefail
zip_file=$(realpath -m "$1")
exe=$2
source_dir=$3
version=$4

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/quillon-cli-$version-win64
mkdir -p "$top"

x86_64-w64-mingw32-strip -o "$top/quillon-cli.exe" "$exe"
cp "$source_dir/data/tacdex.csv" "$top/tacdex.csv"
# Licences: the program's, and the note on the device data, where the tree has them.
[ -f "$source_dir/LICENSE" ] && cp "$source_dir/LICENSE" "$top/LICENSE.txt"
[ -f "$source_dir/data/README.md" ] && cp "$source_dir/data/README.md" "$top/tacdex-README.md"
# Windows line ends for Notepad.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source_dir/packaging/windows/README.txt" > "$top/README.txt"

# The same bytes for the same input: fixed times, no extra attributes, sorted names.
find "$top" -exec touch -h -d '2026-01-01 00:00:00 UTC' {} +
rm -f "$zip_file"
(cd "$stage" && find "quillon-cli-$version-win64" -print | LC_ALL=C sort | zip -q -X -@ "$zip_file")
echo "$zip_file"
