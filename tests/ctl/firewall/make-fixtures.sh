#!/usr/bin/env bash
# Remakes the firewall fixtures of DoctorChecksTest from the sources beside this script.
# Each ruleset is loaded into a network namespace made for it alone, never the machine's
# own, and what tcpipctl doctor would read there is kept:
#   NAME.json      nft -j list ruleset, after nft -f NAME.nft (the iptables rules of
#                  ufw.rules and xt-conntrack.rules through iptables-nft-restore, as
#                  Debian 12's iptables loads them)
#   NAME.nft-save  iptables-nft-save of those iptables-nft rules, beside NAME.json
#   NAME.save      iptables-legacy-save, after iptables-legacy-restore of the .rules file
# Run as root: tests/ctl/firewall/make-fixtures.sh (needs nftables and iptables).
set -euo pipefail

dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$dir/../../.." && pwd)
ns=tcpipset-fixtures-$$
host_ns=$(readlink /proc/self/ns/net)

((EUID == 0)) || {
    echo "make-fixtures.sh: needs root for network namespaces" >&2
    exit 1
}
trap 'ip netns del "$ns" 2>/dev/null || true' EXIT

# Runs a bash script in a new namespace, standard input passed on, after a check that
# the namespace is not the machine's own.
in_fresh_namespace() {
    ip netns del "$ns" 2>/dev/null || true
    ip netns add "$ns"
    # shellcheck disable=SC2016 # expanded by the inner bash
    ip netns exec "$ns" /bin/bash -c '
        set -e
        if [[ $(readlink /proc/self/ns/net) == "$1" ]]; then
            echo "make-fixtures.sh: refusing the machine'"'"'s own namespace" >&2
            exit 70
        fi
        eval "$2"' make-fixtures "$host_ns" "$1"
}

# NAME FILE...: the files loaded one after the other with nft -f.
nft_json() {
    local name=$1 script=""
    shift
    for file in "$@"; do
        script+="nft -f $(printf %q "$file"); "
    done
    in_fresh_namespace "$script nft -j list ruleset; echo" </dev/null >"$dir/$name.json"
}

# Leaves out the lines of iptables-save that tell the time and version.
stamps='^# \(Generated\|Completed\)'

# NAME, the iptables-restore input on standard input: NAME.json and NAME.nft-save.
iptables_nft_json() {
    in_fresh_namespace "iptables-nft-restore
        iptables-nft-save | grep -v '$stamps' >$(printf %q "$dir/$1.nft-save")
        nft -j list ruleset; echo" >"$dir/$1.json"
}
iptables_legacy_save() {
    in_fresh_namespace 'iptables-legacy-restore; iptables-legacy-save' |
        grep -v "$stamps" >"$dir/$1.save"
}

# ufw allow proto udp from any port 5001, as ufw writes it into user.rules.
with_ufw_reply_rule() {
    sed '/^### RULES ###$/a\
### tuple ### allow udp any 0.0.0.0/0 5001 0.0.0.0/0 in\
-A ufw-user-input -p udp --sport 5001 -j ACCEPT' "$dir/ufw.rules"
}

nft_json empty
for source in "$dir"/*.nft; do
    name=$(basename "$source" .nft)
    case $name in
    desktop-stateful-with-rule | firewalld-tcpipset) ;;
    *) nft_json "$name" "$source" ;;
    esac
done
nft_json desktop-stateful-with-rule "$dir/desktop-stateful.nft" "$repo/tools/firewall/tcpipset.nft"
nft_json firewalld-public-tcpipset "$dir/firewalld-public.nft" "$dir/firewalld-tcpipset.nft"

iptables_nft_json ufw <"$dir/ufw.rules"
with_ufw_reply_rule | iptables_nft_json ufw-reply-rule
iptables_nft_json xt-conntrack <"$dir/xt-conntrack.rules"

iptables_legacy_save ufw-legacy <"$dir/ufw.rules"
with_ufw_reply_rule | iptables_legacy_save ufw-legacy-reply-rule
for source in "$dir"/iptables-*.rules; do
    # shellcheck disable=SC2094 # reads NAME.rules, writes NAME.save
    iptables_legacy_save "$(basename "$source" .rules)" <"$source"
done
