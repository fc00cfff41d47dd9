#!/usr/bin/env bash
# segment-burst.sh: how many of a thousand or more replies that arrive all at once the
# discovery keeps, how many it loses and whether it says so, on a throwaway segment made
# by tools/testnet.
#
#   bench/segment-burst.sh PROGRAM TCPIPCTL TCPIPSIM
#   SEGMENT_BURST_RUNS=1 bench/segment-burst.sh ...     (a short smoke run)
#
# A switch delivers the replies of every print server on a segment back to back, so a
# discovery on a large segment sees them in one burst: tcpipsim --burst sends them so,
# with sendmmsg. Without root a socket's receive buffer is capped by net.core.rmem_max
# (212,992 bytes on a stock system, counted double by the kernel), which holds only some
# 280 such small datagrams; the endpoint then spreads the burst over a receive group of
# sockets sharing its port. The stock unprivileged case is played here as root by asking
# for that buffer: tcpipctl --receive-buffer 212992, and the window with
# TCPIPSET_RECEIVE_BUFFER=212992. For 1000 and 4000 devices:
#   - tcpipctl discover: lines listed against replies sent (tcpipsim's matched= count),
#     and the N of its "tcpipctl: N datagrams dropped" warning (0 without one);
#   - the window under Xvfb: the lines of its list (read by selecting all and copying,
#     since the list shows only a few of them) against replies sent, and any dialog it
#     shows before or after its main window: its caption, and the number of lost replies
#     it names, read by copying its text (- when that gives no number);
#   - for both, the drops the kernel counted (ss: skmem d<N>) summed over every UDP
#     socket of the process, with the number of those sockets and their receive buffers,
#     looked at only once the burst is over, while the program waits out its time-out.
# A further row does the same for tcpipctl with the 4 MiB it asks for by default, which
# root is granted in full.
# Every case runs RUNS times (SEGMENT_BURST_RUNS, default 10), each run in a segment of its
# own, once unpinned (the replies compete with the receiver for the processors, as on a
# workstation) and once with tcpipsim on a processor of its own (testnet --split-cpus, as
# a switch takes none of the workstation's); a table ends the output.
# Nothing here fails on a timing: a missing binary, tool or root makes it say why it
# skips and exit 0, so that `make bench` runs on any machine. A binary given as "-" is not
# built: without the window (PROGRAM), or with one that does not read
# TCPIPSET_RECEIVE_BUFFER, only its cases are left out.
#
# Inside the segment the script runs itself again with an --inner-* mode, which writes
# one tab-separated result line to a file; work holds its scratch folder.
set -euo pipefail

readonly DEVICE_COUNTS=(1000 4000)
readonly RUNS=${SEGMENT_BURST_RUNS:-10}
readonly STOCK_BUFFER=212992
# The window speaks Japanese, as the captions below and the scripts' screenshots expect.
export LC_ALL=ja_JP.UTF-8 LANGUAGE=
readonly MAIN_CAPTION='TCP/IP設定ユーティリティ'
readonly POLL_S=0.05
readonly REQUEST_LIMIT_S=20 WINDOW_LIMIT_S=60
# After the discovery request the burst is over within a few tens of ms: sockets and
# windows are looked at only this long after it, so as not to take the processor from
# the receiver while the replies arrive.
readonly LOOK_AFTER_S=0.5
# How long a dialog may still come once the main window is on screen.
readonly DIALOG_GRACE_MS=1500
readonly DIALOG_COPY_S=1 DIALOG_CLOSE_MS=2000 CLIPBOARD_LIMIT_S=20
# A spot inside the list, in the window's client coordinates.
readonly LIST_X=90 LIST_Y=100
readonly SKIP_STATUS=77

self=$(realpath "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$self")/.." && pwd)
testnet=$repo/tools/testnet
work=

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# A sleep that starts no process: a read that times out on a pipe nobody writes to.
pause() {
    [[ -n ${pause_fd:-} ]] || exec {pause_fd}<> <(:)
    read -rt "$1" -u "$pause_fd" || true
}

# The replies that tcpipsim sent to discovery requests, and how many requests there were.
answered() {
    grep -oE ' kind=discovery matched=[0-9]+' "$TESTNET_SIM_LOG" |
        awk -F= '{ sum += $NF; n++ } END { print sum + 0, n + 0 }'
}

