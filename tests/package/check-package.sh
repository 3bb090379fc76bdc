#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a temporary root with dpkg -x and
# runs the programs from there: check-package.sh <build folder> <cpack>
set -euo pipefail
build=$1
cpack=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

# Control data: the package's name and the library dependencies dpkg-shlibdeps found.
info=$(dpkg-deb --info "$deb")
grep -q '^ Package: quillon$' <<< "$info" || fail "package name is not quillon"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6; do
    grep -q "$library" <<< "$depends" || fail "Depends lacks $library"
done

root=$work/root
dpkg -x "$deb" "$root"
lib=$root/usr/lib/quillon

[ -x "$lib/quillon-cli" ] || fail "usr/lib/quillon/quillon-cli missing"
[ -f "$lib/tacdex.csv" ] || fail "usr/lib/quillon/tacdex.csv missing"
cmp -s "$lib/tacdex.csv" "$(dirname "$0")/../../data/tacdex.csv" || fail "packaged tacdex.csv differs from data/tacdex.csv"
[ "$(readlink "$root/usr/bin/quillon-cli")" = "../lib/quillon/quillon-cli" ] || fail "usr/bin/quillon-cli is not a relative link"
gzip -t "$root/usr/share/man/man1/quillon-cli.1.gz" || fail "man page is not gzip'd"
zcat "$root/usr/share/man/man1/quillon-cli.1.gz" | grep -q '^\.TH QUILLON-CLI 1' || fail "man page has no title line"

if [ -e "$lib/quillon" ]; then
    [ -x "$lib/quillon" ] || fail "usr/lib/quillon/quillon is not executable"
    [ "$(readlink "$root/usr/bin/quillon")" = "../lib/quillon/quillon" ] || fail "usr/bin/quillon is not a relative link"
    desktop=$root/usr/share/applications/quillon.desktop
    [ -f "$desktop" ] || fail "desktop entry missing"
    grep -qx 'Exec=quillon' "$desktop" && grep -qx 'Icon=quillon' "$desktop" || fail "desktop entry names the wrong program or icon"
    grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/quillon.svg" || fail "icon missing"
    grep -q 'libqt6widgets6' <<< "$depends" || fail "Depends lacks libqt6widgets6"
fi

# Run from elsewhere, so only the database beside the real executable can be found.
cd "$work"
for program in "$lib/quillon-cli" "$root/usr/bin/quillon-cli"; do
    status=0
    output=$("$program" validate 490154203237518) || status=$?
    [ $status -eq 0 ] || fail "$program validate exited with $status: $output"
    grep -qx 'Result: VALID' <<< "$output" || fail "$program: no VALID verdict in: $output"
    grep -qx 'Full IMEI Presentation: 490154-20-323751-8' <<< "$output" || fail "$program: wrong presentation"

    # A number generated from a database's Type Allocation Code names that line's device.
    printf '35000001,Acme,Phone X\r\n99999999,QN-TEST\r\n' > "$work/fixture.csv"
    number=$("$program" generate --custom 35000001 --count 1 --seed 1)
    output=$("$program" validate --db "$work/fixture.csv" "$number") || fail "$program: generated $number is not valid"
    grep -qx "Manufacturer: Acme" <<< "$output" || fail "$program: $number does not name Acme"
done

# Without the database beside it, the program says so and names the place it looked.
rm "$lib/tacdex.csv"
status=0
output=$("$root/usr/bin/quillon-cli" validate 490154203237518 2>&1) || status=$?
[ $status -eq 2 ] || fail "without tacdex.csv the exit status is $status, not 2"
grep -q "$lib/tacdex.csv" <<< "$output" || fail "the message does not name $lib/tacdex.csv: $output"
echo "package ok"
