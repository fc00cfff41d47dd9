"""What a failed task says, from canned tcpipctl output that the segment cannot give."""

import json, os, sys, tempfile, unittest  # noqa: E401
from unittest import mock

try:
    from ansible.module_utils import basic
except ImportError:
    sys.exit(77)

# The modules import their helper by its name in an installed collection.
root = tempfile.TemporaryDirectory()
os.makedirs(os.path.join(root.name, "ansible_collections", "tcpipset"))
os.symlink(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "ansible"),
           os.path.join(root.name, "ansible_collections", "tcpipset", "printservers"))
sys.path.insert(0, root.name)
from ansible_collections.tcpipset.printservers.plugins.modules import (  # noqa: E402
    print_servers as apply, print_servers_info as info)


def device(mac, status, reason=""):
    return dict(mac=mac, status=status, interface="eth0", before=None, after={}, reason=reason)


ERROR = "tcpipctl: /s.csv: 1 problems; nothing was sent"
DEVICES = [device("020000000001", "changed"), device("0200000000FF", "missing", "not seen"),
           device("020000000003", "failed", "not updated")]
# module, tcpipctl, (exit status, stdout, stderr), the task's msg
CASES = [
    (apply, "tcpipctl", (1, json.dumps({"changed": True, "devices": DEVICES}), ""),
     "2 devices were not set: 0200000000FF missing: not seen; 020000000003 failed: not updated"),
    (apply, "tcpipctl", (2, json.dumps({"error": ERROR}), "/s.csv:3: bad MAC\n%s\n" % ERROR),
     ERROR + "\n/s.csv:3: bad MAC"),
    (apply, "/nowhere/tcpipctl", None, "tcpipctl not found or not executable: /nowhere/tcpipctl"),
    (info, "tcpipctl", (3, "", "tcpipctl: Address already in use\n"),
     "tcpipctl export exited with status 3 without its JSON\ntcpipctl: Address already in use"),
    (info, "tcpipctl", (0, json.dumps({"changed": False}), ""),
     "tcpipctl export exited with status 0 without its JSON"),
]


class Ended(Exception):
    pass


def end(_self, **result):
    raise Ended(result)


class FailureTest(unittest.TestCase):
    def test_message(self):
        for module, ctl, output, msg in CASES:
            args = {"tcpipctl": ctl, "inventory": "/s.csv"} if module is apply else {"tcpipctl": ctl}
            loaded = json.dumps({"ANSIBLE_MODULE_ARGS": args}).encode()
            argvs = []
            with self.subTest(msg=msg), mock.patch.object(basic, "_ANSIBLE_ARGS", loaded), \
                    mock.patch.multiple(basic.AnsibleModule, fail_json=end, exit_json=None,
                                        get_bin_path=lambda *_: "/usr/bin/tcpipctl",
                                        run_command=lambda _, argv: argvs.append(argv) or output):
                with self.assertRaises(Ended) as ended:
                    module.main()
                self.assertEqual(ended.exception.args[0]["msg"], msg)
                if module is apply and argvs:
                    # A path that begins with "-" must not be read as an option.
                    self.assertEqual(argvs[0][-2:], ["--", "/s.csv"])
