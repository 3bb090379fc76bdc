#!/usr/bin/env bash
# Unpacks the Windows download, checks its files (with the window: the guide Quillon-guide.txt, which
# README.txt names, both with CR LF line ends) and runs its quillon-cli.exe under Wine from the
# unpacked folder (so it reads the tacdex.csv beside it), comparing validate and generate --seed byte
# for byte with the Linux build reading the same database.
#   check-zip.sh WINE quillon[-cli]-VERSION-win64.zip LINUX_CLI
set -euo pipefail
wine=$(realpath "$1")
zip_file=$(realpath "$2")
linux_cli=$(realpath "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

unzip -q "$zip_file" -d "$work/unpacked"
top=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
[ "$(basename "$top")" = "$(basename "$zip_file" .zip)" ] || fail "top folder $(basename "$top")"
for file in quillon-cli.exe tacdex.csv README.txt; do
    [ -s "$top/$file" ] || fail "$file missing from the archive"
done
# With the window, its Qt and curl licences travel with it.
if [[ $(basename "$zip_file") != quillon-cli-* ]]; then
    for file in Quillon.exe Quillon-guide.txt licences/Qt/LGPL-3.0-only.txt licences/Qt/THIRD-PARTY-NOTICES.txt \
        licences/curl/COPYING.txt licences/README-licences.txt; do
        [ -s "$top/$file" ] || fail "$file missing from the archive"
    done
    # The window's guide (docs/window.md) is text for Notepad, which the README names.
    if [ -s "$top/Quillon-guide.txt" ]; then
        [ "$(grep -c $'\r$' "$top/Quillon-guide.txt")" -eq "$(wc -l <"$top/Quillon-guide.txt")" ] ||
            fail "Quillon-guide.txt without CR LF"
        grep -q 'Check a List' "$top/Quillon-guide.txt" || fail "Quillon-guide.txt does not describe Check a List"
        ! grep -q '](' "$top/Quillon-guide.txt" || fail "Quillon-guide.txt still holds Markdown links"
    fi
    grep -q 'Quillon-guide\.txt' "$top/README.txt" || fail "README.txt does not name Quillon-guide.txt"
fi
# The README is for Notepad: CR LF line ends.
[ "$(grep -c $'\r$' "$top/README.txt")" -eq "$(wc -l <"$top/README.txt")" ] || fail "README.txt without CR LF"
# Statically linked: it imports only DLLs every Windows has.
if x86_64-w64-mingw32-objdump -p "$top/quillon-cli.exe" | grep 'DLL Name' |
    grep -viE 'kernel32|msvcrt|shell32|user32|advapi32|ws2_32|api-ms-win-crt' >"$work/dlls"; then
    fail "quillon-cli.exe needs other DLLs: $(tr '\n' ' ' <"$work/dlls")"
fi

printf '490154203237518\n35-332510-123456-7\n4901542032375X8\r\n\n12345678901234567\n' >"$work/input"
run_both() {
    local name=$1 input=$2
    shift 2
    local linux_rc=0 windows_rc=0
    "$linux_cli" "$@" --db "$top/tacdex.csv" <"$input" >"$work/$name.linux" 2>/dev/null || linux_rc=$?
    (cd "$work" && "$wine" "$top/quillon-cli.exe" "$@" <"$input" >"$work/$name.windows" 2>/dev/null) || windows_rc=$?
    [ "$linux_rc" = "$windows_rc" ] || fail "$name: exit code $windows_rc on Windows, $linux_rc on Linux"
    [ -s "$work/$name.linux" ] || fail "$name: no output"
    cmp -s "$work/$name.linux" "$work/$name.windows" || fail "$name: output differs"
}
run_both validate-text "$work/input" validate
run_both validate-json "$work/input" validate --format json
run_both validate-csv "$work/input" validate --format csv 490154203237518 353325101234567
run_both generate-seed /dev/null generate --seed 42 --count 1000

echo "Windows download: $failures failed"
[ "$failures" -eq 0 ]
