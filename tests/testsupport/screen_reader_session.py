"""A real screen reader for the tests: Orca speaking through speech-dispatcher and espeak-ng into a
PulseAudio null sink, all private to one test. What was spoken is read back from speech-dispatcher's
log, where log level 5 records each text it hands to the voice.

Run inside xvfb-run and dbus-run-session; the session starts the accessibility bus itself. The
programs under test are started with program_environment(), so that they find the same bus and
sound server.
"""

import contextlib
import os
import re
import shutil
import subprocess
import tempfile
import time

import station_harness as harness
from station_harness import fail, wait_for

# Each text speech-dispatcher gives its voice: a line  ... escaped ssml '<speak>...' to 'TEXT'
SPOKEN_LINE = re.compile(r"\bescaped ssml '.*' to '(.*)'\s*$")


class ScreenReader:
    def __init__(self, work):
        self.work = work
        self.runtime = os.path.join(work, "runtime")
        self.home = os.path.join(work, "home")
        self.logs = os.path.join(work, "logs")
        for folder in (self.runtime, self.home, self.logs):
            os.makedirs(folder, mode=0o700)
        self.environment = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, HOME=self.home,
                                XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                                XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                                XDG_CACHE_HOME=os.path.join(self.home, ".cache"))
        self.processes = []

    def log_file(self):
        return os.path.join(self.logs, "speech-dispatcher.log")

    def spoken(self):
        """Every text spoken so far, in order."""
        try:
            with open(self.log_file(), encoding="utf-8", errors="replace") as f:
                lines = f.readlines()
        except FileNotFoundError:
            return []
        texts = []
        for line in lines:
            match = SPOKEN_LINE.search(line)
            if match:
                texts.append(match.group(1).strip())
        return texts

    def mark(self):
        """A point in what was spoken, for waiting on what comes after it."""
        return len(self.spoken())

    def wait_spoken(self, phrase, since=0, timeout=20):
        """Waits until a text holding phrase is spoken after the mark since; prints and returns it."""
        def heard():
            return next((text for text in self.spoken()[since:] if phrase in text), None)
        try:
            text = wait_for(heard, timeout, "Orca to speak %r" % phrase)
        except SystemExit:
            print("spoken so far: %r" % self.spoken()[since:], flush=True)
            raise
        print("heard: %r" % text, flush=True)
        return text

    def start(self, command, **options):
        """Starts a process that ends with the session, in the session's environment unless told."""
        options.setdefault("env", self.environment)
        process = subprocess.Popen(command, **options)
        self.processes.append(process)
        return process

    def program_environment(self, extra=None):
        """The environment of a program under test: the session's sound server, accessible."""
        return dict(self.environment, **harness.ACCESSIBLE, **(extra or {}))

    def stop(self):
        harness.stop_processes(reversed(self.processes))
        subprocess.run(["pulseaudio", "--kill"], env=self.environment, capture_output=True)


def _sound_server(reader, sources, default_source):
    modules = ["-L", "module-native-protocol-unix", "-L", "module-null-sink sink_name=out"]
    for source in sources:
        modules += ["-L", source]
    subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", *modules],
                   env=reader.environment, check=True, capture_output=True)
    wait_for(lambda: subprocess.run(["pactl", "info"], env=reader.environment, capture_output=True).returncode == 0,
             10, "the sound server")
    if default_source:
        subprocess.run(["pactl", "set-default-source", default_source], env=reader.environment, check=True)


def _orca_ready(reader):
    """Orca has started once it has said so ("Screen reader on.")."""
    return bool(reader.spoken())


@contextlib.contextmanager
def screen_reader(artifacts, prefix="wavenard-orca-", sources=(), default_source=None):
    """Sound server, accessibility bus, speech-dispatcher and Orca, ended with the block. sources are
    more PulseAudio modules to load (a sine source for a recorder), default_source the input
    programs get. The logs are copied into artifacts at the end."""
    work = tempfile.mkdtemp(prefix=prefix)
    reader = ScreenReader(work)
    bus = None
    try:
        _sound_server(reader, sources, default_source)
        os.environ.update(XDG_RUNTIME_DIR=reader.runtime)
        bus = harness.start_accessibility_bus()
        reader.start(["speech-dispatcher", "-d", "-l", "5", "-L", reader.logs, "-t", "0"],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(reader.log_file()), 10, "speech-dispatcher's log")
        reader.start(["orca", "--replace", "--debug-file=" + os.path.join(reader.logs, "orca.debug")],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: _orca_ready(reader), 30, "Orca")
        # Orca has found its feet once it has been quiet for a moment.
        time.sleep(1)
        yield reader
    finally:
        reader.stop()
        if bus is not None:
            bus.terminate()
            bus.wait()
        os.makedirs(artifacts, exist_ok=True)
        for name in os.listdir(reader.logs):
            shutil.copy2(os.path.join(reader.logs, name), artifacts)
        shutil.rmtree(work, ignore_errors=True)


def focus_window(name):
    """Gives the window called name the keyboard, as a click on it would: Orca speaks only for the
    active window. Returns the window's id."""
    def search():
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(name)],
                                capture_output=True, text=True)
        ids = result.stdout.split()
        return ids[0] if ids else None
    window = wait_for(search, 15, "the window %r" % name)
    subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True)
    subprocess.run(["xdotool", "windowfocus", "--sync", window], capture_output=True)
    return int(window)


__all__ = ["ScreenReader", "screen_reader", "focus_window", "fail", "wait_for"]
