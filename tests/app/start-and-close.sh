#!/usr/bin/env bash
# start-and-close.sh PROGRAM [--once]: run inside a tools/testnet segment with --xvfb.
# Starts the program twice. Each time its window must appear only after the start-up
# discovery has waited its receive time-out, at its size. The first run is ended by the
# exit button at rest; the second by the exit button pressed while a double click's query
# is still waiting, which must end the program only after that wait, without a crash.
# With --once (for a segment without devices) only the first run is made.
set -u
program=$1
once=${2:-}
fail=0
app=
window=

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

start_program() {
    local started
    started=$(now_ms)
    "$program" &
    app=$!
    window=
    for _ in $(seq 1 200); do
        window=$(xdotool search --onlyvisible --name 'TCP/IP' 2>/dev/null | head -1)
        [[ -n "$window" ]] && break
        kill -0 "$app" 2>/dev/null || { echo "the program ended before showing its window"; exit 1; }
        sleep 0.05
    done
    if [[ -z "$window" ]]; then
        echo "no window within 10 s"
        kill "$app"
        exit 1
    fi
    local shown=$(( $(now_ms) - started ))
    echo "window shown after ${shown} ms"
    if (( shown < 900 )); then
        echo "the window was shown before the discovery had waited its time-out"
        fail=1
    fi
    local info
    info=$(xwininfo -id "$window")
    for expected in "Width: 291" "Height: 365"; do
        grep -q "$expected" <<<"$info" || { echo "window geometry: expected $expected"; fail=1; }
    done
    sleep 0.3
}

# Presses 終了 (Button2, at 112, 312, 65 x 25) and waits for the program to end; prints
# how long it took.
press_exit_and_wait() {
    local pressed
    pressed=$(now_ms)
    xdotool mousemove --window "$window" 144 324 click 1
    for _ in $(seq 1 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$app" 2>/dev/null; then
        echo "the program did not end after its exit button"
        kill "$app"
        exit 1
    fi
    wait "$app"
    local status=$?
    ended_after=$(( $(now_ms) - pressed ))
    echo "program ended with status $status, ${ended_after} ms after the exit button"
    (( status == 0 )) || fail=1
}

start_program
press_exit_and_wait
[[ "$once" == --once ]] && exit "$fail"

start_program
# A double click on the first MAC line (Memo1 at 48, 56) starts a query that waits one
# receive time-out after the device's reply.
xdotool mousemove --window "$window" 80 66 click --repeat 2 --delay 80 1
sleep 0.3
press_exit_and_wait
if (( ended_after < 300 )); then
    echo "the program ended in the middle of the query's wait"
    fail=1
fi
exit "$fail"
