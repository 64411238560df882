"""What the tests that run the real program share: failing, waiting, the station simulator and its
request log, and the settings.ini that points the program at it."""

import os
import re
import subprocess
import sys
import time


def fail(message):
    print("FAILED: " + message, flush=True)
    sys.exit(1)


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def requests(log):
    if not os.path.exists(log):
        return []
    with open(log, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f]


def playlist_requests(log):
    return [r for r in requests(log) if "action=getplaylist2" in r]


def start_simulator(program, playlist, log, user, password):
    """Starts the simulator on a free port; returns the process and the port."""
    sim = subprocess.Popen(
        [program, "--port", "0", "--playlist", playlist, "--user", user, "--pass", password, "--log", log],
        stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    match = re.match(r"listening on http://127\.0\.0\.1:(\d+)", line)
    if not match:
        sim.kill()
        fail("the simulator did not start: " + line)
    return sim, int(match.group(1))


def object_text_string(text):
    return "'" + text.replace("'", "''") + "'"


def write_settings(folder, port, user, password):
    """The settings.ini that points the program at the simulator on 127.0.0.1."""
    with open(os.path.join(folder, "settings.ini"), "w", newline="") as f:
        f.write("object TSettings\r\n  Server = '127.0.0.1'\r\n  Port = %d\r\n  User = %s\r\n  Pass = %s\r\nend\r\n"
                % (port, object_text_string(user), object_text_string(password)))