# Whether tcpipsim has logged a discovery request; builtins only, as it is asked often.
request_seen() {
    local line
    while IFS= read -r line; do
        [[ $line != *' kind=discovery'* ]] || return 0
    done <"$TESTNET_SIM_LOG"
    return 1
}

# Waits until the discovery request is logged and LOOK_AFTER_S more, or PID has ended,
# or REQUEST_LIMIT_S have passed; false in the last case.
wait_for_burst() {
    local pid=$1 deadline=$(($(now_ms) + REQUEST_LIMIT_S * 1000))
    until request_seen; do
        kill -0 "$pid" 2>/dev/null || return 0
        (($(now_ms) < deadline)) || return 1
        pause "$POLL_S"
    done
    pause "$LOOK_AFTER_S"
}

# Appends to the file SAMPLES one line per UDP socket of process PID: a sample number,
# the socket's descriptor, its receive buffer and the datagrams dropped on it.
sample_sockets() {
    local pid=$1 samples=$2
    sample_number=$((${sample_number:-0} + 1))
    ss -uanmpH 2>/dev/null | awk -v owner="pid=$pid,fd=" -v n="$sample_number" '
        at { at = 0; if (match($0, /rb[0-9]+/)) rb = substr($0, RSTART + 2, RLENGTH - 2)
             if (match($0, /,d[0-9]+\)/)) print n, fd, rb, substr($0, RSTART + 2, RLENGTH - 3) }
        (i = index($0, owner)) { fd = substr($0, i + length(owner)) + 0; at = 1 }
    ' >>"$samples" || true
}

# From the samples: the drops counted (each socket's highest count, summed over the
# sockets) and the sockets seen (the most at one time, and their buffers).
socket_summary() {
    local samples=$1
    if [[ ! -s $samples ]]; then
        printf -- '-\tno socket seen\n'
        return
    fi
    awk '
        { if (!($2 in drops) || $4 > drops[$2]) drops[$2] = $4; count[$1]++; rb[$3] = 1 }
        END {
            for (fd in drops) sum += drops[fd]
            for (n in count) if (count[n] > most) most = count[n]
            for (b in rb) buffers = buffers (buffers == "" ? "" : "/") b
            printf "%d\t%d socket%s, rb %s\n", sum, most, most == 1 ? "" : "s", buffers
        }' "$samples"
}

# Lines of text that are not empty.
count_lines() { grep -c . "$1" || true; }

