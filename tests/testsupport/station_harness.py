"""What the tests that run the real program share: failing, waiting, the station simulator and its
request log, the settings.ini that points the program at it, and the program as a screen reader
sees it (AT-SPI: run inside dbus-run-session), which also tells where its rows and buttons are."""

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


def walk(node, depth=0):
    """The accessible tree below node, with each node's depth."""
    yield node, depth
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child, depth + 1)


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
