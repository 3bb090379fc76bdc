#!/usr/bin/env bash
# A 100 MB input line through `quillon-cli validate --format json`, read from a file and from a pipe
# (which hands it over 64 KiB at a time): the pipe must cost at most 2 x the file, since each piece
# is searched for a line end once. Then a line past the 128 MiB limit from /dev/zero: status 2 and
# the message naming its line. Processor seconds, medians of RUNS runs (default 3).
# Usage: bench/long-line.sh [BUILD_DIR]   (exit status 1 when a target is missed)
set -euo pipefail

build=${1:-build}
runs=${RUNS:-3}
cli=$build/src/cli/quillon-cli
[ -x "$cli" ] || { echo "no $cli: build first (make build)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{ head -c 100000000 /dev/zero | tr '\0' '7'; echo; } > "$work/line.txt"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() { # seconds MODE: processor seconds of one run reading the line from a file or a pipe
    local TIMEFORMAT='%3U %3S'
    if [ "$1" = file ]; then
        { time "$cli" validate --format json < "$work/line.txt" > /dev/null 2>&1; } 2> "$work/time" || true
    else
        { time { cat "$work/line.txt" | "$cli" validate --format json > /dev/null 2>&1; }; } 2> "$work/time" || true
    fi
    tail -n 1 "$work/time" | awk '{ printf "%.3f\n", $1 + $2 }'
}
: > "$work/file"
: > "$work/pipe"
for _ in $(seq "$runs"); do
    seconds file >> "$work/file"
    seconds pipe >> "$work/pipe"
done
file=$(median < "$work/file")
pipe=$(median < "$work/pipe")
# The pipe's figure includes cat's own processor time, so it is an upper bound.
ratio=$(awk -v f="$file" -v p="$pipe" 'BEGIN { printf "%.2f", p / f }')
echo "100 MB line: from a file ${file} s, from a pipe ${pipe} s of processor time (cat included): ${ratio} x (target <= 2 x)"
failed=0
awk -v r="$ratio" 'BEGIN { exit !(r <= 2) }' || failed=1

status=0
"$cli" validate < /dev/zero > /dev/null 2> "$work/err" || status=$?
echo "/dev/zero: status $status, $(cat "$work/err")"
[ "$status" -eq 2 ] && grep -q "line 1 of standard input is longer than 128 MiB" "$work/err" || failed=1
[ $failed -eq 0 ] && echo "long line: every target met" || echo "long line: TARGET MISSED"
exit $failed
