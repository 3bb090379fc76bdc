#!/usr/bin/env bash
# `quillon-cli import` on 1,000,000 rows in the GSMA TAC database export's layout (about 150 MB,
# made here), against bench/gsma_import.py (Python's csv module doing the same mapping and writing
# the same file) in the same run. Both write a tacdex.csv of the rows alone (--replace); the two
# files must be equal. Targets: at least 10 x the Python script's speed (processor time), and a peak
# resident memory under 3 x the file written. Medians of RUNS runs (default 3), the commands taking
# turns. Exit status 1 when a target is missed. Usage: bench/import-throughput.sh [BUILD_DIR]
set -euo pipefail

build=${1:-build}
runs=${RUNS:-3}
cli=$build/src/cli/quillon-cli
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$cli" ] || { echo "no $cli: build first (make build)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "no /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The user's data folder of this run: empty, never the developer's own.
export XDG_DATA_HOME=$work/user-data
mkdir -p "$XDG_DATA_HOME"

# Codes drawn at random (some twice), a few "Not Known" names and quoted names with commas and
# doubled quotes, as the export has them.
awk 'BEGIN {
    srand(3)
    print "TAC|Marketing Name|Internal Model Name|Manufacturer|Bands|Allocation Date|Brand Name|Model Name|Operating System|NFC|Bluetooth|WLAN|Device Type"
    for (i = 1; i <= 1000000; i++) {
        code = sprintf("%08d", 1000000 + int(rand() * 98000000))
        r = rand()
        marketing = r < 0.02 ? "Not Known" : (r < 0.03 ? "\"Phone, \"\"" i "\"\"\"" : "Galaxy Model " (i % 5000))
        brand = rand() < 0.03 ? "Not Known" : "Samsung"
        printf "%s|%s|SM-%d|Samsung Electronics Co Ltd|GSM 900,GSM 1800,LTE FDD BAND 1,LTE FDD BAND 3|01-Jan-2024|%s|SM-A%d|Android|Y|Y|Y|Smartphone\r\n", code, marketing, i, brand, i
    }
}' > "$work/export.txt"

# run NAME COMMAND...: appends "processor-seconds peak-kilobytes" of one run to $work/NAME.
run() {
    local name=$1
    shift
    /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" > /dev/null 2>&1
    awk '{ printf "%.3f %d\n", $1 + $2, $3 }' "$work/time" >> "$work/$name"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: > "$work/a"
: > "$work/b"
for _ in $(seq "$runs"); do
    run a "$cli" import --replace --version-text BENCH -o "$work/quillon.csv" "$work/export.txt"
    run b /usr/bin/python3 "$here/gsma_import.py" "$work/export.txt" "$work/python.csv" BENCH
done
cmp -s "$work/quillon.csv" "$work/python.csv" || { echo "the two tacdex.csv files differ" >&2; exit 1; }

a=$(cut -d' ' -f1 "$work/a" | median)
b=$(cut -d' ' -f1 "$work/b" | median)
peak=$(cut -d' ' -f2 "$work/a" | median)
input=$(stat -c %s "$work/export.txt")
written=$(stat -c %s "$work/quillon.csv")
ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", b / a }')
memory=$(awk -v p="$peak" -v w="$written" 'BEGIN { printf "%.2f", p * 1024 / w }')
echo "1,000,000 GSMA rows ($((input / 1000000)) MB) to a tacdex.csv of $(($(wc -l < "$work/quillon.csv") - 1)) devices ($((written / 1000000)) MB)"
echo "processor time: quillon-cli ${a} s, Python csv ${b} s: ${ratio} x (target >= 10 x)"
echo "quillon-cli peak resident memory: $((peak / 1024)) MB, ${memory} x the file written (target < 3 x)"
failed=0
awk -v r="$ratio" 'BEGIN { exit !(r >= 10) }' || failed=1
awk -v m="$memory" 'BEGIN { exit !(m < 3) }' || failed=1
exit $failed
