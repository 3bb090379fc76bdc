#!/usr/bin/env bash
# Installs Quillon silently into a fresh Wine prefix, checks what the setup put where, runs the
# installed quillon-cli.exe and Quillon.exe (a generation run of 2 numbers with its report; "Check a
# List" on a CSV stock sheet and a UTF-16 "Unicode text" export from a folder named in Cyrillic, each
# saved byte for byte as quillon-cli.exe writes it), checks that neither setup nor uninstaller go ahead while
# Quillon runs, installs over the installed copy, uninstalls and checks that only the user's report
# is left.
#   check-installer.sh quillon-VERSION-win64-setup.exe PREFIX_DIR VERSION
set -euo pipefail
if [ -z "${QUILLON_CHECK_INSTALLER_DISPLAY:-}" ]; then
    QUILLON_CHECK_INSTALLER_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x700x24" "$0" "$@"
fi
setup=$(realpath "$1")
export WINEPREFIX=$(realpath -m "$2")
version=$3
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
trap '"$server" -k 2>/dev/null || true' EXIT

rm -rf "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1 || true
"$server" -w
dir="$WINEPREFIX/drive_c/Program Files/Quillon"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillon.lnk"
# The first window whose title matches, waited for up to `$2` tenths of a second; empty if none came.
wait_for_window() {
    local found=
    for _ in $(seq "$2"); do
        found=$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$found" ] && break
        sleep 0.1
    done
    echo "$found"
}
install() {
    local status=0
    "$wine" "$setup" /S || status=$?
    "$server" -w
    return $status
}

install || fail "setup /S ended with status $?"
for file in Quillon.exe quillon-cli.exe tacdex.csv README.txt Quillon-guide.txt Uninstall.exe \
    licences/Qt/LGPL-3.0-only.txt licences/Qt/THIRD-PARTY-NOTICES.txt licences/curl/COPYING.txt \
    licences/README-licences.txt; do
    [ -s "$dir/$file" ] || fail "$file not installed"
done
# The README and the window's guide are text for Notepad: CR LF line ends; the README names the guide.
for file in README.txt Quillon-guide.txt; do
    if [ -s "$dir/$file" ] && [ "$(grep -c $'\r$' "$dir/$file")" -ne "$(wc -l <"$dir/$file")" ]; then
        fail "the installed $file is without CR LF"
    fi
done
grep -q 'Quillon-guide\.txt' "$dir/README.txt" 2>/dev/null || fail "the installed README.txt does not name Quillon-guide.txt"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
entry=$("$wine" reg query "$key" 2>/dev/null | tr -d '\r')
for value in "DisplayName    REG_SZ    Quillon" "DisplayVersion    REG_SZ    $version" Publisher DisplayIcon \
    EstimatedSize UninstallString; do
    grep -qF "$value" <<<"$entry" || fail "the installed-programs entry lacks $value"
done

# The installed programs work from where they were installed.
cli=$( (cd /tmp && "$wine" 'C:\Program Files\Quillon\quillon-cli.exe' validate 490154203237518) | tr -d '\r')
grep -q '^Result: valid$' <<<"$cli" || fail "installed quillon-cli: $cli"
grep -q '^Device: ' <<<"$cli" || fail "installed quillon-cli found no database: $cli"
# The lists to check lie in a folder named in Cyrillic, where the program starts, so that its file
# dialogs open there: a spreadsheet's CSV with an IMEI column, and its "Unicode text" (UTF-16 LE with
# a byte-order mark, tabs between the cells).
lists="$WINEPREFIX/drive_c/Списки"
mkdir -p "$lists"
printf 'Stock No,IMEI,Model\r\n1,490154203237518,Phone\r\n2,490154203237517,Phone\r\n3,49-015420-323751-8,Phone\r\n4,n/a,\r\n' \
    >"$lists/stock.csv"
{
    printf '\xff\xfe'
    printf 'Stock No\tIMEI\tModel\r\n1\t352099001761481\tZ\xc3\xbcrich\r\n2\t35209900176148\t\r\n' | iconv -f UTF-8 -t UTF-16LE
} >"$lists/unicode.txt"
(cd "$lists" && WINEQT_QPA_PLATFORM=windows:fontengine=freetype "$wine" 'C:\Program Files\Quillon\Quillon.exe' >/dev/null 2>&1) &
app=$!
window=$(wait_for_window '^Quillon v' 600)
[ -n "$window" ] || fail "the installed Quillon.exe showed no window"

# As a user would: Generate (which shows the lists), count 2, Generate: the report beside the program
# holds two numbers. Positions come from the fixed layout (15 twips a pixel) below the menu bar.
if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    top=$((Y + HEIGHT - 247)) # the client area is 3705 twips high
    click() { xdotool mousemove "$((X + $1))" "$((top + $2))" click 1; }
    click 356 50 # Generate
    for attempt in 1 2 3; do
        click 415 18 # the count list's text
        xdotool key ctrl+a type 2
        click 356 50
        for _ in $(seq 50); do
            ls "$dir"/Quillon.v*.txt >/dev/null 2>&1 && break
            sleep 0.2
        done
        ls "$dir"/Quillon.v*.txt >/dev/null 2>&1 && break
    done
    numbers=$(cat "$dir"/Quillon.v*.txt 2>/dev/null | tr -d '\r' | grep -cE '^[0-9]{15}$' || true)
    [ "$numbers" = 2 ] || fail "the report of a run of 2 holds $numbers numbers"
    box=$(wait_for_window '^Quillon2.x Professional$' 100)
    [ -n "$box" ] && xdotool key --window "$box" Return || fail "no completion message"
    rm -f "$dir"/Quillon.v*.txt
