#!/usr/bin/env bash
# discovery.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: inside a testnet segment with
# three simulated devices, the window must list all three. A line on the screen is only
# taken as a device's MAC address when double-clicking it sends that device's query; the
# empty line below the last one must select nothing.
source "$(dirname "$0")/e2e-lib.sh"

readonly EXPECTED_DEVICES=3

start_program
screenshot "$artifacts/e2e-discovery.png"
note "screenshot: $artifacts/e2e-discovery.png"

discoveries=$(log_of_kind discovery)
[[ $(grep -c . <<<"$discoveries") == 1 ]] ||
    fail "expected one discovery request before the window showed, tcpipsim saw: $discoveries"
answered=$(log_field "$discoveries" devices | tr ',' '\n' | sort)
[[ $(grep -c . <<<"$answered") == "$EXPECTED_DEVICES" ]] ||
    fail "tcpipsim did not answer the discovery for $EXPECTED_DEVICES devices: $discoveries"

read_memo_lines "$artifacts/e2e-discovery.png"
((${#line_top[@]} == EXPECTED_DEVICES)) ||
    fail "the list shows ${#line_top[@]} lines of text instead of $EXPECTED_DEVICES"
for i in 1 2; do
    pitch=$((line_top[i] - line_top[i - 1]))
    ((pitch == line_pitch)) || fail "uneven lines in the list: pitch $line_pitch, then $pitch"
done

queried=()
for i in 0 1 2; do
    select_line "$i"
    queried+=("$queried_mac")
done
listed=$(printf '%s\n' "${queried[@]}" | sort)
[[ $listed == "$answered" ]] ||
    fail "the listed lines queried ${queried[*]}, the devices are $(tr '\n' ' ' <<<"$answered")"

# Below the last address stands the empty line that the last line break leaves.
before=$(count_of_kind query)
double_click_at 90 $((line_centre[2] + line_pitch))
wait_until "$STEP_LIMIT_S" "the notice for the empty line" window_shown tcpipset
screenshot "$work/empty-line.png"
xdotool key Return
wait_until "$STEP_LIMIT_S" "the notice for the empty line to close" window_gone tcpipset
(($(count_of_kind query) == before)) || fail "the empty line sent a query"
note "the empty line selects nothing"

close_program
note "listed: ${queried[*]}"
echo "PASS: discovery lists all $EXPECTED_DEVICES devices"
