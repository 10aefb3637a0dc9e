"""Runs the real program on a virtual X11 desktop for end-to-end tests.

A scenario is a function taking a Desktop; run() sets the desktop up, calls
it and tears everything down, with a screenshot when it fails:

    def scenario(d):
        d.start_program()
        d.wait_window("shown", "the window at start")

    harness.run(scenario, tray="sni", wm=True)

Every wait is bounded. Without the desktop tools the scenario is skipped
(exit code 77), unless SENTREL_DESKTOP_TOOLS=required says the set-up
installed them, in which case a missing tool fails it.
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77
X_VIEWABLE = 2  # an X window's map state when it and its ancestors are mapped
WAIT = 15  # seconds, for anything the program does in response to the test

TOOLS = {"Xvfb": "xvfb", "xdotool": "xdotool", "xprop": "x11-utils", "xwd": "x11-apps",
         "dbus-daemon": "dbus"}
TRAY_TOOLS = {"xembed": {"trayer": "trayer"}}
WM_TOOLS = {"openbox": "openbox"}
PY_MODULES = {"dbus": "python3-dbus", "gi": "python3-gi", "pyatspi": "python3-pyatspi",
              "Xlib": "python3-xlib"}


class Skip(Exception):
    pass


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(condition, what, timeout=WAIT, interval=0.1):
    """Polls until condition() is true; returns its value or fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def missing_tools(tray, wm):
    missing = []
    tools = dict(TOOLS)
    tools.update(TRAY_TOOLS.get(tray, {}))
    if wm:
        tools.update(WM_TOOLS)
    for tool, package in tools.items():
        if not shutil.which(tool):
            missing.append(f"{tool} ({package})")
    for module, package in PY_MODULES.items():
        try:
            __import__(module)
        except ImportError:
            missing.append(f"python module {module} ({package})")
    return missing


def run_command(args, timeout=WAIT, env=None, check_rc=True):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=timeout, text=True)
    if check_rc and result.returncode != 0:
        raise Failure(f"{' '.join(args)} failed ({result.returncode}): {result.stderr.strip()}")
    return result.stdout


