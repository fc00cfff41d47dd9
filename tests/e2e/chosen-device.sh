#!/usr/bin/env bash
# chosen-device.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: the window on a workstation
# with two segments, no default route and loose rp_filter: device A on the first segment,
# device B on the second, and there too a twin T whose MAC ends as A's does but that keeps
# silent at the discovery. The list must hold A and B only, and a set of A must reach the
# first segment only. Once the first interface has lost its address, a query, set and
# restart of A must send nothing at all (T must not take them) and show one and the same
# error dialog instead.
source "$(dirname "$0")/e2e-lib.sh"

readonly A_MAC=0200000A0001 B_MAC=0200000B0001 T_MAC=04:00:00:0A:00:01 T_ADDRESS=198.19.96.20
readonly NEW_ADDRESS=198.18.0.77 LATER_ADDRESS=198.18.0.78
readonly A_MASK=255.255.0.0 A_GATEWAY=198.18.0.1

[[ -n ${TESTNET_SIM2_LOG:-} ]] || fail "the case needs the second segment"

start_program
screenshot "$work/start.png"
read_memo_lines "$work/start.png"
((${#line_top[@]} == 2)) || fail "the list shows ${#line_top[@]} lines instead of two (A and B)"

# select_line fails unless each query reaches exactly one segment and one device.
a_line=
listed=()
for i in 0 1; do
    select_line "$i"
    listed+=("$queried_mac")
    [[ $queried_mac != "$A_MAC" ]] || a_line=$i
done
[[ $(printf '%s\n' "${listed[@]}" | sort | paste -sd ' ') == "$A_MAC $B_MAC" ]] ||
    fail "the lines queried ${listed[*]} instead of A ($A_MAC) and B ($B_MAC)"

# With the interface in place: the set of A reaches the first segment only.
select_line "$a_line"
[[ $queried_log == "$TESTNET_SIM_LOG" ]] || fail "A was queried on the second segment"
wait_until "$STEP_LIMIT_S" "the three fields filled by the query of A" fields_filled
retype_field 0 "$NEW_ADDRESS"
click_at "$BUTTON1_X" "$BUTTON_Y"
confirm "$work/confirm.png"
result_shown() { window_shown tcpipset || window_shown "$ERROR_CAPTION"; }
wait_until "$STEP_LIMIT_S" "the result of the set of A" result_shown
window_gone "$ERROR_CAPTION" || fail "the window reported an error instead of the update of A"
xdotool key Return
wait_until "$STEP_LIMIT_S" "the notice to close" window_gone tcpipset
line=$(log_of_kind set | tail -1)
[[ $(log_field "$line" devices) == "$A_MAC" ]] || fail "the set did not reach A: $line"
[[ -z $(log_of_kind set "$TESTNET_SIM2_LOG") ]] ||
    fail "the set of A reached the second segment: $(log_of_kind set "$TESTNET_SIM2_LOG")"
note "the set of A reached the first segment only"

ip addr flush dev "$TESTNET_WORKSTATION_IF" || fail "cannot flush $TESTNET_WORKSTATION_IF"
note "$TESTNET_WORKSTATION_IF has lost its address"
seen1=$(requests_seen "$TESTNET_SIM_LOG")
seen2=$(requests_seen "$TESTNET_SIM2_LOG")

nothing_sent() {
    (($(requests_seen "$TESTNET_SIM_LOG") == seen1)) ||
        fail "$1 reached the first segment: $(tail -1 "$TESTNET_SIM_LOG")"
    (($(requests_seen "$TESTNET_SIM2_LOG") == seen2)) ||
        fail "$1 reached the second segment: $(tail -1 "$TESTNET_SIM2_LOG")"
}

# refused WHAT: after the press that starts WHAT, confirms if a confirmation comes, waits
# for the dialog that ends it, checks that nothing was sent and that the dialog is the
# error, and keeps the error dialog's picture as $work/WHAT.png.
dialog_up() { window_shown "$CONFIRM_CAPTION" || result_shown; }
refused() {
    wait_until "$STEP_LIMIT_S" "a dialog after the $1 of A" dialog_up
    if window_shown "$CONFIRM_CAPTION"; then
        xdotool key Return
        wait_until "$STEP_LIMIT_S" "the result of the $1 of A" result_shown
    fi
    nothing_sent "the $1 of A"
    window_shown "$ERROR_CAPTION" || fail "the $1 of A ended without the error dialog"
    # The pointer off the dialog, so that no button shows its hover state in the picture.
    xdotool mousemove 0 0
    sleep 0.2
    import -window "$(window_named "$ERROR_CAPTION")" "$work/$1.png" ||
        fail "cannot take a picture of the error dialog"
    cp "$work/$1.png" "$artifacts/e2e-chosen-device-$1.png"
    xdotool key Return
    wait_until "$STEP_LIMIT_S" "the error dialog to close" window_gone "$ERROR_CAPTION"
    note "the $1 of A sent nothing and was refused"
}

# Types ADDRESS and A's mask and gateway into the fields unless all three hold text.
refill() {
    ! fields_filled || return 0
    retype_field 0 "$1"
    retype_field 1 "$A_MASK"
    retype_field 2 "$A_GATEWAY"
}

retype_field 0 "$LATER_ADDRESS"
refill "$LATER_ADDRESS"
click_at "$BUTTON1_X" "$BUTTON_Y"
refused set

double_click_at 90 "${line_centre[a_line]}"
refused query

refill "$LATER_ADDRESS"
click_at "$BUTTON3_X" "$BUTTON_Y"
refused restart

for what in query restart; do
    compare -metric AE "$work/set.png" "$work/$what.png" null: 2>/dev/null ||
        fail "the error dialog of the $what differs from that of the set (see $artifacts)"
done

close_program

# The twin was there all along and answers a query on the second segment.
query_device "$T_MAC"
[[ $dev_address == "$T_ADDRESS" ]] || fail "the twin answers from $dev_address, not from $T_ADDRESS"
echo "PASS: A listed and set on its own segment only; once its interface lost its address, nothing reached the twin"
