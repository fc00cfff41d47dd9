#!/usr/bin/env bash
# tcpipctl doctor on a workstation with rp_filter loose and no default route: on the first
# interface three devices stand at addresses it has no route back to, so their replies
# reach the wire and are dropped; on the second, three devices in its subnet are heard.
# The doctor counts the replies on the wire against those delivered and names the cause.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

if1=${TESTNET_WORKSTATION_IF:?}
if2=${TESTNET_WORKSTATION_IF2:?}

expect_lines "the unrouted devices' replies reach the wire and rp_filter is named" 1 \
    "^problem +discovery on $if1: 3 on the wire, 0 delivered, from 198\.19\.128\.10, \
198\.19\.128\.11, 198\.19\.128\.12, none dropped; likely cause: rp_filter loose \(2\): the \
workstation has no route back to 198\.19\.128\.10" \
    '^ +what to do: turn rp_filter off' \
    "^ok +discovery on $if2: 3 on the wire, 3 delivered, from 198\.19\.96\.10" -- \
    "$ctl" "${quick[@]}" doctor
expect_lines "--json gives the counts and the senders of each interface" 1 \
    "\"check\":\"discovery on $if1\",\"verdict\":\"problem\",.*\"interface\":\"$if1\",\
\"wire\":3,\"delivered\":0,\"senders\":\[\"198\.19\.128\.10\",\"198\.19\.128\.11\",\
\"198\.19\.128\.12\"\]" \
    "\"interface\":\"$if2\",\"wire\":3,\"delivered\":3," -- \
    "$ctl" "${quick[@]}" --json doctor
expect_lines "without the right to capture the doctor says so and counts what came in" 1 \
    "^ok +discovery on $if2: 3 replies from .*\(the wire was not captured: no right to capture" -- \
    setpriv --bounding-set=-net_raw "$ctl" "${quick[@]}" doctor

verdict
