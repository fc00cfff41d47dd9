#!/usr/bin/env bash
# tcpipctl set in a segment with tests/ctl/devices.txt: the outcome as text and as JSON,
# the answers that do not confirm it, and every refusal before anything is sent.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

updated="The TCP/IP address was updated."
not_updated="The TCP/IP address was not updated."
timeout_message="tcpipctl: no device answered the set for 0200000C0010 within 300 ms (The request timed out.)"

set_a() { "$ctl" "${quick[@]}" set 0200000C0001 --yes "$@"; }

expect "set confirmed by the device from its new address" 0 "$updated" "" -- \
    set_a --ip 198.18.3.21 --mask 255.255.255.0 --gateway 198.18.3.254
expect_last_request "the set request carries the new IP text" "kind=set matched=1 devices=0200000C0001"
expect "the device now answers from its new address" 0 $'198.18.3.21\n255.255.255.0\n198.18.3.254' "" -- \
    "$ctl" "${quick[@]}" query 0200000C0001
expect "set --json of a confirmed set" 0 \
    '{"updated":true,"address":"198.18.3.22","mask":"255.255.0.0","gateway":"198.18.0.1"}' "" -- \
    set_a --json --ip 198.18.3.22 --mask 255.255.0.0 --gateway 198.18.0.1
expect "set with gateway 0.0.0.0" 0 "$updated" "" -- \
    set_a --ip 198.18.3.23 --mask 255.255.0.0 --gateway 0.0.0.0

# Addresses are compared as numbers: the device reports them without leading zeros, and
# holds what was asked.
expect "a mask with leading zeros is set and confirmed" 0 "$updated" "" -- \
    set_a --ip 198.18.3.24 --mask 255.255.255.000 --gateway 198.18.3.254
expect "set --json shows what the device reported" 0 \
    '{"updated":true,"address":"198.18.3.25","mask":"255.255.255.0","gateway":"198.18.3.254"}' "" -- \
    set_a --json --ip 198.18.3.025 --mask 255.255.255.000 --gateway 198.18.3.254
expect "a device that keeps its values is not updated" 1 \
    '{"updated":false,"address":"198.18.3.6","mask":"255.255.0.0","gateway":"198.18.0.1"}' "" -- \
    "$ctl" "${quick[@]}" --json set 0200000C0006 --ip 198.18.3.26 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect "a device that keeps its values is not updated, and what it holds is said" 1 \
    "$not_updated"$'\n'"0200000C0006 holds 198.18.3.6 255.255.0.0 198.18.0.1" "" -- \
    "$ctl" "${quick[@]}" set 0200000C0006 --ip 198.18.3.26 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect "a device that answers from its old address is updated after a second look" 0 "$updated" "" -- \
    "$ctl" "${quick[@]}" set 0200000C0007 --ip 198.18.3.27 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect "a reply whose first byte is 0 is looked at again: the device took the set" 0 \
    '{"updated":true,"address":"198.18.3.28","mask":"255.255.0.0","gateway":"198.18.0.1"}' "" -- \
    "$ctl" "${quick[@]}" --json set 0200000C0004 --ip 198.18.3.28 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
before=$(requests_seen)
unanswered="tcpipctl: no device answered the query for 0200000C0003; nothing was sent"
expect "a set whose query no device answers sends nothing" 1 "" "$unanswered" -- \
    "$ctl" "${quick[@]}" set 0200000C0003 --ip 198.18.3.29 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect_sent "only the query went out" 1 "$before"
expect "a set without an answer times out" 1 "" "$timeout_message" -- \
    "$ctl" "${quick[@]}" set 0200000C0010 --ip 198.18.3.29 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect "set --json without an answer" 1 "{\"error\":\"$timeout_message\"}" "$timeout_message" -- \
    "$ctl" "${quick[@]}" --json set 0200000C0010 --ip 198.18.3.29 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
unreadable="tcpipctl: the device's reply could not be read"
expect "a reply that cannot be read" 1 "" "$unreadable" -- \
    "$ctl" "${quick[@]}" set 0200000C0005 --ip 198.18.3.30 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect "set --json of a reply that cannot be read" 1 "{\"error\":\"$unreadable\"}" "$unreadable" -- \
    "$ctl" "${quick[@]}" --json set 0200000C0005 --ip 198.18.3.30 --mask 255.255.0.0 --gateway 198.18.0.1 --yes
