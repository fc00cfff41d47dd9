#!/usr/bin/env bash
# tcpipctl's command line in a segment without devices: help, version, every kind of bad
# usage with exit 2, and socket errors with exit 3, as text and as JSON.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

# help_shows TEXT ARGS...: tcpipctl ARGS ends with 0 and its help holds the line TEXT.
help_shows() {
    local wanted=$1 help
    shift
    help=$("$ctl" "$@") && grep -q -- "$wanted" <<<"$help"
}
expect "--help" 0 "" "" -- help_shows "^Usage: tcpipctl" --help
expect "a command's --help lists the global options too" 0 "" "" -- help_shows "^  --broadcast" set --help
expect "--version" 0 "1.0.0.2" "" -- "$ctl" --version
expect "help says in words what an option takes" 0 "" "" -- help_shows "^  --port PORT  *UDP port of the print servers, 1 to 65535" --help
expect "help shows no parser type names" 1 "" "" -- help_shows "UINT\|INT in \[" --help
expect "a mistyped command is named, with the commands there are" 2 "" \
    "tcpipctl: unknown command discovr; the commands are discover, query, set, restart, doctor, export, apply" -- \
    "$ctl" --timeout 300 discovr

while IFS='|' read -r what args; do
    read -r -a words <<<"$args"
    expect "bad usage: $what" 2 "" "~^tcpipctl: " -- "$ctl" "${words[@]}"
done <<'EOF_USAGE'
no command|
an unknown command|probe
an unknown option|--verbose discover
query without a MAC|query
two MACs|query 0200000C0001 0200000C0002
set without --gateway|set 0200000C0001 --ip 198.18.3.1 --mask 255.255.0.0 --yes
--yes with discover|discover --yes
--port 0|--port 0 discover
--port above 65535|--port 65536 discover
--port not a number|--port x discover
--timeout negative|--timeout -1 discover
--broadcast without a value|discover --broadcast
--local-port 0|--local-port 0 discover
--receive-buffer negative|--receive-buffer -1 discover
--wait 0|restart 0200000C0001 --wait 0 --yes
--wait above 3600|restart 0200000C0001 --wait=3601 --yes
--wait with set|set 0200000C0001 --ip 198.18.3.1 --mask 255.255.0.0 --gateway 198.18.0.1 --wait --yes
EOF_USAGE
expect "a parse error with --json also as JSON" 2 '{"error":"tcpipctl: MAC is required"}' \
    "~^tcpipctl: MAC is required" -- "$ctl" --json query
all_or_none="tcpipctl: restart takes --ip, --mask and --gateway all three, or none"
expect "restart with two of the three addresses" 2 "{\"error\":\"$all_or_none\"}" "$all_or_none" -- \
    "$ctl" --json restart --wait 0200000C0001 --ip 198.18.3.1 --mask 255.255.0.0 --yes

while read -r mac; do
    expect "not a MAC: '$mac'" 2 "" "tcpipctl: not a MAC address: $mac" -- "$ctl" query "$mac"
done <<'EOF_MACS'
0200000C000
0200000C00011
02:00:00:0C:00
02:00:00-0C:00:01
02.00.00.0C.00.01
0200000C000G
0200000C00010200000C0001
EOF_MACS
expect "not a MAC, as JSON" 2 '{"error":"tcpipctl: not a MAC address: 02:00"}' \
    "tcpipctl: not a MAC address: 02:00" -- "$ctl" --json query 02:00

# --broadcast takes no name. Should a name get through all the same, its lookup is kept to
# /etc/hosts in a mount namespace of its own, so that not even a name server query leaves
# the machine.
printf 'hosts: files\n' >"$work/nsswitch.conf"
printf 'nameserver 127.0.0.1\n' >"$work/resolv.conf"
lookup_in_files() {
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare -m bash -c 'mount --bind "$1" /etc/nsswitch.conf && mount --bind "$2" /etc/resolv.conf &&
                        shift 2 && exec "$@"' _ "$work/nsswitch.conf" "$work/resolv.conf" "$@"
}
no_address="tcpipctl: --broadcast nowhere.invalid: not an IPv4 address"
expect "a broadcast name is not taken" 2 "{\"error\":\"$no_address\"}" "$no_address" -- \
    lookup_in_files "$ctl" "${quick[@]}" --json --broadcast nowhere.invalid query 0200000C0001
# A network namespace of its own without any route: the send fails.
expect "a send without a route" 3 "" $'Socket Error # 10051\nNetwork is unreachable.' -- \
    unshare -n "$ctl" "${quick[@]}" --broadcast "$TESTNET_BROADCAST" discover
expect "a set's send without a route, as JSON" 3 \
    '{"error":"Socket Error # 10051\r\nNetwork is unreachable."}' \
    $'Socket Error # 10051\nNetwork is unreachable.' -- \
    unshare -n "$ctl" "${quick[@]}" --json --broadcast "$TESTNET_BROADCAST" set 0200000C0001 \
    --ip 198.18.3.1 --mask 255.255.0.0 --gateway 198.18.0.1 --yes

verdict