# --inner-ctl RESULT TCPIPCTL [options...]: one discovery by tcpipctl.
# Result: listed, answered, drops counted, drops reported, wall ms, sockets, notes.
inner_ctl() {
    local result=$1 ctl=$2 start wall status=0 replies requests notes reported counted sockets
    shift 2
    local pid
    work=$(mktemp -d /tmp/segment-burst-ctl.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    start=$(now_ms)
    # Its warnings are read below in English words, whatever the caller's language.
    LC_ALL=C "$ctl" "$@" discover >"$work/out" 2>"$work/err" </dev/null &
    pid=$!
    # tcpipctl waits out its receive time-out (1 s) after the burst with its sockets open.
    wait_for_burst "$pid" || true
    while kill -0 "$pid" 2>/dev/null; do
        sample_sockets "$pid" "$work/samples"
        pause "$POLL_S"
    done
    wait "$pid" || status=$?
    wall=$(($(now_ms) - start))
    read -r replies requests < <(answered)
    IFS=$'\t' read -r counted sockets < <(socket_summary "$work/samples")
    reported=$(sed -n 's/^tcpipctl: \([0-9]*\) datagrams dropped.*/\1/p' "$work/err" | head -1)
    notes=$(grep -v ' datagrams dropped' "$work/err" | tr -s '\n\t' '  ' | sed 's/ *$//' || true)
    ((status == 0)) || notes="status $status${notes:+; $notes}"
    ((requests == 1)) || notes="$requests discovery requests${notes:+; $notes}"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(count_lines "$work/out")" "$replies" "$counted" \
        "${reported:-0}" "$wall" "$sockets" "$notes" >"$result"
}

# The visible windows of process PID, one id a line.
windows_of() { xdotool search --onlyvisible --pid "$1" 2>/dev/null || true; }

# Whether window W is the main window: not a dialog (whose types are DIALOG, NORMAL), with
# its caption.
is_main_window() {
    ! xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG &&
        [[ $(xdotool getwindowname "$1" 2>/dev/null) == "$MAIN_CAPTION" ]]
}

# The text now on the clipboard, into FILE; false while there is none, or only OLD's.
clipboard_into() {
    local file=$1 old=${2:-}
    xclip -o -selection clipboard >"$file" 2>/dev/null && [[ -s $file ]] &&
        { [[ -z $old ]] || ! cmp -s "$file" "$old"; }
}

# Dialog window W of process app: its caption and, when copying its text gives one, the
# numbers in it go to the variables dialog_caption and dialog_numbers (- without a
# number); then it is answered with Return (Escape when that does not close it). Its text
# is kept in $work/dialog for the list's copy to tell apart. Keys go by the XTEST
# extension to the focused window: the program ignores keys sent to a window.
handle_dialog() {
    local w=$1 deadline key
    dialog_caption=$(xdotool getwindowname "$w" 2>/dev/null || echo '?')
    dialog_numbers=-
    xdotool windowfocus --sync "$w" key ctrl+c 2>/dev/null || true
    deadline=$(($(now_ms) + DIALOG_COPY_S * 1000))
    until clipboard_into "$work/dialog"; do
        (($(now_ms) < deadline)) || break
        pause "$POLL_S"
    done
    if [[ -s $work/dialog ]]; then
        dialog_numbers=$(grep -oE '[0-9][0-9,]*' "$work/dialog" | tr -d , | paste -sd , || true)
        dialog_numbers=${dialog_numbers:--}
    fi
    for key in Return Escape; do
        xdotool windowfocus --sync "$w" key "$key" 2>/dev/null || true
        deadline=$(($(now_ms) + DIALOG_CLOSE_MS))
        while windows_of "$app" | grep -qx "$w"; do
            (($(now_ms) < deadline)) || continue 2
            pause "$POLL_S"
        done
        return
    done
    dialog_caption+=" (would not close)"
}

# --inner-window RESULT BUFFER PROGRAM: the window's start and its discovery, with
# TCPIPSET_RECEIVE_BUFFER=BUFFER (- leaves it unset).
# Result: listed, answered, drops counted, drops reported, ms until its first window is
# shown (the main window, or a dialog before it: either comes once the discovery ended),
# sockets, notes.
inner_window() {
    local result=$1 buffer=$2 program=$3 start deadline replies requests w where note
    local shown='' main_at='' main='' listed=- reported=0 notes='' counted sockets
    local -A known=()
    local -a dialogs=()
    work=$(mktemp -d /tmp/segment-burst-window.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    [[ $buffer == - ]] || export TCPIPSET_RECEIVE_BUFFER=$buffer
    start=$(now_ms)
    "$program" </dev/null >/dev/null 2>"$work/err" &
    app=$!
    deadline=$((start + WINDOW_LIMIT_S * 1000))
    wait_for_burst "$app" || notes="no discovery request within ${REQUEST_LIMIT_S} s"
    # The main window shows once the discovery has ended; a dialog may come before it, or
    # just after.
    while kill -0 "$app" 2>/dev/null && (($(now_ms) < deadline)); do
        sample_sockets "$app" "$work/samples"
        for w in $(windows_of "$app"); do
            [[ -z ${known[$w]:-} ]] || continue
            [[ -n $shown ]] || shown=$(($(now_ms) - start))
            if is_main_window "$w"; then
                known[$w]=main
                main=$w
                main_at=$(now_ms)
            else
                known[$w]=dialog
                where=before
                [[ -z $main ]] || where=after
                handle_dialog "$w"
                printf -v note "dialog '%s' %s the main window, numbers: %s" \
                    "$dialog_caption" "$where" "$dialog_numbers"
                dialogs+=("$note")
                [[ $reported != 0 ]] || reported=$dialog_numbers
            fi
        done
        [[ -z $main_at ]] || (($(now_ms) < main_at + DIALOG_GRACE_MS)) || break
        pause "$POLL_S"
    done
    if [[ -z $main ]]; then
        notes+="${notes:+; }no main window within ${WINDOW_LIMIT_S} s:"
        notes+=" $(tr -s '\n' ' ' <"$work/err")"
        shown=${shown:--}
    else
        # The list holds the caret once clicked; select all and copy put its whole text on
        # the clipboard, which the program serves for as long as it runs.
        xdotool mousemove --window "$main" "$LIST_X" "$LIST_Y" click 1
        xdotool key ctrl+a ctrl+c
        deadline=$(($(now_ms) + CLIPBOARD_LIMIT_S * 1000))
        until clipboard_into "$work/list" "$work/dialog"; do
            if (($(now_ms) >= deadline)); then
                notes+="${notes:+; }nothing on the clipboard within ${CLIPBOARD_LIMIT_S} s"
                rm -f "$work/list"
                break
            fi
            pause "$POLL_S"
        done
        [[ ! -s $work/list ]] || listed=$(count_lines "$work/list")
    fi
    kill -TERM "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    read -r replies requests < <(answered)
    IFS=$'\t' read -r counted sockets < <(socket_summary "$work/samples")
    ((${#dialogs[@]} == 0)) || notes+="${notes:+; }$(printf '%s; ' "${dialogs[@]}" | sed 's/; $//')"
    ((requests == 1)) || notes="$requests discovery requests${notes:+; $notes}"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$listed" "$replies" "$counted" "$reported" "$shown" \
        "$sockets" "$notes" >"$result"
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
esac

skip() {
    echo "segment-burst: skipped: $*"
    exit 0
}

[[ $RUNS =~ ^[1-9][0-9]*$ ]] || {
    echo "segment-burst: SEGMENT_BURST_RUNS must be a number of runs, 1 or more: '$RUNS'" >&2
    exit 2
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
elif ! grep -qaF TCPIPSET_RECEIVE_BUFFER "$program"; then
    window_reason="the window does not read TCPIPSET_RECEIVE_BUFFER"
else
    for tool in Xvfb xdotool xclip xprop; do
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
    "$testnet" --devices "$devices" --sim-arg --burst --sim-bin "$tcpipsim" "$@" || status=$?
    ((status != SKIP_STATUS)) || skip "tools/testnet cannot make a segment here"
    return "$status"
}

# The cases: a name, the number of devices, testnet's options and the inner mode with
# its arguments (RESULT is put in after the mode), the words joined by the unit separator.
readonly US=$'\x1f'
cases=()
add_case() {
    local IFS=$US
    cases+=("$*")
}
for devices in "${DEVICE_COUNTS[@]}"; do
    add_case "tcpipctl N=$devices, stock buffer (--receive-buffer $STOCK_BUFFER)" "$devices" \
        -- --inner-ctl "$tcpipctl" --receive-buffer "$STOCK_BUFFER"
    if ((window_cases)); then
        add_case "window N=$devices, stock buffer (TCPIPSET_RECEIVE_BUFFER=$STOCK_BUFFER)" \
            "$devices" --xvfb -- --inner-window "$STOCK_BUFFER" "$program"
    fi
    add_case "tcpipctl N=$devices, 4 MiB (no option)" "$devices" -- --inner-ctl "$tcpipctl"
done
readonly PLACEMENTS=(unpinned pinned)

# Per case and placement, one word per run: listed/answered, counted/reported, ms; the
# notes and the sockets seen, one line per run.
declare -A pairs=() drops=() times=() notes_of=() sockets_of=()

# run_once CASE PLACEMENT RUN: one run of a case.
run_once() {
    local name devices inner=() before=() after=() key="$1/$2" result=$work/result
    local listed replies counted reported ms sockets notes
    IFS=$US read -r -a inner <<<"${cases[$1]}"
    name=${inner[0]} devices=${inner[1]}
    inner=("${inner[@]:2}")
    while [[ ${inner[0]} != -- ]]; do
        before+=("${inner[0]}")
        inner=("${inner[@]:1}")
    done
    after=("${inner[@]:1}")
    [[ $2 == unpinned ]] || before+=(--split-cpus)
    rm -f "$result"
    segment "$devices" "${before[@]}" -- "$self" "${after[0]}" "$result" "${after[@]:1}" || true
    if [[ -s $result ]]; then
        IFS=$'\t' read -r listed replies counted reported ms sockets notes <"$result"
    else
        listed=- replies=- counted=- reported=- ms=- sockets='' notes="no result: the run failed"
    fi
    pairs[$key]+="$listed/$replies "
    drops[$key]+="$counted/$reported "
    times[$key]+="$ms "
    sockets_of[$key]+="$sockets"$'\n'
    [[ -z $notes ]] || notes_of[$key]+="run $3: $notes"$'\n'
    echo "segment-burst: $name, $2, run $3: listed/answered $listed/$replies," \
        "drops counted/reported $counted/$reported, $ms ms," \
        "${sockets:-no socket seen}${notes:+, $notes}"
}

# The runs go round the cases and placements, so that a drift of the machine's load
# spreads over all of them.
for ((run = 1; run <= RUNS; ++run)); do
    for c in "${!cases[@]}"; do
        for placement in "${PLACEMENTS[@]}"; do
            run_once "$c" "$placement" "$run"
        done
    done
done

median() { printf '%s\n' "$@" | grep -E '^[0-9]+$' | sort -n | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : "-" }'; }

# Runs in which every reply sent was listed.
complete() {
    local pair listed replies n=0
    for pair in $1; do
        IFS=/ read -r listed replies <<<"$pair"
        [[ $listed != "$replies" || $replies == - || $replies == 0 ]] || n=$((n + 1))
    done
    echo "$n/$RUNS"
}

# The notes of all runs, or "every run: ..." when they are the same.
joined_notes() {
    local lines=$1
    [[ -n $lines ]] || {
        echo -
        return
    }
    local bodies
    bodies=$(awk '{ sub(/^run [0-9]+: /, "") } 1' <<<"$lines" | sort -u | grep . || true)
    if (($(grep -c . <<<"$lines") == RUNS && $(grep -c . <<<"$bodies") == 1)); then
        echo "every run: $bodies"
    else
        grep . <<<"$lines" | paste -sd '|' | sed 's/|/ | /g'
    fi
}

# The distinct lines of the input, each with the number of runs it came from.
runs_of_each() {
    grep . | sort | uniq -c |
        awk '{ n = $1; sub(/^ *[0-9]+ /, "")
               printf "%s%s (%d run%s)", sep, $0, n, n == 1 ? "" : "s"; sep = "; " }'
}

rows=()
socket_notes=()
for c in "${!cases[@]}"; do
    name=${cases[$c]%%"$US"*}
    seen=
    for placement in "${PLACEMENTS[@]}"; do
        key=$c/$placement
        # shellcheck disable=SC2086 # one word per run
        cells=("$name" "$placement" "$(complete "${pairs[$key]}")" "${pairs[$key]% }"
            "${drops[$key]% }" "$(median ${times[$key]})" "$(joined_notes "${notes_of[$key]:-}")")
        rows+=("$(IFS=$'\t' && echo "${cells[*]}")")
        seen+=${sockets_of[$key]}
    done
    socket_notes+=("$name: $(runs_of_each <<<"$seen")")
done

echo
{
    printf 'case\tcpus\tcomplete\tlisted/answered per run\tdrops counted/reported per run\tmedian ms\tnotes\n'
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
cat <<'EOF'
cpus: unpinned, the replies compete with the receiver for the processors; pinned,
  tcpipsim has a processor of its own (testnet --split-cpus).
complete: runs in which every reply sent was listed (listed == answered, tcpipsim's
  matched= count).
drops counted: the kernel's (ss skmem d), summed over every UDP socket of the process;
  reported: tcpipctl's "N datagrams dropped" (0 without it), or the numbers in the text
  of the window's dialog (- when its text could not be copied, 0 without a dialog).
median ms: tcpipctl, the wall time of the discover command; the window, from its start to
  its first window on screen (the main window, or a dialog before it).
receive sockets seen (UDP sockets of the process at one time, with their buffers as the
kernel counts them, twice a request; runs of both placements):
EOF
printf '  %s\n' "${socket_notes[@]}"
if ((!window_cases)); then
    echo "window cases: not measured: $window_reason."
fi
