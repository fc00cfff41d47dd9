# e2e-lib.sh: sourced by the end-to-end scripts, which run inside a tools/testnet segment
# with --xvfb and simulated devices, as
#   SCRIPT PROGRAM TCPIPCTL ARTIFACT_DIR POINTER_CURSOR
# It drives the real window with xdotool and reads it back from screenshots; what the
# program sent is read from tcpipsim's request log. There is no window manager: every
# window stands where it puts itself and has no frame, so window and client origin agree.
# shellcheck shell=bash
# shellcheck disable=SC2034 # the constants and results are the sourcing scripts' to use

set -u

# The window speaks Japanese, as the captions below and the scripts' screenshots expect.
export LC_ALL=ja_JP.UTF-8 LANGUAGE=
readonly MAIN_CAPTION='TCP/IP設定ユーティリティ'
readonly CONFIRM_CAPTION='警告'
readonly ERROR_CAPTION='エラー'
# Generous limits: on a loaded two-core machine running two of these at once, every step
# can take many times its usual span. Nothing here asserts how fast anything is.
readonly WINDOW_LIMIT_S=30
readonly STEP_LIMIT_S=20

# Client rectangles of the controls, as the window lays them out.
readonly MEMO_X=48 MEMO_Y=56 MEMO_W=185 MEMO_H=89
readonly EDIT_X=152 EDIT_W=113 EDIT_H=21
readonly -a EDIT_Y=(176 216 256)
readonly BUTTON_Y=324
readonly BUTTON1_X=56 BUTTON2_X=144 BUTTON3_X=232
# A spot of bare form, away from every control and from where a tooltip can show, where
# the pointer rests while the scripts watch its cursor and take screenshots.
readonly PARK_X=262 PARK_Y=160

program=$1
tcpipctl=$2
artifacts=$3
pointer_cursor=$4
case_name=$(basename "$0" .sh)
work=$(mktemp -d "/tmp/e2e-$case_name.XXXXXX")
app=
window=
win_x=0
win_y=0
rest_cursor=

trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts" || {
    echo "FAIL: cannot create the artifact folder $artifacts" >&2
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

started_ms=$(now_ms)

note() { echo "[$(($(now_ms) - started_ms)) ms] $*"; }

# Ends the case with a message, keeping a screenshot of how the screen looked and the
# simulator's log, which together nearly always tell what went wrong.
fail() {
    echo "FAIL: $*" >&2
    import -window root "$artifacts/e2e-$case_name-failure.png" 2>/dev/null &&
        echo "screen at the failure: $artifacts/e2e-$case_name-failure.png" >&2
    echo "--- tcpipsim log" >&2
    cat "${TESTNET_SIM_LOG:-/dev/null}" >&2
    [[ -z $app ]] || kill "$app" 2>/dev/null
    exit 1
}

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails naming WHAT.
wait_until() {
    local limit_s=$1 what=$2
    shift 2
    local deadline=$(($(now_ms) + limit_s * 1000))
    until "$@"; do
        (($(now_ms) < deadline)) || fail "$what: not within ${limit_s} s"
        program_alive || fail "$what: the program ended"
        sleep 0.1
    done
}

program_alive() { [[ -n $app ]] && kill -0 "$app" 2>/dev/null; }

# The id of the visible top-level window whose caption is exactly CAPTION, if there is one.
window_named() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}

window_shown() { [[ -n $(window_named "$1") ]]; }

window_gone() { [[ -z $(window_named "$1") ]]; }

# Starts the program and waits for its main window (start_limit_s seconds at most when the
# script sets it, else WINDOW_LIMIT_S), then takes the cursor at rest.
start_program() {
    "$program" &
    app=$!
    wait_until "${start_limit_s:-$WINDOW_LIMIT_S}" "the main window" window_shown "$MAIN_CAPTION"
    window=$(window_named "$MAIN_CAPTION")
    local info
    info=$(xwininfo -id "$window")
    win_x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    win_y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    note "main window $window at $win_x,$win_y"
    park_pointer
    sleep 0.2
    rest_cursor=$(cursor_id)
    [[ -n $rest_cursor ]] || fail "cannot read the pointer's cursor"
    note "cursor at rest: $rest_cursor"
}

# Presses the exit button and waits for the program to end with status 0.
close_program() {
    click_at "$BUTTON2_X" "$BUTTON_Y"
    local pressed
    pressed=$(now_ms)
    local deadline=$(($(now_ms) + STEP_LIMIT_S * 1000))
    while kill -0 "$app" 2>/dev/null; do
        (($(now_ms) < deadline)) || fail "the program did not end after its exit button"
        sleep 0.1
    done
    local status=0
    wait "$app" || status=$?
    app=
    ((status == 0)) || fail "the program ended with status $status"
    note "program ended $(($(now_ms) - pressed)) ms after its exit button"
}

