#!/bin/sh
# Answers one sample search request against the example index, as a web server
# would run the program: CGI variables in the environment, the response on
# standard output. Usage: examples/run-sample.sh [query string] [build preset]
set -eu
cd "$(dirname "$0")/.."
query="${1:-vesk_query=}"
preset="${2:-release}"
env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET QUERY_STRING="$query" \
    REMOTE_ADDR=127.0.0.1 SCRIPT_NAME=/cgi-bin/sitequery \
    "build/$preset/sitequery" /I examples/site
