#!/usr/bin/env bash
# The Windows quillon-cli.exe under Wine against the Linux quillon-cli: the same bytes on standard
# output and error and the same exit codes, for validation in every format, generation with a seed,
# paths outside the ANSI code page on the command line, and the database beside the executable.
#   check-cli.sh WINE WINDOWS_CLI LINUX_CLI TACDEX_CSV
set -euo pipefail
wine=$(realpath "$1")
windows_cli=$(realpath "$2")
linux_cli=$(realpath "$3")
database=$(realpath "$4")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The Linux build's user data folder: empty, never the developer's own (the Windows build's is the
# Wine prefix's, kept empty by the Wine runner).
export XDG_DATA_HOME=$work/user-data
mkdir -p "$XDG_DATA_HOME"
failures=0
checks=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The Windows name of a Linux path: Wine's drive Z: is the Linux root.
windows_path() {
    local p=${1//\//\\}
    printf 'Z:%s' "$p"
}

# Runs both builds with the same arguments and standard input; compares output and exit code.
# Paths in arguments are given as @PATH@ and handed to each build in its own form.
compare() {
    local name=$1 input=$2
    shift 2
    local linux_args=() windows_args=()
    for arg in "$@"; do
        if [[ $arg == @*@ ]]; then
            arg=${arg#@}
            arg=${arg%@}
            linux_args+=("$arg")
            windows_args+=("$(windows_path "$arg")")
        else
            linux_args+=("$arg")
            windows_args+=("$arg")
        fi
    done
    local linux_rc=0 windows_rc=0
    "$linux_cli" "${linux_args[@]}" <"$input" >"$work/$name.linux.out" 2>"$work/$name.linux.err" || linux_rc=$?
    "$wine" "$windows_cli" "${windows_args[@]}" <"$input" >"$work/$name.windows.out" 2>"$work/$name.windows.err" ||
        windows_rc=$?
    checks=$((checks + 1))
    if [ "$linux_rc" != "$windows_rc" ]; then
        fail "$name: exit code $windows_rc on Windows, $linux_rc on Linux"
    fi
    if ! cmp -s "$work/$name.linux.out" "$work/$name.windows.out"; then
        fail "$name: standard output differs"
        cmp "$work/$name.linux.out" "$work/$name.windows.out" >&2 || true
    fi
    # A run that writes nothing on standard output has its say on standard error.
    if [ ! -s "$work/$name.linux.out" ]; then
        if [ ! -s "$work/$name.linux.err" ] || ! cmp -s "$work/$name.linux.err" "$work/$name.windows.err"; then
            fail "$name: standard error differs or is empty"
        fi
    fi
}

# 20,000 mixed inputs from valid numbers: as they are, grouped, with X/x/* digits, a wrong check
# digit, too long, empty, letters, non-ASCII, CR LF line ends.
printf '' >"$work/empty"
"$linux_cli" generate --custom 35332510 --seed 11 --count 2000 >"$work/valid" 2>/dev/null
"$linux_cli" generate --seed 12 --count 2000 >>"$work/valid" 2>/dev/null
awk '{
    n = $0
    print n
    print substr(n, 1, 2) "-" substr(n, 3, 6) "-" substr(n, 9, 6) "-" substr(n, 15, 1)
    print substr(n, 1, 8) " " substr(n, 9, 7) "\r"
    print substr(n, 1, 14) (substr(n, 15, 1) + 1) % 10
    print n "0"
    print substr(n, 1, 5) "X" substr(n, 7, 3) "x" substr(n, 11, 2) "*" substr(n, 14)
    print ""
    print "IMEI: " n
    print substr(n, 1, 10) "\303\234\320\237" substr(n, 11)
    print substr(n, 1, 7)
}' "$work/valid" >"$work/mixed"
lines=$(wc -l <"$work/mixed")
[ "$lines" -eq 40000 ] || fail "expected 40000 input lines, made $lines"
head -n 20000 "$work/mixed" >"$work/inputs"

compare validate-json "$work/inputs" validate --format json --db "@$database@"
compare validate-csv "$work/inputs" validate --format csv --db "@$database@"
compare validate-text "$work/inputs" validate --db "@$database@"
# Inputs on the command line, non-ASCII ones included.
compare validate-args "$work/empty" validate --format json --db "@$database@" 490154203237518 \
    "49-015420-323751-8" "4901542032375$(printf '\303\234')8" "$(printf '\320\237\321\200\320\276')" ""

compare generate-seed "$work/empty" generate --seed 1 --count 100000
compare generate-custom "$work/empty" generate --custom 35332510 --seed 18446744073709551615 --count 500
compare generate-model "$work/empty" generate --model "Samsung Galaxy S6" --seed 3 --count 500
compare usage-error "$work/empty" generate --count 0

# A database and a report folder named "Проверка" given on the command line. The database names
# a model that only it has, so finding the model proves this file was read.
cyrillic=$(printf '\320\237\321\200\320\276\320\262\320\265\321\200\320\272\320\260')
folder=$work/$cyrillic
mkdir -p "$folder/bin"
tac=35332510
imei=$(head -n 1 "$work/valid")
printf '%s,%s Maker,Model \303\234\r\n%s,2026-12-07\r\n' "$tac" "$cyrillic" 99999999 >"$folder/tacdex.csv"
compare cyrillic-db "$work/empty" validate --format json --db "@$folder/tacdex.csv@" "$imei"
grep -q "\"manufacturer\":\"$cyrillic Maker\"" "$work/cyrillic-db.windows.out" ||
    fail "cyrillic-db: the database in $cyrillic was not read: $(cat "$work/cyrillic-db.windows.err")"

compare cyrillic-report "$work/empty" generate --custom "$tac" --seed 5 --count 7 --report "@$folder@"
reports=("$folder"/Quillon.v2.1.2.3.Professional-*.txt)
checks=$((checks + 1))
if [ ${#reports[@]} -ne 2 ]; then
    fail "cyrillic-report: expected a Linux and a Windows report in $cyrillic, found ${#reports[@]}"
else
    grep -q "^Z:.*\\\\$cyrillic\\\\Quillon.v2.1.2.3.Professional-" "$work/cyrillic-report.windows.err" ||
        fail "cyrillic-report: path on standard error: $(cat "$work/cyrillic-report.windows.err")"
    for report in "${reports[@]}"; do
        # Header, then the seven numbers of standard output, CR LF line ends.
        tail -n 7 "$report" | tr -d '\r' | cmp -s - "$work/cyrillic-report.linux.out" ||
            fail "cyrillic-report: $report does not hold the generated numbers"
    done
fi

# The database beside the executable, found from where the program really lies, not from the
# current folder.
cp "$windows_cli" "$folder/bin/quillon-cli.exe"
cp "$folder/tacdex.csv" "$folder/bin/tacdex.csv"
checks=$((checks + 1))
(cd / && "$wine" "$folder/bin/quillon-cli.exe" validate --format json "$imei") >"$work/beside.out" 2>&1 || true
grep -q "\"manufacturer\":\"$cyrillic Maker\"" "$work/beside.out" ||
    fail "database beside the executable not found: $(cat "$work/beside.out")"

echo "Windows and Linux builds: $checks checks, $failures failed"
[ "$failures" -eq 0 ]