click_at() { xdotool mousemove --window "$window" "$1" "$2" click 1; }

double_click_at() { xdotool mousemove --window "$window" "$1" "$2" click --repeat 2 --delay 80 1; }

park_pointer() { xdotool mousemove --window "$window" "$PARK_X" "$PARK_Y"; }

# The application-wide wait cursor shows over bare form as well, so the parked pointer
# sees it. A named cursor is known by its name, an unnamed one (no cursor theme) by its
# serial.
cursor_id() {
    local serial name
    read -r serial name < <("$pointer_cursor") || fail "cannot read the pointer's cursor"
    if [[ $name == - ]]; then echo "$serial"; else echo "$name"; fi
}

cursor_busy() { [[ $(cursor_id) != "$rest_cursor" ]]; }

cursor_at_rest() { [[ $(cursor_id) == "$rest_cursor" ]]; }

# Waits for an operation that the last event started: first its wait cursor (it waits at
# least one receive time-out, a second, under it), then the cursor back at rest.
wait_for_operation() {
    local what=$1
    park_pointer
    wait_until "$STEP_LIMIT_S" "$what: the wait cursor" cursor_busy
    wait_until "$STEP_LIMIT_S" "$what: the cursor back at rest" cursor_at_rest
}

screenshot() { import -window root "$1" || fail "cannot take a screenshot to $1"; }

# dark_pixels FILE X Y W H: how many pixels of the client rectangle are dark.
dark_pixels() {
    local file=$1 x=$(($2 + win_x)) y=$(($3 + win_y))
    convert "$file" -crop "$4x$5+$x+$y" +repage -colorspace gray -threshold 50% -negate \
        -format '%[fx:round(mean*w*h)]' info:
}

# A caret alone darkens one column of about the field's text height; a text of a few
# characters darkens far more.
readonly TEXT_PIXELS_MIN=30

# field_has_text FILE N: whether address field N (0 to 2) shows text in the screenshot.
field_has_text() {
    local pixels
    pixels=$(dark_pixels "$1" $((EDIT_X + 3)) $((EDIT_Y[$2] + 3)) $((EDIT_W - 6)) $((EDIT_H - 6)))
    ((pixels >= TEXT_PIXELS_MIN))
}

fields_filled() {
    screenshot "$work/fields.png"
    local n
    for n in 0 1 2; do
        field_has_text "$work/fields.png" "$n" || return 1
    done
}

fields_empty() {
    screenshot "$work/fields.png"
    local n
    for n in 0 1 2; do
        ! field_has_text "$work/fields.png" "$n" || return 1
    done
}

# memo_lines FILE: one "top bottom" client row pair for every line of text in Memo1, read
# from how dark each pixel row of its text area is, top to bottom.
memo_lines() {
    # The text area ends well left of the scroll bar, which has dark arrows of its own.
    local left=$((MEMO_X + 2)) top=$((MEMO_Y + 1)) width=$((MEMO_W - 35)) height=$((MEMO_H - 2))
    convert "$1" -crop "${width}x$height+$((left + win_x))+$((top + win_y))" +repage \
        -colorspace gray -scale "1x$height!" txt:- |
        awk -F'[(,]' -v top="$top" '
            NR > 1 {
                row = int($2) + top
                inked = ($3 + 0) < 250
                if (inked && start < 0) start = row
                if (!inked && start >= 0) { print start, row - 1; start = -1 }
            }
            BEGIN { start = -1 }
            END { if (start >= 0) print start, row }'
}

