#!/usr/bin/env bash
# tcpipctl restart in a segment with tests/ctl/devices.txt and tcpipsim --reboot-ms 500:
# what was sent, the device at its new address after its reboot, and the refusals.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

restart_b() { "$ctl" "${quick[@]}" restart 0200000C0002 --yes "$@"; }
sent() { echo "0200000C0002: restart sent on $TESTNET_WORKSTATION_IF ($1 255.255.0.0 $2)"; }

expect "restart says what it sent, and where" 0 "$(sent 198.18.3.32 198.18.0.1)" "" -- \
    restart_b --ip 198.18.3.32 --mask 255.255.0.0 --gateway 198.18.0.1
expect_last_request "the restart request went out" "kind=restart matched=1 devices=0200000C0002"
sleep 0.6
expect "after its reboot the device answers from the new address" 0 \
    $'198.18.3.32\n255.255.0.0\n198.18.0.1' "" -- "$ctl" "${quick[@]}" query 0200000C0002
expect_lines "restart --json tells what was sent, and where" 0 \
    '^\{"restarted":true,"mac":"0200000C0002","interface":"[^"]+","address":"198\.18\.3\.33","mask":"255\.255\.0\.0","gateway":"198\.18\.0\.1"\}$' -- \
    restart_b --json --ip 198.18.3.33 --mask 255.255.0.0 --gateway 198.18.0.1
sleep 0.6
# The gateway is not checked as an address, only that its parts fit bytes.
expect "restart sends a gateway that a set would refuse" 0 "$(sent 198.18.3.34 198.18.3.255)" "" -- \
    restart_b --ip 198.18.3.34 --mask 255.255.0.0 --gateway 198.18.3.255
expect_last_request "that restart reached the device" "kind=restart matched=1 devices=0200000C0002"
# A rebooting device answers no query, and a restart is sent only to a device that answers.
sleep 0.6
expect "restart --broadcast with the segment's directed broadcast" 0 "$(sent 198.18.3.35 198.18.0.1)" "" -- \
    restart_b --broadcast "$TESTNET_BROADCAST" --ip 198.18.3.35 --mask 255.255.0.0 --gateway 198.18.0.1
expect_last_request "the restart went to the directed broadcast" "to=$TESTNET_BROADCAST len=37 kind=restart"

before=$(requests_seen)
while IFS='|' read -r what ip mask gateway message; do
    expect "restart refuses $what" 2 "" "$message" -- restart_b --ip "$ip" --mask "$mask" --gateway "$gateway"
done <<EOF_REFUSED
the network address of the subnet|198.18.0.0|255.255.0.0|198.18.0.1|tcpipctl: --ip 198.18.0.0: the network address of its subnet with --mask 255.255.0.0
a mask part above 255|198.18.3.40|255.255.0.256|198.18.0.1|tcpipctl: --mask 255.255.0.256: not an IPv4 address
a mask without a network part|198.18.3.40|0.0.0.0|198.18.0.1|tcpipctl: --mask 0.0.0.0: no network part: a subnet mask needs one-bits
a gateway part that does not fit a byte|198.18.3.40|255.255.0.0|300.1.1.1|tcpipctl: --gateway 300.1.1.1: not an IPv4 address
a letter in the gateway|198.18.3.40|255.255.0.0|198.18.0.a|tcpipctl: --gateway 198.18.0.a: not an IPv4 address
a gateway of three parts|198.18.3.40|255.255.0.0|198.18.1|tcpipctl: --gateway 198.18.1: not an IPv4 address
an empty IP address||255.255.0.0|198.18.0.1|tcpipctl: --ip '': not an IPv4 address
EOF_REFUSED
refused_gateway="tcpipctl: --gateway 198.18.1: not an IPv4 address"
expect "restart --json refuses with the error as JSON" 2 "{\"error\":\"$refused_gateway\"}" \
    "$refused_gateway" -- restart_b --json --ip 198.18.3.40 --mask 255.255.0.0 --gateway 198.18.1
no_terminal="tcpipctl: standard input is not a terminal: give --yes to confirm"
expect "restart needs --yes when standard input is not a terminal" 2 "" "$no_terminal" -- \
    "$ctl" "${quick[@]}" restart 0200000C0002 --ip 198.18.3.41 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "no refused restart sent anything" 0 "$before"

# Without addresses the device is restarted with what it holds; --wait sees it come back.
sleep 0.6
expect_lines "restart without addresses restarts with the queried values" 0 \
    '^\{"restarted":true,"mac":"0200000C0002","interface":"[^"]+","address":"198\.18\.3\.35","mask":"255\.255\.0\.0","gateway":"198\.18\.0\.1","answered":true\}$' -- \
    "$ctl" "${quick[@]}" --json restart 0200000C0002 --yes --wait 5
expect_last_request "and the device answered a query after its reboot" "kind=query matched=1 devices=0200000C0002"
sleep 0.6
expect_lines "restart --wait says when and where the device answered again" 0 \
    "^0200000C0002: restart sent on $TESTNET_WORKSTATION_IF \(198\.18\.3\.35 255\.255\.0\.0 198\.18\.0\.1\)$" \
    "^0200000C0002: answered again after [0-9]+\.[0-9] s, from 198\.18\.3\.35 on $TESTNET_WORKSTATION_IF$" -- \
    "$ctl" "${quick[@]}" restart 0200000C0002 --yes --wait 5

verdict
