#!/usr/bin/env python3
"""The tray on a real X11 desktop: XEmbed and StatusNotifierItem, with and
without a window manager.

    test_tray.py PROGRAM [--tray xembed|sni|none] [--wm openbox|none]
"""

import html
import os
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
import harness  # noqa: E402
from harness import check, wait_until

FINISHED = "Docs - Backup finished"
# "&" and "<" in a path would be misread by a server that parses markup.
MISSING = "miss & <x>"
# Asked today already: no update question in the way.
TODAY = time.strftime("%Y-%m-%d")


def startup_projects(d):
    """One project that copies at start-up and one whose source is missing."""
    source = os.path.join(d.root, "src")
    os.makedirs(os.path.join(source, "sub"))
    with open(os.path.join(source, "sub", "b.txt"), "w") as f:
        f.write("beta")
    d.write_projects(f"Docs|Daily|{source}|{d.root}/dst|Yes|Startup|Old|Every day|",
                     f"Lost|Daily|{d.root}/{MISSING}|{d.root}/dst2|Yes|Startup|Old|Every day|")
    return f"Lost - Backup failed\nWarning: source directory not found:\n{d.root}/{MISSING}"


def toggle(d):
    """The icon's left click, or Activate for a StatusNotifierItem."""
    if d.tray == "sni":
        d.sni_activate()
    else:
        d.click_xembed_icon()


def tray_menu(d, label):
    """Clicks "Show" or "Exit" in the tray icon's menu."""
    if d.tray == "sni":
        d.sni_menu_click(label)
    else:
        click_tray_menu(d, label)


def show_from_menu(d):
    tray_menu(d, "Show")


