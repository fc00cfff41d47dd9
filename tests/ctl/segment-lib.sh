# Sourced by the tcpipctl segment scripts, which tools/testnet runs inside its segment:
#   <script> TCPIPCTL
# Gives them `expect`, `sent_since` and the verdict; every case prints one line, "ok" or
# "FAIL" with what differed, and the script fails when one case failed.
# shellcheck shell=bash disable=SC2034 # ctl, quick and work are for the sourcing script
set -u

# tcpipctl speaks the language of LC_MESSAGES: the cases read its English, and a case that
# reads another language names it. LANGUAGE would pick a language over a locale but C.
export LC_ALL=C
unset LANGUAGE

ctl=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

# The commands broadcast: anywhere but in a throwaway segment they would reach a real
# network, so the scripts refuse to run elsewhere.
if [[ -z ${TESTNET_WORKSTATION_NS:-} || $(ip netns identify $$ 2>/dev/null) != "$TESTNET_WORKSTATION_NS" ]]; then
    echo "not inside a tools/testnet segment: nothing run" >&2
    exit 1
fi

# Short receive time-outs keep the cases quick; the segment answers within microseconds.
quick=(--timeout 300)

fail() {
    echo "FAIL $1"
    shift
    printf '     %s\n' "$@"
    failures=$((failures + 1))
}

# expect NAME STATUS OUT ERR [STDIN] -- COMMAND...
# OUT and ERR are the exact texts written, each ending in a line break unless empty;
# an ERR of the form "~RE" is matched as an extended regular expression instead.
# STDIN, /dev/null unless given, is the file the command reads.
expect() {
    local name=$1 want_status=$2 want_out=$3 want_err=$4 input=/dev/null
    shift 4
    if [[ $1 != -- ]]; then
        input=$1
        shift
    fi
    shift
    "$@" <"$input" >"$work/out" 2>"$work/err"
    local status=$?
    local out err problems=()
    out=$(cat "$work/out"; echo .)
    err=$(cat "$work/err"; echo .)
    out=${out%.}
    err=${err%.}
    [[ -z $want_out ]] || want_out+=$'\n'
    ((status == want_status)) || problems+=("exit status $status, expected $want_status")
    [[ $out == "$want_out" ]] || problems+=("stdout: $(printf '%q' "$out")" "expected: $(printf '%q' "$want_out")")
    if [[ $want_err == "~"* ]]; then
        [[ $err =~ ${want_err#\~} ]] || problems+=("stderr: $(printf '%q' "$err")" "expected to match: ${want_err#\~}")
    else
        [[ -z $want_err ]] || want_err+=$'\n'
        [[ $err == "$want_err" ]] || problems+=("stderr: $(printf '%q' "$err")" "expected: $(printf '%q' "$want_err")")
    fi
    if ((${#problems[@]} == 0)); then
        echo "ok   $name"
        passed=$((passed + 1))
    else
        fail "$name" "command: $*" "${problems[@]}"
    fi
}

# expect_lines NAME STATUS PATTERN... -- COMMAND...: the command ends with STATUS and its
# standard output has a line matching each extended regular expression PATTERN, and none
# matching a PATTERN written as "!RE".
expect_lines() {
    local name=$1 want_status=$2 patterns=() problems=() pattern status
    shift 2
    while [[ $1 != -- ]]; do
        patterns+=("$1")
        shift
    done
    shift
    "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
    ((status == want_status)) || problems+=("exit status $status, expected $want_status")
    for pattern in "${patterns[@]}"; do
        if [[ $pattern == '!'* ]]; then
            ! grep -qE -- "${pattern#!}" "$work/out" || problems+=("a line matches ${pattern#!}")
        else
            grep -qE -- "$pattern" "$work/out" || problems+=("no line matches $pattern")
        fi
    done
    if ((${#problems[@]} == 0)); then
        echo "ok   $name"
        passed=$((passed + 1))
    else
        fail "$name" "command: $*" "${problems[@]}" "stdout:" "$(cat "$work/out")"
    fi
}

# The number of datagrams tcpipsim has received so far; LOG names another tcpipsim's log.
requests_seen() {
    grep -c ' rx ' "${1:-$TESTNET_SIM_LOG}" || true
}

# expect_sent NAME COUNT BEFORE [LOG]: COUNT requests reached the devices since BEFORE was
# taken with requests_seen.
expect_sent() {
    local seen
    seen=$(requests_seen "${4:-$TESTNET_SIM_LOG}")
    if ((seen - $3 == $2)); then
        echo "ok   $1"
        passed=$((passed + 1))
    else
        fail "$1" "$((seen - $3)) requests reached the devices, expected $2"
    fi
}

# The last request that tcpipsim logged.
last_request() {
    grep ' rx ' "$TESTNET_SIM_LOG" | tail -1
}

expect_last_request() {
    local line
    line=$(last_request)
    if [[ $line == *"$2"* ]]; then
        echo "ok   $1"
        passed=$((passed + 1))
    else
        fail "$1" "last request: $line" "expected it to hold: $2"
    fi
}

verdict() {
    echo "$passed passed, $failures failed"
    ((failures == 0))
}
