#!/usr/bin/python
# Copyright: 2026 tcpipset developers; all rights reserved (see LICENSE)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: print_servers
short_description: Set the print servers of a site from an inventory file
version_added: 1.0.2
description:
  - Runs C(tcpipctl --json apply INVENTORY) on the target, which discovers the print
    servers on its local segment and gives each device of the inventory the IP address,
    subnet mask and gateway of its row.
  - A row whose device already holds its settings is left alone, so the task can be run
    again and then reports no change.
  - In check mode C(tcpipctl apply --check) plans the changes and sends nothing; with
    C(--diff) each change is shown as the device's settings before and after.
  - The task fails when any row's device is missing (not seen), refused (its last six MAC
    digits are shared with another device, or its new address is in use) or failed;
    the other rows are still applied.
  - Many devices are set at once (O(parallel)), and lost datagrams are retried
    (O(retries)); each status is what the device then holds, so a reply lost on a busy
    network does not make a device that took its settings count as failed. A device
    whose set took but whose restart failed is failed, and the task still reports a
    change.
notes:
  - The target needs Python 3 and tcpipset's C(tcpipctl). The requests are UDP
    broadcasts, so the target must be a host on the devices' segment.
author:
  - tcpipset developers (tcpipset@example.org)
options:
  inventory:
    description:
      - The site's inventory file on the target, CSV with the columns
        C(mac,ip,mask,gateway[,interface]) or a JSON array of such objects, as
        C(tcpipctl export) writes it.
    type: path
    required: true
  restart:
    description:
      - Also restart each changed device and wait until it answers at its new address
        with its new mask and gateway.
    type: bool
    default: false
  rounds:
    description:
      - At most this many discoveries to find every device of the file (tcpipctl's
        default is 3).
    type: int
extends_documentation_fragment:
  - tcpipset.printservers.tcpipctl
seealso:
  - module: tcpipset.printservers.print_servers_info
"""

EXAMPLES = r"""
- name: Copy the site's inventory to the site's host
  ansible.builtin.copy:
    src: "sites/{{ inventory_hostname }}.csv"
    dest: /var/lib/tcpipset/site.csv
    mode: "0644"

- name: Set every print server of the site
  tcpipset.printservers.print_servers:
    inventory: /var/lib/tcpipset/site.csv
    interfaces: [eno1]
    restart: true
"""

RETURN = r"""
changed:
  description: Whether any device was set, or in check mode would be.
  returned: always
  type: bool
devices:
  description: Each row of the inventory with what became of it, in file order.
  returned: when tcpipctl read the file
  type: list
  elements: dict
  contains:
    mac:
      description: The device's MAC, twelve hexadecimal digits.
      type: str
      sample: 0080921A2B3C
    status:
      description: >-
        unchanged, changed, missing, refused or failed; in check mode unchanged,
        change, missing or refused.
      type: str
      sample: changed
    interface:
      description: The target's interface where the device answered.
      type: str
      sample: eno1
    before:
      description: The device's ip, mask and gateway before, null when it was not seen.
      type: dict
      sample: {ip: 192.168.1.20, mask: 255.255.255.0, gateway: 192.168.1.1}
    after:
      description: The ip, mask and gateway of the device's row.
      type: dict
      sample: {ip: 192.168.1.30, mask: 255.255.255.0, gateway: 192.168.1.1}
    reason:
      description: Why a device is missing, refused or failed; empty otherwise.
      type: str
      sample: address in use by MAC 0080921A0001
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tcpipset.printservers.plugins.module_utils.tcpipctl import (
    COMMON_ARGS,
    run_json,
)

CHANGING = ("change", "changed")
NOT_SET = ("missing", "refused", "failed")


def settings_text(values):
    if not values:
        return ""
    return "".join("%s: %s\n" % (key, values.get(key)) for key in ("ip", "mask", "gateway"))


def device_diffs(devices):
    """One diff for each device that changes, headed by its MAC and interface."""
    diffs = []
    for device in devices:
        if device.get("status") not in CHANGING:
            continue
        header = device.get("mac", "")
        if device.get("interface"):
            header += " on " + device["interface"]
        diffs.append(
            dict(
                before_header=header,
                after_header=header,
                before=settings_text(device.get("before")),
                after=settings_text(device.get("after")),
            )
        )
    return diffs


def failure_message(devices):
    """Names each device that was not set, with its status and reason; None for none."""
    bad = [device for device in devices if device.get("status") in NOT_SET]
    if not bad:
        return None
    lines = []
    for device in bad:
        line = "%s %s" % (device.get("mac"), device.get("status"))
        if device.get("reason"):
            line += ": " + device["reason"]
        lines.append(line)
    noun = "device was" if len(bad) == 1 else "devices were"
    return "%d %s not set: %s" % (len(bad), noun, "; ".join(lines))


def main():
    module = AnsibleModule(
        argument_spec=dict(
            inventory=dict(type="path", required=True),
            restart=dict(type="bool", default=False),
            **COMMON_ARGS
        ),
        supports_check_mode=True,
    )
    args = []
    if module.check_mode:
        args.append("--check")
    if module.params["restart"]:
        args.append("--restart")
    # After "--", a path that begins with "-" is still taken as the inventory.
    args += ["--", module.params["inventory"]]
    rc, report, err = run_json(module, "apply", args, dict)
    devices = report.get("devices", [])
    result = dict(changed=bool(report.get("changed")), devices=devices, rc=rc)
    if module._diff:
        result["diff"] = device_diffs(devices)
    msg = failure_message(devices)
    if msg is None and rc != 0:
        msg = "tcpipctl apply exited with status %d: %s" % (rc, err.strip())
    if msg is not None:
        module.fail_json(msg=msg, stderr=err, **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
