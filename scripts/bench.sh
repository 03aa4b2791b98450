#!/usr/bin/env bash
# Runs every benchmark program of a build (<build>/bench/bench_*) in turn; each prints its figures.
set -euo pipefail
build=${1:-build}
shopt -s nullglob
found=0
for bench in "$build"/bench/bench_*; do
    [ -x "$bench" ] && [ -f "$bench" ] || continue
    found=1
    echo "== $(basename "$bench")"
    "$bench"
done
if [ "$found" = 0 ]; then
    echo "no benchmarks in $build/bench; build with FWU_BUILD_BENCH=ON" >&2
    exit 1
fi
