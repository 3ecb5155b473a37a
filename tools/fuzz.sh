#!/bin/sh
# Builds each libFuzzer target with clang and runs it for a bounded time over
# its committed seed corpus. A crash, a sanitizer report or a failed check of
# a target fails the run (after every target has run); its log and the input
# that failed are kept under build/fuzz. Usage: tools/fuzz.sh [seconds per target]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
out=build/fuzz
mkdir -p "$out"
CXX=clang++-14
FLAGS="-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc
    -pthread $(xml2-config --cflags)"
# Every source but the two programs' main files and the indexer's built-in
# template files (their bytes are a source that the CMake build generates).
SOURCES=$(ls src/*/*.cpp | grep -v -e src/request/main.cpp -e src/indexer/main.cpp \
    -e src/indexer/template_files.cpp)
# The whole-search target writes its fixture indexes with the test index
# writer and checks XML answers with libxml2.
SEARCH_EXTRA="-Itests tests/support/index_files.cpp
    tests/support/index_writer.cpp tests/support/dictionary_file.cpp
    tests/support/search_fuzz_input.cpp"
failed=""
for target in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$target" .cpp)
    echo "-- $name"
    extra=""
    [ "$name" = fuzz_search ] && extra="$SEARCH_EXTRA"
    # shellcheck disable=SC2086
    $CXX $FLAGS -o "$out/$name" "$target" $SOURCES $extra -lstemmer $(xml2-config --libs)
    corpus="tests/fuzz/corpus/${name#fuzz_}"
    work="$out/corpus-$name"
    rm -rf "$work"
    mkdir -p "$work"
    [ -d "$corpus" ] && cp "$corpus"/* "$work"/ 2>/dev/null || true
    log="$out/$name.log"
    status=0
    "$out/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
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
