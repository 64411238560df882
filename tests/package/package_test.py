"""The Debian package, built from the build tree with cpack and checked the way Debian checks one.

    package_test.py build     --build-dir B --out O             packs O/wavenard_<version>_<arch>.deb
    package_test.py lint      --out O                           lintian, desktop-file-validate, appstreamcli
    package_test.py contents  --out O --build-dir B             the files, the link, the version, the depends
    package_test.py start     --out O --station-sim S --playlist P
                                                                the unpacked program against the simulator
    package_test.py scripts   --out O                           uid.ini through install, upgrade, remove, purge
    package_test.py piuparts  --out O --piuparts P              piuparts in a clean bookworm (skips offline)
"""

import argparse
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testsupport"))
from station_harness import fail, playlist_requests, start_simulator, wait_for, write_settings  # noqa: E402

PROGRAM = "usr/lib/wavenard/wavenard"
APP_FOLDER = "usr/lib/wavenard"
UID_INI = re.compile(r"\A\[Settings\]\nUID=(0|[1-9][0-9]{0,4})\n\Z")
USER = "pkg"
PASSWORD = "pkg"
DISTRIBUTION = "bookworm"
# The exit code ctest takes as "skipped" (SKIP_RETURN_CODE).
SKIPPED = 77
# A base system older than this is made afresh rather than upgraded.
BASE_SYSTEM_DAYS = 30


def run(*command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        fail("%s exited with %d:\n%s%s" % (" ".join(command), result.returncode, result.stdout, result.stderr))
    return result.stdout


def package_file(out):
    files = glob.glob(os.path.join(out, "*.deb"))
    if len(files) != 1:
        fail("expected one package in %s, found %s" % (out, files))
    return files[0]


def field(deb, name):
    return run("dpkg-deb", "--field", deb, name).strip()


def unpack(deb, root):
    run("dpkg-deb", "-x", deb, root)


def files_under(folder):
    found = set()
    for parent, _, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(parent, name), folder))
    return found


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def build(args):
    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    run("cpack", "-G", "DEB", "--config", os.path.join(args.build_dir, "CPackConfig.cmake"), "-B", args.out)
    deb = package_file(args.out)
    expected = "%s_%s_%s.deb" % (field(deb, "Package"), field(deb, "Version"), field(deb, "Architecture"))
    if os.path.basename(deb) != expected:
        fail("package file %s, expected %s" % (os.path.basename(deb), expected))
    print("built " + deb)


def lint(args):
    deb = package_file(args.out)
    # Warnings count as failures: each one is fixed or carries an override with its reason.
    print(run("lintian", "--fail-on", "error,warning", "--info", "--display-info", deb), end="")
    with tempfile.TemporaryDirectory(prefix="wavenard-lint-") as root:
        unpack(deb, root)
        desktop = os.path.join(root, "usr/share/applications/wavenard.desktop")
        report = run("desktop-file-validate", desktop)
        if report.strip():
            fail("desktop-file-validate:\n" + report)
        metainfo = glob.glob(os.path.join(root, "usr/share/metainfo/*.metainfo.xml"))
        if len(metainfo) != 1:
            fail("expected one metainfo file, found %s" % metainfo)
        report = run("appstreamcli", "validate", "--no-net", "--no-color", metainfo[0])
        issues = [line for line in report.splitlines() if re.match(r"[EWI]: ", line)]
        if issues:
            fail("appstreamcli validate:\n" + report)


