#!/usr/bin/env bash
# tcpipctl doctor where factory-set devices cannot answer at all: on the first interface
# three devices at addresses the workstation has no route back to ask for its address by
# ARP from those addresses, and with rp_filter loose it never answers, so their replies
# never reach the wire. On the second, three devices answer on port 5002 only. The doctor
# names the silent ARP and its cure, and captures and judges the port --port gives. The
# simulated devices share one kernel, which asks once for them all, so one or more of
# their addresses are named.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

if1=${TESTNET_WORKSTATION_IF:?}
if2=${TESTNET_WORKSTATION_IF2:?}
# The devices' kernel keeps asking for a few seconds once it has begun, and asks anew only
# after: each case starts with it forgetting, so that its first request falls in the case.
forget() { ip -n "${TESTNET_DEVICES_NS:?}" neigh flush all; }

forget
expect_lines "the doctor names the devices whose ARP went unanswered, why, and the cure" 1 \
    "^problem +discovery on $if1: no reply reached $if1, none dropped; [1-3] devices? asked \
for the workstation's address by ARP and got no answer, so (its|their) replies never left \
(it|them): \
198\.19\.128\.1[0-2].* \(rp_filter loose \(2\) and no route back\)" \
    "^ +what to do: add a route for the factory subnet: sudo ip route add 198\.19\.128\.0/24 \
dev $if1, or turn rp_filter off" \
    "^ok +discovery on $if2: no reply reached $if2" -- \
    "$ctl" "${quick[@]}" doctor
forget
expect_lines "--json lists them" 1 \
    "\"interface\":\"$if1\",\"wire\":0,\"delivered\":0,\"senders\":\[\],\"unanswered_arp\":\
\[\"198\.19\.128\.1[0-2]\"" -- \
    "$ctl" "${quick[@]}" --json doctor
expect_lines "--port: the doctor captures and counts the replies from that port" 1 \
    "^ok +discovery on $if2: 3 on the wire, 3 delivered, from 198\.19\.96\.10" \
    "^ok +firewall: no input filter drops by default" -- \
    "$ctl" "${quick[@]}" --port 5002 --interface "$if2" doctor

# The cure the doctor names lets the devices answer, once they ask again: the devices'
# kernel forgets the answer it never got, and has a second to ask anew.
ip route add 198.19.128.0/24 dev "$if1"
forget
expect_lines "with the route the doctor names, the factory-set devices are listed" 0 \
    '^020000000001$' '^020000000002$' '^020000000003$' -- \
    "$ctl" --timeout 1500 discover
verdict
