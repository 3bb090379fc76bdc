#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages from a build folder and checks them as a packager would: control data,
# the files each package owns, licence, changelog, man pages, hardening, lintian, the desktop entry
# and the AppStream metainfo. Then it unpacks all of them into one temporary root with dpkg -x and
# runs the programs from there.
#   check-package.sh <build folder> <cpack> <version> <application id>
set -euo pipefail
build=$1
cpack=$2
version=$3
app_id=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
window_pid=""
cleanup() {
    if [ -n "$window_pid" ]; then kill "$window_pid" 2> /dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
# The programs read a user's own database before the shipped one: here an empty folder of the
# check's own, never the developer's.
export XDG_DATA_HOME=$work/user-data
mkdir -p "$XDG_DATA_HOME"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the packages"
fi

# One package per component; the window's only when the window is built.
declare -A deb
deb[quillon-data]=$work/out/quillon-data_${version}_all.deb
deb[quillon-cli]=$work/out/quillon-cli_${version}_amd64.deb
packages=(quillon-data quillon-cli)
if [ -f "$work/out/quillon_${version}_amd64.deb" ]; then
    deb[quillon]=$work/out/quillon_${version}_amd64.deb
    packages+=(quillon)
fi
found=$(find "$work/out" -maxdepth 1 -name '*.deb' | wc -l)
[ "$found" -eq ${#packages[@]} ] || fail "expected ${#packages[@]} packages, found: $(ls "$work/out")"
for package in "${packages[@]}"; do
    [ -f "${deb[$package]}" ] || fail "missing $(basename "${deb[$package]}"), found: $(ls "$work/out")"
    echo "package: $(basename "${deb[$package]}")"
done

field() { dpkg-deb --field "${deb[$1]}" "$2"; }

# Control data: names, a version without a Debian revision, and the dependencies of each package.
for package in "${packages[@]}"; do
    [ "$(field "$package" Package)" = "$package" ] || fail "${deb[$package]} is not named $package"
    [ "$(field "$package" Version)" = "$version" ] || fail "$package has version $(field "$package" Version), not $version"
    [[ $version != *-* ]] || fail "version $version carries a Debian revision"
done
[ "$(field quillon-data Architecture)" = all ] || fail "quillon-data is not architecture all"
[ -z "$(field quillon-data Depends)" ] || fail "quillon-data has dependencies: $(field quillon-data Depends)"
cli_depends=$(field quillon-cli Depends)
echo "quillon-cli Depends: $cli_depends"
for needed in "quillon-data (= $version)" libc6 libstdc++6; do
    grep -qF "$needed" <<< "$cli_depends" || fail "quillon-cli Depends lacks $needed"
done
! grep -qi 'qt' <<< "$cli_depends" || fail "quillon-cli depends on Qt: $cli_depends"
! grep -qi 'curl' <<< "$cli_depends" || fail "quillon-cli depends on curl: $cli_depends"
if [ -n "${deb[quillon]:-}" ]; then
    window_depends=$(field quillon Depends)
    echo "quillon Depends: $window_depends"
    for needed in "quillon-data (= $version)" "quillon-cli (= $version)" libqt6widgets6 libqt6svg6 libc6 libcurl4 \
        ca-certificates; do
        grep -qF "$needed" <<< "$window_depends" || fail "quillon Depends lacks $needed"
    done
    ! grep -qi 'libqt6network' <<< "$window_depends" || fail "quillon depends on QtNetwork: $window_depends"
fi

# Every path but a directory belongs to exactly one package.
for package in "${packages[@]}"; do
    dpkg-deb --fsys-tarfile "${deb[$package]}" | tar -t | grep -v '/$' | sed 's|^\./|/|' > "$work/$package.paths"
done
shared=$(sort "$work"/*.paths | uniq -d)
[ -z "$shared" ] || fail "paths shipped by more than one package: $shared"

# Everything unpacked into one root, as installing all the packages would lay it out.
root=$work/root
for package in "${packages[@]}"; do
    dpkg -x "${deb[$package]}" "$root"
done
lib=$root/usr/lib/quillon

# Owners of the places the programs rely on.
owner() { grep -lx "$1" "$work"/*.paths | xargs -n1 basename | sed 's/\.paths$//'; }
[ "$(owner /usr/share/quillon/tacdex.csv)" = quillon-data ] || fail "quillon-data does not own the database"
[ "$(owner /usr/lib/quillon/tacdex.csv)" = quillon-data ] || fail "quillon-data does not own the database link"
[ "$(owner /usr/lib/quillon/quillon-cli)" = quillon-cli ] || fail "quillon-cli does not own its program"

cmp -s "$root/usr/share/quillon/tacdex.csv" "$source_dir/data/tacdex.csv" || fail "packaged tacdex.csv differs from data/tacdex.csv"
[ "$(readlink "$lib/tacdex.csv")" = ../../share/quillon/tacdex.csv ] || fail "usr/lib/quillon/tacdex.csv is not a relative link to the shared copy"
cmp -s "$lib/tacdex.csv" "$source_dir/data/tacdex.csv" || fail "the database link does not resolve"

# Licence and changelog in every package; the changelog's latest entry is this version.
for package in "${packages[@]}"; do
    doc=$root/usr/share/doc/$package
    copyright=$doc/copyright
    [ -f "$copyright" ] || fail "$package has no copyright file"
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || fail "$package: copyright is not machine-readable"
    [ -f "$doc/changelog.gz" ] || fail "$package has no changelog"
    gzip -t "$doc/changelog.gz" || fail "$package: changelog is not gzip'd"
    zcat "$doc/changelog.gz" > "$work/changelog"
    changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
    [ "$changelog_version" = "$version" ] || fail "$package: changelog's latest entry is $changelog_version, not $version"
done
# The code's licence for everything, the database's own for the database (stanzas in this order).
copyright=$root/usr/share/doc/quillon-data/copyright
stanzas=$(awk '/^Files:/ { files = $0 } /^License:/ && files { print files " => " $2; files = "" }' "$copyright")
grep -qx 'Files: \* => MIT' <<< "$stanzas" || fail "copyright: no MIT stanza for Files: *: $stanzas"
grep -q 'usr/share/quillon/tacdex.csv.* => CC-BY-SA-3.0$' <<< "$stanzas" || fail "copyright: the database is not under CC-BY-SA-3.0: $stanzas"
grep -q '^Copyright: 2016 Harald Welte and contributors$' "$copyright" || fail "copyright: no attribution of the database"
# Each licence's text in a stand-alone paragraph of its own.
for license in MIT CC-BY-SA-3.0; do
    lines=$(awk -v want="License: $license" 'previous == "" && $0 == want { text = 1; next }
                                              text && /^ / { n++ } text && !/^ / { text = 0 }
                                              { previous = $0 } END { print n + 0 }' "$copyright")
    [ "$lines" -ge 10 ] || fail "copyright: no text of $license ($lines lines)"
done
grep -q '^MIT License$' "$source_dir/LICENSE" || fail "LICENSE is not the MIT licence"

# A man page for every program in /usr/bin, each one formatting without warnings.
for link in "$root"/usr/bin/*; do
    name=$(basename "$link")
    page=$root/usr/share/man/man1/$name.1.gz
    [ -f "$page" ] || fail "no man page for /usr/bin/$name"
    grep -q "^\.TH ${name^^} 1 " <<< "$(zcat "$page")" || fail "$name.1 has no title line"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
    [ -z "$warnings" ] || fail "$name.1: $warnings"
    target=$(readlink "$link")
    [ "$target" = "../lib/quillon/$name" ] || fail "usr/bin/$name is not a relative link into lib/quillon: $target"
done

# Debian's hardening flags: immediate binding, RELRO, PIE and fortified functions in every program.
for program in "$lib"/quillon-cli "$lib"/quillon; do
    [ -e "$program" ] || continue
    name=$(basename "$program")
    dynamic=$(readelf -d "$program")
    grep -q 'BIND_NOW' <<< "$dynamic" || grep -q 'FLAGS.*NOW' <<< "$dynamic" || fail "$name is not linked with -z now"
    grep -q 'PIE' <<< "$dynamic" || fail "$name is not a position-independent executable"
    segments=$(readelf -lW "$program")
    grep -q GNU_RELRO <<< "$segments" || fail "$name has no RELRO segment"
    symbols=$(readelf --dyn-syms -W "$program")
    grep -q '__[a-z]*_chk@' <<< "$symbols" || fail "$name uses no fortified functions"
    grep -q '__stack_chk_fail@' <<< "$symbols" || fail "$name is not built with the stack protector"
done

# lintian: no error and no warning on any package (overrides only with a written reason).
if command -v lintian > /dev/null; then
    for package in "${packages[@]}"; do
        report=$(lintian --fail-on none --no-tag-display-limit "${deb[$package]}" 2> /dev/null)
        echo "lintian $package: ${report:-clean}"
        ! grep -E '^[EW]: ' <<< "$report" || fail "lintian reports errors or warnings on $package"
    done
else
    echo "lintian not installed: skipped"
fi

if [ -n "${deb[quillon]:-}" ]; then
    [ -x "$lib/quillon" ] || fail "usr/lib/quillon/quillon is not executable"
    desktop=$root/usr/share/applications/quillon.desktop
    [ -f "$desktop" ] || fail "desktop entry missing"
    grep -qx 'Exec=quillon' "$desktop" && grep -qx 'Icon=quillon' "$desktop" || fail "desktop entry names the wrong program or icon"
    output=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $output"
    [ -z "$output" ] || fail "desktop-file-validate: $output"
    grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/quillon.svg" || fail "icon missing from the hicolor theme"

    metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
    [ -f "$metainfo" ] || fail "no metainfo $app_id.metainfo.xml"
    grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
    grep -q '<launchable type="desktop-id">quillon.desktop</launchable>' "$metainfo" || fail "metainfo does not launch quillon.desktop"
    output=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli: $output"
    ! grep -qE '^[EW]: ' <<< "$output" || fail "appstreamcli: $output"
    echo "appstreamcli: $(tail -n 1 <<< "$output")"

    # The window program starts from the unpacked root: all its libraries resolve, and it reads the
    # database through the link beside it and reaches its event loop.
    libraries=$(ldd "$lib/quillon")
    ! grep 'not found' <<< "$libraries" || fail "quillon: unresolved libraries"
    if command -v strace > /dev/null; then
        QT_QPA_PLATFORM=offscreen strace -f -qq -e trace=openat -o "$work/window.trace" "$root/usr/bin/quillon" \
            > "$work/window.log" 2>&1 &
        window_pid=$!
        # Bounded wait for the read of the database; the program runs until it is ended.
        for _ in $(seq 100); do
            grep -q "usr/lib/quillon/tacdex.csv\", O_RDONLY[^)]*) = [0-9]" "$work/window.trace" 2> /dev/null && break
            kill -0 "$window_pid" 2> /dev/null || break
            sleep 0.1
        done
        grep -q "usr/lib/quillon/tacdex.csv\", O_RDONLY[^)]*) = [0-9]" "$work/window.trace" ||
            fail "quillon did not read $lib/tacdex.csv: $(cat "$work/window.log")"
        kill -0 "$window_pid" 2> /dev/null || fail "quillon ended at start: $(cat "$work/window.log")"
        # The traced program's process id leads every line of the trace.
        kill "$(awk 'NR == 1 { print $1 }' "$work/window.trace")"
        wait "$window_pid" 2> /dev/null || true
        window_pid=""
    fi
fi

# A device line of the database that is its code's only line and has a plain manufacturer: the
# check holds for any database in the tacdex.csv layout.
database=$root/usr/share/quillon/tacdex.csv
pick=$(tr -d '\r' < "$database" | sed '$d' | awk -F, '
    { count[substr($0, 1, 8)]++; lines[NR] = $0 }
    END {
        for (i = 1; i <= NR; i++) {
            split(lines[i], f, ",")
            tac = substr(lines[i], 1, 8)
            if (tac ~ /^[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]$/ && count[tac] == 1 && f[2] ~ /^[A-Za-z0-9][A-Za-z0-9 .&-]*$/) {
                print tac "," f[2]
                exit
            }
        }
    }')
[ -n "$pick" ] || fail "no device line with a unique code and a plain manufacturer in tacdex.csv"
tac=${pick%%,*}
manufacturer=${pick#*,}

# Run from elsewhere, so only the database beside the real executable can be found.
cd "$work"
for program in "$lib/quillon-cli" "$root/usr/bin/quillon-cli"; do
    status=0
    output=$("$program" validate --format json 490154203237518) || status=$?
    [ $status -eq 0 ] || fail "$program validate exited with $status: $output"
    grep -q '"presentation":"490154-20-323751-8"' <<< "$output" || fail "$program: wrong presentation: $output"
    grep -q '"valid":true' <<< "$output" || fail "$program: not valid: $output"

    # A number generated from a database line's code names that line's manufacturer.
    number=$("$program" generate --custom "$tac" --count 1 --seed 1)
    output=$("$program" validate --format json "$number") || fail "$program: generated $number is not valid"
    grep -qF "\"manufacturer\":\"$manufacturer\"" <<< "$output" || fail "$program: $number does not name $manufacturer: $output"
done

# The bash completion offers the subcommands and each subcommand's options.
completion=$root/usr/share/bash-completion/completions/quillon-cli
[ -f "$completion" ] || fail "no bash completion"
if [ -f /usr/share/bash-completion/bash_completion ]; then
    complete_words() {
        bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
                 COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                 _quillon_cli; [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@" | sort | tr '\n' ' '
    }
    while IFS='|' read -r line expected; do
        read -ra words <<< "$line"
        [ "${line: -1}" = " " ] && words+=("")
        got=$(complete_words "${words[@]}")
        [ "$got" = "$expected" ] || fail "completing '$line': got '$got', expected '$expected'"
    done << 'EOF'
quillon-cli |--help --version complete generate import validate 
quillon-cli im|import 
quillon-cli import --layout |csv gsma osmocom tacdex 
quillon-cli import --re|--replace 
quillon-cli va|validate 
quillon-cli co|complete 
quillon-cli complete --|--help 
quillon-cli validate --format=j|json 
quillon-cli generate --box=P|PTCRB 
quillon-cli validate --|--column --db --format --help 
quillon-cli validate --format |csv json text 
quillon-cli generate --c|--count --custom 
quillon-cli generate --box B|BABT/BAPT BZT/Cetecom 
quillon-cli generate --count |
EOF
fi

# Without the database beside it, the program says so and names the place it looked.
rm "$root/usr/share/quillon/tacdex.csv"
status=0
output=$("$root/usr/bin/quillon-cli" validate 490154203237518 2>&1) || status=$?
[ $status -eq 2 ] || fail "without tacdex.csv the exit status is $status, not 2"
grep -q "$lib/tacdex.csv" <<< "$output" || fail "the message does not name $lib/tacdex.csv: $output"
echo "package ok"
