#!/usr/bin/env bash
# two-segments.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: the window on a workstation
# with two segments, no default route and loose rp_filter, one device on the first
# interface and two on the second (three lines, as many as the list shows with room for
# the empty last line, so that it never scrolls). The list must hold all three; each
# line's query must reach its own segment only; a set of a device on the second segment must reach that
# segment only, move the device and be confirmed.
source "$(dirname "$0")/e2e-lib.sh"

readonly EXPECTED_DEVICES=3
readonly NEW_ADDRESS=198.19.96.77
# What testnet gives the generated devices of the second segment.
readonly SECOND_MASK=255.255.224.0 SECOND_GATEWAY=198.19.64.1

start_program
screenshot "$artifacts/e2e-two-segments.png"
note "screenshot: $artifacts/e2e-two-segments.png"

answered=$(for log in "${sim_logs[@]}"; do
    discovery=$(log_of_kind discovery "$log")
    [[ $(grep -c . <<<"$discovery") == 1 ]] ||
        fail "expected one discovery request on each segment, $log has: $discovery"
    log_field "$discovery" devices | tr ',' '\n'
done | sort)
[[ $(grep -c . <<<"$answered") == "$EXPECTED_DEVICES" ]] ||
    fail "the two segments did not answer for $EXPECTED_DEVICES devices: $answered"

read_memo_lines "$artifacts/e2e-two-segments.png"
((${#line_top[@]} == EXPECTED_DEVICES)) ||
    fail "the list shows ${#line_top[@]} lines of text instead of $EXPECTED_DEVICES"

# select_line fails unless each query reaches exactly one segment.
queried=()
second_line=
for ((i = 0; i < EXPECTED_DEVICES; ++i)); do
    select_line "$i"
    queried+=("$queried_mac")
    if [[ $queried_log == "$TESTNET_SIM2_LOG" ]]; then
        [[ $queried_mac == 0200000B* ]] || fail "$queried_mac of the first segment was asked on the second"
        second_line=$i
    else
        [[ $queried_mac != 0200000B* ]] || fail "$queried_mac of the second segment was asked on the first"
    fi
done
listed=$(printf '%s\n' "${queried[@]}" | sort)
[[ $listed == "$answered" ]] ||
    fail "the listed lines queried ${queried[*]}, the devices are $(tr '\n' ' ' <<<"$answered")"
[[ -n $second_line ]] || fail "no line belongs to the second segment"

select_line "$second_line"
mac=$queried_mac
wait_until "$STEP_LIMIT_S" "the three fields filled by the query" fields_filled
first_before=$(requests_seen "$TESTNET_SIM_LOG")
retype_field 0 "$NEW_ADDRESS"
click_at "$BUTTON1_X" "$BUTTON_Y"
confirm "$work/confirm.png"
result_shown() { window_shown tcpipset || window_shown "$ERROR_CAPTION"; }
wait_until "$STEP_LIMIT_S" "the result of the set" result_shown
window_gone "$ERROR_CAPTION" || fail "the window reported an error instead of the update"
screenshot "$artifacts/e2e-two-segments-set.png"
xdotool key Return
wait_until "$STEP_LIMIT_S" "the notice to close" window_gone tcpipset

line=$(log_of_kind set "$TESTNET_SIM2_LOG" | tail -1)
[[ $(log_field "$line" devices) == "$mac" ]] || fail "the set did not reach $mac: $line"
expected="$(text_hex "PTN${mac:6:6}I$NEW_ADDRESS")0104$(dotted_hex "$SECOND_MASK")0204$(dotted_hex "$SECOND_GATEWAY")FF"
[[ $(log_field "$line" bytes) == "$expected" ]] ||
    fail "the set request is not the one for the fields: got $(log_field "$line" bytes), expected $expected"
(($(requests_seen "$TESTNET_SIM_LOG") == first_before)) ||
    fail "the set of $mac reached the first segment too"
note "only the second segment received the set for $NEW_ADDRESS"

close_program

query_device "$mac"
[[ $dev_address == "$NEW_ADDRESS" ]] || fail "$mac answers from $dev_address, not from $NEW_ADDRESS"
note "$mac now answers from $dev_address"
echo "PASS: both segments listed, each request kept to its device's segment"
