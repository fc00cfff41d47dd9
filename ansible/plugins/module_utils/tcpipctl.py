# Copyright: 2026 tcpipset developers; all rights reserved (see LICENSE)
"""Running tcpipctl on the target for the modules of this collection."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

# The options that every module of the collection takes, in AnsibleModule's form.
COMMON_ARGS = dict(
    tcpipctl=dict(type="str", default="tcpipctl"),
    interfaces=dict(type="list", elements="str"),
    rounds=dict(type="int"),
    parallel=dict(type="int"),
    retries=dict(type="int"),
    timeout=dict(type="int"),
)

# Up to 1 tcpipctl's JSON tells each device's outcome; above it (2 a bad file or usage, 3 a
# socket error) the run stopped short and its JSON holds only {"error": ...}.
EXIT_NO_RESULT = 1


def tcpipctl_path(module):
    """The tcpipctl to run: a path as it is, a bare name looked up on the target's PATH."""
    name = module.params["tcpipctl"]
    if os.sep in name:
        if os.access(name, os.X_OK) and not os.path.isdir(name):
            return name
        module.fail_json(msg="tcpipctl not found or not executable: %s" % name)
    found = module.get_bin_path(name)
    if not found:
        module.fail_json(msg="%s not found on the target's PATH: install tcpipset there" % name)
    return found


def run_json(module, command, command_args, shape):
    """Runs tcpipctl --json COMMAND and returns (exit status, parsed output, stderr); fails
    the task when tcpipctl could not do its work (exit 2 or more) or wrote no JSON of the
    SHAPE (dict or list) that the command writes."""
    params = module.params
    argv = [tcpipctl_path(module), "--json"]
    if params["timeout"] is not None:
        argv += ["--timeout", str(params["timeout"])]
    for interface in params["interfaces"] or []:
        argv += ["--interface", interface]
    argv.append(command)
    for option in ("rounds", "parallel", "retries"):
        if params[option] is not None:
            argv += ["--" + option, str(params[option])]
    argv += command_args
    rc, out, err = module.run_command(argv)
    try:
        parsed = json.loads(out)
    except ValueError:
        parsed = None
    if rc > EXIT_NO_RESULT or rc < 0 or not isinstance(parsed, shape):
        error = parsed.get("error") if isinstance(parsed, dict) else None
        # A bad file's faults are on stderr, one FILE:LINE: reason each, before the error.
        details = [line for line in err.splitlines() if line.strip() and line != error]
        msg = error or "tcpipctl %s exited with status %d without its JSON" % (command, rc)
        if details:
            msg += "\n" + "\n".join(details)
        module.fail_json(msg=msg, rc=rc, cmd=argv, stdout=out, stderr=err)
    return rc, parsed, err
