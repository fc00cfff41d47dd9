#!/usr/bin/env bash
# set-address.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: inside a testnet segment with
# three simulated devices, select the second listed device, type a new IP address into the
# window, press IP設定 and confirm. The device must receive exactly the set request for
# the field texts, the window must report the update, and afterwards the device must
# answer a query from its new address.
source "$(dirname "$0")/e2e-lib.sh"

readonly NEW_ADDRESS=198.18.77.42

start_program
screenshot "$work/start.png"
read_memo_lines "$work/start.png"
((${#line_top[@]} >= 2)) || fail "the list shows ${#line_top[@]} lines, the test needs two"

select_line 1
mac=$queried_mac
wait_until "$STEP_LIMIT_S" "the three fields filled by the query" fields_filled
query_device "$mac"
note "$mac holds $dev_address $dev_mask $dev_gateway"
[[ $dev_address != "$NEW_ADDRESS" ]] || fail "$mac already holds $NEW_ADDRESS"

retype_field 0 "$NEW_ADDRESS"
park_pointer
screenshot "$artifacts/e2e-set-entered.png"
before=$(count_of_kind set)
click_at "$BUTTON1_X" "$BUTTON_Y"
confirm "$artifacts/e2e-set-confirm.png"

# The result is one of two dialogs: the notice, captioned with the application title, or
# the error dialog.
result_shown() { window_shown tcpipset || window_shown "$ERROR_CAPTION"; }
wait_until "$STEP_LIMIT_S" "the result of the set" result_shown
window_gone "$ERROR_CAPTION" || {
    screenshot "$artifacts/e2e-set-notice.png"
    fail "the window reported an error instead of the update"
}
screenshot "$artifacts/e2e-set-notice.png"
note "screenshot: $artifacts/e2e-set-notice.png"
xdotool key Return
wait_until "$STEP_LIMIT_S" "the notice to close" window_gone tcpipset

(($(count_of_kind set) == before + 1)) || fail "tcpipsim saw $(($(count_of_kind set) - before)) set requests instead of one"
line=$(log_of_kind set | tail -1)
[[ $(log_field "$line" devices) == "$mac" ]] || fail "the set did not reach $mac: $line"
expected="$(text_hex "PTN${mac:6:6}I$NEW_ADDRESS")0104$(dotted_hex "$dev_mask")0204$(dotted_hex "$dev_gateway")FF"
[[ $(log_field "$line" bytes) == "$expected" ]] ||
    fail "the set request is not the one for the fields: got $(log_field "$line" bytes), expected $expected"
note "tcpipsim received the set for $NEW_ADDRESS"

close_program

query_device "$mac"
[[ $dev_address == "$NEW_ADDRESS" ]] || fail "$mac answers from $dev_address, not from $NEW_ADDRESS"
[[ $dev_address == 198.18.* ]] || fail "$mac left the device range: $dev_address"
note "$mac now answers from $dev_address"
echo "PASS: the device moved to $NEW_ADDRESS"
