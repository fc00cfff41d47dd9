#!/usr/bin/env bash
# segment-apply.sh: how long tcpipctl export and apply take on a site of a hundred and of
# a thousand devices, how many requests reach the devices, and what datagram loss does
# to apply, on throwaway segments made by tools/testnet.
#
#   bench/segment-apply.sh TCPIPCTL TCPIPSIM
#   SEGMENT_APPLY_DEVICES="20" SEGMENT_APPLY_LOSS_RUNS=3 bench/segment-apply.sh ...
#
# For each site size: export (the inventory), then with every row given a new address
# apply --check, apply, and apply again (which finds nothing to change), each timed with
# the requests that reached the devices (tcpipsim's log) by kind. Then twenty devices with
# 5% and with 10% of the datagrams dropped each way (nftables numgen on the input hooks of
# both namespaces; these kernels have no netem): each run moves every device with one
# apply under loss, and then, without loss, an export tells what each device holds: a row
# is converged when it is reported changed, and its status true when that is what the
# device holds. All run with the default receive time-out of 1 s, as an operator runs them.
# Nothing here fails on a timing: without root or a binary it says why it skips and exits
# 0, so that `make bench` runs on any machine.
set -euo pipefail

sizes=${SEGMENT_APPLY_DEVICES:-100 1000}
loss_runs=${SEGMENT_APPLY_LOSS_RUNS:-10}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

kinds() { # the requests logged since line $1, as "discovery=N query=N set=N"
    tail -n +"$(($1 + 1))" "$TESTNET_SIM_LOG" | grep -o 'kind=[a-z]*' | sort | uniq -c |
        awk '{ sub("kind=", "", $2); printf "%s%s=%d", sep, $2, $1; sep=" " }'
}

loss() { # PERCENT: drops that share of the datagrams each way; 0 takes the rules away
    local ns match
    for ns in "" "$TESTNET_DEVICES_NS"; do
        match='udp sport 5001'
        [[ -z $ns ]] || match='udp dport 5001'
        ${ns:+ip netns exec "$ns"} nft delete table inet bench_loss 2>/dev/null || true
        ((${1} == 0)) || ${ns:+ip netns exec "$ns"} nft -f - <<RULES
table inet bench_loss {
    chain input { type filter hook input priority -10; $match numgen random mod 100 < $1 drop; }
}
RULES
    done
}

if [[ ${1:-} == --timed ]]; then
    ctl=$2
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    timed() { # NAME COMMAND...: one table row
        local name=$1 start end lines status
        shift
        lines=$(wc -l <"$TESTNET_SIM_LOG")
        start=$(date +%s.%N)
        "$@" >"$work/out" 2>"$work/err" && status=0 || status=$?
        end=$(date +%s.%N)
        printf '  %-14s %7.2f s  exit %d  %s  (%s)\n' "$name" "$(awk "BEGIN { print $end - $start }")" \
            "$status" "$(kinds "$lines")" "$(tail -1 "$work/out")"
    }
    timed "export" "$ctl" export
    cp "$work/out" "$work/site.csv"
    # 64 queries of a whole time-out each are in flight by default; more take less time.
    timed "export -p 256" "$ctl" export --parallel 256
    awk -F, 'NR > 1 { $2 = "198.18." (200 + int((NR - 2) / 250)) "." ((NR - 2) % 250 + 1) } { print }' \
        OFS=, "$work/site.csv" >"$work/moved.csv"
    timed "apply --check" "$ctl" apply --check "$work/moved.csv"
    timed "apply" "$ctl" apply "$work/moved.csv"
    timed "apply again" "$ctl" apply "$work/moved.csv"
    exit 0
fi

if [[ ${1:-} == --lossy ]]; then
    ctl=$2
    percent=$3
    work=$(mktemp -d)
    trap 'loss 0; rm -rf "$work"' EXIT
    "$ctl" export >"$work/site.csv" 2>/dev/null
    total=0
    converged_runs=0
    for run in $(seq "$loss_runs"); do
        # Each run moves every device somewhere new.
        awk -F, -v run="$run" 'NR > 1 { $2 = "198.18." (100 + run) "." (NR - 1) } { print }' OFS=, \
            "$work/site.csv" >"$work/moved.csv"
        loss "$percent"
        "$ctl" export >"$work/lossy.csv" 2>/dev/null || true
        exported=$(($(wc -l <"$work/lossy.csv") - 1))
        untrue_rows=$(comm -23 <(tail -n +2 "$work/lossy.csv" | cut -d, -f1-4 | sort) \
            <(tail -n +2 "$work/site.csv" | cut -d, -f1-4 | sort) | wc -l)
        start=$(date +%s.%N)
        "$ctl" --json apply "$work/moved.csv" >"$work/apply.json" 2>/dev/null || true
        end=$(date +%s.%N)
        loss 0
        "$ctl" export >"$work/now.csv" 2>/dev/null || true
        cp "$work/now.csv" "$work/site.csv"
        # mac and status as apply reported them, and whether the device holds its row.
        grep -o '"mac":"[0-9A-F]*","status":"[a-z]*"' "$work/apply.json" |
            sed 's/"mac":"\([0-9A-F]*\)","status":"\([a-z]*\)"/\1 \2/' | sort >"$work/status"
        tail -n +2 "$work/moved.csv" | cut -d, -f1-4 | sort >"$work/want"
        tail -n +2 "$work/now.csv" | cut -d, -f1-4 | sort >"$work/have"
        changed=$(grep -c ' changed$' "$work/status" || true)
        untrue=0
        while read -r mac status; do
            holds=$(grep -c "^$mac," <(comm -12 "$work/want" "$work/have") || true)
            reported=0
            [[ $status != changed ]] || reported=1
            ((reported == holds)) || untrue=$((untrue + 1))
        done <"$work/status"
        rows=$(wc -l <"$work/want")
        total=$((total + 1))
        ((changed != rows)) || converged_runs=$((converged_runs + 1))
        printf '  %d%% loss, run %2d: export %2d rows (%d untrue); apply %2d of %d rows converged, %d statuses untrue, %.1f s\n' \
            "$percent" "$run" "$exported" "$untrue_rows" "$changed" "$rows" "$untrue" \
            "$(awk "BEGIN { print $end - $start }")"
    done
    printf '  %d%% loss: %d of %d runs converged in one apply\n' "$percent" "$converged_runs" "$total"
    exit 0
fi

ctl=${1:?usage: bench/segment-apply.sh TCPIPCTL TCPIPSIM}
sim=${2:?usage: bench/segment-apply.sh TCPIPCTL TCPIPSIM}
if [[ $ctl == - || $sim == - || ! -x $ctl || ! -x $sim ]]; then
    echo "segment-apply: tcpipctl or tcpipsim not built; skipped"
    exit 0
fi
if ((EUID != 0)); then
    echo "segment-apply: needs root for its segment; skipped"
    exit 0
fi
for devices in $sizes; do
    echo "tcpipctl export and apply, $devices devices, every row given a new address:"
    "$here/../tools/testnet" --sim-bin "$sim" --devices "$devices" -- "$0" --timed "$ctl"
done
for percent in 5 10; do
    echo "tcpipctl apply to 20 devices with $percent% of the datagrams lost each way:"
    "$here/../tools/testnet" --sim-bin "$sim" --devices 20 -- "$0" --lossy "$ctl" "$percent"
done