expect "set --broadcast with the segment's directed broadcast" 0 "$updated" "" -- \
    set_a --broadcast "$TESTNET_BROADCAST" --ip 198.18.3.31 --mask 255.255.0.0 --gateway 198.18.0.1
expect_last_request "the set went to the directed broadcast" "to=$TESTNET_BROADCAST len=34 kind=set"
expect "a gateway outside the subnet is sent, with a warning" 0 "$updated" \
    "tcpipctl: warning: --gateway 198.18.4.1 lies outside the subnet of --ip 198.18.3.36 --mask 255.255.255.0" -- \
    set_a --ip 198.18.3.36 --mask 255.255.255.0 --gateway 198.18.4.1

# Refusals: exit 2, and not one datagram reaches the devices.
before=$(requests_seen)
while IFS='|' read -r what ip mask gateway message; do
    expect "set refuses $what" 2 "" "$message" -- set_a --ip "$ip" --mask "$mask" --gateway "$gateway"
done <<EOF_REFUSED
the broadcast address of the subnet|198.18.255.255|255.255.0.0|198.18.0.1|tcpipctl: --ip 198.18.255.255: the broadcast address of its subnet with --mask 255.255.0.0
an IP address in 127/8|127.0.0.1|255.255.0.0|198.18.0.1|tcpipctl: --ip 127.0.0.1: not a host address (127 is the loopback network)
a mask part above 255|198.18.3.40|255.256.0.0|198.18.0.1|tcpipctl: --mask 255.256.0.0: not an IPv4 address
a mask whose one-bits have a gap|198.18.3.40|255.0.255.0|198.18.0.1|tcpipctl: --mask 255.0.255.0: the one-bits of a subnet mask must be contiguous
a mask without a host part|198.18.3.40|255.255.255.255|198.18.0.1|tcpipctl: --mask 255.255.255.255: no host part: a subnet mask needs zero-bits
a gateway of class D|198.18.3.40|255.255.0.0|224.0.0.1|tcpipctl: --gateway 224.0.0.1: not a host address (a multicast address)
a letter in the IP address|198.18.3.x|255.255.0.0|198.18.0.1|tcpipctl: --ip 198.18.3.x: not an IPv4 address
a hexadecimal part the field could not take|\$C6.18.3.40|255.255.0.0|198.18.0.1|tcpipctl: --ip \$C6.18.3.40: not an IPv4 address
a blank in the mask|198.18.3.40|255.255.0. 0|198.18.0.1|tcpipctl: --mask 255.255.0. 0: not an IPv4 address
an IP address with an empty fourth part|198.18.3.|255.255.0.0|198.18.0.1|tcpipctl: --ip 198.18.3.: not an IPv4 address
a mask with a fifth part|198.18.3.40|255.255.0.0.0|198.18.0.1|tcpipctl: --mask 255.255.0.0.0: not an IPv4 address
an empty gateway|198.18.3.40|255.255.0.0||tcpipctl: --gateway '': not an IPv4 address
EOF_REFUSED
refused_ip="tcpipctl: --ip 198.18.255.255: the broadcast address of its subnet with --mask 255.255.0.0"
expect "set --json refuses with the error as JSON" 2 "{\"error\":\"$refused_ip\"}" "$refused_ip" -- \
    set_a --json --ip 198.18.255.255 --mask 255.255.0.0 --gateway 198.18.0.1
no_terminal="tcpipctl: standard input is not a terminal: give --yes to confirm"
expect "set needs --yes when standard input is not a terminal" 2 "" "$no_terminal" -- \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.41 --mask 255.255.0.0 --gateway 198.18.0.1
expect "set --json without --yes" 2 "{\"error\":\"$no_terminal\"}" "$no_terminal" -- \
    "$ctl" "${quick[@]}" --json set 0200000C0001 --ip 198.18.3.41 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "no refused set sent anything" 0 "$before"

# apply looks again too: a device that answers its set from its old address is changed.
printf 'mac,ip,mask,gateway\n0200000C0007,198.18.3.77,255.255.0.0,198.18.0.1\n' >"$work/moved.csv"
expect_lines "apply finds a device that answered from its old address changed" 0 \
    '^0200000C0007  changed +[^ ]+  198\.18\.3\.77/255\.255\.0\.0 gw 198\.18\.0\.1' -- \
    "$ctl" "${quick[@]}" apply "$work/moved.csv"

verdict
