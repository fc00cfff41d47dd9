#!/usr/bin/env bash
# segment-apply.sh: how long tcpipctl apply takes to set up a hundred devices, and how
# many datagrams it sends, on a throwaway segment made by tools/testnet.
#
#   bench/segment-apply.sh TCPIPCTL TCPIPSIM
#   SEGMENT_APPLY_DEVICES=20 bench/segment-apply.sh ...     (a smaller site)
#
# The inventory is made by tcpipctl export; every row then gets a new address, and
# apply --check, apply and a second apply (which finds nothing to change) are each timed,
# with the requests that reached the devices (tcpipsim's log) by kind. All three run with
# the default receive time-out of 1 s, as an operator runs them. A table ends the output.
# Nothing here fails on a timing: without root or a binary it says why it skips and
# exits 0, so that `make bench` runs on any machine.
set -euo pipefail

devices=${SEGMENT_APPLY_DEVICES:-100}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ ${1:-} == --inner ]]; then
    ctl=$2
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    kinds() { # the requests logged since line $1, as "discovery=N query=N set=N"
        tail -n +"$(($1 + 1))" "$TESTNET_SIM_LOG" | grep -o 'kind=[a-z]*' | sort | uniq -c |
            awk '{ sub("kind=", "", $2); printf "%s%s=%d", sep, $2, $1; sep=" " }'
    }
    timed() { # NAME COMMAND...: one table row
        local name=$1 start end lines status
        shift
        lines=$(wc -l <"$TESTNET_SIM_LOG")
        start=$(date +%s.%N)
        "$@" >"$work/out" 2>"$work/err" && status=0 || status=$?
        end=$(date +%s.%N)
        printf '%-16s %8.2f s  exit %d  %s  (%s)\n' "$name" "$(awk "BEGIN { print $end - $start }")" \
            "$status" "$(kinds "$lines")" "$(tail -1 "$work/out")"
    }
    "$ctl" export >"$work/site.csv"
    awk -F, 'NR > 1 { $2 = "198.18.200." (NR - 1) } { print }' OFS=, "$work/site.csv" >"$work/moved.csv"
    timed "apply --check" "$ctl" apply --check "$work/moved.csv"
    timed "apply" "$ctl" apply "$work/moved.csv"
    timed "apply again" "$ctl" apply "$work/moved.csv"
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
echo "tcpipctl apply to $devices devices, every row given a new address:"
"$here/../tools/testnet" --sim-bin "$sim" --devices "$devices" -- "$0" --inner "$ctl"
