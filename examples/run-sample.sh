#!/bin/sh
# Indexes the example pages of examples/pages with the built sitequery-index
# (as examples/sitequery-index.conf describes the site) into
# build/<preset>/example-site, the same files as the committed examples/site,
# and answers one sample search request against that index as a web server
# would run the program: CGI variables in the environment, the response on
# standard output. Usage: examples/run-sample.sh [query string] [build preset]
set -eu
cd "$(dirname "$0")/.."
query="${1:-vesk_query=}"
preset="${2:-release}"
index="build/$preset/example-site"
rm -rf "$index"
"build/$preset/sitequery-index" --quiet --config examples/sitequery-index.conf examples/pages "$index"
env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING="$query" \
    REMOTE_ADDR=127.0.0.1 SCRIPT_NAME=/cgi-bin/sitequery \
    "build/$preset/sitequery" /I "$index"
