#!/usr/bin/env bash
# tcpipctl query in a segment with tests/ctl/devices.txt: the three fields, the forms of
# a MAC, the JSON, and the answers that give nothing to show.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

fields=$'198.18.3.1\n255.255.255.0\n198.18.3.254'
while read -r form; do
    expect "query takes the MAC as $form" 0 "$fields" "" -- "$ctl" "${quick[@]}" query "$form"
    expect_last_request "query of $form asks PTN0C0001J" "kind=query matched=1 devices=0200000C0001"
done <<'EOF_FORMS'
0200000C0001
0200000c0001
02:00:00:0c:00:01
02-00-00-0C-00-01
EOF_FORMS

expect "query --json" 0 '{"address":"198.18.3.1","mask":"255.255.255.0","gateway":"198.18.3.254"}' "" -- \
    "$ctl" "${quick[@]}" query --json 0200000C0001
expect "query of a reply without a gateway leaves the third line empty" 0 \
    $'198.18.3.8\n255.255.0.0\n' "" -- "$ctl" "${quick[@]}" query 0200000C0008
expect "query --json of a reply without a gateway" 0 \
    '{"address":"198.18.3.8","mask":"255.255.0.0","gateway":""}' "" -- \
    "$ctl" "${quick[@]}" --json query 0200000C0008

timed_out() { echo "tcpipctl: no device answered the query for $1 within 300 ms (The request timed out.)"; }
expect "query of a device that does not answer names it and the time" 1 "" "$(timed_out 0200000C0003)" -- \
    "$ctl" "${quick[@]}" query 0200000C0003
expect "query --json of a device that does not answer" 1 "{\"error\":\"$(timed_out 0200000C0003)\"}" \
    "$(timed_out 0200000C0003)" -- "$ctl" "${quick[@]}" --json query 0200000C0003
expect "query of a MAC that no device has" 1 "" "$(timed_out 0200000CFFFF)" -- \
    "$ctl" "${quick[@]}" query 0200000CFFFF
# The window shows nothing for a reply that it cannot read; the command line has only its
# fields to go by, which stay empty as for no answer.
expect "query of an unreadable reply shows nothing and ends with 1" 1 "" "~.+" -- \
    "$ctl" "${quick[@]}" query 0200000C0005
expect "query --broadcast with the segment's directed broadcast" 0 "$fields" "" -- \
    "$ctl" "${quick[@]}" --broadcast "$TESTNET_BROADCAST" query 0200000C0001
expect_last_request "the query went to the directed broadcast" "to=$TESTNET_BROADCAST len=10 kind=query"

verdict
