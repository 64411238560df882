"""The real program under an X server, reaching the station through a TLS terminator.

Run inside xvfb-run and dbus-run-session. The plain simulator stands behind stunnel, as a station
puts its service behind nginx or a load balancer; the program's Server is https://localhost and
it trusts the test authority through SSL_CERT_FILE. Checks that the requests arrive whole through
the terminator, that the status bar's lock names the station, and that a delete goes the same way.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testsupport"))
import end_to_end as e2e  # noqa: E402
import station_harness as harness  # noqa: E402
from station_harness import fail, playlist_requests, requests, wait_for  # noqa: E402

CERTIFICATES_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testsupport",
                                   "make_test_certificates.sh")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def start_terminator(work, certificate, station_port):
    """stunnel in the foreground, from 127.0.0.1 on a free port to the station; returns the
    process and the port."""
    port = free_port()
    config = os.path.join(work, "stunnel.conf")
    with open(config, "w") as f:
        f.write("foreground = yes\npid =\noutput = %s\n[station]\naccept = 127.0.0.1:%d\n"
                "connect = 127.0.0.1:%d\ncert = %s\n"
                % (os.path.join(work, "stunnel.log"), port, station_port, certificate))
    terminator = subprocess.Popen(["stunnel4", config], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: accepts(port), 10, "stunnel on port %d" % port)
    except SystemExit:
        terminator.kill()
        raise
    return terminator, port


def lock(application):
    return harness.find_node(application, lambda node: node.name.startswith("Encrypted connection to"))


def main():
    args = e2e.parse_arguments()
    screenshot = os.path.join(args.artifacts, "wavenard-e2e-tls.png")
    work = tempfile.mkdtemp(prefix="wavenard-e2e-tls-")
    certificates = os.path.join(work, "certificates")
    subprocess.run(["sh", CERTIFICATES_SCRIPT, certificates], check=True)
    app_folder = os.path.join(work, "app")
    os.mkdir(app_folder)
    log = os.path.join(work, "requests.log")
    processes = []
    try:
        processes.append(harness.start_accessibility_bus())
        sim, sim_port = e2e.start_simulator(args.station_sim, args.playlist, log)
        processes.append(sim)
        terminator, port = start_terminator(work, os.path.join(certificates, "server-chain.pem"), sim_port)
        processes.append(terminator)
        shutil.copy2(args.wavenard, app_folder)
        shutil.copy2(args.taglib, app_folder)
        harness.write_settings(app_folder, port, e2e.USER, e2e.PASSWORD, server="https://localhost")

        started = time.monotonic()
        app = subprocess.Popen([os.path.join(app_folder, "wavenard")], cwd=work,
                               env=dict(os.environ, SSL_CERT_FILE=os.path.join(certificates, "ca.pem"),
                                        **harness.ACCESSIBLE))
        processes.insert(0, app)
        wait_for(lambda: playlist_requests(log), 10, "the first playlist request through the terminator")
        print("start-up to the first playlist request over TLS: %.0f ms" % ((time.monotonic() - started) * 1000),
              flush=True)
        expected = "GET /?user=%s&pass=%s&action=getplaylist2" % (e2e.USER, e2e.ENCODED_PASSWORD)
        if playlist_requests(log)[0] != expected:
            fail("first request %r, expected %r" % (playlist_requests(log)[0], expected))

        window = e2e.find_window()
        application = harness.accessible_application("wavenard")
        playlist = harness.accessible_list(application, "Playlist", rows=3)
        found = wait_for(lambda: lock(application), 10, "the lock in the status bar")
        if found.name != "Encrypted connection to localhost":
            fail("the lock says %r" % found.name)

        e2e.select_row(playlist, 1)
        e2e.click(harness.center(harness.accessible_button(application, "Delete track")))
        wait_for(lambda: [r for r in requests(log) if "action=delete" in r], 10, "the delete request")
        deletes = [r for r in requests(log) if "action=delete" in r]
        if deletes != ["GET /?user=%s&pass=%s&action=delete&pos=2" % (e2e.USER, e2e.ENCODED_PASSWORD)]:
            fail("delete requests: %r" % deletes)
        subprocess.run(["import", "-window", "root", screenshot], check=True)
        print("screenshot: " + screenshot, flush=True)

        e2e.send_close(window)
        try:
            code = app.wait(timeout=5)
        except subprocess.TimeoutExpired:
            fail("the window did not close on the window manager's close message")
        if code != 0:
            fail("exit code %d" % code)
        print("end-to-end over TLS: passed", flush=True)
    finally:
        harness.stop_processes(processes)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
