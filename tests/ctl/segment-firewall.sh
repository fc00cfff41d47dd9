#!/usr/bin/env bash
# tcpipctl behind a desktop firewall (testnet --firewall: a stateful input filter that
# drops what the workstation did not ask for), with three generated devices: nothing is
# listed and doctor names the firewall; after the rule that the README ships is loaded,
# every device is listed and doctor says ok. Also --local-port: the port asked for, and a
# port in use.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

[[ ${TESTNET_FIREWALL:-} == 1 ]] || {
    echo "needs tools/testnet --firewall" >&2
    exit 1
}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
nothing="tcpipctl: no device answered; tcpipctl doctor (as root) tells what may keep replies out"
devices=$'020000000001\n020000000002\n020000000003'

expect "behind the firewall nothing is listed, and doctor is named" 1 "" "$nothing" -- \
    "$ctl" "${quick[@]}" discover
expect_lines "doctor names the firewall and the silent discovery" 1 \
    '^problem +firewall: the input filter "inet filter input" drops' \
    '^ +what to do: let replies from UDP port 5001 in: sudo nft insert rule inet filter input udp sport 5001 accept; see WHEN NO DEVICE IS LISTED in tcpipctl\(1\)$' \
    '^problem +discovery on [^:]+: 3 on the wire, 0 delivered, from 198\.18\.0\.10, 198\.18\.0\.11, 198\.18\.0\.12, none dropped; likely cause: the firewall: "inet filter input" drops them$' \
    '^verdict: problem \(2 problems, 0 warnings\)$' -- "$ctl" "${quick[@]}" doctor
expect_lines "doctor --json gives the same as one object, with the counts" 1 \
    '^\{"checks":\[.*"check":"firewall","verdict":"problem".*\],"verdict":"problem"\}$' \
    '"interface":"[^"]+","wire":3,"delivered":0,"senders":\["198\.18\.0\.10",' -- \
    "$ctl" "${quick[@]}" --json doctor

nft -f "$repo/tools/firewall/tcpipset.nft" || fail "the shipped rule does not load"
expect "with the shipped rule every device is listed" 0 "$devices" "" -- \
    "$ctl" "${quick[@]}" discover
expect_lines "doctor then says ok" 0 '^ok +firewall: .* lets replies from UDP port 5001 in$' \
    '^ok +discovery on [^:]+: 3 on the wire, 3 delivered, from ' '!^(warning|problem)' \
    '^verdict: ok$' -- "$ctl" "${quick[@]}" doctor
expect_lines "--json counts them all delivered" 0 '"wire":3,"delivered":3,' -- \
    "$ctl" "${quick[@]}" --json doctor

expect "--local-port binds the socket to the port asked for" 0 "$devices" "" -- \
    "$ctl" "${quick[@]}" --local-port 5555 discover
expect_last_request "the request left from port 5555" "from=$TESTNET_WORKSTATION_ADDR:5555 "

# Another tcpipctl holds port 5556 while it waits for replies on loopback.
"$ctl" --local-port 5556 --timeout 20000 --broadcast 127.0.0.1 --port 9 discover \
    >/dev/null 2>&1 </dev/null &
holder=$!
for _ in $(seq 100); do
    ! ss -Huln 'sport = :5556' | grep -q . || break
    sleep 0.05
done
before=$(requests_seen)
expect "a local port in use is a clear error" 3 "" \
    "tcpipctl: --local-port 5556: Address already in use." -- \
    "$ctl" "${quick[@]}" --local-port 5556 discover
expect_sent "nothing was sent from a port in use" 0 "$before"
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

verdict
