#!/usr/bin/env bash
# tcpipctl tells what each device answers for itself: devices whose discovery replies cannot
# be read (the devices after them are listed all the same, and the count is told), two
# devices whose replies carry no MAC and whose MACs end alike (a query for either names
# both and is refused), and a MAC that no device holds although one ends in its digits.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

expect "discover lists every readable reply and counts the others, naming their senders" 0 \
    $'0200000E0001\n0200000E0004' "~^tcpipctl: 1 reply could not be read: from 198\.18\.5\.2
tcpipctl: 1 empty datagram added no device: from 198\.18\.5\.3
tcpipctl: 2 replies held no MAC address: from 198\.18\.5\.1[12], 198\.18\.5\.1[12]
$" -- \
    "$ctl" "${quick[@]}" discover
expect "query of a device whose discovery reply could not be read" 0 \
    $'198.18.5.2\n255.255.0.0\n198.18.0.1' "" -- "$ctl" "${quick[@]}" query 0200000E0002

twins="^tcpipctl: 2 devices answer to the last six digits 0F0001 of 0200000F0001: \
\(no MAC\) at 198\.18\.5\.1[12], \(no MAC\) at 198\.18\.5\.1[12]"
expect "a query that two devices without MAC answer is refused" 2 "" "~$twins" -- \
    "$ctl" "${quick[@]}" query 0200000F0001
before=$(requests_seen)
expect "so is a set" 2 "" "~$twins; nothing was sent" -- \
    "$ctl" "${quick[@]}" set 0200000F0001 --yes --ip 198.18.5.13 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "the set sent only its query" 1 "$before"

other="tcpipctl: no device answered for 0600000E0001; 0200000E0001 at 198.18.5.1 answered to its last six digits"
expect "a reply that names another MAC is not the asked device's" 1 "" "$other" -- \
    "$ctl" "${quick[@]}" query 0600000E0001
before=$(requests_seen)
expect "nor does a set move that other device" 1 "" "$other; nothing was sent" -- \
    "$ctl" "${quick[@]}" set 0600000E0001 --yes --ip 198.18.5.14 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "that set sent only its query" 1 "$before"

verdict
