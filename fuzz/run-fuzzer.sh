#!/usr/bin/env bash
# Runs one fuzz target for a set time: run-fuzzer.sh <fuzzer> <seconds> <work folder> <seed folder> [options]
# New inputs go to <work folder>/corpus, never into the committed seeds; an input that crashes or
# breaks a property is kept in <work folder>/artifacts and the exit status is non-zero.
set -euo pipefail
if [ $# -lt 4 ]; then
    echo "usage: $0 <fuzzer> <seconds> <work folder> <seed folder> [libFuzzer options]" >&2
    exit 2
fi
fuzzer=$1
seconds=$2
work=$3
seeds=$4
shift 4
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds"
