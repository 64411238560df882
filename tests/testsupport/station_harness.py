"""What the tests that run the real program share: failing, waiting, the station simulator and its
request log, the settings.ini that points the program at it, and the program as a screen reader
sees it (AT-SPI: run inside dbus-run-session), which also tells where its rows and buttons are.

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
    match = re.match(r"listening on https?://127\.0\.0\.1:(\d+)", line)
    if not match:
        sim.kill()
        sim.wait()
        return None, line
    return sim, int(match.group(1))


def start_simulator(program, playlist, log, user, password, options=()):
    """Starts the simulator on a free port, with further options if given; returns the process and
    the port."""
    sim, port = launch_simulator(
        program, ["--port", "0", "--playlist", playlist, "--user", user, "--pass", password, "--log", log,
                  *options])
    if sim is None:
        fail("the simulator did not start: " + port)
    return sim, port


def object_text_string(text):
    return "'" + text.replace("'", "''") + "'"


def write_settings(folder, port, user, password, server="127.0.0.1"):
    """The settings.ini that points the program at the simulator, on 127.0.0.1 unless told."""
    with open(os.path.join(folder, "settings.ini"), "w", newline="") as f:
        f.write("object TSettings\r\n  Server = %s\r\n  Port = %d\r\n  User = %s\r\n  Pass = %s\r\nend\r\n"
                % (object_text_string(server), port, object_text_string(user), object_text_string(password)))


# The environment that makes Qt offer the program to the accessibility bus.
ACCESSIBLE = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}


def start_accessibility_bus():
    """Starts the accessibility bus for this session and returns its process once the session
    bus knows it."""
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])

    def registered():
        result = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                 "string:org.a11y.Bus"], capture_output=True, text=True)
        return result.returncode == 0 and "boolean true" in result.stdout
    wait_for(registered, 10, "the accessibility bus")
    return bus


def stop_processes(processes):
    """Ends each process still running: terminated, then killed if it has not gone in 5 s."""
    for process in processes:
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def walk(node, depth=0):
    """The accessible tree below node, with each node's depth."""
    yield node, depth
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child, depth + 1)


def find_node(application, matches):
    """The first accessible node below application for which matches(node) holds, or None."""
    for node, _ in walk(application):
        if matches(node):
            return node
    return None


def accessible_application(name):
    import pyatspi

    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            child = desktop.getChildAtIndex(index)
            if child is not None and child.name.lower() == name:
                return child
        return None
    return wait_for(find, 10, "the program on the accessibility bus")


def accessible_list(application, name, rows=1):
    """The list called name once it shows at least that many rows."""
    def find():
        for node, _ in walk(application):
            if node.name == name and node.getRoleName() in ("tree table", "table", "tree"):
                return node if node.queryTable().nRows >= rows else None
        return None
    return wait_for(find, 10, "the list %r with %d rows" % (name, rows))


def accessible_button(application, name):
    for node, _ in walk(application):
        if node.getRoleName() == "push button" and node.name == name:
            return node
    fail("no push button %r" % name)


def ready_button(application, name, timeout=20):
    """The push button called name once it is shown and enabled (a window may enable it a little
    after the step that calls for it)."""
    import pyatspi

    def ready():
        for node, _ in walk(application):
            if node.getRoleName() == "push button" and node.name == name:
                state = node.getState()
                if state.contains(pyatspi.STATE_ENABLED) and state.contains(pyatspi.STATE_SHOWING):
                    return node
        return None
    return wait_for(ready, timeout, "the %r button" % name)


def extents(node):
    """Where node is on the screen: x, y, width, height."""
    import pyatspi
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def center(node):
    x, y, width, height = extents(node)
    return x + width // 2, y + height // 2


def cell_center(table_node, row, column):
    return center(table_node.queryTable().getAccessibleAt(row, column))


def right_of_columns(table_node, row):
    """A point on a row right of its last column, inside the list: the row's whole width is it."""
    table = table_node.queryTable()
    cell_x, cell_y, cell_width, cell_height = extents(table.getAccessibleAt(row, table.nColumns - 1))
    list_x, _, list_width, _ = extents(table_node)
    columns_end, list_end = cell_x + cell_width, list_x + list_width
    if list_end - columns_end < 60:
        fail("no room right of the columns: they end at %d, the list at %d" % (columns_end, list_end))
    return columns_end + 40, cell_y + cell_height // 2


def row_selected(table_node, row):
    return table_node.queryTable().isRowSelected(row)


def serve(arguments):
    parser = argparse.ArgumentParser(
        prog="station_harness.py",
        description="Starts the station simulator, writes FOLDER/settings.ini pointing at it, prints its address "
                    "(http://127.0.0.1:PORT, or https://localhost:PORT with a certificate) as one line and keeps it "
                    "running until this program is ended.")
    parser.add_argument("--station-sim", required=True, metavar="PROGRAM", help="the simulator")
    parser.add_argument("--playlist", required=True, metavar="FILE")
    parser.add_argument("--user", required=True)
    parser.add_argument("--pass", dest="password", required=True)
    parser.add_argument("--log", required=True, metavar="FILE", help="the simulator's request log")
    parser.add_argument("--store", metavar="FOLDER", help="where the simulator keeps uploaded voice tracks")
    parser.add_argument("--port", type=int, default=0, help="the port to try first; a free one when it is taken")
    parser.add_argument("--settings-folder", required=True, metavar="FOLDER",
                        help="the application folder that gets settings.ini")
    parser.add_argument("--tls-cert", metavar="FILE", help="serve https with this certificate (for localhost)")
    parser.add_argument("--tls-key", metavar="FILE", help="the certificate's key")
    args = parser.parse_args(arguments)

    # Ended by a signal, the simulator ends with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    options = ["--playlist", args.playlist, "--user", args.user, "--pass", args.password, "--log", args.log]
    if args.store:
        options += ["--store", args.store]
    address = "http://127.0.0.1"
    if args.tls_cert:
        options += ["--tls-cert", args.tls_cert, "--tls-key", args.tls_key]
        address = "https://localhost"
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
        write_settings(args.settings_folder, port_or_line, args.user, args.password,
                       server=address if args.tls_cert else "127.0.0.1")
        print("%s:%d" % (address, port_or_line), flush=True)
        sim.wait()
    except KeyboardInterrupt:
        pass
    finally:
        if sim is not None:
            sim.terminate()
            sim.wait()


if __name__ == "__main__":
    serve(sys.argv[1:])
