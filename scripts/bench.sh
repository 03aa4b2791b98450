#!/usr/bin/env bash
# Runs every benchmark program of a build (<build>/bench/bench_*) in turn and prints one table:
# the header once, then each program's rows. Each program prints its rows as
#   | measure | project figure | baseline figure | ratio |
# Its other lines (context) go to stderr, so that standard output stays one table.
set -euo pipefail
build=${1:-build}
shopt -s nullglob
benches=()
for bench in "$build"/bench/bench_*; do
    [ -x "$bench" ] && [ -f "$bench" ] && benches+=("$bench")
done
if [ "${#benches[@]}" = 0 ]; then
    echo "no benchmarks in $build/bench; build with FWU_BUILD_BENCH=ON" >&2
    exit 1
fi
echo "| measure | project figure | baseline figure | ratio |"
echo "|---|---|---|---|"
status=0
for bench in "${benches[@]}"; do
    echo "running $(basename "$bench")" >&2
    "$bench" | while IFS= read -r line; do
        case "$line" in
        "|"*) printf '%s\n' "$line" ;;
        *) printf '%s\n' "$line" >&2 ;;
        esac
    done || status=1
done
exit "$status"
