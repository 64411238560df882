"""What the tests that run the real program share: failing, waiting, the station simulator and its
request log, and the settings.ini that points the program at it.

Run as a program, it is the same for the demo and the start-up benchmark: it starts the simulator,
writes settings.ini into an application folder, prints the simulator's address as one line and
keeps the simulator running until it is ended itself (see --help)."""

import argparse
import os
import re
import signal
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


def launch_simulator(program, options):
    """Starts the simulator with these options and reads the address it prints once it listens.
    Returns the process and the port, or None and the line it printed instead."""
    sim = subprocess.Popen([program, *options], stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    match = re.match(r"listening on http://127\.0\.0\.1:(\d+)", line)
    if not match:
        sim.kill()
        sim.wait()
        return None, line
    return sim, int(match.group(1))


def start_simulator(program, playlist, log, user, password):
    """Starts the simulator on a free port; returns the process and the port."""
    sim, port = launch_simulator(
        program, ["--port", "0", "--playlist", playlist, "--user", user, "--pass", password, "--log", log])
    if sim is None:
        fail("the simulator did not start: " + port)
    return sim, port


def object_text_string(text):
    return "'" + text.replace("'", "''") + "'"


def write_settings(folder, port, user, password):
    """The settings.ini that points the program at the simulator on 127.0.0.1."""
    with open(os.path.join(folder, "settings.ini"), "w", newline="") as f:
        f.write("object TSettings\r\n  Server = '127.0.0.1'\r\n  Port = %d\r\n  User = %s\r\n  Pass = %s\r\nend\r\n"
                % (port, object_text_string(user), object_text_string(password)))


def serve(arguments):
    parser = argparse.ArgumentParser(
        prog="station_harness.py",
        description="Starts the station simulator, writes FOLDER/settings.ini pointing at it, prints its address "
                    "(http://127.0.0.1:PORT) as one line and keeps it running until this program is ended.")
    parser.add_argument("--station-sim", required=True, metavar="PROGRAM", help="the simulator")
    parser.add_argument("--playlist", required=True, metavar="FILE")
    parser.add_argument("--user", required=True)
    parser.add_argument("--pass", dest="password", required=True)
    parser.add_argument("--log", required=True, metavar="FILE", help="the simulator's request log")
    parser.add_argument("--store", metavar="FOLDER", help="where the simulator keeps uploaded voice tracks")
    parser.add_argument("--port", type=int, default=0, help="the port to try first; a free one when it is taken")
    parser.add_argument("--settings-folder", required=True, metavar="FOLDER",
                        help="the application folder that gets settings.ini")
    args = parser.parse_args(arguments)

    # Ended by a signal, the simulator ends with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    options = ["--playlist", args.playlist, "--user", args.user, "--pass", args.password, "--log", args.log]
    if args.store:
        options += ["--store", args.store]
    sim = None
    try:
        for port in dict.fromkeys([args.port, 0]):
            sim, port_or_line = launch_simulator(args.station_sim, ["--port", str(port), *options])
            if sim is not None:
                break
        else:
            fail("the simulator did not start: " + port_or_line)
        # It holds the password: private before the first byte is written.
        settings = os.path.join(args.settings_folder, "settings.ini")
        os.close(os.open(settings, os.O_WRONLY | os.O_CREAT, 0o600))
        os.chmod(settings, 0o600)
        write_settings(args.settings_folder, port_or_line, args.user, args.password)
        print("http://127.0.0.1:%d" % port_or_line, flush=True)
        sim.wait()
    except KeyboardInterrupt:
        pass
    finally:
        if sim is not None:
            sim.terminate()
            sim.wait()


if __name__ == "__main__":
    serve(sys.argv[1:])
