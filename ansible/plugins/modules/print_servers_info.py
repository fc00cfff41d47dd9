#!/usr/bin/python
# Copyright: 2026 tcpipset developers; all rights reserved (see LICENSE)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: print_servers_info
short_description: List the print servers of a site with their settings
version_added: 1.0.2
description:
  - Runs C(tcpipctl --json export) on the target, which discovers the print servers on
    its local segment and queries each, and returns them as the rows of an inventory for
    M(tcpipset.printservers.print_servers).
  - Sends no set or restart; the task never reports a change.
  - A device that was listed but did not answer its query, or no device at all, gives a
    warning, not a failure.
notes:
  - The target needs Python 3 and tcpipset's C(tcpipctl). The requests are UDP
    broadcasts, so the target must be a host on the devices' segment.
author:
  - tcpipset developers (tcpipset@example.org)
options:
  rounds:
    description:
      - At most this many discoveries, until two in a row find no device that the others
        missed (tcpipctl's default is 3). Where replies are being lost the task's
        warnings say so and suggest more.
    type: int
extends_documentation_fragment:
  - tcpipset.printservers.tcpipctl
seealso:
  - module: tcpipset.printservers.print_servers
"""

EXAMPLES = r"""
- name: List the site's print servers
  tcpipset.printservers.print_servers_info:
    interfaces: [eno1]
  register: site

- name: Keep them as the site's inventory
  ansible.builtin.copy:
    content: "{{ site.devices | to_nice_json }}"
    dest: "sites/{{ inventory_hostname }}.json"
  delegate_to: localhost
"""

RETURN = r"""
devices:
  description: Each device that answered, as a row of an inventory.
  returned: always
  type: list
  elements: dict
  contains:
    mac:
      description: The device's MAC, twelve hexadecimal digits.
      type: str
      sample: 0080921A2B3C
    ip:
      description: Its IP address.
      type: str
      sample: 192.168.1.20
    mask:
      description: Its subnet mask.
      type: str
      sample: 255.255.255.0
    gateway:
      description: Its gateway.
      type: str
      sample: 192.168.1.1
    interface:
      description: The target's interface where it answered.
      type: str
      sample: eno1
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tcpipset.printservers.plugins.module_utils.tcpipctl import (
    COMMON_ARGS,
    run_json,
)


def main():
    module = AnsibleModule(argument_spec=dict(**COMMON_ARGS), supports_check_mode=True)
    rc, devices, err = run_json(module, "export", [], list)
    # Exit 1 lists what answered: the others, or that none did, are told on stderr.
    for line in err.splitlines() if rc != 0 else []:
        module.warn(line)
    module.exit_json(changed=False, devices=devices)


if __name__ == "__main__":
    main()
