#!/usr/bin/env bash
# Peak memory (maximum resident set, from /usr/bin/time -v) of `quillon-cli validate` and of the
# window's start-up for the worst database shapes just under the 64 MiB limit (among them the most
# lines accepted, 2,000,000, in 64 MB), the shipped database and a database of 1,000,000 device lines. Each shape must either load or be refused with a message,
# within the limits: quillon-cli under 200 MB, the window's start-up under 300 MB.
# Usage: bench/memory-shapes.sh [BUILD_DIR]   (exit status 1 when a limit is broken)
set -euo pipefail

build=${1:-build}
cli=$build/src/cli/quillon-cli
probe=$build/bench/window/quillon_startup_probe
[ -x "$cli" ] || { echo "no $cli: build first (make build)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }
root=$(dirname "$0")/..

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The user's data folder of this run: empty, so that a database the developer imported is not read.
export XDG_DATA_HOME=$work/user-data
mkdir -p "$XDG_DATA_HOME"
size=$(( (64 << 20) - 64 ))

fill() { # fill BYTE-AS-PRINTF-ESCAPE FILE: $size bytes of one byte value
    head -c "$size" /dev/zero | tr '\0' "$1" > "$2"
}
make_shape() {
    local name=$1 file=$work/$1/tacdex.csv
    mkdir -p "$work/$name"
    case $name in
    all-line-ends) fill '\n' "$file" ;;
    one-char-lines) { yes a || true; } | head -c "$size" > "$file" ;;
    all-commas) fill ',' "$file" ;;
    one-64MiB-line) fill 'x' "$file" ;;
    not-utf8-0x80) fill '\200' "$file" ;;
    shipped) cp "$root/data/tacdex.csv" "$file" ;;
    2M-lines-of-commas) awk 'BEGIN { for (i = 1; i < 2000000; i++) printf "%08d,,,,,,,,,,,,,,,,,,,,,\n", i; print "99999999,BENCH-2M" }' > "$file" ;;
    1M-device-lines) awk 'BEGIN { for (i = 1; i <= 1000000; i++) printf "%08d,Maker %d,Model %d\r\n", 10000000 + i * 37, i % 500, i; print "99999999,BENCH-1M\r" }' > "$file" ;;
    esac
}

peak_kb() { # peak_kb COMMAND...: runs it, prints "KB STATUS FIRST-LINE-OF-OUTPUT"
    local out status=0
    out=$(/usr/bin/time -f 'peak %M' "$@" 2>&1) || status=$?
    local kb
    kb=$(grep -o 'peak [0-9]*' <<< "$out" | tail -1 | cut -d' ' -f2)
    echo "$kb $status $(grep -E '^(message|started|quillon-cli)' <<< "$out" | head -1 | cut -c1-100)"
}

failed=0
printf '%-16s %10s %s\n' shape "peak MB" "result"
for shape in all-line-ends one-char-lines all-commas one-64MiB-line not-utf8-0x80 2M-lines-of-commas shipped 1M-device-lines; do
    make_shape "$shape"
    read -r kb status text < <(peak_kb "$cli" validate --db "$work/$shape/tacdex.csv" 490154203237518 2>&1)
    mb=$(( kb * 1024 / 1000000 ))
    [ "$mb" -lt 200 ] || failed=1
    printf '%-16s %10s %s\n' "$shape cli" "$mb" "exit $status ${text:-}"
    if [ -x "$probe" ]; then
        read -r kb status text < <(peak_kb "$probe" "$work/$shape")
        mb=$(( kb * 1024 / 1000000 ))
        [ "$mb" -lt 300 ] || failed=1
        printf '%-16s %10s %s\n' "$shape window" "$mb" "exit $status ${text:-}"
    fi
    rm -rf "${work:?}/$shape"
done
[ $failed -eq 0 ] && echo "memory: every shape within its limit" || echo "memory: LIMIT BROKEN"
exit $failed
