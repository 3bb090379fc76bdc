#!/usr/bin/env bash
# Builds the Windows download: quillon-cli.exe, tacdex.csv, the licences and a short README; given
# the window and the folder of the Qt and curl it links, Quillon.exe too, with their licences and
# the window's guide (Quillon-guide.txt, from docs/window.md).
#   make-zip.sh OUTPUT.zip quillon-cli.exe SOURCE_DIR VERSION [Quillon.exe WINDOWS_DEPS_FOLDER]
set -euo pipefail
zip_file=$(realpath -m "$1")
exe=$2
source_dir=$3
version=$4

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name=$(basename "$zip_file" .zip)
top=$stage/$name
mkdir -p "$top"

x86_64-w64-mingw32-strip -o "$top/quillon-cli.exe" "$exe"
cp "$source_dir/data/tacdex.csv" "$top/tacdex.csv"
# Licences: the program's, and the note on the device data, where the tree has them.
[ -f "$source_dir/LICENSE" ] && cp "$source_dir/LICENSE" "$top/LICENSE.txt"
[ -f "$source_dir/data/README.md" ] && cp "$source_dir/data/README.md" "$top/tacdex-README.md"
if [ $# -ge 6 ]; then
    x86_64-w64-mingw32-strip -o "$top/Quillon.exe" "$5"
    "$source_dir/packaging/windows/collect-licences.sh" "$6" "$source_dir" "$top/licences" >/dev/null
    # The window's guide, docs/window.md, as text for Notepad: its picture left out and its links
    # shown as their words (the pages they name are not in the download). The installer ships the same.
    sed -e '/^!\[[^]]*\]([^)]*)$/d' -e 's/\[\([^]]*\)\]([^)]*)/\1/g' -e 's/$/\r/' \
        "$source_dir/docs/window.md" > "$top/Quillon-guide.txt"
fi
# Windows line ends for Notepad.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source_dir/packaging/windows/README.txt" > "$top/README.txt"

# The same bytes for the same input: fixed times, no extra attributes, sorted names.
find "$top" -exec touch -h -d '2026-01-01 00:00:00 UTC' {} +
rm -f "$zip_file"
(cd "$stage" && find "$name" -print | LC_ALL=C sort | zip -q -X -@ "$zip_file")
echo "$zip_file"
