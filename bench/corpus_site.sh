#!/bin/sh
# Lays out the benchmark corpus as a site folder: the HTML manuals of Debian
# packages, so that every machine indexes the same pages. Installs the
# packages that are missing and links (or copies) their regular .html/.htm
# files, as the package file lists (dpkg -L) name them, into the folder under
# their path below /usr/share/doc.
#
# Usage (as root): sh bench/corpus_site.sh [--large] <site folder>
#   default  python3.11-doc (python3-doc) and postgresql-doc-15, ~1,700 pages
#   --large  also libboost1.74-doc, python-django-doc, git-doc and
#            openjdk-17-doc, ~16,500 pages
set -eu

large=0
if [ "${1:-}" = "--large" ]; then
    large=1
    shift
fi
if [ $# -ne 1 ]; then
    echo "usage: $0 [--large] <site folder>" >&2
    exit 2
fi
site=$1

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

mkdir -p "$site"
list=$(mktemp)
trap 'rm -f "$list"' EXIT
for package in $pages; do
    dpkg -L "$package"
done | grep -E '^/usr/share/doc/.*\.html?$' | while IFS= read -r file; do
    if [ -f "$file" ] && [ ! -L "$file" ]; then printf '%s\n' "$file"; fi
done | LC_ALL=C sort -u >"$list"
# Hard links where the folder lies on the same file system, else copies.
site=$(cd "$site" && pwd)
cd /usr/share/doc
sed 's|^/usr/share/doc/||' "$list" | xargs -d '\n' cp --parents -l -t "$site" 2>/dev/null ||
    sed 's|^/usr/share/doc/||' "$list" | xargs -d '\n' cp --parents -p -f -t "$site"
echo "$(wc -l <"$list") pages from: $pages" >&2
