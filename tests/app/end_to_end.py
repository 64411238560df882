"""The real program under an X server, against the station simulator.

Run inside xvfb-run and dbus-run-session. Starts the simulator, lays out an application folder
whose settings.ini points at it, starts Wavenard from there and checks what reaches the station:
the first playlist request with the account's values, the polling, a delete after a row was
clicked right of the columns, a real drag of one row onto another, the same move from the
keyboard, the title column taking the width of a window that fills the screen, and the files
written when a window manager's close message ends the program. Rows and buttons are found where
the program says they are, through the accessibility bus. Keeps a screenshot.
"""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import types

from Xlib import X, display, protocol

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testsupport"))
import station_harness as harness  # noqa: E402
from station_harness import fail, playlist_requests, requests, wait_for, write_settings  # noqa: E402,F401

USER = "e2e"
PASSWORD = "p w&d"
# The password as the client encodes it in a query.
ENCODED_PASSWORD = "p+w%26d"


def prepare_app_folder(folder, wavenard, taglib, port):
    shutil.copy2(wavenard, folder)
    shutil.copy2(taglib, folder)
    write_settings(folder, port, USER, PASSWORD)


def start_simulator(program, playlist, log, options=()):
    return harness.start_simulator(program, playlist, log, USER, PASSWORD, options)


def parse_arguments():
    parser = argparse.ArgumentParser()
    for name in ("wavenard", "taglib", "station_sim", "playlist", "artifacts"):
        parser.add_argument("--" + name.replace("_", "-"), required=True)
    parser.add_argument("--pellorin")
    args = parser.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    return args


@contextlib.contextmanager
def session(args, prefix, store=False):
    """A work folder holding an application folder whose settings.ini points at a running
    simulator, and the accessibility bus; start_program adds the program. With store, the
    simulator keeps the uploaded files in the folder "received" of the work folder. All of it ends
    with the session, the program first."""
    work = tempfile.mkdtemp(prefix=prefix)
    app_folder = os.path.join(work, "app")
    os.mkdir(app_folder)
    log = os.path.join(work, "requests.log")
    bus = harness.start_accessibility_bus()
    received = os.path.join(work, "received")
    sim, port = start_simulator(args.station_sim, args.playlist, log, ("--store", received) if store else ())
    state = types.SimpleNamespace(work=work, app_folder=app_folder, log=log, port=port, app=None, received=received)
    try:
        prepare_app_folder(app_folder, args.wavenard, args.taglib, port)
        yield state
    finally:
        if state.app is not None and state.app.poll() is None:
            state.app.kill()
            state.app.wait()
        sim.terminate()
        sim.wait()
        bus.terminate()
        bus.wait()
        shutil.rmtree(work, ignore_errors=True)


def start_program(state):
    """Starts the program from the session's application folder, offered to the accessibility bus."""
    state.app = subprocess.Popen([os.path.join(state.app_folder, "wavenard")], cwd=state.work,
                                 env=dict(os.environ, **harness.ACCESSIBLE))
    return state.app


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout


def find_window():
    def search():
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Wavenard$"],
                                capture_output=True, text=True)
        ids = result.stdout.split()
        return ids[0] if ids else None
    return int(wait_for(search, 10, "the Wavenard window"))


def click(point):
    """A click at a point on the screen."""
    xdotool("mousemove", "--sync", str(point[0]), str(point[1]))
    xdotool("click", "1")


def select_row(playlist, row):
    """Clicks a row right of its columns and waits until the list has it selected."""
    click(harness.right_of_columns(playlist, row))
    wait_for(lambda: harness.row_selected(playlist, row), 10, "row %d selected" % row)


def titles(playlist):
    table = playlist.queryTable()
    return [table.getAccessibleAt(row, 1).name for row in range(table.nRows)]


