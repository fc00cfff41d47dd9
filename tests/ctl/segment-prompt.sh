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

set_question="Change the TCP/IP address? [y/N] "
new_a=(--ip 198.18.3.51 --mask 255.255.255.0 --gateway 198.18.3.254)

on_terminal "set names the device and address, asks and goes on for y" 0 y \
    "0200000C0001 -> 198.18.3.51: ${set_question}The TCP/IP address was updated." \
    "$ctl" "${quick[@]}" set 0200000C0001 "${new_a[@]}"
expect_last_request "the set after y was sent" "kind=set matched=1 devices=0200000C0001"

before=$(requests_seen)
on_terminal "set answered n is cancelled" 1 n "${set_question}Cancelled." \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.52 --mask 255.255.255.0 --gateway 198.18.3.254
on_terminal "set at the end of input is cancelled" 1 "" "${set_question}"$'\n'"Cancelled." \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.52 --mask 255.255.255.0 --gateway 198.18.3.254
# The addresses are checked before the question: an n would otherwise cancel with status 1.
on_terminal "a refused address is reported before any question" 2 n \
    "tcpipctl: --ip 198.18.3.255: the broadcast address of its subnet with --mask 255.255.255.0" \
    "$ctl" "${quick[@]}" set 0200000C0001 --ip 198.18.3.255 --mask 255.255.255.0 --gateway 198.18.3.254
expect_sent "nothing sent after n, the end of input or a refusal" 0 "$before"

restart_question="0200000C0002 -> 198.18.3.53: Reset the print server at IP address 198.18.3.53? [y/N] "
on_terminal "restart names the device and address and goes on for yes" 0 yes "$restart_question" \
    "$ctl" "${quick[@]}" restart 0200000C0002 --ip 198.18.3.53 --mask 255.255.0.0 --gateway 198.18.0.1
expect_last_request "the restart after yes was sent" "kind=restart matched=1 devices=0200000C0002"
before=$(requests_seen)
on_terminal "restart answered n is cancelled" 1 n "${restart_question}Cancelled." \
    "$ctl" "${quick[@]}" restart 0200000C0002 --ip 198.18.3.53 --mask 255.255.0.0 --gateway 198.18.0.1
expect_sent "nothing sent after n" 0 "$before"

# --yes on a terminal asks nothing.
on_terminal "set --yes on a terminal asks nothing" 0 "" "The TCP/IP address was updated." \
    "$ctl" "${quick[@]}" set 0200000C0001 --yes --ip 198.18.3.54 --mask 255.255.255.0 --gateway 198.18.3.254
if grep -q "y/N" "$work/terminal"; then
    fail "set --yes shows no question" "terminal: $(cat "$work/terminal")"
else
    echo "ok   set --yes shows no question"
    passed=$((passed + 1))
fi

# Under a Japanese locale the questions and outcomes are the window's Japanese, byte for
# byte as the window words them; tcpipctl's own messages stay English around them.
ja=(env LC_ALL=ja_JP.UTF-8 "$ctl" "${quick[@]}")
on_terminal "in Japanese, set asks and is updated" 0 y \
    "0200000C0001 -> 198.18.3.55: TCP/IPアドレスを変更しますか。 [y/N] TCP/IPアドレスは更新されました。" \
    "${ja[@]}" set 0200000C0001 --ip 198.18.3.55 --mask 255.255.255.0 --gateway 198.18.3.254
on_terminal "in Japanese, set answered n is cancelled" 1 n \
    "TCP/IPアドレスを変更しますか。 [y/N] キャンセルされました。" \
    "${ja[@]}" set 0200000C0001 --ip 198.18.3.56 --mask 255.255.255.0 --gateway 198.18.3.254
on_terminal "in Japanese, restart answered n is cancelled" 1 n \
    "0200000C0002 -> 198.18.3.53  IPアドレスのプリントサーバーをリセットしますか。 [y/N] キャンセルされました。" \
    "${ja[@]}" restart 0200000C0002 --ip 198.18.3.53 --mask 255.255.0.0 --gateway 198.18.0.1
expect "in Japanese, a set that is not confirmed" 1 \
    $'TCP/IPアドレスは更新されませんでした。\n0200000C0006 holds 198.18.3.6 255.255.0.0 198.18.0.1' "" -- \
    "${ja[@]}" set 0200000C0006 --yes --ip 198.18.3.57 --mask 255.255.0.0 --gateway 198.18.0.1
expect "in Japanese, a set without an answer times out" 1 "" \
    "tcpipctl: no device answered the set for 0200000C0010 within 300 ms (タイムアウトが発生しました。)" -- \
    "${ja[@]}" set 0200000C0010 --yes --ip 198.18.3.58 --mask 255.255.0.0 --gateway 198.18.0.1
expect "in Japanese, a query without an answer times out" 1 "" \
    "tcpipctl: no device answered the query for 0200000C0003 within 300 ms (タイムアウトが発生しました。)" -- \
    "${ja[@]}" query 0200000C0003

# LC_ALL=C is English, whatever LANG and LANGUAGE ask for: set, query, a time-out and a
# cancelled question show no Japanese character.
c=(env LC_ALL=C LANG=ja_JP.UTF-8 LANGUAGE=ja "$ctl" "${quick[@]}")
: >"$work/english"
for typed in y n; do
    printf '%s\n' "$typed" | script -qec "$(printf '%q ' "${c[@]}" set 0200000C0001 \
        --ip 198.18.3.59 --mask 255.255.255.0 --gateway 198.18.3.254)" /dev/null >>"$work/english" 2>&1
done
"${c[@]}" query 0200000C0001 >>"$work/english" 2>&1
"${c[@]}" query 0200000C0003 >>"$work/english" 2>&1
"${c[@]}" set 0200000C0010 --yes --ip 198.18.3.58 --mask 255.255.0.0 --gateway 198.18.0.1 >>"$work/english" 2>&1
japanese='[\x{3000}-\x{30ff}\x{4e00}-\x{9fff}\x{ff00}-\x{ffef}]'
missing=()
for shown in 'was updated.' 'Cancelled.' $'\n198.18.3.59\n' 'query for 0200000C0003 within' \
    'set for 0200000C0010 within'; do
    [[ $(tr -d '\r' <"$work/english") == *"$shown"* ]] || missing+=("$shown")
done
if LC_ALL=C.UTF-8 grep -qP "$japanese" "$work/english" || ((${#missing[@]} != 0)); then
    fail "under LC_ALL=C nothing is Japanese" "missing: ${missing[*]}" "$(cat "$work/english")"
else
    echo "ok   under LC_ALL=C nothing is Japanese"
    passed=$((passed + 1))
fi

verdict
