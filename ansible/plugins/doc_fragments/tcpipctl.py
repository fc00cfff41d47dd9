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
  parallel:
    description:
      - At most this many devices are asked at once, each request from a socket of its
        own (tcpipctl's default is 64).
    type: int
  retries:
    description:
      - How often a request that nothing answered is sent again (tcpipctl's default is
        3). A set whose reply was lost is judged by what the device then holds, so a
        lost datagram does not turn into a wrong status.
    type: int
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
