#!/usr/bin/env bash
# tcpipctl set and restart on a terminal, in a segment with tests/ctl/devices.txt: each
# runs under a pseudo-terminal (script from util-linux) that types the answer.
# shellcheck source=segment-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/segment-lib.sh"

# on_terminal NAME STATUS ANSWER WANTED COMMAND...: runs the command on a terminal that
# types ANSWER (nothing but the end of input when empty) and expects STATUS and the
# terminal to show WANTED, the prompt and the outcome in the order written.
on_terminal() {
    local name=$1 want_status=$2 answer=$3 wanted=$4
    shift 4
    local line
    printf -v line '%q ' "$@"
    if [[ -n $answer ]]; then
        printf '%s\n' "$answer" >"$work/typed"
    else
        : >"$work/typed"
    fi
    script -qec "$line" /dev/null <"$work/typed" >"$work/terminal" 2>&1
    local status=$?
    local shown
    shown=$(tr -d '\r' <"$work/terminal")
    local problems=()
    ((status == want_status)) || problems+=("exit status $status, expected $want_status")
    [[ $shown == *"$wanted"* ]] || problems+=("terminal: $(printf '%q' "$shown")" "expected to hold: $(printf '%q' "$wanted")")
    if ((${#problems[@]} == 0)); then
        echo "ok   $name"
        passed=$((passed + 1))
    else
        fail "$name" "command: $line" "${problems[@]}"
    fi
}

set_question="TCP/IPアドレスを変更しますか。 [y/N] "
new_a=(--ip 198.18.3.51 --mask 255.255.255.0 --gateway 198.18.3.254)

on_terminal "set names the device and address, asks and goes on for y" 0 y \
    "0200000C0001 -> 198.18.3.51: ${set_question}TCP/IPアドレスは更新されました。" \
    "$ctl" "${quick[@]}" set 0200000C0001 "${new_a[@]}"
expect_last_request "the set after y was sent" "kind=set matched=1 devices=0200000C0001"

before=$(requests_seen)
on_terminal "set answered n is cancelled" 1 n "${set_question}キャンセルされました。" \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.52 --mask 255.255.255.0 --gateway 198.18.3.254
on_terminal "set at the end of input is cancelled" 1 "" "${set_question}"$'\n'"キャンセルされました。" \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.52 --mask 255.255.255.0 --gateway 198.18.3.254
# The addresses are checked before the question: an n would otherwise cancel with status 1.
on_terminal "a refused address is reported before any question" 2 n \
    "tcpipctl: --ip 198.18.3.255: the broadcast address of its subnet with --mask 255.255.255.0" \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.255 --mask 255.255.255.0 --gateway 198.18.3.254
expect_sent "nothing sent after n, the end of input or a refusal" 0 "$before"

restart_question="0200000C0002 -> 198.18.3.53  IPアドレスのプリントサーバーをリセットしますか。 [y/N] "
on_terminal "restart names the device and address and goes on for yes" 0 yes "$restart_question" \
    "$ctl" "${quick[@]}" restart 0200000C0002 --ip 198.18.3.53 --mask 255.255.0.0 --gateway 198.18.0.1
expect_last_request "the restart after yes was sent" "kind=restart matched=1 devices=0200000C0002"
before=$(requests_seen)
on_terminal "restart answered n is cancelled" 1 n "${restart_question}キャンセルされました。" \
    "$ctl" "${quick[@]}" restart 0200000C0002 --ip 198.18.3.53 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "nothing sent after n" 0 "$before"

# --yes on a terminal asks nothing.
on_terminal "set --yes on a terminal asks nothing" 0 "" "TCP/IPアドレスは更新されました。" \
    "$ctl" "${quick[@]}" set 0200000C0001 --yes --ip 198.18.3.54 --mask 255.255.255.0 --gateway 198.18.3.254
if grep -q "y/N" "$work/terminal"; then
    fail "set --yes shows no question" "terminal: $(cat "$work/terminal")"
else
    echo "ok   set --yes shows no question"
    passed=$((passed + 1))
fi

verdict