fi

# File, "Check a List of IMEIs...": each list opened and saved as a user would, the file saved the
# bytes that the installed quillon-cli.exe writes for the same list.
if [ -n "$window" ]; then
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    # The File menu, then its third item, one item height (22 pixels) below the other.
    checker=
    # The first clicks after the completion message may only bring the window to the front.
    for attempt in 1 2 3 4 5; do
        xdotool mousemove "$((X + 15))" "$((top - 10))" click 1
        sleep 1
        xdotool mousemove "$((X + 100))" "$((top + 57))" click 1
        checker=$(wait_for_window '^Check a List$' 30)
        [ -n "$checker" ] && break
    done
    [ -n "$checker" ] || fail "File, Check a List of IMEIs... showed no window"
fi
if [ -n "${checker:-}" ]; then
    for list in stock.csv unicode.txt; do
        saved=${list%.*}-checked.csv
        eval "$(xdotool getwindowgeometry --shell "$checker")"
        xdotool windowactivate --sync "$checker" 2>/dev/null || true
        xdotool mousemove "$((X + 45))" "$((Y + 22))" click 1 # Open File...
        dialog=$(wait_for_window '^Check a List of IMEIs$' 100)
        [ -n "$dialog" ] || { fail "Open File... showed no dialog"; break; }
        xdotool type --delay 30 "$list"
        xdotool key Return
        # Save as CSV..., at the right of the first row, takes clicks once the check has ended.
        for _ in $(seq 20); do
            xdotool mousemove "$((X + WIDTH - 130))" "$((Y + 22))" click 1
            dialog=$(wait_for_window '^Save the Results as CSV$' 10)
            [ -n "$dialog" ] && break
        done
        [ -n "$dialog" ] || { fail "Save as CSV... showed no dialog for $list"; break; }
        xdotool key ctrl+a
        xdotool type --delay 30 "$saved"
        xdotool key Return
        for _ in $(seq 100); do
            [ -s "$lists/$saved" ] && break
            sleep 0.1
        done
        # Status 1: a number of each list is not valid.
        expected=$( (cd /tmp && "$wine" 'C:\Program Files\Quillon\quillon-cli.exe' validate --column IMEI --format csv \
            <"$lists/$list" || true) | od -An -tx1)
        [ -n "$expected" ] || fail "the installed quillon-cli.exe wrote nothing for $list"
        [ "$(od -An -tx1 <"$lists/$saved" 2>/dev/null)" = "$expected" ] ||
            fail "Check a List saved $list otherwise than quillon-cli.exe: $(tr -d '\r' <"$lists/$saved" 2>/dev/null | head -n 3)"
    done
    # Closed as a user closes it; without a window manager Alt+F4 goes to the window in front.
    xdotool key --window "$checker" alt+F4
    for _ in $(seq 50); do
        [ -z "$(xdotool search --name '^Check a List$' 2>/dev/null)" ] && break
        sleep 0.1
    done
fi

# While it runs, neither setup nor uninstaller go ahead.
status=0
"$wine" "$setup" /S || status=$?
[ "$status" = 2 ] || fail "setup while Quillon runs ended with status $status, not 2"
status=0
# _?= runs the uninstaller in place, so that its status is the answer; it must stand unquoted, which
# only a command line that cmd reads from a batch file keeps.
printf '@"C:\\Program Files\\Quillon\\Uninstall.exe" /S _?=C:\\Program Files\\Quillon\r\n@exit %%ERRORLEVEL%%\r\n' \
    >"$WINEPREFIX/drive_c/uninstall-in-place.bat"
"$wine" cmd /c 'C:\uninstall-in-place.bat' || status=$?
[ "$status" = 2 ] || fail "uninstalling while Quillon runs ended with status $status, not 2"
[ -f "$dir/Quillon.exe" ] || fail "uninstalling while Quillon runs removed Quillon.exe"
if [ -n "$window" ]; then
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool key --window "$window" alt+F4
fi
wait "$app" || true
"$server" -w

# Installing over the installed copy replaces it.
install || fail "setup /S over an installed copy ended with status $?"

# The user's report stays; update.dat and everything installed go.
report='Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt'
printf 'report\r\n' >"$dir/$report"
printf '2126\r\n' >"$dir/update.dat"
# The user's data folder, with a database imported there, is the user's: the uninstaller leaves it.
roaming=("$WINEPREFIX"/drive_c/users/*/AppData/Roaming)
userdata=${roaming[0]}/Quillon
mkdir -p "$userdata"
printf '35332811,Samsung,Galaxy S24 Ultra\r\n99999999,MINE\r\n' >"$userdata/tacdex.csv"
"$wine" "$dir/Uninstall.exe" /S || fail "uninstaller /S ended with status $?"
"$server" -w
[ -f "$userdata/tacdex.csv" ] || fail "the uninstaller removed the user's own tacdex.csv"
left=$(cd "$dir" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./$report " ] || fail "left after uninstalling: $left"
[ ! -f "$shortcut" ] || fail "the Start-menu shortcut is left"
! "$wine" reg query "$key" >/dev/null 2>&1 || fail "the installed-programs entry is left"
[ "$failures" = 0 ] && echo "installer: installed, ran, refused while running, upgraded, uninstalled"
exit $((failures > 0))
