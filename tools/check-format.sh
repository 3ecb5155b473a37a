#!/bin/sh
# Fails when a source file differs from what clang-format makes of it.
set -eu
cd "$(dirname "$0")/.."
FORMAT=$(command -v clang-format-14 || command -v clang-format)
status=0
for file in $(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' \
        | grep -v 'src/text/case_table'); do
    if ! "$FORMAT" --style=file "$file" | cmp -s - "$file"; then
        echo "not formatted: $file"
        status=1
    fi
done
exit $status