def click_tray_menu(d, label):
    """Opens the XEmbed icon's menu and clicks an item: "Show" is the upper
    half, "Exit" the lower (Qt does not list the open popup to accessibility)."""
    menus = []
    for attempt in range(3):  # a click the window manager swallowed is repeated, as a user would
        d.click_xembed_icon(button=3)
        try:
            menus = wait_until(d.shown_popups, "the tray menu", timeout=5)
            break
        except harness.Failure:
            if attempt == 2:
                raise
    geometry = d.x().create_resource_object("window", menus[0]).get_geometry()
    y = geometry.height // 4 if label == "Show" else geometry.height * 3 // 4
    harness.run_command(["xdotool", "mousemove", "--window", str(menus[0]), str(geometry.width // 2), str(y),
                         "click", "1"], env=d.env())


def restored(d, what):
    """Shown, and still shown once the window manager has had its say."""
    d.wait_window("shown", what)
    time.sleep(0.5)
    check(d.main_window_state() == "shown", f"{what}: shown, then hidden again")


def tray_round(d):
    """Icon, toggling, close and minimize boxes, balloons, and Exit."""
    failed_body = startup_projects(d)
    d.write_settings(LastCheckUpdate=TODAY)
    d.start_program()
    d.wait_window("shown", "the window at start")

    if d.tray == "sni":
        # Lost may have failed already: its line follows the program's name.
        check(str(d.sni_property("ToolTip")[2]).split("\n")[0] == "Sentrel", "the icon's tip is not Sentrel")
    else:
        # X11 does not carry the tip's text; it is enough that one shows.
        icon = wait_until(d.xembed_icon, "the icon in the XEmbed tray")
        harness.run_command(["xdotool", "mousemove", "--window", str(icon), "6", "6"], env=d.env())
        wait_until(lambda: d.shown_popups(), "the icon's tip")
        harness.run_command(["xdotool", "mousemove", "300", "300"], env=d.env())
        wait_until(lambda: not d.shown_popups(), "the tip to go")

    toggle(d)
    d.wait_window("hidden", "the window hidden by a click on the icon")
    toggle(d)
    restored(d, "the window brought back by a second click")

    # The close box hides the window, and one click or one Show always
    # brings it back, however the window manager orders its replies.
    for round_ in range(6 if d.wm else 2):
        d.press_close_box()
        d.wait_window("hidden", f"the window hidden by the close box (round {round_})")
        (toggle if round_ % 2 == 0 else show_from_menu)(d)
        restored(d, f"the window brought back after the close box (round {round_})")
    check(d.proc.poll() is None, "the close box ended the program")

    if d.wm:
        d.press_minimize_box()
        d.wait_window("hidden", "the window hidden by the minimize box")
        show_from_menu(d)
        restored(d, "the window brought back by Show after minimizing")

    wait_until(lambda: os.path.exists(os.path.join(d.root, "dst", "sub", "b.txt")), "the start-up backup")
    if d.tray == "sni":
        markup = "--no-body-markup" not in d.host_args
        expected = [("Sentrel", "Sentrel", FINISHED),
                    ("Sentrel", "Sentrel", html.escape(failed_body, quote=False) if markup else failed_body)]
        wait_until(lambda: str(d.sni_property("ToolTip")[2]) == "Sentrel\nLost: no backup yet (source not found)",
                   "the failed project in the icon's tip")
        wait_until(lambda: len(d.notifications()) >= 2, "the two balloons")
        got = sorted(n[:3] for n in d.notifications())
        d.expect(got == sorted(expected), f"notifications {got}, expected {sorted(expected)}")
        # Nothing polls the bus: idle, the program keeps the connections it has.
        before = d.connection_serial()
        time.sleep(4.5)
        opened = d.connection_serial() - before - 1
        d.expect(opened == 0, f"{opened} bus connections opened while the program sat idle")

    tray_menu(d, "Exit")
    check(d.wait_exit() == 0, "Exit did not end the program cleanly")
    log = d.log_text()
    check(log.count("Sentrel started") == 1 and log.count("Sentrel exited") == 1 and log.endswith("Sentrel exited\r\n"),
          f"one start and one exit expected in the log:\n{log}")
    settings = d.read(d.config, "Corvane Software", "Sentrel.conf")
    check("ShowBalloon=Yes" in settings and f"LastCheckUpdate={TODAY}" in settings, f"settings:\n{settings}")
    d.expect("ALSA" not in d.stderr() and "canberra" not in d.stderr().lower(),
          f"the sound wrote to stderr:\n{d.stderr()}")


def start_hidden(d):
    """/1 shows nothing until the tray brings the window; balloons switched
    off send no notification."""
    startup_projects(d)
    d.write_settings(LastCheckUpdate=TODAY, ShowBalloon="No")
    d.start_program("/1")
    if d.tray == "sni":
        d.sni_item()
    else:
        wait_until(d.xembed_icon, "the icon in the XEmbed tray")
    wait_until(lambda: os.path.exists(os.path.join(d.root, "dst", "sub", "b.txt")), "the start-up backup")
    check(d.main_window_state() in ("hidden", "missing"), f"the window is {d.main_window_state()} after /1")
    toggle(d)
    restored(d, "the window brought by the tray after /1")
    if d.tray == "sni":
        check(d.notifications() == [], f"balloons switched off, yet {d.notifications()}")
    d.proc.terminate()
    check(d.wait_exit() == 0, "SIGTERM did not end the program cleanly")


def tray_goes_away(d):
    """A hidden window comes back when the tray goes; without a tray the
    close and minimize boxes leave it minimized, never lost."""
    d.write_settings(LastCheckUpdate=TODAY)
    d.start_program()
    d.wait_window("shown", "the window at start")
    d.sni_activate()
    d.wait_window("hidden", "the window hidden by Activate")

    d.stop_sni_host()
    before = d.connection_serial()
    # With a window manager it is iconic, in the task bar; without one it
    # cannot be minimized and stays on the screen.
    not_lost = ("iconic", "shown") if d.wm else ("shown",)
    wait_until(lambda: d.main_window_state() in not_lost, "the window back once the tray went away")
    if d.main_window_state() == "iconic":
        run_activate(d)
    d.press_close_box()
    time.sleep(1)
    wait_until(lambda: d.main_window_state() in not_lost, "the window minimized, not hidden, by the close box")
    if d.wm:
        run_activate(d)
        d.press_minimize_box()
        time.sleep(1)
        check(d.main_window_state() == "iconic", f"minimized without a tray: {d.main_window_state()}")
    check(d.proc.poll() is None, "the close box ended the program")
    # Without a watcher there is nothing to ask the bus about either.
    time.sleep(2.5)
    opened = d.connection_serial() - before - 1
    d.expect(opened == 0, f"{opened} bus connections opened after the tray went away")
    d.proc.terminate()
    check(d.wait_exit() == 0, "SIGTERM did not end the program cleanly")


def balloons_from_a_started_server(d):
    """Beside an XEmbed icon, balloons go to a notification server that the
    bus starts on the first message, with LF line ends."""
    failed_body = startup_projects(d)
    d.write_settings(LastCheckUpdate=TODAY)
    d.start_program()
    d.wait_window("shown", "the window at start")
    wait_until(lambda: len(d.notifications()) >= 2 if os.path.exists(os.path.join(d.root, "dst")) else False,
               "the two balloons")
    got = sorted(n[2] for n in d.notifications())
    check(got == sorted([FINISHED, html.escape(failed_body, quote=False)]), f"notifications {got}")
    d.proc.terminate()
    check(d.wait_exit() == 0, "SIGTERM did not end the program cleanly")


def no_tray(d):
    """With no tray at all, the close and minimize boxes leave the window
    minimized in the task bar."""
    d.write_settings(LastCheckUpdate=TODAY)
    d.start_program()
    d.wait_window("shown", "the window at start")
    d.press_close_box()
    d.wait_window("iconic", "the window minimized by the close box")
    run_activate(d)
    d.press_minimize_box()
    d.wait_window("iconic", "the window minimized by the minimize box")
    time.sleep(1)
    check(d.main_window_state() == "iconic", f"minimized without a tray, then {d.main_window_state()}")
    run_activate(d)
    d.proc.terminate()
    check(d.wait_exit() == 0, "SIGTERM did not end the program cleanly")


def run_activate(d):
    """What a task bar does to bring back a minimized window."""
    window = d.main_window()
    harness.run_command(["xdotool", "windowactivate", "--sync", str(window)], env=d.env(), timeout=10)
    d.wait_window("shown", "the window brought back from the task bar")


def health_in_tray(d):
    """An overdue project warns in the icon, its tip and a balloon until a
    good run; the bus tells a script the same."""
    source = os.path.join(d.root, "src")
    os.makedirs(source)
    with open(os.path.join(source, "a.txt"), "w") as f:
        f.write("a")
    d.write_projects(f"Old|Daily|{source}|{d.root}/dst|Yes|12:00|Old|Every day|")
    last_good = time.localtime(time.time() - 10 * 86400)
    with open(os.path.join(d.data, "Sentrel.state"), "w", newline="") as f:
        f.write(f"Old|LastGood|{time.strftime('%Y-%m-%d %H:%M:%S', last_good)}\r\n")
    d.write_settings(LastCheckUpdate=TODAY)
    d.start_program()
    d.wait_window("shown", "the window at start")
    warning = f"Old: no backup since {time.strftime('%Y-%m-%d', last_good)} (overdue)"
    wait_until(lambda: str(d.sni_property("ToolTip")[2]) == "Sentrel\n" + warning, "the overdue project in the tip")
    warned_icon = d.sni_property("IconPixmap")
    wait_until(lambda: [n[2] for n in d.notifications()] == [warning], "the overdue balloon")

    control = d.bus().get_object("example.corvane.Sentrel", "/example/corvane/Sentrel")
    health = lambda: [str(line).split("\t")[2] for line in control.Health(dbus_interface="example.corvane.Sentrel")]
    check(health() == ["overdue"], f"Health() says {health()}")
    control.BackupNow("Old", dbus_interface="example.corvane.Sentrel")
    wait_until(lambda: str(d.sni_property("ToolTip")[2]) == "Sentrel", "the tip after a good run")
    check(d.sni_property("IconPixmap") != warned_icon, "the icon kept its warning after a good run")
    check(health() == ["ok"], f"Health() says {health()} after a good run")
    check(len(d.notifications()) == 2, f"balloons: {d.notifications()}")
    tray_menu(d, "Exit")
    check(d.wait_exit() == 0, "Exit did not end the program cleanly")


SCENARIOS = [
    (tray_round, "xembed", False, ()),
    (tray_round, "xembed", True, ()),
    (tray_round, "sni", False, ()),
    (tray_round, "sni", True, ("--no-body-markup",)),
    (start_hidden, "xembed", False, ()),
    (balloons_from_a_started_server, "xembed", True, ("--activatable",)),
    (start_hidden, "sni", True, ()),
    (health_in_tray, "sni", True, ()),
    (tray_goes_away, "sni", False, ()),
    (tray_goes_away, "sni", True, ()),
    (no_tray, None, True, ()),
]

if __name__ == "__main__":
    harness.main(SCENARIOS)
