#!/usr/bin/env bash
# restart.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: inside a testnet segment with
# three simulated devices, select the third listed device, press リスタート and confirm.
# The device must receive the restart request carrying the field texts, the three fields
# must be emptied, and no dialog may follow.
source "$(dirname "$0")/e2e-lib.sh"

start_program
screenshot "$work/start.png"
read_memo_lines "$work/start.png"
((${#line_top[@]} >= 3)) || fail "the list shows ${#line_top[@]} lines, the test needs three"

select_line 2
mac=$queried_mac
wait_until "$STEP_LIMIT_S" "the three fields filled by the query" fields_filled
screenshot "$artifacts/e2e-restart-selected.png"
query_device "$mac"
note "$mac holds $dev_address $dev_mask $dev_gateway"

before=$(count_of_kind restart)
click_at "$BUTTON3_X" "$BUTTON_Y"
confirm "$artifacts/e2e-restart-confirm.png"

restart_arrived() { (($(count_of_kind restart) > before)); }
wait_until "$STEP_LIMIT_S" "the restart request at tcpipsim" restart_arrived
note "the restart request is at tcpipsim"
park_pointer
wait_until "$STEP_LIMIT_S" "the three fields emptied" fields_empty
screenshot "$artifacts/e2e-restart.png"
note "screenshot: $artifacts/e2e-restart.png"

line=$(log_of_kind restart | tail -1)
[[ $(log_field "$line" devices) == "$mac" ]] || fail "the restart did not reach $mac: $line"
expected="$(text_hex "PTN${mac:6:6}I$dev_address")0104$(dotted_hex "$dev_mask")0204$(dotted_hex "$dev_gateway")100101FF"
[[ $(log_field "$line" bytes) == "$expected" ]] ||
    fail "the restart request is not the one for the fields: got $(log_field "$line" bytes), expected $expected"
note "tcpipsim received the restart of $mac"

for caption in "$CONFIRM_CAPTION" "$ERROR_CAPTION" tcpipset; do
    window_gone "$caption" || fail "a dialog \"$caption\" followed the restart"
done
# The restart is most likely still draining answers for a receive time-out: the exit
# button is handled at once, and the program ends when the drain returns, which it could
# not if the restart put up a dialog at its end.
close_program
(($(count_of_kind restart) == before + 1)) || fail "tcpipsim saw $(($(count_of_kind restart) - before)) restart requests instead of one"
echo "PASS: the device got its restart and the fields were emptied"
