#!/usr/bin/env bash
# tcpipctl export and apply with twenty generated devices: the export is the inventory;
# with eight rows edited, --check plans eight changes and sends none, apply makes them, a
# second apply changes nothing; an address that another host on the link holds is
# refused; a bad file is refused whole, with its line numbers, before anything is sent.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

site=$work/site.csv
sets_seen() { grep -c ' rx .*kind=set' "$TESTNET_SIM_LOG" || true; }

"$ctl" "${quick[@]}" export >"$site" 2>"$work/export.err"
status=$?
expect "export lists twenty devices after its header" 0 "21" "" -- bash -c 'wc -l <"$1"' - "$site"
expect "export exits 0 and warns of nothing" 0 "0" "" -- echo "$status$(cat "$work/export.err")"
expect "export --format json gives the same devices" 0 "20" "" -- \
    bash -c '"$@" | grep -c "\"mac\":"' - "$ctl" "${quick[@]}" export --format json

# The first eight devices move to 198.18.1.x; the others keep what they hold.
awk -F, 'NR > 1 && NR <= 9 { $2 = "198.18.1." (NR + 100) } { print }' OFS=, "$site" >"$work/edited.csv"
before=$(sets_seen)
expect_lines "apply --check plans eight changes" 0 \
    '^020000000001  change +[^ ]+  198\.18\.0\.10/255\.255\.0\.0 gw 198\.18\.0\.1 -> 198\.18\.1\.102/' \
    '^020000000009  unchanged ' '^8 change, 12 unchanged; nothing was sent \(--check\)$' -- \
    "$ctl" "${quick[@]}" apply --check "$work/edited.csv"
expect_lines "apply --check --diff shows each setting that changes, before and after" 0 \
    '^    - ip 198\.18\.0\.10$' '^    \+ ip 198\.18\.1\.102$' '!^    . mask' -- \
    "$ctl" "${quick[@]}" apply --check --diff "$work/edited.csv"
expect "--check sent no set" 0 "0" "" -- echo $(($(sets_seen) - before))

expect_lines "apply changes the eight, each confirmed" 0 \
    '^\{"changed":true,"devices":\[\{"mac":"020000000001","status":"changed",' \
    '"mac":"020000000009","status":"unchanged"' '!"status":"(failed|missing|refused)"' -- \
    "$ctl" "${quick[@]}" --json apply "$work/edited.csv"
expect "one set for each of the eight" 0 "8" "" -- echo $(($(sets_seen) - before))
expect "a moved device answers from its new address" 0 \
    $'198.18.1.109\n255.255.0.0\n198.18.0.1' "" -- "$ctl" "${quick[@]}" query 020000000008

before=$(sets_seen)
expect_lines "a second apply changes nothing and says so" 0 \
    '^nothing to change: every device already holds its settings$' -- \
    "$ctl" "${quick[@]}" apply "$work/edited.csv"
expect "and sends no set" 0 "0" "" -- echo $(($(sets_seen) - before))

awk -F, 'NR == 10 { $2 = "198.18.1.120" } { print }' OFS=, "$work/edited.csv" >"$work/restart.csv"
expect_lines "apply --restart restarts the device and finds it at its new address" 0 \
    '^020000000009  changed +[^ ]+  198\.18\.1\.120/' '^1 changed, 19 unchanged$' -- \
    "$ctl" "${quick[@]}" apply --restart --settle-timeout 5 "$work/restart.csv"

# Another host on the link holds 198.18.2.200.
ip -n "$TESTNET_DEVICES_NS" addr add 198.18.2.200/32 dev "$TESTNET_DEVICES_IF"
holder=$(ip -n "$TESTNET_DEVICES_NS" -br link show "$TESTNET_DEVICES_IF" | awk '{ print toupper($3) }' | tr -d :)
awk -F, 'NR == 11 { $2 = "198.18.2.200" } { print }' OFS=, "$work/restart.csv" >"$work/taken.csv"
before=$(sets_seen)
expect_lines "a row whose address is in use is refused" 1 \
    "^02000000000A  refused +[^ ]+  address in use by MAC $holder$" -- \
    "$ctl" "${quick[@]}" apply "$work/taken.csv"
expect "and its device is not set" 0 "0" "" -- echo $(($(sets_seen) - before))

printf '%s\n' 'mac,ip,mask,gateway' '020000000001,198.18.1.102,255.255.0.0,198.18.0.1' \
    '02000000000Z,198.18.1.1,255.255.0.0,198.18.0.1' \
    '020000000001,198.18.1.103,255.255.0.0,198.18.0.1' >"$work/bad.csv"
before=$(requests_seen)
expect "a bad file is refused with its line numbers" 2 "" \
    "~^$work/bad\.csv:3: .*"$'\n'"$work/bad\.csv:4: .*020000000001.*line 2" -- \
    "$ctl" "${quick[@]}" apply "$work/bad.csv"
expect_sent "nothing was sent for it" 0 "$before"

verdict
