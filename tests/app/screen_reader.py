"""The real program as a screen reader sees it, through AT-SPI.

Run inside xvfb-run and dbus-run-session. Starts the accessibility bus, the station simulator
and Wavenard, then reads the program's accessible tree: every control has a name, the list is
"Playlist" and its rows read as their three cell texts. Then it listens for the events a screen
reader speaks: the status panel's text when a refresh fails and when it is emptied again, the
outcome of a delete pressed on the keyboard, and the summary of the refresh after it.
"""

import os
import sys
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import (fail, harness, parse_arguments, playlist_requests, requests, select_row,  # noqa: E402
                        session, start_program, wait_for, xdotool)

# Roles of the things a user operates; each must have a name.
CONTROL_ROLES = {"push button", "toggle button", "check box", "radio button", "combo box", "text", "spin button",
                 "tree table", "table", "tree", "list", "tool bar", "status bar", "menu", "menu item", "page tab"}


def main():
    args = parse_arguments()

    with session(args, "wavenard-a11y-") as state:
        import pyatspi
        from gi.repository import GLib

        log, port = state.log, state.port
        start_program(state)
        wait_for(lambda: playlist_requests(log), 10, "the first playlist request")
        app_node = harness.accessible_application("wavenard")
        playlist = harness.accessible_list(app_node, "Playlist")

        tree_dump = []
        unnamed = []
        for node, depth in harness.walk(app_node):
            role = node.getRoleName()
            tree_dump.append("%s%s %r" % ("  " * depth, role, node.name))
            # Hidden ones too: the toolbar's overflow button appears when the window is narrow.
            if role in CONTROL_ROLES and not node.name:
                unnamed.append(role)
        with open(os.path.join(args.artifacts, "accessible-tree.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(tree_dump) + "\n")
        if unnamed:
            fail("controls without a name: %r (tree in %s)" % (unnamed, args.artifacts))
        names = {node.name for node, _ in harness.walk(app_node) if node.getRoleName() == "push button"}
        for button in ("Record voice track", "Insert voice track", "Delete track", "Settings"):
            if button not in names:
                fail("no push button %r among %r" % (button, sorted(names)))

        table = playlist.queryTable()
        header = [table.getColumnDescription(c) or table.getColumnHeader(c).name for c in range(3)]
        if header != ["#", "Track Title", "Duration"]:
            fail("column headers %r" % header)
        with open(args.playlist, encoding="utf-8") as f:
            tracks = [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]
        for row in (0, 1):
            cells = [table.getAccessibleAt(row, c).name for c in range(3)]
            # The simulator puts the artist before the title.
            if cells[0] != str(row + 1) or not cells[1].endswith(tracks[row][0]) or cells[2] != tracks[row][1]:
                fail("row %d reads %r" % (row, cells))

        heard = []

        def listener(event):
            heard.append((event.type, event.source.getRoleName() if event.source else "", event.any_data))
        # The panel's text changes carry the words: what a screen reader speaks.
        for kind in ("object:text-changed:insert", "object:text-changed:delete"):
            pyatspi.Registry.registerEventListener(listener, kind)

        def pump(condition, timeout, what):
            context = GLib.MainContext.default()

            def step():
                while context.pending():
                    context.iteration(False)
                return condition()
            try:
                return wait_for(step, timeout, what)
            except SystemExit:
                print("heard: %r" % heard, flush=True)
                raise

        def said(text, since=0):
            return any(kind.endswith("insert") and data == text for kind, _, data in heard[since:])

        # Row 1, clicked right of the columns: the list has the keyboard from now on.
        select_row(playlist, 1)

        # A failing refresh: the status panel's new text is told, and so is its emptying.
        faults = "http://127.0.0.1:%d/sim/faults" % port
        urllib.request.urlopen(faults + "?status=500").read()
        xdotool("key", "F5")
        pump(lambda: said("Simulated answer with status 500"), 15, "the status text as an event")
        failed_at = len(heard)
        urllib.request.urlopen(faults + "?reset=1").read()
        xdotool("key", "F5")
        pump(lambda: any(kind.endswith("delete") and data == "Simulated answer with status 500"
                         for kind, _, data in heard[failed_at:]), 15, "the emptied status panel as an event")

        # A delete from the keyboard: its outcome, then what the refresh after it changed.
        xdotool("key", "Delete")
        pump(lambda: said("Track deleted") and said("1 row removed"), 15, "the delete's announcements")
        deletes = [r for r in requests(log) if "action=delete" in r]
        if len(deletes) != 1 or not deletes[0].endswith("&pos=2"):
            fail("delete requests: %r" % deletes)
        order = [data for kind, _, data in heard
                 if kind.endswith("insert") and data in ("Track deleted", "1 row removed")]
        if order[:2] != ["Track deleted", "1 row removed"]:
            fail("announcements in the order %r" % order)
        print("heard: %r" % heard, flush=True)
        print("screen reader: passed", flush=True)


if __name__ == "__main__":
    main()
