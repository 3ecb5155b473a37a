#!/bin/sh
# Times sitequery-index against two other site indexers on the same files:
# Xapian's omindex (Debian xapian-omega, installed here when missing) and
# Pagefind (the npm package pagefind, installed into a temporary folder).
# Prints wall time, pages/s, MB/s and peak RSS of each.
#
# Usage (as root, from the repository, after a release build):
#   sh bench/index_bench.sh [--large]
set -eu

size=""
[ "${1:-}" = "--large" ] && size="--large"
here=$(cd "$(dirname "$0")/.." && pwd)
indexer=$here/build/release/sitequery-index
peak_rss=$here/build/release/bench/peak_rss
for program in "$indexer" "$peak_rss"; do
    [ -x "$program" ] || { echo "build first: $program missing" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2086
sh "$here/bench/corpus_site.sh" $size "$work/site"
pages=$(find "$work/site" -type f | wc -l)
bytes=$(find "$work/site" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')

if ! command -v omindex >/dev/null 2>&1; then
    echo "installing: xapian-omega" >&2
    apt-get install -y --no-install-recommends xapian-omega >&2
fi
echo "installing: pagefind (npm, into a temporary folder)" >&2
npm install --silent --prefix "$work/npm" pagefind >&2
# The package ships its binary as pagefind or pagefind_extended.
pagefind=$(find "$work/npm/node_modules/@pagefind" -type f -perm -u+x \
    \( -name pagefind -o -name pagefind_extended \) | LC_ALL=C sort | head -1)
[ -n "$pagefind" ] || { echo "no pagefind binary in the npm package" >&2; exit 1; }

# Runs one indexer under peak_rss, with the site's files in the page cache (so
# that each reads them from memory alike), and prints its line.
run() {
    name=$1
    shift
    find "$work/site" -type f -exec cat {} + >/dev/null
    start=$(date +%s.%N)
    "$peak_rss" "$@" >"$work/$name.out" 2>"$work/$name.err" || {
        echo "$name failed:" >&2
        tail -5 "$work/$name.err" >&2
        return 0
    }
    end=$(date +%s.%N)
    rss=$(tail -1 "$work/$name.err")
    awk -v n="$name" -v s="$start" -v e="$end" -v p="$pages" -v b="$bytes" -v r="$rss" 'BEGIN {
        t = e - s
        printf "%-16s %8.2f s %9.0f pages/s %8.1f MB/s %8.0f MB peak RSS\n", n, t, p / t,
               b / 1048576 / t, r / 1024 }'
}

printf '%s pages, %.1f MB of HTML, %s cores\n' "$pages" "$(echo "$bytes" | awk '{ print $1 / 1048576 }')" "$(nproc)"
run sitequery-index "$indexer" --base-url http://localhost/doc/ --quiet --language english \
    "$work/site" "$work/sitequery"
run omindex "$(command -v omindex)" --db "$work/xapian" --url /doc/ "$work/site"
run pagefind "$pagefind" --site "$work/site" --output-path "$work/pagefind"
