"""What a blind presenter hears: the real program and the recorder under Orca.

Run inside xvfb-run and dbus-run-session. Orca speaks through speech-dispatcher into a null sink;
each text it speaks is read back from speech-dispatcher's log. In Wavenard: the rows as the
keyboard moves through them, a move and a delete with the row read after it, the station going
away and coming back. In the recorder: the status line when a recording starts and when it is
stopped and when it is kept. Every phrase heard is printed.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testsupport"))
import station_harness as harness  # noqa: E402
from screen_reader_session import fail, focus_window, screen_reader, wait_for  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import (USER, PASSWORD, playlist_requests, prepare_app_folder, requests,  # noqa: E402
                        select_row, xdotool)


def read_tracks(playlist):
    with open(playlist, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]


def start_simulator(args, log, port=0):
    sim, found = harness.launch_simulator(args.station_sim, ["--port", str(port), "--playlist", args.playlist,
                                                             "--user", USER, "--pass", PASSWORD, "--log", log])
    if sim is None:
        fail("the simulator did not start: " + found)
    return sim, found


def wavenard_scenario(args, reader, work):
    import pyatspi  # noqa: F401

    app_folder = os.path.join(work, "app")
    os.mkdir(app_folder)
    log = os.path.join(work, "requests.log")
    sim, port = start_simulator(args, log)
    app = None
    try:
        prepare_app_folder(app_folder, args.wavenard, args.taglib, port)
        app = reader.start([os.path.join(app_folder, "wavenard")], cwd=work, env=reader.program_environment())
        wait_for(lambda: playlist_requests(log), 15, "the first playlist request")
        focus_window("Wavenard")
        application = harness.accessible_application("wavenard")
        playlist = harness.accessible_list(application, "Playlist", rows=3)
        tracks = read_tracks(args.playlist)

        # The rows read as the keyboard reaches them.
        mark = reader.mark()
        select_row(playlist, 0)
        xdotool("key", "Down")
        reader.wait_spoken(tracks[1][0], mark)

        # Ctrl+Down moves the row: its outcome is said.
        mark = reader.mark()
        xdotool("key", "ctrl+Down")
        reader.wait_spoken("Track moved", mark)
        wait_for(lambda: [r for r in requests(log) if "action=move" in r], 10, "the move request")

        # Delete: its outcome, what the refresh changed, and the row the keyboard is now on.
        mark = reader.mark()
        focused = harness.accessible_list(application, "Playlist", rows=3)
        xdotool("key", "Delete")
        reader.wait_spoken("Track deleted", mark)
        reader.wait_spoken("1 row removed", mark)
        table = focused.queryTable()
        row = table.getAccessibleAt(2, 1).name
        reader.wait_spoken(row, mark)

        # The station goes away: the failure is said; it comes back: so is that.
        mark = reader.mark()
        sim.terminate()
        sim.wait()
        reader.wait_spoken("Couldn't connect", mark)
        sim, _ = start_simulator(args, log, port)
        reader.wait_spoken("Live, updated", mark)
    finally:
        if app is not None and app.poll() is None:
            app.kill()
            app.wait()
        sim.terminate()
        sim.wait()


def recorder_scenario(args, reader, work):
    app_folder = os.path.join(work, "recorder")
    os.mkdir(app_folder)
    shutil.copy2(args.pellorin, app_folder)
    recorder = reader.start([os.path.join(app_folder, "pellorin")], cwd=work, env=reader.program_environment())
    try:
        focus_window("Pellorin")
        application = harness.accessible_application("pellorin")
        mark = reader.mark()
        harness_click(harness.accessible_button(application, "Record"))
        reader.wait_spoken("Recording", mark)
        mark = reader.mark()
        harness_click(harness.accessible_button(application, "Stop"))
        reader.wait_spoken("Stopped, ", mark)
        mark = reader.mark()
        harness_click(harness.ready_button(application, "Keep"))
        reader.wait_spoken("Saved", mark)
    finally:
        if recorder.poll() is None:
            recorder.kill()
            recorder.wait()


def harness_click(node):
    x, y = harness.center(node)
    xdotool("mousemove", "--sync", str(x), str(y))
    xdotool("click", "1")


def parse_arguments():
    parser = argparse.ArgumentParser()
    for name in ("wavenard", "pellorin", "taglib", "station_sim", "playlist", "artifacts"):
        parser.add_argument("--" + name.replace("_", "-"), required=True)
    args = parser.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    return args


def main():
    args = parse_arguments()
    work = tempfile.mkdtemp(prefix="wavenard-spoken-")
    try:
        sine = "module-sine-source rate=48000 frequency=440 source_name=sine"
        with screen_reader(args.artifacts, sources=[sine], default_source="sine") as reader:
            wavenard_scenario(args, reader, work)
            recorder_scenario(args, reader, work)
            print("spoken: %r" % reader.spoken(), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("screen reader speaks: passed", flush=True)


if __name__ == "__main__":
    main()