def drag(start, end):
    """A real mouse drag, pressed on one point and released over another, moved at a hand's pace
    so the toolkit sees a drag begin and pass over the rows."""
    (x1, y1), (x2, y2) = start, end
    xdotool("mousemove", "--sync", str(x1), str(y1))
    xdotool("mousedown", "1")
    steps = 8
    for step in range(1, steps + 1):
        time.sleep(0.05)
        xdotool("mousemove", "--sync", str(x1 + (x2 - x1) * step // steps), str(y1 + (y2 - y1) * step // steps))
    time.sleep(0.2)
    xdotool("mouseup", "1")


def send_close(window):
    """What a window manager sends when the user closes a window."""
    d = display.Display()
    w = d.create_resource_object("window", window)
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=w, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(event, event_mask=X.NoEventMask)
    # A round trip, not a flush: the server has handled the message before this connection
    # closes, which can otherwise drop it.
    d.sync()
    d.close()


def main():
    args = parse_arguments()
    screenshot = os.path.join(args.artifacts, "wavenard-e2e.png")

    with session(args, "wavenard-e2e-") as state:
        app_folder, log = state.app_folder, state.log
        settings_written = os.stat(os.path.join(app_folder, "settings.ini")).st_mtime_ns

        started = time.monotonic()
        app = start_program(state)
        wait_for(lambda: playlist_requests(log), 10, "the first playlist request")
        print("start-up to the first playlist request: %.0f ms" % ((time.monotonic() - started) * 1000), flush=True)
        first = playlist_requests(log)[0]
        expected = "GET /?user=%s&pass=%s&action=getplaylist2" % (USER, ENCODED_PASSWORD)
        if first != expected:
            fail("first request %r, expected %r" % (first, expected))

        # Polling: the next two requests follow about five seconds apart.
        times = [time.monotonic()]
        for count in (2, 3):
            wait_for(lambda: len(playlist_requests(log)) >= count, 12, "playlist request %d" % count)
            times.append(time.monotonic())
        gaps = [b - a for a, b in zip(times, times[1:])]
        print("polling gaps: " + ", ".join("%.1f s" % g for g in gaps), flush=True)
        if any(g < 3.5 or g > 9 for g in gaps):
            fail("the playlist is not polled every five seconds: %r" % gaps)

        window = find_window()
        application = harness.accessible_application("wavenard")
        playlist = harness.accessible_list(application, "Playlist", rows=3)
        shown = titles(playlist)
        # Row 1 (the list's second row), clicked right of the three columns.
        select_row(playlist, 1)
        click(harness.center(harness.accessible_button(application, "Delete track")))
        wait_for(lambda: [r for r in requests(log) if "action=delete" in r], 10, "the delete request")
        deletes = [r for r in requests(log) if "action=delete" in r]
        if deletes != ["GET /?user=%s&pass=%s&action=delete&pos=2" % (USER, ENCODED_PASSWORD)]:
            fail("delete requests: %r" % deletes)
        # The refresh after the delete shows the shorter list.
        wait_for(lambda: titles(playlist) == shown[:1] + shown[2:], 10, "the list without the deleted row")

        # Row 1 dragged by its title onto row 2.
        shown = titles(playlist)
        drag(harness.cell_center(playlist, 1, 1), harness.cell_center(playlist, 2, 1))
        wait_for(lambda: [r for r in requests(log) if "action=move" in r], 10, "the move request")
        moves = [r for r in requests(log) if "action=move" in r]
        move = "GET /?user=%s&pass=%s&action=move&pos1=2&pos2=3" % (USER, ENCODED_PASSWORD)
        if moves != [move]:
            fail("move requests: %r" % moves)
        wait_for(lambda: titles(playlist) != shown, 10, "the list after the move")

        # The same move from the keyboard: row 1 selected, Ctrl+Down.
        shown = titles(playlist)
        select_row(playlist, 1)
        xdotool("key", "ctrl+Down")
        wait_for(lambda: len([r for r in requests(log) if "action=move" in r]) >= 2, 10, "the keyboard's move")
        moves = [r for r in requests(log) if "action=move" in r]
        if moves != [move, move]:
            fail("move requests after Ctrl+Down: %r" % moves)
        wait_for(lambda: titles(playlist) != shown, 10, "the list after the keyboard's move")

        # The window fills the screen, as maximising it does (there is no window manager here to
        # ask): the title column takes the width gained, the others keep theirs.
        def widths():
            table = playlist.queryTable()
            return [harness.extents(table.getAccessibleAt(0, c))[2] for c in range(3)], harness.extents(playlist)[2]
        (before, list_before) = widths()
        xdotool("windowmove", "--sync", str(window), "0", "0")
        xdotool("windowsize", "--sync", str(window), "100%", "100%")
        wait_for(lambda: widths()[1] > list_before + 200, 10, "the list to take the screen's width")
        after, list_after = wait_for(lambda: widths() if widths()[0][1] > before[1] else None, 10,
                                     "the title column to widen")
        print("title column: %d px in a list of %d, %d px in a list of %d" % (before[1], list_before, after[1],
                                                                         list_after), flush=True)
        if before[1] != 300 or abs((after[1] - before[1]) - (list_after - list_before)) > 4 or \
                [after[0], after[2]] != [before[0], before[2]]:
            fail("columns %r in a list of %d, then %r in a list of %d" % (before, list_before, after, list_after))
        subprocess.run(["import", "-window", "root", screenshot], check=True)
        print("screenshot: " + screenshot, flush=True)

        send_close(window)
        try:
            code = app.wait(timeout=5)
        except subprocess.TimeoutExpired:
            subprocess.run(["import", "-window", "root", os.path.join(args.artifacts, "not-closed.png")])
            print("requests: %r" % requests(log)[-6:], flush=True)
            fail("the window did not close on the window manager's close message")
        if code != 0:
            fail("exit code %d" % code)
        if not os.path.exists(os.path.join(app_folder, "system.ini")):
            fail("system.ini was not written")
        if os.stat(os.path.join(app_folder, "settings.ini")).st_mtime_ns == settings_written:
            fail("settings.ini was not written")
        # The window's place, in a file of the program's own, readable by the user only.
        window_file = os.path.join(app_folder, "wavenard-window.ini")
        if not os.path.exists(window_file) or os.stat(window_file).st_mode & 0o777 != 0o600:
            fail("wavenard-window.ini was not written privately")
        print("end-to-end: passed", flush=True)


if __name__ == "__main__":
    main()
