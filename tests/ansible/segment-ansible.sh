#!/usr/bin/env bash
# The modules in a playbook on the segment's workstation, over five devices: with three
# rows of the export edited, check mode shows each change and sends no set, the run sets
# and restarts the three, a second run changes nothing, the info module lists every device,
# and a row whose MAC no device has fails the task, naming that MAC.
source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=tests/ctl/segment-lib.sh
source "$source/tests/ctl/segment-lib.sh"
# Ansible refuses a locale that is not UTF-8; C.UTF-8 keeps tcpipctl's texts English.
export LC_ALL=C.UTF-8
# shellcheck source=tests/ansible/ansible-lib.sh
source "$source/tests/ansible/ansible-lib.sh"

sets_seen() { grep -c ' rx .*kind=set' "$TESTNET_SIM_LOG" || true; }
cat >"$work/site.yml" <<PLAY
- hosts: all
  gather_facts: false
  vars: {ansible_python_interpreter: "{{ ansible_playbook_python }}", ctl: $ctl}
  tasks:
    - tcpipset.printservers.print_servers:
        {inventory: "{{ site }}", tcpipctl: "{{ ctl }}", timeout: 300, rounds: 2,
         interfaces: [$TESTNET_WORKSTATION_IF], restart: true}
    - tcpipset.printservers.print_servers_info: {tcpipctl: "{{ ctl }}", timeout: 300}
      register: info
    - ansible.builtin.debug: {msg: "seen {{ info.devices | map(attribute='mac') | sort | join(' ') }}"}
PLAY
play() { ansible-playbook -i localhost, -c local -e "site=$1" "${@:2}" "$work/site.yml"; }

"$ctl" "${quick[@]}" export >"$work/site.csv"
awk -F, 'NR > 1 && NR <= 4 { $2 = "198.18.1." (NR + 100) } { print }' OFS=, "$work/site.csv" >"$work/edited.csv"
before=$(sets_seen)
expect_lines "check mode shows the change of each device" 0 "^--- before: 020000000001 on $TESTNET_WORKSTATION_IF$" \
    '^-ip: 198\.18\.0\.10$' '^\+ip: 198\.18\.1\.102$' '^\+ip: 198\.18\.1\.104$' '!^[-+]mask' '!020000000005 on' \
    '"seen 020000000001 020000000002 020000000003 020000000004 020000000005"' \
    'ok=3 +changed=1 +unreachable=0 +failed=0' -- play "$work/edited.csv" --check --diff
expect "and sends no set" 0 "0" "" -- echo $(($(sets_seen) - before))
expect_lines "the run sets them" 0 'ok=3 +changed=1 +unreachable=0 +failed=0' -- play "$work/edited.csv"
expect "with one set each" 0 "3" "" -- echo $(($(sets_seen) - before))
expect_lines "a second run changes nothing" 0 'ok=3 +changed=0 +unreachable=0 +failed=0' -- play "$work/edited.csv"

{ cat "$work/edited.csv"; echo 0200000000FF,198.18.1.250,255.255.0.0,198.18.0.1,; } >"$work/unknown.csv"
expect_lines "a row whose MAC no device has fails the task, naming it" 2 \
    '"msg": "1 device was not set: 0200000000FF missing' 'failed=1' -- play "$work/unknown.csv"
verdict
