"""From Record to on air with the real programs, under an X server, against the station simulator
and a sound server of its own (PulseAudio with a 440 Hz sine source as the microphone).

Run inside xvfb-run and dbus-run-session. A row is selected in Wavenard, Record opens the
recorder, the recorder records a take, stops and keeps it; Wavenard offers the take in its bar above the
playlist, and one key (Ctrl+I) sends it. Checks the upload that reaches the station: one POST,
the take's bytes as the station decoded them, and the row after the song selected at Record.
Keeps a screenshot.
"""

import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testsupport"))
import end_to_end as e2e  # noqa: E402
import station_harness as harness  # noqa: E402
from station_harness import fail, requests, wait_for  # noqa: E402

# How long the presenter speaks.
TAKE_SECONDS = 3


def start_sound_server(folder):
    """A PulseAudio server for this test alone: a null sink and the sine source as the default
    input. Its clients find it through the environment set here. Returns the process."""
    runtime = os.path.join(folder, "pulse")
    home = os.path.join(runtime, "home")
    os.makedirs(home, mode=0o700)
    socket = os.path.join(runtime, "native")
    os.environ.update({"XDG_RUNTIME_DIR": runtime, "HOME": home, "PULSE_SERVER": "unix:" + socket,
                       "PULSE_COOKIE": os.path.join(home, "cookie")})
    server = subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-level=error",
         "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket,
         "-L", "module-null-sink sink_name=out",
         "-L", "module-sine-source rate=48000 frequency=440 source_name=sine"])

    def answers():
        return subprocess.run(["pactl", "set-default-source", "sine"], capture_output=True).returncode == 0
    wait_for(answers, 15, "the sound server")
    return server


def record_take(recorder):
    """The presenter's steps in the recorder, from its Record to the take being final."""
    e2e.click(harness.center(harness.accessible_button(recorder, "Record")))
    time.sleep(TAKE_SECONDS)
    e2e.click(harness.center(harness.accessible_button(recorder, "Stop")))
    e2e.click(harness.center(harness.ready_button(recorder, "Keep")))


def find_push_button(application, prefix):
    return harness.find_node(
        application, lambda node: node.getRoleName() == "push button" and node.name.startswith(prefix))


def main():
    args = e2e.parse_arguments()
    screenshot = os.path.join(args.artifacts, "wavenard-take.png")
    sound_folder = tempfile.mkdtemp(prefix="wavenard-take-sound-")
    sound = start_sound_server(sound_folder)
    recorder_pid = None
    try:
        with e2e.session(args, "wavenard-take-", store=True) as state:
            shutil.copy2(args.pellorin, state.app_folder)
            takes = os.path.join(state.app_folder, "VoiceTracks")
            app = e2e.start_program(state)
            wait_for(lambda: harness.playlist_requests(state.log), 10, "the first playlist request")
            window = e2e.find_window()
            application = harness.accessible_application("wavenard")
            playlist = harness.accessible_list(application, "Playlist", rows=3)
            shown = e2e.titles(playlist)

            # The song the take is for, then Record.
            e2e.select_row(playlist, 1)
            e2e.click(harness.center(harness.accessible_button(application, "Record voice track")))
            recorder = harness.accessible_application("pellorin")
            recorder_window = wait_for(lambda: subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Pellorin$"], capture_output=True,
                text=True).stdout.split(), 10, "the recorder's window")[0]
            recorder_pid = int(e2e.xdotool("getwindowpid", recorder_window))
            record_take(recorder)

            offer = wait_for(lambda: find_push_button(application, "Insert after "), 20, "the take offered")
            if offer.name != 'Insert after "%s"' % shown[1]:
                fail("the take is offered for %r, expected after %r" % (offer.name, shown[1]))
            taken = [name for name in os.listdir(takes) if name.endswith(".flac")]
            if len(taken) != 1:
                fail("takes in the folder: %r" % taken)

            # One key in the playlist window.
            e2e.xdotool("windowfocus", "--sync", str(window))
            e2e.xdotool("key", "ctrl+i")
            wait_for(lambda: [r for r in requests(state.log) if r.startswith("POST ")], 15, "the upload")
            posts = [r for r in requests(state.log) if r.startswith("POST ")]
            if posts != ["POST /"]:
                fail("uploads: %r" % posts)
            title = taken[0][:-len(".flac")]
            wait_for(lambda: e2e.titles(playlist)[2:3] == [title], 15, "the take after the song in the list")
            received = wait_for(lambda: os.listdir(state.received) if os.path.isdir(state.received) else [], 10,
                                "the take at the station")
            with open(os.path.join(takes, taken[0]), "rb") as f:
                sent = f.read()
            with open(os.path.join(state.received, received[0]), "rb") as f:
                if f.read() != sent:
                    fail("the station received other bytes than the take's")
            print("take on the playlist: %r after %r, %d bytes" % (title, shown[1], len(sent)), flush=True)
            subprocess.run(["import", "-window", "root", screenshot], check=True)
            print("screenshot: " + screenshot, flush=True)

            e2e.send_close(window)
            if app.wait(timeout=5) != 0:
                fail("exit code %d" % app.returncode)
            print("end-to-end take: passed", flush=True)
    finally:
        # The recorder runs on its own once started; it ends with the test.
        if recorder_pid is not None:
            with contextlib.suppress(ProcessLookupError):
                os.kill(recorder_pid, signal.SIGTERM)
        sound.terminate()
        sound.wait()
        shutil.rmtree(sound_folder, ignore_errors=True)


if __name__ == "__main__":
    main()
