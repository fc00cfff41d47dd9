#!/usr/bin/env bash
# tcpipctl discover in a segment with tests/ctl/devices.txt: the list as the window shows
# it, its JSON, the limited and the directed broadcast, and no answer at all.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

listed=$'0200000C0001\n0200000C0002\n0200000C0003\n0200000C0004\n0200000C0005
0200000C0006\n0200000C0007\n0200000C0008\n0200000C00090200000C0009\n0200000C0010'
json_of() { printf '{"mac":"%s","address":"%s","interface":"%s"}' "$1" "$2" "${TESTNET_WORKSTATION_IF:?}"; }
as_json="[$(json_of 0200000C0001 198.18.3.1),$(json_of 0200000C0002 198.18.3.2),\
$(json_of 0200000C0003 198.18.3.3),$(json_of 0200000C0004 198.18.3.4),\
$(json_of 0200000C0005 198.18.3.5),$(json_of 0200000C0006 198.18.3.6),\
$(json_of 0200000C0007 198.18.3.7),$(json_of 0200000C0008 198.18.3.8),\
$(json_of 0200000C00090200000C0009 198.18.3.9),$(json_of 0200000C0010 198.18.3.10)]"

# With every default: the limited broadcast, port 5001, one second.
started=$(date +%s%N)
before=$(requests_seen)
expect "discover lists every answering device in order of arrival" 0 "$listed" "" -- "$ctl" discover
expect_sent "a workstation with one interface sends one datagram" 1 "$before"
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
expect_last_request "discover goes to the limited broadcast, port 5001, as PTN000000J" \
    "to=255.255.255.255 len=10 kind=discovery matched=10"
if ((elapsed_ms >= 1000)); then
    echo "ok   discover waits the default time-out of one second (${elapsed_ms} ms)"
else
    fail "discover waits the default time-out of one second" "it took ${elapsed_ms} ms"
fi

expect "discover --json gives mac, source address and interface in order" 0 "$as_json" "" -- \
    "$ctl" "${quick[@]}" --json discover
expect "discover takes --json after the command" 0 "$as_json" "" -- \
    "$ctl" discover --json "${quick[@]}"

expect "discover --broadcast with the segment's directed broadcast" 0 "$listed" "" -- \
    "$ctl" "${quick[@]}" --broadcast "$TESTNET_BROADCAST" discover
expect_last_request "the directed broadcast is where the request went" "to=$TESTNET_BROADCAST len=10 kind=discovery"

# Nobody listens on another port: no answer.
nothing="tcpipctl: no device answered; tcpipctl doctor (as root) tells what may keep replies out"
expect "discover without an answer says so and points at doctor" 1 "" "$nothing" -- \
    "$ctl" "${quick[@]}" --port 5002 discover
expect "discover --json without an answer is an empty list, the reason on stderr" 1 "[]" \
    "$nothing" -- "$ctl" "${quick[@]}" --port 5002 --json discover

# Bound to the port it sends to, the socket receives its own broadcast: that is no reply.
expect "discover with --local-port equal to --port lists the devices" 0 "$listed" "" -- \
    "$ctl" "${quick[@]}" --local-port 5001 discover
expect "query with --local-port equal to --port is answered" 0 \
    $'198.18.3.1\n255.255.255.0\n198.18.3.254' "" -- \
    "$ctl" "${quick[@]}" --local-port 5001 query 0200000C0001

# On a segment as it should be, every check of doctor is ok.
expect_lines "doctor on a clean segment says ok" 0 '^verdict: ok$' \
    '^ok +discovery on [^:]+: 10 on the wire, 10 delivered, from 198\.18\.3\.1, ' '!^(warning|problem) ' -- \
    "$ctl" "${quick[@]}" doctor

verdict
