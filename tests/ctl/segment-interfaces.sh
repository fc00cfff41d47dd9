#!/usr/bin/env bash
# tcpipctl on a workstation with two segments and no default route, rp_filter loose: three
# generated devices on the first interface, two on the second. Discovery reaches both,
# tells where each reply came in, and --interface keeps every request on one segment.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

if1=${TESTNET_WORKSTATION_IF:?}
if2=${TESTNET_WORKSTATION_IF2:?}
log2=$TESTNET_SIM2_LOG
first=$'020000000001\n020000000002\n020000000003'
second=$'0200000B0001\n0200000B0002'

# expect_sorted NAME STATUS OUT -- COMMAND...: as expect, the lines of OUT in any order,
# since the two segments answer independently.
expect_sorted() {
    local name=$1 status=$2 want=$3
    shift 4
    sorted() { "$@" | sort; }
    expect "$name" "$status" "$(sort <<<"$want")" "" -- sorted "$@"
}

before1=$(requests_seen)
before2=$(requests_seen "$log2")
expect_sorted "discover lists the devices of both segments" 0 "$first"$'\n'"$second" -- \
    "$ctl" "${quick[@]}" discover
expect_sent "one discovery left on the first interface" 1 "$before1"
expect_sent "one discovery left on the second interface" 1 "$before2" "$log2"

# Each device's line, source address and interface, in columns that line up.
long_lines=$(printf '%s\n' \
    "020000000001  198.18.0.10   $if1" "020000000002  198.18.0.11   $if1" \
    "020000000003  198.18.0.12   $if1" "0200000B0001  198.19.96.10  $if2" \
    "0200000B0002  198.19.96.11  $if2")
expect_sorted "discover --long shows where each reply came from and in on" 0 "$long_lines" -- \
    "$ctl" "${quick[@]}" discover --long
expect_sorted "discover --json names each reply's interface" 0 \
    "$(printf '"interface":"%s"\n' "$if1" "$if1" "$if1" "$if2" "$if2")" -- \
    bash -c '"$@" | grep -o "\"interface\":\"[^\"]*\""' - "$ctl" "${quick[@]}" --json discover

before1=$(requests_seen)
before2=$(requests_seen "$log2")
expect_sorted "--interface keeps the discovery to the second segment" 0 "$second" -- \
    "$ctl" "${quick[@]}" --interface "$if2" discover
expect "--interface keeps a query to the second segment" 0 \
    $'198.19.96.11\n255.255.224.0\n198.19.64.1' "" -- \
    "$ctl" "${quick[@]}" --interface "$if2" query 0200000B0002
expect "a set on the second segment moves the device and is confirmed" 0 \
    "The TCP/IP address was updated." "" -- \
    "$ctl" "${quick[@]}" --interface "$if2" set 0200000B0002 --yes \
    --ip 198.19.96.77 --mask 255.255.224.0 --gateway 198.19.96.1
expect "the moved device answers from its new address" 0 \
    $'198.19.96.77\n255.255.224.0\n198.19.96.1' "" -- \
    "$ctl" "${quick[@]}" --interface "$if2" query 0200000B0002
expect_sent "nothing of it reached the first segment" 0 "$before1"
expect_sent "discovery, queries and set reached the second segment" 5 "$before2" "$log2"

# 040000000001 on the second segment kept silent during the discovery but answers the
# query for the last six digits of 020000000001 on the first.
twins="^tcpipctl: 2 devices answer to the last six digits 000001 of 020000000001: \
(020000000001 at 198\.18\.0\.10, 040000000001 at 198\.19\.96\.50|\
040000000001 at 198\.19\.96\.50, 020000000001 at 198\.18\.0\.10); nothing was sent"
before1=$(requests_seen)
before2=$(requests_seen "$log2")
expect "a set that two devices would take is refused" 2 "" "~$twins" -- \
    "$ctl" "${quick[@]}" set 020000000001 --yes --ip 198.18.0.77 --mask 255.255.0.0 --gateway 198.18.0.1
expect "a restart that two devices would take is refused" 2 "" "~$twins" -- \
    "$ctl" "${quick[@]}" restart 020000000001 --yes --ip 198.18.0.77 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "the first segment received only the two queries" 2 "$before1"
expect_sent "the second segment received only the two queries" 2 "$before2" "$log2"
expect "--interface keeps the set to the one device on the first segment" 0 \
    "The TCP/IP address was updated." "" -- \
    "$ctl" "${quick[@]}" --interface "$if1" set 020000000001 --yes \
    --ip 198.18.0.77 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "the second segment received nothing of it" 2 "$before2" "$log2"

# Without --interface the query goes everywhere; the set and the restart only where the
# device answered it.
before1=$(requests_seen)
before2=$(requests_seen "$log2")
expect "a set without --interface is confirmed" 0 "The TCP/IP address was updated." "" -- \
    "$ctl" "${quick[@]}" set 0200000B0001 --yes --ip 198.19.96.78 --mask 255.255.224.0 \
    --gateway 198.19.96.1
expect "so does a restart" 0 \
    "0200000B0001: restart sent on ${TESTNET_WORKSTATION_IF2:?} (198.19.96.78 255.255.224.0 198.19.96.1)" "" -- \
    "$ctl" "${quick[@]}" restart 0200000B0001 --yes --ip 198.19.96.78 --mask 255.255.224.0 \
    --gateway 198.19.96.1
expect_sent "the first segment received only the two queries" 2 "$before1"
expect_sent "the second segment received the queries, the set and the restart" 4 "$before2" \
    "$log2"

before1=$(requests_seen)
before2=$(requests_seen "$log2")
expect "an interface that does not exist is bad usage" 2 "" \
    "tcpipctl: --interface nosuch0: no such interface" -- \
    "$ctl" "${quick[@]}" --interface nosuch0 discover
expect "an interface that cannot carry a broadcast is bad usage" 2 "" \
    "tcpipctl: --interface lo: cannot carry a broadcast (loopback)" -- \
    "$ctl" "${quick[@]}" --interface "$if1" --interface lo discover
expect "--interface with a directed broadcast is bad usage" 2 "" \
    "tcpipctl: --interface limits only the limited broadcast 255.255.255.255" -- \
    "$ctl" "${quick[@]}" --interface "$if1" --broadcast "$TESTNET_BROADCAST" discover
expect_sent "bad usage sent nothing to the first segment" 0 "$before1"
expect_sent "bad usage sent nothing to the second segment" 0 "$before2" "$log2"

verdict
