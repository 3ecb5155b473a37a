#!/bin/sh
# Builds each libFuzzer target with clang and runs it for a bounded time over
# its committed seed corpus. Usage: tools/fuzz.sh [seconds per target]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
out=build/fuzz
mkdir -p "$out"
CXX=clang++-14
FLAGS="-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc"
SOURCES=$(ls src/*/*.cpp | grep -v src/request/main.cpp)
for target in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$target" .cpp)
    echo "-- $name"
    # shellcheck disable=SC2086
    $CXX $FLAGS -o "$out/$name" "$target" $SOURCES -lstemmer
    corpus="tests/fuzz/corpus/${name#fuzz_}"
    work="$out/corpus-$name"
    rm -rf "$work"
    mkdir -p "$work"
    [ -d "$corpus" ] && cp "$corpus"/* "$work"/ 2>/dev/null || true
    "$out/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" 2>&1 | tail -5
done
