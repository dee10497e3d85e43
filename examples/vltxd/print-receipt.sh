#!/bin/sh
# Prints a receipt through vltxd with curl, then sends the very same request
# again, as a point of sale does when its first answer is lost: the service
# answers the retry from its journal and prints nothing.
#   print-receipt.sh [URL] [PRINTER] [RECEIPT.json]
# URL defaults to http://127.0.0.1:8461; with a token set VLTXD_TOKEN.
set -eu
url=${1:-http://127.0.0.1:8461}
printer=${2:-caixa1}
receipt=${3:-$(dirname "$0")/receipt.json}
# One key per sale, kept until the sale is known to be printed.
key=sale-$(date +%s)-$$

post() {
    curl -sS --max-time 60 -H 'Content-Type: application/json' -H "Idempotency-Key: $key" \
        ${VLTXD_TOKEN:+-H "Authorization: Bearer $VLTXD_TOKEN"} \
        -w '\n%{http_code}\n' --data-binary @"$receipt" "$url/printers/$printer/receipt?wait=30000"
}

field() { # NAME JSON: a top-level string or boolean of a flat answer
    printf '%s' "$2" | tr ',{}' '\n\n\n' | sed -n "s/^ *\"$1\": *\"\{0,1\}\([^\"]*\)\"\{0,1\} *\$/\1/p" | head -n 1
}

first=$(post)
status=$(printf '%s\n' "$first" | tail -n 1)
body=$(printf '%s\n' "$first" | sed '$d')
[ "$status" = 200 ] || { echo "the receipt answered $status: $body" >&2; exit 1; }
echo "first call: task $(field task "$body"), state $(field state "$body"), repeat $(field repeat "$body")"

again=$(post)
status=$(printf '%s\n' "$again" | tail -n 1)
body2=$(printf '%s\n' "$again" | sed '$d')
[ "$status" = 200 ] || { echo "the retry answered $status: $body2" >&2; exit 1; }
echo "retry:      task $(field task "$body2"), state $(field state "$body2"), repeat $(field repeat "$body2")"
if [ "$(field repeat "$body2")" = true ] && [ "$(field task "$body2")" = "$(field task "$body")" ]; then
    echo "the retry printed nothing: the service answered it from its journal"
else
    echo "the retry was not recognised as a repeat" >&2
    exit 1
fi
