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

verdict
