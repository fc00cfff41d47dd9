#!/usr/bin/env bash
# The system log's record of tcpipctl set and restart, in a segment with tests/ctl/devices.txt.
# tcpipctl runs in a mount namespace whose /dev holds only /dev/log, a link to a socket that
# this script reads: no record reaches the machine's own log.
# shellcheck source=segment-lib.sh disable=SC2016,SC2153 # the inner shell's $0 and $@; testnet's variable
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "ab", buffering=0) as out:
    while True:
        out.write(s.recv(8192) + b"\n")' "$work/log.sock" "$work/log" &
listener=$!
trap 'kill "$listener"; rm -rf "$work"' EXIT
for ((i = 0; i < 100; ++i)); do [[ -S $work/log.sock ]] && break; sleep 0.05; done

# logged [--as-nobody] ARGS: tcpipctl ARGS --yes with SUDO_USER=alice, as root or as nobody.
logged() {
    local as=()
    if [[ $1 == --as-nobody ]]; then
        as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        shift
    fi
    SUDO_USER=alice unshare --mount -- bash -c 'mount -t tmpfs tmpfs /dev && ln -s "$0" /dev/log &&
        exec "$@"' "$work/log.sock" "${as[@]}" "$ctl" "${quick[@]}" "$@" --yes >/dev/null
}

# record N: the log's Nth line, once there, after a header that names tcpipctl, facility
# user and priority notice (<13>).
record() {
    for ((i = 0; i < 40 && $(wc -l <"$work/log") < $1; ++i)); do sleep 0.05; done
    [[ $(sed -n "$1p" "$work/log") =~ ^\<13\>.{15}\ tcpipctl\[[0-9]+\]:\ (.*)$ ]] && echo "${BASH_REMATCH[1]}"
}

on="interface=$TESTNET_WORKSTATION_IF user=$(id -un) sudo_user=alice"
logged set 0200000C0001 --ip 198.18.3.21 --mask 255.255.255.000 --gateway 198.18.3.254
expect "a confirmed set, its mask given with leading zeros" 0 "set mac=0200000C0001 $on old=198.18.3.1/255.255.255.0/198.18.3.254 new=198.18.3.21/255.255.255.000/198.18.3.254 reply=198.18.3.21/255.255.255.0/198.18.3.254 outcome=updated" "" -- record 1
logged restart 0200000C0002 --ip 198.18.3.32 --mask 255.255.0.0 --gateway 198.18.0.1
expect "a restart" 0 "restart mac=0200000C0002 $on old=198.18.3.2/255.255.0.0/198.18.0.1 new=198.18.3.32/255.255.0.0/198.18.0.1 outcome=sent" "" -- record 2
chmod a+x "$work" && chmod a+w "$work/log.sock"
logged --as-nobody set 0200000C0001 --ip 198.18.3.1 --mask 255.255.255.0 --gateway 198.18.3.254
expect "SUDO_USER set by a user who is not root names nobody else" 0 "set mac=0200000C0001 interface=$TESTNET_WORKSTATION_IF user=nobody old=198.18.3.21/255.255.255.0/198.18.3.254 new=198.18.3.1/255.255.255.0/198.18.3.254 reply=198.18.3.1/255.255.255.0/198.18.3.254 outcome=updated" "" -- record 3

verdict
