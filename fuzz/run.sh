#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each, starting from the checked-in
# seeds. Fails when any target crashes, leaks, times out or breaks a check; the input that did is
# kept in <build>/fuzz-artifacts/. New inputs the fuzzer finds go to <build>/fuzz-corpus/, never
# into the checked-in seeds.
set -euo pipefail
build=$(cd "${1:-build-fuzz}" && pwd)
seconds=${FUZZ_SECONDS:-60}
here=$(cd "$(dirname "$0")" && pwd)
targets=(${FUZZ_TARGETS:-catalog config archive device}) # FUZZ_TARGETS="archive" runs one

# Leaks count here, whatever the test runs before set (Qt's own are suppressed, see lsan.supp).
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$here/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

status=0
for t in "${targets[@]}"; do
    program="$build/fuzz/fuzz_$t"
    [ -x "$program" ] || { echo "fuzz: $program is missing" >&2; exit 1; }
    corpus="$build/fuzz-corpus/$t"
    artifacts="$build/fuzz-artifacts/$t"
    mkdir -p "$corpus" "$artifacts"
    # Each target works in its own folder, so a file written outside its target stays visible.
    work=$(mktemp -d)
    echo "fuzz: $t for ${seconds}s"
    if ! (cd "$work" && "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$artifacts/" "$corpus" "$here/corpus/$t") >"$build/fuzz-$t.log" 2>&1; then
        echo "fuzz: $t FAILED (log: $build/fuzz-$t.log, input in $artifacts/)" >&2
        tail -n 40 "$build/fuzz-$t.log" >&2
        status=1
    else
        grep -E '^#[0-9]+.*DONE|Done [0-9]+ runs' "$build/fuzz-$t.log" | tail -n 1 || true
    fi
    leftovers=$(find "$work" -mindepth 1 | head -n 5)
    if [ -n "$leftovers" ]; then
        echo "fuzz: $t left files in its working folder:" >&2
        echo "$leftovers" >&2
        status=1
    fi
    rm -rf "$work"
done
exit $status
