#!/usr/bin/env bash
# flood-start.sh PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR: three devices, one of which
# floods the workstation with junk from the discovery on and never stops. The discovery
# at start then never meets a quiet receive; it must end at its bound all the same, the
# window must show the three devices, and its exit button must end it.
source "$(dirname "$0")/e2e-lib.sh"

# The loop's bound is 30 s or 100000 datagrams; generous room above it on a busy machine.
start_limit_s=90
start_program
screenshot "$artifacts/e2e-flood-start.png"
note "screenshot: $artifacts/e2e-flood-start.png"
grep -q ' flood to=' "$TESTNET_SIM_LOG" || fail "tcpipsim never flooded"
read_memo_lines "$artifacts/e2e-flood-start.png"
((${#line_top[@]} == 3)) || fail "the list shows ${#line_top[@]} lines instead of 3"
close_program
echo "PASS: the window shows after a discovery under a flood, and ends"
