#!/bin/sh
# Builds the benchmark corpus: an index directory made from the HTML manuals of
# Debian packages, so that every machine indexes the same pages. Installs the
# packages that are missing, takes their HTML files from the package file
# lists (dpkg -L) and hands them to corpus_builder.
#
# Usage (as root, from the repository):
#   sh bench/build_corpus.sh [--large] <index dir> [corpus_builder binary]
#
#   default  python3.11-doc (python3-doc) and postgresql-doc-15, ~1,700 pages
#   --large  also libboost1.74-doc, python-django-doc, git-doc and
#            openjdk-17-doc, ~16,500 pages (build it once, outside the tree)
set -eu

large=0
if [ "${1:-}" = "--large" ]; then
    large=1
    shift
fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--large] <index dir> [corpus_builder binary]" >&2
    exit 2
fi
out=$1
here=$(cd "$(dirname "$0")/.." && pwd)
builder=${2:-$here/build/release/bench/corpus_builder}

# Packages whose pages are indexed; python3-doc is the package people install,
# its pages come with python3.11-doc.
install="python3-doc postgresql-doc-15"
pages="python3.11-doc postgresql-doc-15"
if [ $large = 1 ]; then
    extra="libboost1.74-doc python-django-doc git-doc openjdk-17-doc"
    install="$install $extra"
    pages="$pages $extra"
fi

missing=""
for package in $install; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q 'ok installed'; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    echo "installing:$missing" >&2
    apt-get install -y --no-install-recommends $missing >&2
fi

# Regular .html/.htm files of the packages (links and folders left out),
# sorted so that page numbers do not depend on the package order.
list=$(mktemp)
trap 'rm -f "$list"' EXIT
for package in $pages; do
    dpkg -L "$package"
done | grep -E '\.html?$' | while IFS= read -r file; do
    if [ -f "$file" ] && [ ! -L "$file" ]; then printf '%s\n' "$file"; fi
done | LC_ALL=C sort -u >"$list"

echo "$(wc -l <"$list") pages from: $pages" >&2
mkdir -p "$out"
"$builder" "$list" /usr/share/doc "$out"
