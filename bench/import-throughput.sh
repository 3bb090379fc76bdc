#!/usr/bin/env bash
# `quillon-cli import` on 1,000,000 rows in the GSMA TAC database export's layout (about 150 MB,
# made here), against bench/gsma_import.py (Python's csv module doing the same mapping and writing
# the same file) in the same run. Both write a tacdex.csv of the rows alone (--replace); the two
# files must be equal. Targets: at least 10 x the Python script's speed (processor time), and a peak
# resident memory under 3 x the file written + 64 MB. Then, each against its baseline of the same
# run: 200,000 codes chosen to collide in a plain multiplicative hash against 200,000 random codes
# (within 2 x), a first line of 120 MiB against one of 8 MiB (within 20 x for 15 x the size, and
# under 1 GiB of memory), and a 128 MiB row of Windows-1252 bytes (under 1 GiB). Medians of RUNS
# runs (default 3), the commands taking turns. Exit status 1 when a target is missed.
# Usage: bench/import-throughput.sh [BUILD_DIR]
set -euo pipefail

build=${1:-build}
runs=${RUNS:-3}
cli=$build/src/cli/quillon-cli
collide=$build/bench/quillon_collide_codes
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$cli" ] || { echo "no $cli: build first (make build)" >&2; exit 2; }
[ -x "$collide" ] || { echo "no $collide: build the benchmarks first (make bench)" >&2; exit 2; }
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
    # A run that ends with status 2 (a refused input) is timed too: time then writes a line before.
    /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" > /dev/null 2>&1 || true
    tail -n 1 "$work/time" | awk '{ printf "%.3f %d\n", $1 + $2, $3 }' >> "$work/$name"
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
echo "quillon-cli peak resident memory: $((peak / 1024)) MB, ${memory} x the file written (target < 3 x + 64 MB)"
failed=0
awk -v r="$ratio" 'BEGIN { exit !(r >= 10) }' || failed=1
awk -v p="$peak" -v w="$written" 'BEGIN { exit !(p * 1024 < 3 * w + 64 * 1048576) }' || failed=1

# Codes chosen to collide against random ones: the same rows but for the codes.
{ echo "tac,brand,model"; "$collide" 200000 | awk '{ print $1 ",Maker,Model " NR }'; } > "$work/collide.csv"
{ echo "tac,brand,model"; awk 'BEGIN { srand(5); for (i = 1; i <= 200000; i++)
    printf "%08d,Maker,Model %d\n", int(rand() * 100000000), i }'; } > "$work/random.csv"
: > "$work/c"
: > "$work/r"
for _ in $(seq "$runs"); do
    run c "$cli" import --replace --version-text BENCH -o "$work/c.out" "$work/collide.csv"
    run r "$cli" import --replace --version-text BENCH -o "$work/r.out" "$work/random.csv"
done
c=$(cut -d' ' -f1 "$work/c" | median)
r=$(cut -d' ' -f1 "$work/r" | median)
slower=$(awk -v c="$c" -v r="$r" 'BEGIN { printf "%.2f", (r > 0 ? c / r : 1) }')
echo "200,000 colliding codes ${c} s, 200,000 random codes ${r} s: ${slower} x (target <= 2 x)"
awk -v s="$slower" 'BEGIN { exit !(s <= 2) }' || failed=1

# A first line without a line end, 8 MiB against 120 MiB (a header that is none: status 2).
head -c $((8 << 20)) /dev/zero | tr '\0' 'a' > "$work/line8"
head -c $((120 << 20)) /dev/zero | tr '\0' 'a' > "$work/line120"
: > "$work/l8"
: > "$work/l120"
for _ in $(seq "$runs"); do
    run l8 "$cli" import --replace -o "$work/l.out" "$work/line8"
    run l120 "$cli" import --replace -o "$work/l.out" "$work/line120"
done
l8=$(cut -d' ' -f1 "$work/l8" | median)
l120=$(cut -d' ' -f1 "$work/l120" | median)
l120peak=$(cut -d' ' -f2 "$work/l120" | median)
longer=$(awk -v a="$l8" -v b="$l120" 'BEGIN { printf "%.1f", (a > 0 ? b / a : 1) }')
echo "first line of 8 MiB ${l8} s, of 120 MiB ${l120} s: ${longer} x for 15 x the size (target <= 20 x);" \
    "peak $((l120peak / 1024)) MB (target < 1024 MB)"
awk -v l="$longer" 'BEGIN { exit !(l <= 20) }' || failed=1
[ "$l120peak" -lt $((1024 * 1024)) ] || failed=1
rm -f "$work/line8" "$work/line120"

# One row of 128 MiB less a little, all 0x80 bytes: read as Windows-1252, three bytes a character.
{ printf 'tac,brand,model\n35000000,'; head -c $(((128 << 20) - 64)) /dev/zero | tr '\0' '\200'; printf ',M\n'; } \
    > "$work/cp1252.csv"
: > "$work/w"
run w "$cli" import --replace -o "$work/w.out" "$work/cp1252.csv"
wpeak=$(cut -d' ' -f2 "$work/w" | median)
echo "a 128 MiB Windows-1252 row: peak $((wpeak / 1024)) MB (target < 1024 MB)"
[ "$wpeak" -lt $((1024 * 1024)) ] || failed=1
exit $failed
