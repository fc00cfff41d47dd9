#!/usr/bin/env bash
# segment-burst.sh: how many of a thousand or more replies that arrive all at once the
# discovery keeps, and how long it takes, on a throwaway segment made by tools/testnet.
#
#   bench/segment-burst.sh PROGRAM TCPIPCTL TCPIPSIM
#
# A switch delivers the replies of every print server on a segment back to back, so a
# discovery on a large segment sees them in one burst: tcpipsim --burst sends them so,
# with sendmmsg. The kernel's default receive buffer (212,992 bytes) holds only about
# 255 such small datagrams, each counted at far more than its few dozen bytes; what the
# program does not take away in time is dropped. This measures, for 1000 and 4000
# devices:
#   - tcpipctl discover with the system's default buffer (--receive-buffer 0) and with
#     the 4 MiB one it asks for by default: lines listed against replies sent (tcpipsim's
#     matched= count), the command's wall time, what it said on stderr (drop warnings),
#     and the receive buffer granted and the drops counted on its socket, as ss shows
#     them while it waits out its receive time-out;
#   - the window under Xvfb, which always asks for 4 MiB: the time from its start until
#     the main window is on screen (it shows only once its discovery has ended), the
#     lines of its list (read by selecting all and copying, since the list shows only a
#     few of them) against replies sent, and the receive buffer that its socket was
#     granted and the drops counted on it, as ss shows them.
# Every case runs RUNS times, each in a segment of its own, with tcpipsim on a processor of
# its own (testnet --split-cpus), as a switch does not take the workstation's processor
# to deliver its replies; a table ends the output.
# Nothing here fails on a timing: a missing binary, tool or root makes it say why it
# skips and exit 0, so that `make bench` runs on any machine. A binary given as "-" is not
# built: without the window (PROGRAM) only its cases are left out.
#
# Inside the segment the script runs itself again with an --inner-* mode, which writes
# one tab-separated result line to a file; work holds its scratch folder.
set -euo pipefail

readonly DEVICE_COUNTS=(1000 4000)
readonly RUNS=3
readonly MAIN_CAPTION='TCP/IP設定ユーティリティ'
readonly POLL_S=0.02
readonly WINDOW_LIMIT_S=60
readonly CTL_SOCKET_LOOK_S=0.5 CTL_SOCKET_POLL_S=0.05
readonly CLIPBOARD_LIMIT_S=20
# A spot inside the list, in the window's client coordinates.
readonly LIST_X=90 LIST_Y=100
readonly SKIP_STATUS=77

self=$(realpath "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$self")/.." && pwd)
testnet=$repo/tools/testnet
work=

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The replies that tcpipsim sent to discovery requests, and how many requests there were.
answered() {
    grep -oE ' kind=discovery matched=[0-9]+' "$TESTNET_SIM_LOG" |
        awk -F= '{ sum += $NF; n++ } END { print sum + 0, n + 0 }'
}

# Lines of text that are not empty.
count_lines() { grep -c . "$1" || true; }

