"""The D-Bus interface and the command-line client against the real program.

Run inside a private session bus: dbus-run-session -- python3 test_control.py SENTREL
Exit code 77 when python3-dbus or GLib is missing.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
try:
    import dbus
    import dbus.mainloop.glib
    from gi.repository import GLib
except ImportError:
    sys.exit(SKIP)

NAME = "example.corvane.Sentrel"
PATH = "/example/corvane/Sentrel"


def wait_until(condition, what, timeout=15):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def main(exe):
    root = tempfile.mkdtemp(prefix="sentrel-control-")
    home, src, dst = (os.path.join(root, d) for d in ("data", "src", "dst"))
    os.makedirs(home)
    os.makedirs(os.path.join(src, "sub"))
    with open(os.path.join(src, "sub", "a.txt"), "w") as f:
        f.write("a")
    big = os.path.join(root, "big")
    os.makedirs(big)
    with open(os.path.join(big, "big.bin"), "wb") as f:
        for _ in range(1536):  # written out, not sparse: its copy takes a while, under the sanitizers too
            f.write(b"\1" * (1 << 20))
    with open(os.path.join(home, "Sentrel.prj"), "w", newline="") as f:
        f.write(f"Docs|Manually|{src}|{dst}|Yes||Old|Manually backup|\r\n")
        f.write(f"Big|Manually|{big}|{os.path.join(root, 'bigdst')}|Yes||All|Manually backup|\r\n")
        # Weekly on tomorrow's weekday: no row today, a due time six days ago.
        tomorrow = time.localtime(time.time() + 86400).tm_wday + 1
        f.write(f"Stale|Weekly|{src}|{os.path.join(root, 'dst3')}|Yes|12:00|Old|Every week|{tomorrow}\r\n")
    stale = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(time.time() - 40 * 86400))
    with open(os.path.join(home, "Sentrel.state"), "w", newline="") as f:
        f.write(f"Stale|LastGood|{stale}\r\n")
    env = dict(os.environ, SENTREL_HOME=home, QT_QPA_PLATFORM="offscreen", HOME=root,
               XDG_CONFIG_HOME=os.path.join(root, "config"), XDG_RUNTIME_DIR=root)

    def cli(*args):
        done = subprocess.run([exe, *args], env=env, capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout, done.stderr

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    finished = []
    bus.add_signal_receiver(lambda *row: finished.append([str(v) for v in row]), "TaskFinished", NAME)

    # Nothing runs: the plain commands say so; --backup-now starts the
    # program hidden, then queues the run.
    code, _, err = cli("--status")
    assert code == 6 and "not running" in err, (code, err)
    code, out, err = cli("--backup-now", "Docs")
    assert code == 0, (code, out, err)
    pid = int(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
              .GetConnectionUnixProcessID(NAME, dbus_interface="org.freedesktop.DBus"))
    try:
        loop = GLib.MainContext.default()
        wait_until(lambda: (loop.iteration(False), finished)[1], "the TaskFinished signal")
        assert finished[0][0] == "Docs" and finished[0][2] == "Backup finished.", finished
        assert os.path.exists(os.path.join(dst, "sub", "a.txt"))

        code, out, _ = cli("--status")
        assert code == 0 and out.startswith("Docs\t") and out.rstrip().endswith("\tBackup finished."), out
        sentrel = dbus.Interface(bus.get_object(NAME, PATH), NAME)
        assert [str(r).split("\t")[2] for r in sentrel.Status()] == ["Backup finished."]
        # Health: the same lines from the bus and from the files.
        assert [str(line) for line in sentrel.Health()] == [f"Stale\t{stale}\toverdue"], sentrel.Health()
        assert cli("--health") == (1, f"Stale\t{stale}\toverdue\n", ""), cli("--health")

        code, _, err = cli("--backup-now", "Nobody")
        assert code == 4 and "Nobody" in err, (code, err)
        try:
            sentrel.BackupNow("Nobody")
            raise AssertionError("an unknown project was accepted")
        except dbus.DBusException as e:
            assert e.get_dbus_name() == NAME + ".Error.UnknownProject", e

        assert cli("--stop-schedule")[0] == 0
        code, _, err = cli("--stop-schedule")
        assert code == 5 and "already stopped" in err, (code, err)
        # Queued while stopped: it waits for the schedule.
        assert cli("--backup-now", "Docs")[0] == 0
        time.sleep(1.5)
        assert cli("--status")[1].splitlines()[-1].endswith("\t"), "a run started while stopped"
        assert cli("--start-schedule")[0] == 0
        wait_until(lambda: cli("--status")[1].rstrip().endswith("Backup finished."), "the queued run")
        assert cli("--show")[0] == 0

        # A start without options still ends silently beside a running one,
        # and a headless run of a project in hand is refused.
        code, out, err = cli()
        assert code == 0 and not out and not err, (code, out, err)
        code, _, err = cli("--run", "Nobody")
        assert code == 4, (code, err)
        assert cli("--backup-now", "Big")[0] == 0
        wait_until(lambda: "\tBacking up" in cli("--status")[1], "the big run")
        assert [str(name) for name in sentrel.Running()] == ["Big"], sentrel.Running()
        code, _, err = cli("--run", "Big")
        assert code == 5 and "Big" in err, (code, err)
        assert cli("--bogus-1")[0] == 0
    finally:
        os.kill(pid, signal.SIGTERM)
        wait_until(lambda: subprocess.run(["kill", "-0", str(pid)], capture_output=True).returncode != 0,
                   "the program to end")
        shutil.rmtree(root, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1])
