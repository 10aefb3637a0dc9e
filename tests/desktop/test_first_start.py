#!/usr/bin/env python3
"""The installed program started from its launcher on a new account.

    test_first_start.py BUILD_DIR
"""

import configparser
import fnmatch
import os
import shlex
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
import harness  # noqa: E402
from harness import check, wait_until

APP_ID = "example.corvane.Sentrel"

# Everything a first run may leave in the home directory (the README's table).
ALLOWED = [".local/share/Sentrel/Sentrel.prj", ".local/share/Sentrel/Log/????-??-??.txt",
           ".local/share/Sentrel/Sentrel.state", ".local/share/Sentrel/Temporary.lst",
           ".config/Corvane Software/Sentrel.conf", ".config/autostart/sentrel.desktop",
           ".cache/event-sound-cache.tdb.*"]


def install(d, build_dir):
    prefix = os.path.join(d.root, "usr")
    harness.run_command(["cmake", "--install", build_dir, "--prefix", prefix], timeout=120)
    return prefix


def launcher_command(prefix):
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(os.path.join(prefix, "share", "applications", APP_ID + ".desktop"))
    return shlex.split(entry["Desktop Entry"]["Exec"])


def home_files(home):
    found = []
    for directory, _, files in os.walk(home):
        found += [os.path.relpath(os.path.join(directory, f), home) for f in files]
    return sorted(found)


def first_start(d, build_dir):
    prefix = install(d, build_dir)
    command = launcher_command(prefix)
    check(command == ["sentrel"], f"launcher runs {command}")
    program = os.path.join(prefix, "bin", command[0])

    # The one thing the test puts in: a project that runs at start-up.
    data = os.path.join(d.home, ".local", "share", "Sentrel")
    os.makedirs(os.path.join(d.root, "src"))
    with open(os.path.join(d.root, "src", "a.txt"), "w") as f:
        f.write("alpha")
    os.makedirs(data)
    with open(os.path.join(data, "Sentrel.prj"), "w", newline="") as f:
        f.write(f"Docs|Daily|{d.root}/src|{d.root}/dst|Yes|Startup|Old|Every day|\r\n")

    # A session's environment: only the runtime directory is set.
    d.start_program(program=program, env={
        "SENTREL_HOME": None, "XDG_CONFIG_HOME": None, "XDG_DATA_HOME": None, "XDG_CACHE_HOME": None,
        "PATH": os.path.join(prefix, "bin") + os.pathsep + os.environ.get("PATH", ""),
        "XDG_DATA_DIRS": os.path.join(prefix, "share") + ":/usr/share"})

    box = d.message_box("Sentrel")
    d.wait_window("shown", "the window on the first start")
    d.answer(box, "No")
    wait_until(lambda: os.path.exists(os.path.join(d.root, "dst", "a.txt")), "the start-up backup")
    wait_until(lambda: any(n[2] == "Docs - Backup finished" for n in d.notifications()), "the balloon")

    d.sni_menu_click("Exit")
    check(d.wait_exit() == 0, "Exit did not end the program cleanly")

    check(not os.path.exists(os.path.join(prefix, "bin", "Sentrel.prj")), "data written beside the program")
    check(os.path.isdir(os.path.join(data, "Log")), "no log directory in $XDG_DATA_HOME/Sentrel")
    entry = d.read(d.home, ".config", "autostart", "sentrel.desktop")
    check(f"Exec=\"{program}\" /1\n" in entry, f"the autostart entry does not start {program}:\n{entry}")
    settings = d.read(d.home, ".config", "Corvane Software", "Sentrel.conf")
    check("LastCheckUpdate=" in settings and "LastCheckUpdate=2005" not in settings,
          f"the reminder's date was not stored:\n{settings}")
    unexpected = [f for f in home_files(d.home) if not any(fnmatch.fnmatch(f, p) for p in ALLOWED)]
    check(not unexpected, f"the first run wrote {unexpected}")
    check(d.stderr().strip() == "", f"the program wrote to stderr:\n{d.stderr()}")


if __name__ == "__main__":
    build = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""

    def scenario(d):
        first_start(d, build)
    scenario.__name__ = "first_start"
    sys.exit(harness.run(scenario, "sni", True, program=os.path.join(build, "sentrel")))
