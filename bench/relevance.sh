#!/bin/sh
# Measures the relevance of sitequery against Xapian Omega (omindex --spelling
# and the omega CGI program, installed here when missing) on the benchmark
# corpus: bench/corpus_site.sh lays the site out, bench/relevance.py builds
# both indexes, draws the query sets with a fixed seed, runs every query
# through both CGI programs and prints the table.
#
# Usage (as root, from the repository, after a release build):
#   sh bench/relevance.sh [--large] [relevance.py options, e.g. --seed 7 --show 10]
#   sh bench/relevance.sh --site DIR [relevance.py options]   (a site already laid out)
set -eu

size=""
[ "${1:-}" = "--large" ] && size="--large" && shift
here=$(cd "$(dirname "$0")/.." && pwd)
for program in "$here/build/release/sitequery-index" "$here/build/release/sitequery"; do
    [ -x "$program" ] || { echo "build first: $program missing" >&2; exit 2; }
done
if ! command -v omindex >/dev/null 2>&1 || [ ! -x /usr/lib/cgi-bin/omega/omega ]; then
    echo "installing: xapian-omega" >&2
    apt-get install -y --no-install-recommends xapian-omega >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case " $* " in
    *" --site "*) ;;
    *)
        # shellcheck disable=SC2086
        sh "$here/bench/corpus_site.sh" $size "$work/site"
        set -- --site "$work/site" "$@"
        ;;
esac
python3 "$here/bench/relevance.py" --work "$work/indexes" "$@"
