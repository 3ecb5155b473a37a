#!/bin/sh
# Builds the three presets and runs the whole test suite on each: x86-64,
# 32-bit x86, and x86-64 under AddressSanitizer + UndefinedBehaviorSanitizer.
# Then the format check and the bounded fuzzing runs.
set -eu
cd "$(dirname "$0")/.."
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for preset in release i686 sanitize; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
echo "== format"
sh tools/check-format.sh
echo "== fuzz"
sh tools/fuzz.sh "${FUZZ_SECONDS:-60}"
echo "== case table"
python3 tools/gen_case_table.py --check
