# Copyright: 2026 tcpipset developers; all rights reserved (see LICENSE)
"""The options that every module of the collection takes, as module_utils/tcpipctl.py's
COMMON_ARGS gives them to AnsibleModule, described once for ansible-doc."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  interfaces:
    description:
      - Send the requests only on these network interfaces of the target.
    type: list
    elements: str
  timeout:
    description:
      - How long each request waits for replies, in milliseconds (tcpipctl's default is
        1000).
    type: int
  tcpipctl:
    description:
      - The tcpipctl program, a name looked up on the target's PATH or a path.
    type: str
    default: tcpipctl
"""
