#!/usr/bin/env bash
# tcpipctl discover with three devices, two of whose MACs share their last six digits: a
# set or restart of either would reach both, so discover warns and names them in JSON.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

warning="tcpipctl: 0200000D0001, 0400000D0001 share their last six digits 0D0001: a set or restart of one would reach them all"
expect "discover warns of the lines that share their last six digits" 0 \
    $'0200000D0001\n0400000D0001\n0200000D0002' "$warning" -- "$ctl" "${quick[@]}" discover
expect_lines "discover --json names the lines each shares them with" 0 \
    '"mac":"0200000D0001",[^}]*"selector_shared_with":\["0400000D0001"\]\}' \
    '"mac":"0400000D0001",[^}]*"selector_shared_with":\["0200000D0001"\]\}' \
    '"mac":"0200000D0002","address":"198.18.4.3","interface":"[^"]+"\}' -- \
    "$ctl" "${quick[@]}" --json discover

# An export holds both twins; apply refuses to write either, says what the operator can
# do, and writes the rest.
"$ctl" "${quick[@]}" export >"$work/site.csv"
sed -i 's/,198\.18\.4\.\([0-9]*\),/,198.18.40.\1,/' "$work/site.csv"
expect_lines "apply refuses the twins of an export, with what to do, and moves the rest" 1 \
    '^0200000D0001  refused +[^ ]+  its last six digits 0D0001 are also those of 0400000D0001.*: set one of them with the window, or on its own segment with --interface$' \
    '^0400000D0001  refused ' '^0200000D0002  changed ' -- \
    "$ctl" "${quick[@]}" apply "$work/site.csv"
# A file exported on another host may name an interface this one lacks.
printf 'mac,ip,mask,gateway,interface\n0200000D0002,198.18.4.3,255.255.0.0,198.18.0.1,eth9\n' \
    >"$work/elsewhere.csv"
expect "an interface this host lacks is a fault of the file, naming those it has" 2 "" \
    "~^$work/elsewhere.csv:2: interface eth9: this host has no interface of that name \(it has lo, $TESTNET_WORKSTATION_IF\)" -- \
    "$ctl" "${quick[@]}" apply "$work/elsewhere.csv"

verdict
