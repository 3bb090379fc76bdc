#!/usr/bin/env bash
# Whole-process throughput of `quillon-cli validate --format csv` on 300,000 random 15-digit
# inputs, output to /dev/null, start-up and database load included:
#  1. with the shipped database, against bench/stdnum_validate.py (python-stdnum doing the same job,
#     run with Debian's /usr/bin/python3) timed in the same run: target at least 50 x its throughput.
#     Where python-stdnum is not installed (Debian package python3-stdnum) this part says so and is
#     skipped.
#  2. against databases of 1,000 and 1,000,000 device lines: records per second once the database is
#     loaded (time for all inputs minus time for one input) within 1.5 x of each other; the load
#     time reported on its own.
# Times are processor seconds, medians of RUNS runs (default 5), the commands taking turns. Exit status 1 when a
# target is missed. Usage: bench/cli-throughput.sh [BUILD_DIR]
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
cli=$build/src/cli/quillon-cli
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$cli" ] || { echo "no $cli: build first (make build)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The user's data folder of this run: empty, so that a database the developer imported is not read.
export XDG_DATA_HOME=$work/user-data
mkdir -p "$XDG_DATA_HOME"
awk 'BEGIN { srand(1); for (i = 0; i < 300000; i++) { s = ""; for (d = 0; d < 15; d++) s = s int(rand() * 10); print s } }' \
    > "$work/inputs.txt"
make_db() { # make_db LINES FILE
    awk -v n="$1" 'BEGIN { srand(2); for (i = 1; i <= n; i++) printf "%08d,Maker %d,Model %d\r\n", int(rand() * 100000000), i % 500, i; print "99999999,BENCH\r" }' > "$2"
}
make_db 1000 "$work/db1k.csv"
make_db 1000000 "$work/db1m.csv"

# seconds INPUT COMMAND...: processor seconds (user + system, to the millisecond) of one run of
# COMMAND reading INPUT, its output thrown away. The machine is shared, so processor time says more
# than the wall clock.
seconds() {
    local input=$1 TIMEFORMAT='%3U %3S'
    shift
    { time "$@" < "$input" > /dev/null 2>&1; } 2> "$work/time" || true
    tail -n 1 "$work/time" | awk '{ printf "%.4f\n", $1 + $2 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

inputs=$work/inputs.txt
failed=0
if /usr/bin/python3 -c 'import stdnum' 2>/dev/null; then
    : > "$work/a"
    : > "$work/b"
    for _ in $(seq "$runs"); do
        seconds "$inputs" "$cli" validate --format csv >> "$work/a"
        seconds "$inputs" /usr/bin/python3 "$here/stdnum_validate.py" >> "$work/b"
    done
    a=$(median < "$work/a")
    b=$(median < "$work/b")
    ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", b / a }')
    echo "300,000 inputs, shipped database: quillon-cli ${a} s, python-stdnum ${b} s of processor time: ${ratio} x (target >= 50 x)"
    awk -v r="$ratio" 'BEGIN { exit !(r >= 50) }' || failed=1
else
    echo "python-stdnum is not installed (Debian package python3-stdnum): the comparison with it is skipped"
fi

declare -A load rate
for size in 1k 1m; do
    db=$work/db$size.csv
    : > "$work/load"
    : > "$work/all"
    for _ in $(seq "$runs"); do
        seconds /dev/null "$cli" validate --db "$db" --format csv 490154203237518 >> "$work/load"
        seconds "$inputs" "$cli" validate --db "$db" --format csv >> "$work/all"
    done
    load[$size]=$(median < "$work/load")
    all=$(median < "$work/all")
    rate[$size]=$(awk -v a="$all" -v l="${load[$size]}" 'BEGIN { d = a - l; if (d <= 0) d = 0.0001; printf "%.0f", 300000 / d }')
    echo "database of ${size/k/,000}${size/m/,000,000} device lines: load ${load[$size]} s, ${rate[$size]} records/s after it" |
        sed 's/1k,000/1,000/; s/1m,000,000/1,000,000/; s/1k//; s/1m//'
done
spread=$(awk -v a="${rate[1k]}" -v b="${rate[1m]}" 'BEGIN { r = a > b ? a / b : b / a; printf "%.2f", r }')
echo "records/s, 1,000 vs 1,000,000 lines: ${spread} x apart (target <= 1.5 x)"
awk -v r="$spread" 'BEGIN { exit !(r <= 1.5) }' || failed=1
[ $failed -eq 0 ] && echo "throughput: every target met" || echo "throughput: TARGET MISSED"
exit $failed