def contents(args):
    deb = package_file(args.out)
    version = field(deb, "Version")
    depends = field(deb, "Depends")
    for library in ("libc6", "libqt6widgets6", "libcurl4", "libqt6svg6"):
        if not re.search(r"(^|, )%s( |,|$)" % library, depends):
            fail("Depends lacks %s: %s" % (library, depends))
    with tempfile.TemporaryDirectory(prefix="wavenard-contents-") as work:
        root = os.path.join(work, "package")
        unpack(deb, root)
        # A plain install of the same build tree: the package holds everything it puts into the
        # application folder, except uid.ini, which each installation writes for itself.
        plain = os.path.join(work, "plain")
        run("cmake", "--install", args.build_dir, "--prefix", plain)
        installed = files_under(os.path.join(plain, "lib/wavenard"))
        if not UID_INI.match(read(os.path.join(plain, "lib/wavenard/uid.ini"))):
            fail("the plain install's uid.ini: %r" % read(os.path.join(plain, "lib/wavenard/uid.ini")))
        packed = files_under(os.path.join(root, APP_FOLDER))
        if packed != installed - {"uid.ini"}:
            fail("application folder: packed %s, installed %s" % (sorted(packed), sorted(installed)))

        link = os.path.join(root, "usr/bin/wavenard")
        if not os.path.islink(link) or os.path.isabs(os.readlink(link)):
            fail("usr/bin/wavenard is not a relative link")
        if os.path.realpath(link) != os.path.realpath(os.path.join(root, PROGRAM)):
            fail("usr/bin/wavenard points at %s" % os.readlink(link))
        for path in ("usr/share/applications/wavenard.desktop",
                     "usr/share/icons/hicolor/scalable/apps/wavenard.svg",
                     "usr/share/man/man1/wavenard.1.gz",
                     "usr/share/doc/wavenard/copyright",
                     "usr/share/doc/wavenard/changelog.gz"):
            if not os.path.isfile(os.path.join(root, path)):
                fail("missing " + path)
        metainfo = glob.glob(os.path.join(root, "usr/share/metainfo/*.metainfo.xml"))
        if not metainfo or '<release version="%s"' % version not in read(metainfo[0]):
            fail("the metainfo does not name release %s" % version)

        # Both are answered without a display: none is given, so a window would fail to open.
        shown = ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")
        headless = {name: value for name, value in os.environ.items() if name not in shown}
        reported = run(link, "--version", env=headless).strip()
        if reported != "Wavenard " + version:
            fail("wavenard --version says %r, the package is %s" % (reported, version))
        for option in ("--help", "-h"):
            usage = run(link, option, env=headless)
            if not usage.startswith("Usage: wavenard ") or "--version" not in usage:
                fail("wavenard %s printed %r" % (option, usage))


def start(args):
    """Installed as dpkg would: unpacked and configured by the package's postinst, with the user's
    settings in their configuration folder, the folder uid.ini leads to."""
    deb = package_file(args.out)
    with tempfile.TemporaryDirectory(prefix="wavenard-start-") as work:
        root = os.path.join(work, "root")
        unpack(deb, root)
        control = os.path.join(work, "control")
        run("dpkg-deb", "-e", deb, control)
        run(os.path.join(control, "postinst"), "configure", env=dict(os.environ, DPKG_ROOT=root))
        uid = UID_INI.match(read(os.path.join(root, APP_FOLDER, "uid.ini"))).group(1)
        before = files_under(os.path.join(root, APP_FOLDER))

        config_home = os.path.join(work, "config")
        settings_folder = os.path.join(config_home, "Merrowin", "Wavenard_" + uid)
        os.makedirs(settings_folder)
        log = os.path.join(work, "requests.log")
        sim, port = start_simulator(args.station_sim, args.playlist, log, USER, PASSWORD)
        app = None
        try:
            write_settings(settings_folder, port, USER, PASSWORD)
            env = dict(os.environ, XDG_CONFIG_HOME=config_home, QT_QPA_PLATFORM="xcb")
            app = subprocess.Popen([os.path.join(root, "usr/bin/wavenard")], cwd=work, env=env)

            first = wait_for(lambda: playlist_requests(log), 15, "the first playlist request")[0]
            expected = "GET /?user=%s&pass=%s&action=getplaylist2" % (USER, PASSWORD)
            if first != expected:
                fail("first request %r, expected %r" % (first, expected))

            app.send_signal(signal.SIGTERM)
            if app.wait(timeout=10) != 0:
                fail("wavenard exited with %d" % app.returncode)
            app = None
            # The program wrote into the user's settings folder, never into the application folder.
            if not os.path.isfile(os.path.join(settings_folder, "system.ini")):
                fail("no system.ini in the settings folder " + settings_folder)
            if files_under(os.path.join(root, APP_FOLDER)) != before:
                fail("the program wrote into the application folder")
        finally:
            if app is not None:
                app.kill()
                app.wait()
            sim.terminate()
            sim.wait()


