#!/bin/sh
# Builds the benchmark index: the HTML manuals of Debian packages
# (bench/corpus_site.sh lays them out as a site) indexed by sitequery-index,
# one category per package folder, stemming on (each word stored under its
# stem, its spellings as variants).
#
# Usage (as root, from the repository):
#   sh bench/build_corpus.sh [--large] <index dir> [sitequery-index binary]
#
#   default  python3.11-doc (python3-doc) and postgresql-doc-15, ~1,700 pages
#   --large  also libboost1.74-doc, python-django-doc, git-doc and
#            openjdk-17-doc, ~16,500 pages (build it once, outside the tree)
set -eu

size=""
if [ "${1:-}" = "--large" ]; then
    size="--large"
    shift
fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--large] <index dir> [sitequery-index binary]" >&2
    exit 2
fi
out=$1
here=$(cd "$(dirname "$0")/.." && pwd)
indexer=${2:-$here/build/release/sitequery-index}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2086
sh "$here/bench/corpus_site.sh" $size "$work/site"
cat >"$work/corpus.conf" <<CONF
name = Debian manuals
language = english
categories = folders
CONF
rm -rf "$out"
"$indexer" --base-url http://localhost/doc/ --config "$work/corpus.conf" --verbose \
    "$work/site" "$out"
