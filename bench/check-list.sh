#!/usr/bin/env bash
# "Check a List" with 1,000,000 lines: 15-digit numbers on the codes of the shipped database (about
# one in ten with the right check digit), checked against that database. Each figure against its
# baseline of the same run (build/bench/window/quillon_check_list_bench, medians of 5):
#  1. the window's check, from "Open File..." until the table is ready, within 2 x of
#     `quillon-cli validate --format csv` (in-process, output thrown away) on the same file;
#  2. sorting the million rows by manufacturer within 3 x of std::stable_sort of the same keys;
#  3. the window's peak resident memory with the million rows shown under 300 MB
#     (build/bench/window/quillon_check_list_probe).
# Exit status 1 when a target is missed. Usage: bench/check-list.sh [BUILD_DIR]
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
bench=$build/bench/window/quillon_check_list_bench
probe=$build/bench/window/quillon_check_list_probe
database=$here/../data/tacdex.csv
for program in "$bench" "$probe"; do
    [ -x "$program" ] || { echo "no $program: build first (make build)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk -F, 'NR == FNR { codes[n++] = substr($1, 1, 8); next }
    END { srand(3); for (i = 0; i < 1000000; i++) { s = codes[int(rand() * (n - 1))];
          for (d = 0; d < 7; d++) s = s int(rand() * 10); print s } }' "$database" /dev/null > "$work/list.txt"

QT_QPA_PLATFORM=offscreen "$bench" "$work/list.txt" "$database" --benchmark_format=json \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true > "$work/bench.json"
memory=$(QT_QPA_PLATFORM=offscreen "$probe" "$work/list.txt" "$database" | awk '$1 == "peak_rss_MB" { print $2 }')

python3 - "$work/bench.json" "$memory" <<'PY'
import json, sys
runs = {b["run_name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("aggregate_name") == "median"}
memory = float(sys.argv[2])
checks = [
    ("check in the window / validate --format csv", runs["BM_CheckListWindow/iterations:5/manual_time"],
     runs["BM_ValidateCsvCommand/iterations:5"], 2.0),
    ("sort by manufacturer / std::stable_sort of the keys", runs["BM_SortByManufacturer/iterations:5"],
     runs["BM_StableSortKeys/iterations:5"], 3.0),
]
missed = False
for name, value, baseline, target in checks:
    ratio = value / baseline
    ok = ratio <= target
    missed |= not ok
    print(f"{name}: {value:.0f} ms / {baseline:.0f} ms = {ratio:.2f} x (target at most {target:g} x) {'ok' if ok else 'MISSED'}")
ok = memory < 300
missed |= not ok
print(f"peak memory of the window with 1,000,000 rows: {memory:.1f} MB (target under 300 MB) {'ok' if ok else 'MISSED'}")
sys.exit(1 if missed else 0)
PY
