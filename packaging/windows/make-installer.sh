#!/usr/bin/env bash
# Builds quillon-VERSION-win64-setup.exe with NSIS, and beside it quillon-VERSION-source.tar.xz (the
# sources, for whoever wants to rebuild and relink against other versions of Qt or curl).
#   make-installer.sh OUTPUT_DIR Quillon.exe quillon-cli.exe Quillon.ico WINDOWS_DEPS_FOLDER SOURCE_DIR VERSION PUBLISHER
set -euo pipefail
out=$(realpath -m "$1")
window=$2 cli=$3 icon=$4 deps=$5 source_dir=$(realpath "$6") version=$7 publisher=$8

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"
x86_64-w64-mingw32-strip -o "$stage/Quillon.exe" "$window"
x86_64-w64-mingw32-strip -o "$stage/quillon-cli.exe" "$cli"
cp "$icon" "$stage/Quillon.ico"
cp "$source_dir/data/tacdex.csv" "$stage/tacdex.csv"
"$source_dir/packaging/windows/collect-licences.sh" "$deps" "$source_dir" "$stage/licences" >/dev/null
# The README of the download and the window's guide (docs/window.md), as the zip has them: text
# with CR LF line ends for Notepad, the guide without its picture and with its links as words.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source_dir/packaging/windows/README.txt" >"$stage/README.txt"
sed -e '/^!\[[^]]*\]([^)]*)$/d' -e 's/\[\([^]]*\)\]([^)]*)/\1/g' -e 's/$/\r/' \
    "$source_dir/docs/window.md" >"$stage/Quillon-guide.txt"

setup=$out/quillon-$version-win64-setup.exe
makensis -V2 -DVERSION="$version" -DPUBLISHER="$publisher" -DSTAGE="$stage" -DOUTFILE="$setup" \
    "$source_dir/packaging/windows/installer.nsi"
if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$source_dir" archive --format=tar --prefix="quillon-$version/" HEAD | xz -9 >"$out/quillon-$version-source.tar.xz"
fi
echo "$setup"
