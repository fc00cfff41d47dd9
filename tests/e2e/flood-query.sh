#!/usr/bin/env bash
# flood-query.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: three devices, one of which
# floods the workstation with junk from the first query on and never stops. The query's
# receive loop then never meets a quiet receive; the window must still take the exit
# button and end long before the loop's own bound would end the query.
source "$(dirname "$0")/e2e-lib.sh"

# Far below the loop's bound of 30 s or 100000 datagrams (10 s at this flood's rate).
readonly EXIT_LIMIT_S=5

start_program
screenshot "$work/start.png"
read_memo_lines "$work/start.png"
((${#line_top[@]} == 3)) || fail "the list shows ${#line_top[@]} lines instead of 3"

double_click_at 90 "${line_centre[0]}"
park_pointer
wait_until "$STEP_LIMIT_S" "the query's wait cursor" cursor_busy
flooding() { grep -q ' flood to=' "$TESTNET_SIM_LOG"; }
wait_until "$STEP_LIMIT_S" "the flood" flooding
sleep 1
screenshot "$artifacts/e2e-flood-query.png"
cursor_busy || fail "the query ended although the flood goes on"
note "the query waits under the flood"

click_at "$BUTTON2_X" "$BUTTON_Y"
pressed=$(now_ms)
while kill -0 "$app" 2>/dev/null; do
    (($(now_ms) - pressed < EXIT_LIMIT_S * 1000)) ||
        fail "the program did not end within $EXIT_LIMIT_S s of its exit button under the flood"
    sleep 0.05
done
status=0
wait "$app" || status=$?
app=
((status == 0)) || fail "the program ended with status $status"
note "program ended $(($(now_ms) - pressed)) ms after its exit button, under the flood"
echo "PASS: the exit button ends the program during a flood"
