#!/bin/sh
# Builds the libFuzzer targets (the CMake preset "fuzz": clang, the layer
# libraries of the programs instrumented, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time over its
# committed seed corpus. A crash, a sanitizer report or a failed check of a
# target fails the run (after every target has run); its log and the input
# that failed are kept under build/fuzz/runs. Usage: tools/fuzz.sh [seconds per target]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/tests/fuzz
out=build/fuzz/runs
mkdir -p "$out"
failed=""
for target in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$target" .cpp)
    echo "-- $name"
    corpus="tests/fuzz/corpus/${name#fuzz_}"
    work="$out/corpus-$name"
    rm -rf "$work"
    mkdir -p "$work"
    [ -d "$corpus" ] && cp "$corpus"/* "$work"/ 2>/dev/null || true
    log="$out/$name.log"
    status=0
    "$bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/$name-" "$work" >"$log" 2>&1 || status=$?
    if [ "$status" -eq 0 ]; then
        tail -5 "$log"
    else
        tail -60 "$log"
        echo "-- $name FAILED (exit $status); log: $log"
        failed="$failed $name"
    fi
done
if [ -n "$failed" ]; then
    echo "fuzzing failed:$failed"
    exit 1
fi
