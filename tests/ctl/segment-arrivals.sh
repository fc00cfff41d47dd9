#!/usr/bin/env bash
# Arrivals that must not end a receive loop early or pass uncounted: a first reply longer
# than a receive takes, with a twin that answers after it; discovery replies that add no
# line; and two processes that ask for one --local-port.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

expect_lines "discover lists both twins behind a long first reply" 0 \
    '^0200000F0009$' '^0600000F0009$' '^0200000F000A$' '^0600000F000A$' -- \
    "$ctl" "${quick[@]}" discover
expect "discover counts a reply that begins with 0 and an empty datagram" 0 "" \
    "~tcpipctl: 1 empty datagram added no device: from 198.18.5.23
tcpipctl: 1 reply began with a 0 byte and was not read: from 198.18.5.22
" -- bash -c '"$@" >/dev/null' _ "$ctl" "${quick[@]}" discover

for write in set restart; do
    before=$(requests_seen)
    expect "$write of a device whose twin answers after a long first reply is refused" 2 "" \
        "~^tcpipctl: 2 devices answer to the last six digits 0F0009 of 0200000F0009: 0200000F0009 at 198.18.5.9, 0600000F0009 at 198.18.5.10; nothing was sent" -- \
        "$ctl" "${quick[@]}" "$write" 0200000F0009 --yes --ip 198.18.5.19 --mask 255.255.0.0 --gateway 198.18.0.1
    expect_sent "$write behind a long first reply sent only its query" 1 "$before"
done
expect "query of twins whose long replies carry no MAC item" 2 "" \
    "tcpipctl: 2 devices answer to the last six digits 0F000A of 0200000F000A: (no MAC) at 198.18.5.20, (no MAC) at 198.18.5.21" -- \
    "$ctl" "${quick[@]}" query 0200000F000A

# Without the privilege of a large buffer the port is shared among several sockets; a
# second process must not join them.
as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
"${as_nobody[@]}" "$ctl" --receive-buffer 0 --local-port 40000 --timeout 3000 discover >/dev/null 2>&1 &
first=$!
for ((i = 0; i < 100; ++i)); do ss -Hlun 'sport = :40000' | grep -q . && break; sleep 0.02; done
expect "a second process on a --local-port that one holds gets 10048" 3 "" \
    "tcpipctl: --local-port 40000: Address already in use." -- \
    "${as_nobody[@]}" "$ctl" --receive-buffer 0 --local-port 40000 "${quick[@]}" discover
wait "$first"
verdict