class Desktop:
    """An Xvfb display, a private session bus, an optional tray host and
    window manager, and the program in a sandbox of its own."""

    def __init__(self, program, tray, wm, host_args=(), keep=False):
        self.program = program
        self.tray = tray
        self.wm = wm
        self.host_args = list(host_args)
        self.keep = keep
        self.root = tempfile.mkdtemp(prefix="sentrel-desktop-")
        self.home = os.path.join(self.root, "home")
        self.data = os.path.join(self.root, "data")
        self.config = os.path.join(self.root, "config")
        self.runtime = os.path.join(self.root, "runtime")
        for path in (self.home, self.data, self.config, self.runtime):
            os.makedirs(path, mode=0o700)
        self.processes = []  # (name, Popen), stopped in reverse order
        self.proc = None
        self.display = None
        self.bus_address = None
        self._bus = None
        self._x = None
        self._last_click = 0.0
        self.failures = []

    def expect(self, condition, message):
        """A check that lets the scenario go on; the scenario fails at its end."""
        if not condition:
            self.failures.append(message)
            print("FAILED: " + message)
        return condition

    # ----- set-up and teardown

    def start(self):
        self._start_xvfb()
        self._start_bus()
        if self.wm:
            self._start_wm()
        if self.tray == "xembed":
            self.start_xembed_tray()
        elif self.tray == "sni":
            self.start_sni_host(*self.host_args)

    def stop(self):
        if self._x is not None:
            self._x.close()
            self._x = None
        for name, process in reversed(self.processes):
            self._terminate(process)
        self.processes.clear()
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def _spawn(self, name, args, env=None, **kwargs):
        process = subprocess.Popen(args, env=env or self.env(), **kwargs)
        self.processes.append((name, process))
        return process

    @staticmethod
    def _terminate(process):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=5)

    def _read_line(self, process, what):
        ready, _, _ = select.select([process.stdout], [], [], WAIT)
        if not ready:
            raise Failure(f"{what} did not start")
        line = process.stdout.readline()
        if not line:
            raise Failure(f"{what} ended at start")
        return line.strip()

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        xvfb = self._spawn("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                    "-nolisten", "tcp", "-noreset"],
                           env=dict(os.environ), pass_fds=(write_end,),
                           stderr=open(os.path.join(self.root, "xvfb.txt"), "w"))
        os.close(write_end)
        # Xvfb ends if the pipe closes before it wrote the whole line.
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        number = number.decode().strip()
        check(number.isdigit(), f"Xvfb did not start ({xvfb.poll()})")
        self.display = ":" + number

    def _start_bus(self):
        """A session bus of the system's kind; with the tray host argument
        "--activatable" the notification server is not running but starts
        on the first message to it, as many desktops have it."""
        services = os.path.join(self.root, "services")
        os.makedirs(services)
        config = os.path.join(self.root, "session.conf")
        with open(config, "w") as f:
            f.write('<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"'
                    ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">\n'
                    f"<busconfig><include>/usr/share/dbus-1/session.conf</include>"
                    f"<servicedir>{services}</servicedir></busconfig>\n")
        if "--activatable" in self.host_args:
            with open(os.path.join(services, "org.freedesktop.Notifications.service"), "w") as f:
                f.write("[D-BUS Service]\nName=org.freedesktop.Notifications\n"
                        f"Exec={sys.executable} {os.path.join(HERE, 'trayhost.py')} --no-watcher\n")
        bus = self._spawn("dbus-daemon", ["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
                          env=self.env(with_bus=False), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.bus_address = self._read_line(bus, "the session bus")

    def _start_wm(self):
        self._spawn("openbox", ["openbox", "--sm-disable"], env=self.desktop_env(), stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
        wait_until(lambda: "window id" in self.xprop_root("_NET_SUPPORTING_WM_CHECK"), "openbox")

    def start_xembed_tray(self):
        self._spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                               "--height", "32", "--SetDockType", "true", "--expand", "true"],
                    env=self.desktop_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: "window id" in self.xprop_root("_NET_SYSTEM_TRAY_S0", selection=True),
                   "the XEmbed tray")

    def start_sni_host(self, *args):
        host = self._spawn("trayhost", [sys.executable, os.path.join(HERE, "trayhost.py"), *args],
                           stdout=subprocess.PIPE, text=True)
        check(self._read_line(host, "the tray host") == "ready", "the tray host did not start")
        self.sni_host = host
        return host

    def stop_sni_host(self):
        self.processes = [(n, p) for n, p in self.processes if p is not self.sni_host]
        self._terminate(self.sni_host)

    def env(self, with_bus=True):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "DBUS_", "QT_", "SENTREL_", "WAYLAND_", "DESKTOP_"))}
        env.update(HOME=self.home, LANG="C.UTF-8", LC_ALL="C.UTF-8", XDG_RUNTIME_DIR=self.runtime,
                   XDG_CONFIG_HOME=self.config, XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                   XDG_DATA_HOME=os.path.join(self.home, ".local/share"))
        if self.display:
            env["DISPLAY"] = self.display
        if with_bus and self.bus_address:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
        return env

    def desktop_env(self):
        """For the desktop's own programs: a home of their own, so that the
        program's home holds only what the program wrote."""
        home = os.path.join(self.root, "desktop-home")
        os.makedirs(home, exist_ok=True)
        env = self.env()
        env.update(HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"),
                   XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local/share"))
        return env

    # ----- the program

    def start_program(self, *args, env=None, program=None):
        full = self.env()
        full.update(SENTREL_HOME=self.data, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                    QT_ACCESSIBILITY="1")
        full.update(env or {})
        full = {k: v for k, v in full.items() if v is not None}
        self.stderr_path = os.path.join(self.root, "stderr.txt")
        with open(self.stderr_path, "w") as stderr:
            self.proc = self._spawn("sentrel", [program or self.program, *args], env=full,
                                    stdout=subprocess.DEVNULL, stderr=stderr, cwd=self.home)
        return self.proc

    def wait_exit(self, timeout=WAIT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout} s")

    def stderr(self):
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    def read(self, *parts):
        with open(os.path.join(*parts), encoding="utf-8", errors="replace", newline="") as f:
            return f.read()

    def log_files(self):
        log_dir = os.path.join(self.data, "Log")
        return sorted(os.listdir(log_dir)) if os.path.isdir(log_dir) else []

    def log_text(self):
        files = self.log_files()
        check(len(files) == 1, f"expected one log file, found {files}")
        return self.read(self.data, "Log", files[0])

    def write_projects(self, *lines):
        with open(os.path.join(self.data, "Sentrel.prj"), "w", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))

    def write_settings(self, **values):
        directory = os.path.join(self.config, "Corvane Software")
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, "Sentrel.conf"), "w") as f:
            f.write("[General]\n" + "".join(f"{k}={v}\n" for k, v in values.items()))

    # ----- X11

    def x(self):
        if self._x is None:
            from Xlib import display
            self._x = display.Display(self.display)
        return self._x

    def xprop_root(self, atom, selection=False):
        if selection:
            x = self.x()
            owner = x.get_selection_owner(x.intern_atom(atom))
            return "window id" if owner else ""
        return run_command(["xprop", "-display", self.display, "-root", atom], check_rc=False)

    def windows(self):
        """The program's top-level windows, popups included, also inside
        the frames a window manager puts around them."""
        found = []

        def walk(window, depth):
            try:
                children = window.query_tree().children
            except Exception:
                return  # gone meanwhile
            for child in children:
                try:
                    wm_class = child.get_wm_class()
                except Exception:
                    continue
                if wm_class and wm_class[0] == "sentrel":
                    found.append(child.id)
                elif depth < 5:
                    walk(child, depth + 1)

        walk(self.x().screen().root, 1)
        return found

    def main_window(self):
        """The window that is neither a popup nor a dialog of another."""
        from Xlib import X
        x = self.x()
        for window in self.windows():
            w = x.create_resource_object("window", window)
            try:
                if w.get_attributes().override_redirect:
                    continue
                if w.get_full_property(x.intern_atom("WM_TRANSIENT_FOR"), X.AnyPropertyType):
                    continue
                geometry = w.get_geometry()
                if geometry.width <= 64 and geometry.height <= 64:  # the XEmbed tray icon
                    continue
            except Exception:
                continue
            if self.window_title(window) == "Sentrel":
                return window
        return None

    def window_title(self, window):
        from Xlib import X
        x = self.x()
        w = x.create_resource_object("window", window)
        try:
            name = w.get_full_property(x.intern_atom("_NET_WM_NAME"), X.AnyPropertyType)
            return name.value.decode() if name else (w.get_wm_name() or "")
        except Exception:
            return ""

    def window_class(self, window):
        try:
            wm_class = self.x().create_resource_object("window", window).get_wm_class()
            return wm_class[0] if wm_class else ""
        except Exception:
            return ""

    def window_state(self, window):
        """'shown', 'iconic' (minimized in the task bar) or 'hidden'."""
        from Xlib import X
        x = self.x()
        w = x.create_resource_object("window", window)
        try:
            attributes = w.get_attributes()
            wm_state = w.get_full_property(x.intern_atom("WM_STATE"), X.AnyPropertyType)
        except Exception:
            return "hidden"
        if wm_state and wm_state.value[0] == 3:
            return "iconic"
        if attributes.map_state == X.IsViewable:
            return "shown"
        return "hidden"

    def shown_popups(self):
        """The program's shown menus and tips: override-redirect windows
        straight under the root (the embedded icon is one too, deeper)."""
        x = self.x()
        root = x.screen().root
        popups = []
        for window in self.windows():
            w = x.create_resource_object("window", window)
            try:
                if w.get_attributes().override_redirect and w.query_tree().parent == root:
                    if self.window_state(window) == "shown":
                        popups.append(window)
            except Exception:
                continue
        return popups

    def main_window_state(self):
        window = self.main_window()
        return self.window_state(window) if window else "missing"

    def wait_window(self, state, what=None):
        wait_until(lambda: self.main_window_state() == state, what or f"the window {state}")

    def _client_message(self, window, type_name, data):
        from Xlib import X
        from Xlib.protocol import event
        x = self.x()
        root = x.screen().root
        message = event.ClientMessage(window=window, client_type=x.intern_atom(type_name),
                                      data=(32, (data + [0] * 5)[:5]))
        target = root if type_name != "WM_PROTOCOLS" else x.create_resource_object("window", window)
        mask = (X.SubstructureRedirectMask | X.SubstructureNotifyMask) if target == root else 0
        target.send_event(message, event_mask=mask)
        x.flush()

    def press_close_box(self):
        """What the title bar's close box does: through the window manager
        when there is one, else the close request it would send."""
        window = self.main_window()
        check(window, "no main window to close")
        if self.wm:
            self._client_message(window, "_NET_CLOSE_WINDOW", [0, 2])
        else:
            x = self.x()
            self._client_message(window, "WM_PROTOCOLS", [x.intern_atom("WM_DELETE_WINDOW"), 0])

    def press_minimize_box(self):
        window = self.main_window()
        check(window, "no main window to minimize")
        run_command(["xdotool", "windowminimize", str(window)], env=self.env())

    def screenshot(self, path):
        if self.display:
            run_command(["xwd", "-display", self.display, "-root", "-silent", "-out", path], check_rc=False)

    # ----- the XEmbed tray icon

    def xembed_icon(self):
        """The program's icon window, embedded in the tray (unlike its tip,
        which is small too but a child of the root window)."""
        root = self.x().screen().root
        for window in self.windows():
            w = self.x().create_resource_object("window", window)
            try:
                geometry = w.get_geometry()
                embedded = w.query_tree().parent != root and w.get_attributes().map_state == X_VIEWABLE
            except Exception:
                continue
            if embedded and geometry.width <= 64 and geometry.height <= 64:
                return window
        return None

    def click_xembed_icon(self, button=1):
        icon = wait_until(self.xembed_icon, "the tray icon")
        # Two clicks in quick succession are a double click, which does nothing.
        time.sleep(max(0.0, self._last_click + 0.8 - time.monotonic()))
        self._last_click = time.monotonic()
        run_command(["xdotool", "mousemove", "--window", str(icon), "4", "4", "click", str(button)],
                    env=self.env())

    # ----- D-Bus: the StatusNotifierItem, its dbusmenu and the notifications

    def bus(self):
        if self._bus is None:
            import dbus
            self._bus = dbus.bus.BusConnection(self.bus_address)
        return self._bus

    def host_call(self, method):
        import dbus
        host = self.bus().get_object("x.sentrel.TestHost", "/TestHost")
        return dbus.Interface(host, "x.sentrel.TestHost").get_dbus_method(method)(timeout=WAIT)

    def sni_items(self):
        return [str(i) for i in self.host_call("Items")]

    def sni_item(self):
        items = wait_until(self.sni_items, "the StatusNotifierItem to register")
        service, _, path = items[0].partition("/")
        return service, "/" + path if path else "/StatusNotifierItem"

    def sni_property(self, name):
        service, path = self.sni_item()
        item = self.bus().get_object(service, path)
        return item.Get("org.kde.StatusNotifierItem", name, dbus_interface="org.freedesktop.DBus.Properties",
                        timeout=WAIT)

    def sni_activate(self):
        service, path = self.sni_item()
        self.bus().get_object(service, path).Activate(0, 0, dbus_interface="org.kde.StatusNotifierItem",
                                                      timeout=WAIT)

    def sni_menu_click(self, label):
        """Clicks a menu item by its label without the mnemonic mark."""
        import dbus
        service, path = self.sni_item()
        menu_path = self.sni_property("Menu")
        menu = self.bus().get_object(service, menu_path)
        _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface="com.canonical.dbusmenu",
                                   timeout=WAIT)
        for child in layout[2]:
            item_id, properties = int(child[0]), child[1]
            if str(properties.get("label", "")).replace("_", "").replace("&", "") == label:
                menu.Event(dbus.Int32(item_id), "clicked", dbus.Int32(0), dbus.UInt32(0),
                           dbus_interface="com.canonical.dbusmenu", timeout=WAIT)
                return
        raise Failure(f"no menu item {label!r} in {layout}")

    def notifications(self):
        """(app, summary, body, icon) of each notification; none while no
        server runs."""
        import dbus
        try:
            return [tuple(str(f) for f in n) for n in self.host_call("Notifications")]
        except dbus.DBusException:
            return []

    def connection_serial(self):
        """How many connections the bus has accepted so far: unique names
        count up, so a new connection's own name tells."""
        import dbus
        probe = dbus.bus.BusConnection(self.bus_address)
        serial = int(probe.get_unique_name().rpartition(".")[2])
        probe.close()
        return serial

    # ----- accessibility

    def accessible_app(self):
        # libatspi finds the accessibility bus through the session bus, once
        # per process: one scenario per process (see run_isolated).
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
        os.environ["DISPLAY"] = self.display
        import pyatspi

        def find():
            desktop = pyatspi.Registry.getDesktop(0)
            for app in desktop:
                if app is not None and app.get_process_id() == self.proc.pid:
                    return app
            return None

        return wait_until(find, "the program on the accessibility bus")

    def find_accessible(self, predicate, what, root=None):
        import pyatspi

        def find():
            start = root or self.accessible_app()
            return pyatspi.findDescendant(start, predicate, breadth_first=True)

        return wait_until(find, what)

    def press(self, accessible):
        action = accessible.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("press", "click", "Press", "SetFocus", "activate"):
                action.doAction(i)
                return
        action.doAction(0)

    def click(self, accessible):
        """A mouse click in the middle of the control. Unlike an accessible
        action it does not wait for a modal box that the click opens."""
        import pyatspi
        extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        check(extents.width > 0 and extents.height > 0, f"{accessible.name!r} has no place on the screen")
        run_command(["xdotool", "mousemove", str(extents.x + extents.width // 2),
                     str(extents.y + extents.height // 2), "click", "1"], env=self.env())

    def message_box(self, title):
        """The program's dialog or message box of that title, once it shows."""
        import pyatspi

        def find():
            app = self.accessible_app()
            for window in app:
                if (window is not None and window.name == title and window.getState().contains(pyatspi.STATE_SHOWING)
                        and window.getRole() in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT)):
                    return window
            return None

        return wait_until(find, f"the box titled {title!r}")

    def answer(self, box, button):
        import pyatspi
        target = self.find_accessible(lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                                      and a.name.replace("&", "") == button, f"the button {button!r}", root=box)
        self.press(target)


def tools_required():
    return os.environ.get("SENTREL_DESKTOP_TOOLS") == "required"


def run(scenario, tray, wm, host_args=(), program=None):
    """Runs one scenario on a fresh desktop; the exit code is the result."""
    program = program or os.environ.get("SENTREL_EXE") or (sys.argv[1] if len(sys.argv) > 1 else "")
    missing = missing_tools(tray, wm)
    if not program or not os.access(program, os.X_OK):
        missing.append("the program (pass its path)")
    if missing:
        print("missing: " + ", ".join(missing))
        if tools_required():
            return 1
        print("skipped: desktop tools are not installed (make test installs them)")
        return SKIP
    desktop = Desktop(program, tray, wm, host_args)
    try:
        desktop.start()
        scenario(desktop)
        check(not desktop.failures, f"{len(desktop.failures)} checks failed")
        print(f"passed: {scenario.__name__} (tray {tray}, window manager {'openbox' if wm else 'none'})")
        return 0
    except Skip as reason:
        print(f"skipped: {reason}")
        return SKIP
    except BaseException:
        traceback.print_exc()
        shot = os.path.join(os.environ.get("SENTREL_SCREENSHOT_DIR", tempfile.gettempdir()),
                            f"sentrel-{scenario.__name__}-{tray}-{'openbox' if wm else 'nowm'}.xwd")
        try:
            desktop.screenshot(shot)
            print(f"screenshot: {shot}")
            if desktop.proc:
                print("program stderr:\n" + desktop.stderr())
            print("Xvfb:\n" + desktop.read(desktop.root, "xvfb.txt"))
        except Exception:
            pass
        return 1
    finally:
        desktop.stop()


SCENARIO_BUDGET = 180  # seconds for one scenario, set-up and teardown included


def run_isolated(scenario, tray, wm, host_args=(), program=None):
    """run() in a process group of its own, ended whatever happens within
    SCENARIO_BUDGET, with every process it started."""
    sys.stdout.flush()
    pid = os.fork()
    if pid == 0:
        os.setpgid(0, 0)
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
        code = 1
        try:
            code = run(scenario, tray, wm, host_args, program)
        finally:
            sys.stdout.flush()
            os._exit(code)
    status = _wait_child(pid, SCENARIO_BUDGET)
    if status is None:
        print(f"FAILED: {scenario.__name__} took longer than {SCENARIO_BUDGET} s")
        os.killpg(pid, signal.SIGTERM)
        if _wait_child(pid, 10) is None:
            os.killpg(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        status = 1
    try:
        os.killpg(pid, signal.SIGKILL)  # stragglers, such as bus-activated services
    except ProcessLookupError:
        pass
    return status


def _wait_child(pid, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, raw = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(raw)
        time.sleep(0.1)
    return None


def main(scenarios):
    """Command line of a scenario file: [program] [--tray T] [--wm W]."""
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("program", nargs="?")
    parser.add_argument("--tray", choices=("xembed", "sni", "none"))
    parser.add_argument("--wm", choices=("openbox", "none"))
    args = parser.parse_args()
    results = []
    for scenario, tray, wm, host_args in scenarios:
        if args.tray and args.tray != (tray or "none"):
            continue
        if args.wm and (args.wm == "openbox") != wm:
            continue
        results.append(run_isolated(scenario, tray, wm, host_args, args.program))
    if any(r not in (0, SKIP) for r in results):
        sys.exit(1)
    sys.exit(SKIP if results and all(r == SKIP for r in results) else 0)
