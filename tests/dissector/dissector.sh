#!/usr/bin/env bash
# dissector.sh corpus LUA WALK_VERDICT CORPUS_DIR: each reply of the reply_walk corpus,
#   behind its request in a capture built with text2pcap, is marked malformed exactly when
#   walk_verdict (the programs' walk) skips, cuts or aborts it, with the values it read;
#   every other pair goes from port 5001 to port 5001, as with --local-port 5001.
# dissector.sh segment LUA TCPIPCTL, in tools/testnet: tcpipctl's requests, read back, also
#   from --local-port 5001 and with the capture cut to 60 bytes a frame.
# tshark gets an empty configuration and plugin folder: no user setting or installed copy.
set -u
mode=$1 lua=$2
for tool in tshark text2pcap mergecap editcap; do
    command -v $tool >/dev/null || { echo "no $tool (tools/install-deps): skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WIRESHARK_CONFIG_DIR=$work/config HOME=$work/home WIRESHARK_PLUGIN_DIR=$work/plugins
mkdir -p "$WIRESHARK_CONFIG_DIR" "$HOME" "$WIRESHARK_PLUGIN_DIR"
passed=0 failed=0
check() {
    [[ $2 == "$3" ]] && { passed=$((passed + 1)); return; }
    failed=$((failed + 1))
    printf 'FAIL %s\n  got:\n%s\n  expected:\n%s\n' "$1" "$2" "$3"
}
read_capture() { tshark -X lua_script:"$lua" -r "$work/capture.pcapng" "$@" 2>>"$work/stderr"; }
# The status catches what aborts tshark, the text what the dissector's Lua raised.
whole_tree() {
    read_capture -V >"$work/tree"
    check "whole tree, no Lua error" "$? $(cat "$work/tree" "$work/stderr" | grep -c 'Lua Error')" "0 0"
}
to_pcap() { od -Ax -tx1 -v | text2pcap -q "$@" 2>>"$work/text2pcap"; }

if [[ $mode == corpus ]]; then
    port=40000
    while read -r name kind outcome cut texts; do
        port=$((port + 1)) marks=0 request=PTN0A1B2CJ read=${texts#*|} local=$port
        [[ $kind == discovery ]] && request=PTN000000J read=${texts%%|*}
        ((port % 2)) || local=5001
        printf %s "$request" | to_pcap -4 10.0.0.1,10.0.0.2 -u $local,5001 - "$work/$port.q.pcap"
        tail -c +2 "$4/$name" | to_pcap -4 10.0.0.2,10.0.0.1 -u 5001,$local - "$work/$port.r.pcap"
        [[ $outcome == complete ]] || marks=1
        [[ $cut == cut && $outcome != skip ]] && marks=$((marks + 1))
        echo "$name $marks $read" >>"$work/expected"
    done < <("$3" "$4"/*)
    # On 5001 and without its request in the capture, a reply is told by its bytes.
    printf 'PTN000001J\1\4\377\377\0\0\2\4\12\0\0\1\12\6\2\0\0\0\0\1\377' |
        to_pcap -4 10.0.0.3,10.0.0.1 -u 5001,5001 - "$work/orphan.pcap"
    mergecap -a -F pcapng -w "$work/capture.pcapng" "$work"/4*.pcap "$work/orphan.pcap"
    # The walk's texts: a "." after each mask or gateway, the MACs' digits run together.
    while IFS='#' read -r want mac mask gateway groups; do
        got="${mask:+${mask//,/.}.}|${gateway:+${gateway//,/.}.}"
        [[ ${want%% *} == *-discovery ]] && got=${mac//[:,]/} && got=${got^^}
        check "${want%% *}" "${want%% *} $(grep -o 117440512 <<<"$groups" | wc -l) $got" "$want"
    done < <(read_capture -Y 'ip.src == 10.0.0.2' -T fields -E separator='#' -e tcpipset.mac \
        -e tcpipset.mask -e tcpipset.gateway -e _ws.expert.group | paste -d'#' "$work/expected" -)
    check "requests unmarked" "$(read_capture -Y 'ip.src == 10.0.0.1 && _ws.expert' | wc -l)" 0
    check "reply without its request" \
        "$(read_capture -Y 'ip.src == 10.0.0.3' -T fields -e _ws.col.Info)" "Reply 020000000001"
    whole_tree
    check "fields" "$(tshark -G fields -X lua_script:"$lua" 2>/dev/null | awk -F'\t' '$3 ~ /^tcpipset\./ {print $3}' | sort | xargs)" \
        "$(printf 'tcpipset.%s\n' command expert.{capture_cut,ends_walk,first_zero,no_end,past_datagram,short_header,too_long} \
            gateway header ip item item.length item.type mac magic mask request_in restart selector | xargs)"
else
    [[ -n ${TESTNET_WORKSTATION_IF:-} ]] || { echo "not inside a tools/testnet segment" >&2; exit 1; }
    tshark -i "$TESTNET_WORKSTATION_IF" -f 'udp port 5001' -w "$work/capture.pcapng" 2>"$work/capturing" &
    # tshark names its file once dumpcap's filter is in place, and says what it captures before.
    for _ in $(seq 100); do grep -q 'File: ' "$work/capturing" && break; sleep 0.1; done
    ctl=("$3" --timeout 300)
    {
        "${ctl[@]}" discover
        "${ctl[@]}" query 020000000001
        "${ctl[@]}" set 020000000001 --yes --ip 198.18.0.20 --mask 255.255.255.0 --gateway 198.18.0.1
        "${ctl[@]}" --local-port 5001 discover
        "${ctl[@]}" --local-port 5001 query 020000000002
        "${ctl[@]}" restart 020000000002 --yes --ip 198.18.0.21 --mask 255.255.0.0 --gateway 198.18.0.254
    } >"$work/ctl" 2>&1
    sleep 0.3
    kill -INT $! && wait $!
    # Info, command, selector, IP text, mask, gateway, restart, MAC, request frame, expert.
    check "capture" "$(read_capture -T fields -E separator='|' -e _ws.col.Info -e tcpipset.command \
        -e tcpipset.selector -e tcpipset.ip -e tcpipset.mask -e tcpipset.gateway -e tcpipset.restart \
        -e tcpipset.mac -e tcpipset.request_in -e _ws.expert.message | sort)" "$(sort <<'EOF'
Discovery request|'J'|000000|||||||
Reply 020000000001|'J'|000001||255.255.0.0|198.18.0.1||02:00:00:00:00:01|1|
Reply 020000000002|'J'|000002||255.255.0.0|198.18.0.1||02:00:00:00:00:02|1|
Query 000001|'J'|000001|||||||
Reply 020000000001|'J'|000001||255.255.0.0|198.18.0.1||02:00:00:00:00:01|4|
Query 000001|'J'|000001|||||||
Reply 020000000001|'J'|000001||255.255.0.0|198.18.0.1||02:00:00:00:00:01|6|
Set 000001 198.18.0.20|'I'|000001|198.18.0.20|255.255.255.0|198.18.0.1||||
Reply 020000000001|'I'|000001||255.255.255.0|198.18.0.1||02:00:00:00:00:01|8|
Discovery request|'J'|000000|||||||
Reply 020000000001|'J'|000001||255.255.255.0|198.18.0.1||02:00:00:00:00:01|10|
Reply 020000000002|'J'|000002||255.255.0.0|198.18.0.1||02:00:00:00:00:02|10|
Query 000002|'J'|000002|||||||
Reply 020000000002|'J'|000002||255.255.0.0|198.18.0.1||02:00:00:00:00:02|13|
Query 000002|'J'|000002|||||||
Reply 020000000002|'J'|000002||255.255.0.0|198.18.0.1||02:00:00:00:00:02|15|
Restart 000002 198.18.0.21|'I'|000002|198.18.0.21|255.255.0.0|198.18.0.254|1|||
Reply 020000000002|'I'|000002||255.255.0.0|198.18.0.254||02:00:00:00:00:02|17|
EOF
)"
    whole_tree
    # Cut at 60 bytes a frame, 18 of the datagram: every reply and the set and restart end
    # in the capture's mark, none in a fault.
    editcap -s 60 "$work/capture.pcapng" "$work/cut.pcapng" && mv "$work/cut.pcapng" "$work/capture.pcapng"
    check "snap length 60" "$(read_capture -T fields -E separator='|' -e _ws.col.Info -e _ws.expert.group |
        sort | uniq -c)" "$(cat <<'EOF'
      2 Discovery request|
      2 Query 000001|
      2 Query 000002|
     10 Reply [capture cut short]|83886080
      1 Set or restart 000001 198.18.0 [capture cut short]|83886080
      1 Set or restart 000002 198.18.0 [capture cut short]|83886080
EOF
)"
    whole_tree
fi
echo "$passed passed, $failed failed"
((failed == 0))