# --inner-ctl RESULT TCPIPCTL [options...]: one discovery by tcpipctl.
# Result: listed, answered, wall ms, notes.
inner_ctl() {
    local result=$1 ctl=$2 start wall status=0 replies requests notes
    shift 2
    local pid socket='' seen
    work=$(mktemp -d /tmp/segment-burst-ctl.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    start=$(now_ms)
    "$ctl" "$@" discover >"$work/out" 2>"$work/err" </dev/null &
    pid=$!
    # The burst is over within a few tens of ms, and tcpipctl then waits out its receive
    # time-out (1 s) with its socket open: ss looks at it only then, so as not to take
    # the processor from it while the replies arrive.
    sleep "$CTL_SOCKET_LOOK_S"
    while kill -0 "$pid" 2>/dev/null; do
        seen=$(socket_state "$pid")
        [[ -z $seen ]] || socket=$seen
        sleep "$CTL_SOCKET_POLL_S"
    done
    wait "$pid" || status=$?
    wall=$(($(now_ms) - start))
    read -r replies requests < <(answered)
    notes=$(tr -s '\n\t' '  ' <"$work/err" | sed 's/ *$//')
    notes="ss: ${socket:-no socket seen}${notes:+; $notes}"
    ((status == 0)) || notes="status $status${notes:+; $notes}"
    ((requests == 1)) || notes="$requests discovery requests${notes:+; $notes}"
    printf '%s\t%s\t%s\t%s\n' "$(count_lines "$work/out")" "$replies" "$wall" "$notes" >"$result"
}

main_window() { xdotool search --onlyvisible --name "^$MAIN_CAPTION\$" 2>/dev/null | head -1 || true; }

# The receive buffer granted and the drops counted on every UDP socket of process PID.
socket_state() {
    ss -uanmpH 2>/dev/null | grep -A1 -F "pid=$1," |
        sed -n 's/.*skmem:(.*rb\([0-9]*\),.*d\([0-9]*\)).*/rb=\1 drops=\2/p' | paste -sd ' ' || true
}

# --inner-window RESULT PROGRAM: the window's start and its discovery.
# Result: listed, answered, ms until the window is shown, notes.
inner_window() {
    local result=$1 program=$2 start app deadline replies requests
    local shown='' window='' listed=- notes=''
    work=$(mktemp -d /tmp/segment-burst-window.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    start=$(now_ms)
    "$program" </dev/null >/dev/null 2>"$work/err" &
    app=$!
    deadline=$((start + WINDOW_LIMIT_S * 1000))
    while kill -0 "$app" 2>/dev/null && (($(now_ms) < deadline)); do
        window=$(main_window)
        if [[ -n $window ]]; then
            shown=$(($(now_ms) - start))
            break
        fi
        sleep "$POLL_S"
    done
    if [[ -z $shown ]]; then
        notes="no main window within ${WINDOW_LIMIT_S} s: $(tr -s '\n' ' ' <"$work/err")"
        shown=-
    else
        notes=$(socket_state "$app")
        # The list holds the caret once clicked; select all and copy put its whole text on
        # the clipboard, which the program serves for as long as it runs.
        xdotool mousemove --window "$window" "$LIST_X" "$LIST_Y" click 1
        xdotool key ctrl+a ctrl+c
        deadline=$(($(now_ms) + CLIPBOARD_LIMIT_S * 1000))
        until xclip -o -selection clipboard >"$work/list" 2>/dev/null && [[ -s $work/list ]]; do
            if (($(now_ms) >= deadline)); then
                notes+="${notes:+; }nothing on the clipboard within ${CLIPBOARD_LIMIT_S} s"
                break
            fi
            sleep "$POLL_S"
        done
        [[ ! -s $work/list ]] || listed=$(count_lines "$work/list")
    fi
    kill -TERM "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    read -r replies requests < <(answered)
    ((requests == 1)) || notes="$requests discovery requests${notes:+; $notes}"
    printf '%s\t%s\t%s\t%s\n' "$listed" "$replies" "$shown" "$notes" >"$result"
}

# --inner-rmem RESULT: whether a new namespace's net.core.rmem_max could be lowered there.
# Only looks: writes nothing.
inner_rmem() {
    local file=/proc/sys/net/core/rmem_max
    if [[ ! -e $file ]]; then
        echo absent >"$1"
    elif [[ -w $file ]]; then
        echo "writable $(cat "$file")" >"$1"
    else
        echo "read-only $(cat "$file")" >"$1"
    fi
}

case ${1:-} in
--inner-ctl)
    shift
    inner_ctl "$@"
    exit 0
    ;;
--inner-window)
    shift
    inner_window "$@"
    exit 0
    ;;
--inner-rmem)
    shift
    inner_rmem "$@"
    exit 0
    ;;
esac

skip() {
    echo "segment-burst: skipped: $*"
    exit 0
}