def scripts(args):
    """dpkg itself, on a temporary root, runs the maintainer scripts through a whole life cycle."""
    deb = package_file(args.out)
    with tempfile.TemporaryDirectory(prefix="wavenard-scripts-") as work:
        root = os.path.join(work, "root")
        for folder in ("info", "updates", "triggers"):
            os.makedirs(os.path.join(root, "var/lib/dpkg", folder))
        open(os.path.join(root, "var/lib/dpkg/status"), "w").close()

        # Also without root rights; dpkg looks for its helpers in the system folders.
        env = dict(os.environ, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")

        def dpkg(*command):
            run("dpkg", "--root=" + root, "--force-script-chrootless", "--force-not-root", "--force-depends",
                "--log=/dev/null", *command, env=env)

        uid_path = os.path.join(root, APP_FOLDER, "uid.ini")

        def uid_ini():
            return read(uid_path) if os.path.exists(uid_path) else None

        # A newer version of the same package, for the upgrade.
        newer = os.path.join(work, "newer.deb")
        tree = os.path.join(work, "newer")
        run("dpkg-deb", "-R", deb, tree)
        control_file = os.path.join(tree, "DEBIAN/control")
        control = read(control_file)
        with open(control_file, "w", encoding="utf-8") as f:
            f.write(re.sub(r"(?m)^Version: (.*)$", r"Version: \1+1", control))
        run("dpkg-deb", "--root-owner-group", "-b", tree, newer)

        dpkg("--install", deb)
        first = uid_ini()
        if first is None or not UID_INI.match(first):
            fail("the first install wrote uid.ini %r" % first)
        # What users saved lies outside the package's files and must outlive every step below.
        saved = os.path.join(root, "home/presenter/.config/Merrowin/Wavenard_1/settings.ini")
        os.makedirs(os.path.dirname(saved))
        with open(saved, "w") as f:
            f.write("saved")

        steps = (("upgrade", ("--install", newer), first),
                 ("remove", ("--remove", "wavenard"), first),
                 ("reinstall", ("--install", deb), first),
                 ("purge", ("--purge", "wavenard"), None))
        for name, command, expected in steps:
            dpkg(*command)
            if uid_ini() != expected:
                fail("after %s uid.ini is %r, expected %r" % (name, uid_ini(), expected))
            if read(saved) != "saved":
                fail("%s changed what the user saved" % name)
        if os.path.exists(os.path.join(root, APP_FOLDER)):
            fail("the application folder outlived the purge: %s" % files_under(os.path.join(root, APP_FOLDER)))


def skip(reason):
    print("skipped: " + reason)
    sys.exit(SKIPPED)


def apt_sources():
    """The archive URIs and suites apt reads here, from one-line and deb822 source files."""
    sources = []
    for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*")):
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        if path.endswith(".sources"):
            for stanza in re.split(r"\n\s*\n", text):
                fields = dict(re.findall(r"(?m)^(URIs|Suites):[ \t]*(.*)$", stanza))
                for uri in fields.get("URIs", "").split():
                    sources += [(uri, suite) for suite in fields.get("Suites", "").split()]
        elif path.endswith(".list"):
            for line in text.splitlines():
                words = re.sub(r"\[[^]]*\]", " ", line.split("#")[0]).split()
                if len(words) >= 3 and words[0] == "deb":
                    sources.append((words[1], words[2]))
    return sources


def archive_mirror():
    """The mirror apt uses for the distribution, when it answers within seconds; None otherwise."""
    for uri, suite in apt_sources():
        if suite != DISTRIBUTION or not uri.startswith("http"):
            continue
        mirror = uri.rstrip("/")
        try:
            with urllib.request.urlopen("%s/dists/%s/Release" % (mirror, DISTRIBUTION), timeout=5) as answer:
                if answer.status == 200:
                    return mirror
        except OSError:
            continue
    return None


def base_system_file():
    """The packed base system piuparts starts from, kept in the user's cache between runs, never
    in the source tree or the build folder."""
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    arch = run("dpkg", "--print-architecture").strip()
    return os.path.join(cache, "wavenard", "piuparts-%s-%s.tar.gz" % (DISTRIBUTION, arch))


def piuparts(args):
    deb = package_file(args.out)
    if os.geteuid() != 0:
        skip("piuparts needs root to make its chroot")
    mirror = archive_mirror()
    if mirror is None:
        skip("no mirror of the Debian archive for %s answers (read from /etc/apt/sources.list*)" % DISTRIBUTION)
    base = base_system_file()
    fresh = os.path.isfile(base) and time.time() - os.path.getmtime(base) < BASE_SYSTEM_DAYS * 86400
    command = [args.piuparts, "--distribution", DISTRIBUTION, "--mirror", mirror,
               "--fail-if-inadequate", "--no-upgrade-test"]
    if fresh:
        command += ["--basetgz", base]
    else:
        # Made by debootstrap on the first run (minutes) and upgraded by piuparts on every later
        # one; piuparts writes it beside and renames it into place, so a run at the same time sees
        # it whole or not at all.
        os.makedirs(os.path.dirname(base), exist_ok=True)
        command += ["--save", base]
    with tempfile.TemporaryDirectory(prefix="wavenard-piuparts-") as work:
        result = subprocess.run(command + ["--tmpdir", work, deb], capture_output=True, text=True)
    if result.returncode != 0:
        fail("piuparts exited with %d:\n%s%s" % (result.returncode, result.stdout[-20000:], result.stderr))
    print("piuparts passed on " + deb)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("step", choices=("build", "lint", "contents", "start", "scripts", "piuparts"))
    for name in ("out", "build_dir", "station_sim", "playlist", "piuparts"):
        parser.add_argument("--" + name.replace("_", "-"))
    args = parser.parse_args()
    globals()[args.step](args)


if __name__ == "__main__":
    main()