# Reads the lines of the list from a screenshot into line_top[], line_bottom[] and
# line_centre[], and the line pitch into line_pitch.
read_memo_lines() {
    line_top=()
    line_bottom=()
    line_centre=()
    local top bottom
    while read -r top bottom; do
        line_top+=("$top")
        line_bottom+=("$bottom")
        line_centre+=($(((top + bottom) / 2)))
    done < <(memo_lines "$1")
    line_pitch=0
    ((${#line_top[@]} < 2)) || line_pitch=$((line_top[1] - line_top[0]))
    note "list lines at client rows: $(for i in "${!line_top[@]}"; do printf '%s-%s ' "${line_top[i]}" "${line_bottom[i]}"; done)(pitch $line_pitch)"
}

# Log lines of one kind of request (discovery, query, set, restart) that tcpipsim received;
# LOG names the second segment's tcpipsim's log instead.
log_of_kind() { grep -E " kind=$1 " "${2:-$TESTNET_SIM_LOG}" || true; }

count_of_kind() { log_of_kind "$1" "${2:-}" | grep -c . || true; }

# The request logs of every segment's tcpipsim.
sim_logs=("$TESTNET_SIM_LOG")
[[ -z ${TESTNET_SIM2_LOG:-} ]] || sim_logs+=("$TESTNET_SIM2_LOG")

# The queries that every tcpipsim has received so far, one count per segment.
query_counts() {
    local log
    for log in "${sim_logs[@]}"; do
        count_of_kind query "$log"
    done | paste -sd ' '
}

# field VALUE of "key=value" in a log line.
log_field() { grep -oE "(^| )$2=[^ ]*" <<<"$1" | head -1 | sed 's/^ *[^=]*=//'; }

text_hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n' | tr 'a-f' 'A-F'; }

# dotted_hex A.B.C.D: the four parts as bytes, in hex.
dotted_hex() {
    local IFS=.
    # shellcheck disable=SC2086
    printf '%02X%02X%02X%02X' $1
}

# The settings of one device as tcpipctl finds them across the segment; sets dev_address,
# dev_mask and dev_gateway.
query_device() {
    local json
    json=$("$tcpipctl" query "$1" --json) || fail "tcpipctl query $1 failed: $json"
    dev_address=$(sed -n 's/.*"address":"\([^"]*\)".*/\1/p' <<<"$json")
    dev_mask=$(sed -n 's/.*"mask":"\([^"]*\)".*/\1/p' <<<"$json")
    dev_gateway=$(sed -n 's/.*"gateway":"\([^"]*\)".*/\1/p' <<<"$json")
    [[ -n $dev_address ]] || fail "tcpipctl query $1 found no device: $json"
}

# Double-clicks list line INDEX (from 0) and waits for the query that it starts to end;
# sets queried_mac from the query that tcpipsim received, and queried_log to the log of
# the one segment that it reached.
select_line() {
    local index=$1 before after line n reached=()
    before=$(query_counts)
    double_click_at 90 "${line_centre[index]}"
    wait_for_operation "the query of line $((index + 1))"
    wait_until "$STEP_LIMIT_S" "the query of line $((index + 1)) at tcpipsim" \
        query_counts_changed "$before"
    read -ra was <<<"$before"
    read -ra now <<<"$(query_counts)"
    for n in "${!sim_logs[@]}"; do
        after=$((now[n] - was[n]))
        ((after == 0)) || reached+=("$n")
        ((after <= 1)) || fail "line $((index + 1)): $after queries instead of one"
    done
    ((${#reached[@]} == 1)) ||
        fail "line $((index + 1)): the query reached ${#reached[@]} segments instead of one"
    queried_log=${sim_logs[reached[0]]}
    line=$(log_of_kind query "$queried_log" | tail -1)
    [[ $(log_field "$line" matched) == 1 ]] ||
        fail "line $((index + 1)): the query named no single device: $line"
    queried_mac=$(log_field "$line" devices)
    local selector=${queried_mac:6:6}
    [[ $(log_field "$line" bytes) == "$(text_hex "PTN${selector}J")" ]] ||
        fail "line $((index + 1)): the query is not PTN${selector}J: $line"
    note "line $((index + 1)) queried $queried_mac"
}

query_counts_changed() { [[ $(query_counts) != "$1" ]]; }

# The number of datagrams that the tcpipsim of LOG has received so far.
requests_seen() { grep -c ' rx ' "$1" || true; }

# Answers the confirmation dialog with Enter (its default button is はい) and waits for it
# to go.
confirm() {
    wait_until "$STEP_LIMIT_S" "the confirmation dialog" window_shown "$CONFIRM_CAPTION"
    [[ -z ${1:-} ]] || screenshot "$1"
    xdotool key Return
    wait_until "$STEP_LIMIT_S" "the confirmation dialog to close" window_gone "$CONFIRM_CAPTION"
}

# Replaces the text of address field N (0 to 2) by TEXT as the operator would: the key
# filter lets digits, dots and BackSpace through, but no control keys.
retype_field() {
    local n=$1 text=$2
    click_at $((EDIT_X + EDIT_W / 2)) $((EDIT_Y[n] + EDIT_H / 2))
    xdotool key End
    xdotool key --repeat 20 --delay 20 BackSpace
    xdotool type --delay 40 "$text"
}