(($# == 3)) || skip "usage: bench/segment-burst.sh PROGRAM TCPIPCTL TCPIPSIM (- for one not built)"
program=$1
tcpipctl=$2
tcpipsim=$3
((EUID == 0)) || skip "needs root for the network namespaces of tools/testnet"
[[ $tcpipctl != - ]] || skip "tcpipctl is not built"
[[ $tcpipsim != - ]] || skip "tcpipsim is not built"
[[ -x $tcpipctl ]] || skip "no tcpipctl at '$tcpipctl'"
[[ -x $tcpipsim ]] || skip "no tcpipsim at '$tcpipsim'"
for tool in ip ss awk; do
    command -v "$tool" >/dev/null || skip "the $tool command is missing"
done

window_cases=1
window_reason=
if [[ $program == - ]]; then
    window_reason="the window is not built"
elif [[ ! -x $program ]]; then
    window_reason="no program at '$program'"
else
    for tool in Xvfb xdotool xclip; do
        command -v "$tool" >/dev/null || window_reason="$tool is missing (tools/install-deps)"
    done
fi
[[ -z $window_reason ]] || window_cases=0

work=$(mktemp -d /tmp/segment-burst.XXXXXX)
trap 'rm -rf "$work"' EXIT

# segment N [testnet options...] -- inner mode and arguments: one run in a new segment
# with N devices answering in a burst; skips everything when no segment can be made.
segment() {
    local devices=$1 status=0
    shift
    "$testnet" --devices "$devices" --sim-arg --burst --split-cpus --sim-bin "$tcpipsim" "$@" ||
        status=$?
    ((status != SKIP_STATUS)) || skip "tools/testnet cannot make a segment here"
    return "$status"
}

median() { printf '%s\n' "$@" | grep -E '^[0-9]+$' | sort -n | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : "-" }'; }

rows=()
# run_case NAME N testnet options... -- inner mode and arguments (RESULT is added first).
run_case() {
    local name=$1 devices=$2 run result listed replies ms notes
    local -a pairs=() times=() all_notes=() before=() after=()
    shift 2
    while [[ $1 != -- ]]; do
        before+=("$1")
        shift
    done
    shift
    after=("$@")
    for ((run = 1; run <= RUNS; ++run)); do
        result=$work/result
        rm -f "$result"
        segment "$devices" "${before[@]}" -- "$self" "${after[0]}" "$result" "${after[@]:1}" ||
            true
        if [[ -s $result ]]; then
            IFS=$'\t' read -r listed replies ms notes <"$result"
        else
            listed=- replies=- ms=- notes="no result: the run failed"
        fi
        pairs+=("$listed/$replies")
        times+=("$ms")
        [[ -z $notes ]] || all_notes+=("run $run: $notes")
        echo "segment-burst: $name, run $run: listed/answered $listed/$replies, $ms ms${notes:+, $notes}"
    done
    local joined=-
    if ((${#all_notes[@]} == RUNS)) && [[ $(printf '%s\n' "${all_notes[@]#run * }" | sort -u | wc -l) == 1 ]]; then
        joined="every run: ${all_notes[0]#run 1: }"
    elif ((${#all_notes[@]})); then
        joined=$(printf '%s | ' "${all_notes[@]}")
        joined=${joined% | }
    fi
    rows+=("$name"$'\t'"$RUNS"$'\t'"${pairs[*]}"$'\t'"$(median "${times[@]}")"$'\t'"$joined")
}

for devices in "${DEVICE_COUNTS[@]}"; do
    run_case "tcpipctl N=$devices, default buffer (--receive-buffer 0)" "$devices" -- \
        --inner-ctl "$tcpipctl" --receive-buffer 0
    run_case "tcpipctl N=$devices, 4 MiB (no option)" "$devices" -- --inner-ctl "$tcpipctl"
    if ((window_cases)); then
        run_case "window N=$devices, 4 MiB" "$devices" --xvfb -- --inner-window "$program"
    fi
done

# The window's default-buffer case would need its 4 MiB request capped by a lower
# net.core.rmem_max inside its namespace, where it runs unprivileged. Whether that
# sysctl can be lowered there is looked up, never tried on the machine's own.
rmem_note=
if ((window_cases)); then
    rm -f "$work/rmem"
    "$testnet" --no-sim -- "$self" --inner-rmem "$work/rmem" || true
    read -r rmem_state rmem_value <"$work/rmem" || rmem_state=unknown
    case $rmem_state in
    absent)
        rmem_note="net.core.rmem_max is the machine's alone, not a network namespace's" ;;
    read-only)
        rmem_note="a new network namespace copies net.core.rmem_max from the machine's ($rmem_value) and cannot change it there" ;;
    writable)
        rmem_note="net.core.rmem_max could be lowered in a namespace here, but this script does not run that case yet" ;;
    *)
        rmem_note="could not look at net.core.rmem_max in a namespace" ;;
    esac
fi

echo
{
    printf 'case\truns\tlisted/answered per run\tmedian ms\tnotes\n'
    printf '%s\n' "${rows[@]}"
} | awk -F'\t' '
    { for (i = 1; i <= NF; ++i) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
    NF > fields { fields = NF }
    END {
        for (r = 1; r <= NR; ++r) {
            line = ""
            for (i = 1; i <= fields; ++i) line = line sprintf(i < fields ? "%-" width[i] "s  " : "%s", cell[r, i])
            print line
        }
    }'
echo
echo "tcpipctl: median ms is the wall time of the discover command; notes are its socket's receive buffer and drops, from ss, then what it printed on stderr."
if ((window_cases)); then
    echo "window: median ms is from its start to the main window on screen; notes are its socket's receive buffer and drops, from ss."
fi
echo "rb is the buffer as the kernel counts it: twice a request (4 MiB: 8388608), or the system's default."
if ((window_cases)); then
    echo "window N=..., default buffer: not measured: $rmem_note; the machine-wide value is left alone."
else
    echo "window cases: not measured: $window_reason."
fi
