#!/usr/bin/env bash
# tcpipctl discover in a segment with tests/ctl/devices.txt: the list as the window shows
# it, its JSON, the limited and the directed broadcast, and no answer at all.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

listed=$'0200000C0001\n0200000C0002\n0200000C0003\n0200000C0004\n0200000C0005
0200000C0006\n0200000C0007\n0200000C0008\n0200000C00090200000C0009'
as_json='[{"mac":"0200000C0001","address":"198.18.3.1"},{"mac":"0200000C0002","address":"198.18.3.2"},'\
'{"mac":"0200000C0003","address":"198.18.3.3"},{"mac":"0200000C0004","address":"198.18.3.4"},'\
'{"mac":"0200000C0005","address":"198.18.3.5"},{"mac":"0200000C0006","address":"198.18.3.6"},'\
'{"mac":"0200000C0007","address":"198.18.3.7"},{"mac":"0200000C0008","address":"198.18.3.8"},'\
'{"mac":"0200000C00090200000C0009","address":"198.18.3.9"}]'

# With every default: the limited broadcast, port 5001, one second.
started=$(date +%s%N)
expect "discover lists every answering device in order of arrival" 0 "$listed" "" -- "$ctl" discover
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
expect_last_request "discover goes to the limited broadcast, port 5001, as PTN000000J" \
    "to=255.255.255.255 len=10 kind=discovery matched=10"
if ((elapsed_ms >= 1000)); then
    echo "ok   discover waits the default time-out of one second (${elapsed_ms} ms)"
else
    fail "discover waits the default time-out of one second" "it took ${elapsed_ms} ms"
fi

expect "discover --json gives mac and source address in order" 0 "$as_json" "" -- \
    "$ctl" "${quick[@]}" --json discover
expect "discover takes --json after the command" 0 "$as_json" "" -- \
    "$ctl" discover --json "${quick[@]}"

expect "discover --broadcast with the segment's directed broadcast" 0 "$listed" "" -- \
    "$ctl" "${quick[@]}" --broadcast "$TESTNET_BROADCAST" discover
expect_last_request "the directed broadcast is where the request went" "to=$TESTNET_BROADCAST len=10 kind=discovery"

# Nobody listens on another port: no answer.
expect "discover without an answer lists nothing and ends with 1" 1 "" "" -- \
    "$ctl" "${quick[@]}" --port 5002 discover
expect "discover --json without an answer gives an empty array" 1 "[]" "" -- \
    "$ctl" "${quick[@]}" --port 5002 --json discover

verdict
