"""A private X display for driving the real tessaly executable.

XSession starts Xvfb (and, unless told otherwise, the openbox window manager) on a free
display, with a scratch HOME and XDG_RUNTIME_DIR of its own, so that the single-instance
lock and the clipboard never meet anything outside the test. The viewer is driven as a
person would drive it: xdotool for keys, the mouse and window sizes, window titles as the
visible state, xclip for the clipboard and ImageMagick's import for pixels.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

TOOLS = ("Xvfb", "openbox", "xdotool", "xclip", "xprop", "import", "identify", "cjpeg",
         "dbus-daemon", "gdbus")
A11Y_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# How long a window or title may take to appear. The machines that run the suite may be
# busy building in parallel, so this is generous; a passing check returns at once.
WAIT_SECONDS = 20.0


def missing_tools():
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if not os.access(A11Y_BUS_LAUNCHER, os.X_OK):
        missing.append("at-spi2-core")
    return missing


def executable_under_test():
    path = os.environ.get("TESSALY_EXE", "")
    if not path or not os.access(path, os.X_OK):
        raise unittest.SkipTest("TESSALY_EXE does not name the tessaly executable")
    return path


class Timeout(AssertionError):
    pass


def wait_until(predicate, what, timeout=WAIT_SECONDS, interval=0.05):
    """Polls predicate until it returns something true and returns that value."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() > deadline:
            raise Timeout("timed out waiting for " + (what() if callable(what) else what))
        time.sleep(interval)


def repeat_until(action, predicate, what, attempts=3, timeout=5.0):
    """Does the action and waits for predicate; does it again, at most `attempts` times in
    all, while predicate stays false. For an action the desktop now and then lets pass
    without effect. Returns predicate's value."""
    for attempt in range(attempts):
        action()
        try:
            return wait_until(predicate, what, timeout)
        except Timeout:
            if attempt == attempts - 1:
                raise


class Program:
    """A process started in the session; its output goes to a log file in the session."""

    def __init__(self, process, log_path):
        self.process = process
        self.log_path = log_path

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def wait(self, timeout=WAIT_SECONDS):
        return self.process.wait(timeout=timeout)

    def log(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""


class XSession:
    def __init__(self, width=1280, height=1024, window_manager=True, extra_server_args=()):
        self.width = width
        self.height = height
        self.window_manager = window_manager
        self.extra_server_args = list(extra_server_args)
        self.programs = []
        self.dir = None
        self.env = None
        self._server = None
        self._wm = None
        self._bus = None
        self._last_click = {}
        self.a11y = Accessibility(self)

    # ---- life cycle -------------------------------------------------------------------

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        missing = missing_tools()
        if missing:
            raise unittest.SkipTest("not installed: " + ", ".join(missing))
        self.dir = tempfile.mkdtemp(prefix="tessaly-e2e-")
        home = os.path.join(self.dir, "home")
        runtime = os.path.join(self.dir, "runtime")
        os.makedirs(home, mode=0o700)
        os.makedirs(runtime, mode=0o700)
        display = self._start_display_server(runtime)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "DISPLAY": display,
            "LANG": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            # Qt publishes its widgets over AT-SPI, which is how the tests read the texts
            # of message boxes and labels that no window title shows.
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        }
        self._session_env(self.env)
        # Sanitizer settings reach a sanitized build of the program.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        self._start_session_bus()
        if self.window_manager:
            self._wm = self._start_daemon(["openbox", "--sm-disable"], "openbox.log",
                                          env=self.env)
            wait_until(lambda: "window id" in self.run("xprop", "-root",
                                                        "_NET_SUPPORTING_WM_CHECK", check=False),
                       "the window manager")

    def _start_display_server(self, runtime):
        """Starts the X server; returns its DISPLAY."""
        read_end, write_end = os.pipe()
        self._server = self._start_daemon(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             "%dx%dx24" % (self.width, self.height), "-nolisten", "tcp", "-noreset"]
            + self.extra_server_args,
            "xvfb.log", pass_fds=(write_end,))
        os.close(write_end)
        display = self._read_display(read_end)
        os.close(read_end)
        return ":" + display

    def _session_env(self, env):
        """Adjusts the session's environment before anything runs in it."""

    def _start_daemon(self, argv, log_name, **options):
        with open(os.path.join(self.dir, log_name), "wb") as log:
            return subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=log, **options)

    def _start_session_bus(self):
        read_end, write_end = os.pipe()
        self._bus = self._start_daemon(
            ["dbus-daemon", "--session", "--nofork", "--print-address=%d" % write_end],
            "dbus.log", pass_fds=(write_end,), env=self.env)
        os.close(write_end)
        address = self._read_line(read_end, self._bus, "the session bus")
        os.close(read_end)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _read_display(self, fd):
        return self._read_line(fd, self._server, "Xvfb")

    @staticmethod
    def _read_line(fd, process, what):
        data = b""
        deadline = time.monotonic() + WAIT_SECONDS
        while not data.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or process.poll() is not None:
                raise RuntimeError(what + " did not start")
            ready, _, _ = select.select([fd], [], [], remaining)
            if ready:
                chunk = os.read(fd, 256)
                if not chunk:
                    raise RuntimeError(what + " did not report its address")
                data += chunk
        return data.decode().strip()

    def stop(self):
        for program in self.programs:
            if program.running():
                program.process.kill()
                program.process.wait()
        # The accessibility bus and registry that the session bus started end with it.
        for process in (self._wm, self._bus, self._server):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)

    # ---- programs ---------------------------------------------------------------------

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def launch(self, argv, cwd=None, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        log_path = self.path("program-%d.log" % len(self.programs))
        log = open(log_path, "wb")
        process = subprocess.Popen(argv, env=env, cwd=cwd or self.dir, stdout=log,
                                   stderr=subprocess.STDOUT)
        log.close()
        program = Program(process, log_path)
        self.programs.append(program)
        return program

    def run(self, *argv, check=True, binary=False, timeout=WAIT_SECONDS):
        result = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=timeout)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (" ".join(argv), result.returncode,
                                                      result.stderr.decode(errors="replace")))
        return result.stdout if binary else result.stdout.decode("utf-8", errors="replace")

    # ---- windows ----------------------------------------------------------------------

    def windows(self, pid=None):
        """Visible top-level windows as (id, title), optionally of one process."""
        argv = ["xdotool", "search", "--onlyvisible"]
        if pid is not None:
            argv += ["--all", "--pid", str(pid)]
        argv += ["--name", ""]
        ids = self.run(*argv, check=False).split()
        found = []
        for wid in ids:
            title = self.title(wid)
            if title is not None:
                found.append((wid, title))
        return found

    def title(self, wid):
        """The window's title as UTF-8 text, or None when the window has gone."""
        out = self.run("xprop", "-id", str(wid), "-notype", "_NET_WM_NAME", check=False)
        match = re.match(r'_NET_WM_NAME = "(.*)"\s*$', out, re.S)
        if not match:
            return None
        return re.sub(r'\\(.)', r'\1', match.group(1))

    def find_window(self, pattern, pid=None):
        regex = re.compile(pattern)
        for wid, title in self.windows(pid):
            if regex.fullmatch(title):
                return wid
        return None

    def wait_window(self, pattern, pid=None, timeout=WAIT_SECONDS):
        """Waits for a visible window whose whole title matches the pattern."""
        return wait_until(lambda: self.find_window(pattern, pid),
                          lambda: "a window titled %r; there are %r" % (pattern, self.windows()),
                          timeout)

    def wait_no_window(self, pattern, pid=None, timeout=WAIT_SECONDS):
        wait_until(lambda: self.find_window(pattern, pid) is None,
                   "no window titled %r" % pattern, timeout)

    def visible(self, wid):
        out = self.run("xdotool", "search", "--onlyvisible", "--name", "", check=False)
        return str(wid) in out.split()

    def wait_until_gone(self, wid, timeout=WAIT_SECONDS):
        wait_until(lambda: not self.visible(wid), "window %s to close" % wid, timeout)

    def wait_title(self, wid, expected, timeout=WAIT_SECONDS):
        """Waits until the window's title equals `expected` (or matches it, if a regex)."""
        def matches():
            title = self.title(wid)
            if title is None:
                return False
            if isinstance(expected, re.Pattern):
                return expected.fullmatch(title) is not None
            return title == expected
        wait_until(matches, lambda: "title %r, window %s has %r" % (
            expected, wid, self.title(wid)), timeout)
        return self.title(wid)

    def geometry(self, wid):
        """Client area of the window: (x, y, width, height) on the screen. (xwininfo, as
        xdotool's getwindowgeometry adds the frame's offset once more under a window
        manager.)"""
        out = self.run("xwininfo", "-id", str(wid))
        values = dict(re.findall(r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):"
                                 r"\s*(-?\d+)", out, re.M))
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                              "Width", "Height"))

    def frame_extents(self, wid):
        """(left, right, top, bottom) of the window manager's frame, zeros without one."""
        out = self.run("xprop", "-id", str(wid), "-notype", "_NET_FRAME_EXTENTS", check=False)
        numbers = re.findall(r"\d+", out.split("=", 1)[-1]) if "=" in out else []
        return tuple(int(n) for n in numbers) if len(numbers) == 4 else (0, 0, 0, 0)

    def outer_geometry(self, wid):
        x, y, w, h = self.geometry(wid)
        left, right, top, bottom = self.frame_extents(wid)
        return x - left, y - top, w + left + right, h + top + bottom

    def active_window(self):
        return self.run("xdotool", "getactivewindow", check=False).strip()

    def activate(self, wid):
        self.run("xdotool", "windowactivate", "--sync", str(wid), check=False)
        wait_until(lambda: self.active_window() == str(wid), "window %s to be active" % wid)

    def window_pid(self, wid):
        return int(self.run("xdotool", "getwindowpid", str(wid)).strip())

    def move_window(self, wid, x, y):
        """Moves the window's frame to (x, y) on the screen, and waits until the program
        knows where its window now is: the window manager tells a moved window a moment after
        the move, and a program that has not heard of it yet would take a later move to that
        same place for no move at all. The program's own idea of the place is the one it
        publishes over AT-SPI."""
        self.run("xdotool", "windowmove", "--sync", str(wid), str(x), str(y))
        pid = self.window_pid(wid)
        wait_until(lambda: self.geometry(wid) in self.a11y.window_extents(pid),
                   lambda: "the program to see window %s at %r (it has its windows at %r)" % (
                       wid, self.geometry(wid), self.a11y.window_extents(pid)))

    def resize(self, wid, width, height):
        """Sets the window's client size."""
        self.run("xdotool", "windowsize", "--sync", str(wid), str(width), str(height))

    # ---- input ------------------------------------------------------------------------

    def key(self, *keys, delay_ms=60):
        self.run("xdotool", "key", "--delay", str(delay_ms), *keys)

    def close_by_window_manager(self, wid, attempts=3):
        """Activates the window and closes it with the window manager's alt+F4, as a person
        would. Now and then on a loaded machine openbox lets that combination through to the
        program instead of acting on it (the program gets both key presses); a window still
        open a few seconds later is closed again."""
        def close():
            self.activate(wid)
            self.key("alt+F4")
        repeat_until(close, lambda: not self.visible(wid), "window %s to close" % wid,
                     attempts)

    def type_text(self, text):
        self.run("xdotool", "type", "--delay", "20", text)

    def move(self, wid, x, y):
        """Moves the pointer to (x, y) of the window's client area."""
        self.run("xdotool", "mousemove", "--window", str(wid), str(x), str(y))

    # Two presses of one button closer than this (Qt's double-click interval is 400 ms)
    # would make a double-click; single clicks are spaced at least this far apart.
    CLICK_SPACING = 0.6

    def click(self, wid, x, y, button=1, repeat=1):
        self.move(wid, x, y)
        last = self._last_click.get(button)
        if last is not None:
            time.sleep(max(0.0, last + self.CLICK_SPACING - time.monotonic()))
        self.run("xdotool", "click", "--repeat", str(repeat), "--delay", "80", str(button))
        self._last_click[button] = time.monotonic()

    def press(self, button=1):
        last = self._last_click.get(button)
        if last is not None:
            time.sleep(max(0.0, last + self.CLICK_SPACING - time.monotonic()))
        self.run("xdotool", "mousedown", str(button))
        self._last_click[button] = time.monotonic()

    def release(self, button=1):
        self.run("xdotool", "mouseup", str(button))

    # ---- clipboard and pixels ---------------------------------------------------------

    def clipboard_targets(self):
        return self.run("xclip", "-selection", "clipboard", "-t", "TARGETS", "-o",
                        check=False).split()

    def set_clipboard_text(self, text):
        """Puts a text on the clipboard (xclip keeps serving it until another owner takes
        the clipboard)."""
        subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode(),
                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WAIT_SECONDS, check=True)

    def clipboard(self, target="UTF8_STRING"):
        return self.run("xclip", "-selection", "clipboard", "-t", target, "-o",
                        binary=True, check=False)

    def window_pixels(self, wid):
        """The window's client area as (width, height, rgb bytes)."""
        return parse_ppm(self.run("import", "-window", str(wid), "-depth", "8", "ppm:-",
                                  binary=True))


class Accessibility:
    """Reads the widgets of a running program over AT-SPI: role, name (a label's or a
    window's text) and depth, in tree order."""

    ROOT = "/org/a11y/atspi/accessible/root"

    def __init__(self, session):
        self.session = session
        self._address = None

    def address(self):
        if self._address is None:
            out = self.session.run("gdbus", "call", "--session", "--dest", "org.a11y.Bus",
                                   "--object-path", "/org/a11y/bus", "--method",
                                   "org.a11y.Bus.GetAddress")
            self._address = re.search(r"'([^']*)'", out).group(1)
        return self._address

    def _call(self, dest, path, method, *args):
        return self.session.run("gdbus", "call", "--address", self.address(), "--dest", dest,
                                "--object-path", path, "--method", method, *args, check=False)

    def _children(self, dest, path):
        out = self._call(dest, path, "org.a11y.atspi.Accessible.GetChildren")
        return re.findall(r"\('([^']*)', (?:objectpath )?'([^']*)'\)", out)

    def _text(self, dest, path, method, *args):
        out = self._call(dest, path, method, *args)
        match = re.search(r"'((?:[^'\\]|\\.)*)'", out)
        return decode_gvariant_string(match.group(1)) if match else ""

    def _whole_text(self, bus, path):
        out = self._call(bus, path, "org.freedesktop.DBus.Properties.Get", "org.a11y.atspi.Text",
                         "CharacterCount")
        count = re.search(r"<(\d+)>", out)
        if not count:
            return ""
        return self._text(bus, path, "org.a11y.atspi.Text.GetText", "0", count.group(1))

    def application(self, pid):
        """The bus name of the program's accessible application, or None."""
        for bus, _ in self._children("org.a11y.atspi.Registry", self.ROOT):
            out = self.session.run("gdbus", "call", "--address", self.address(), "--dest",
                                   "org.freedesktop.DBus", "--object-path",
                                   "/org/freedesktop/DBus", "--method",
                                   "org.freedesktop.DBus.GetConnectionUnixProcessID", bus,
                                   check=False)
            if re.search(r"\b%d\b" % pid, out):
                return bus
        return None

    def nodes(self, pid, with_text=False):
        """(depth, role, name) of every accessible object of the program; with_text adds
        the whole text of each text box as a fourth field."""
        bus = self.application(pid)
        if bus is None:
            return []
        found = []

        def walk(path, depth):
            role = self._text(bus, path, "org.a11y.atspi.Accessible.GetRoleName")
            name = self._text(bus, path, "org.freedesktop.DBus.Properties.Get",
                              "org.a11y.atspi.Accessible", "Name")
            if with_text:
                found.append((depth, role, name, self._whole_text(bus, path) if role == "text"
                              else ""))
            else:
                found.append((depth, role, name))
            for child_bus, child in self._children(bus, path):
                if child_bus == bus:
                    walk(child, depth + 1)

        walk(self.ROOT, 0)
        return found

    def window_extents(self, pid):
        """Where the program has the client areas of its windows, on the screen, as it
        publishes them: (x, y, width, height) each."""
        bus = self.application(pid)
        if bus is None:
            return []
        found = []
        for child_bus, path in self._children(bus, self.ROOT):
            if child_bus != bus:
                continue
            # Coordinates relative to the screen (ATSPI_COORD_TYPE_SCREEN).
            out = self._call(bus, path, "org.a11y.atspi.Component.GetExtents", "0")
            numbers = [int(n) for n in re.findall(r"-?\d+", out)]
            if len(numbers) == 4:
                found.append(tuple(numbers))
        return found

    def message_boxes(self, pid):
        """(title, text) of each message box the program shows."""
        nodes = self.nodes(pid)
        boxes = []
        for i, (depth, role, name) in enumerate(nodes):
            if role != "alert message":
                continue
            texts = []
            for inner_depth, inner_role, inner_name in nodes[i + 1:]:
                if inner_depth <= depth:
                    break
                if inner_role == "label" and inner_name:
                    texts.append(inner_name)
            boxes.append((name, "\n".join(texts)))
        return boxes

    def press(self, pid, name, role="push button"):
        """Presses the program's button of that name through its accessible action, with no
        pointer or keyboard involved. Returns whether the button was found."""
        bus = self.application(pid)
        if bus is None:
            return False

        def find(path):
            if (self._text(bus, path, "org.a11y.atspi.Accessible.GetRoleName") == role
                    and self._text(bus, path, "org.freedesktop.DBus.Properties.Get",
                                   "org.a11y.atspi.Accessible", "Name") == name):
                return path
            for child_bus, child in self._children(bus, path):
                found = find(child) if child_bus == bus else None
                if found:
                    return found
            return None

        path = find(self.ROOT)
        if path is None:
            return False
        self._call(bus, path, "org.a11y.atspi.Action.DoAction", "0")
        return True

    def wait_message_box(self, pid, timeout=WAIT_SECONDS):
        """Waits for a message box of the program and returns its (title, text)."""
        return wait_until(lambda: (self.message_boxes(pid) or [None])[0],
                          "a message box of process %d" % pid, timeout, interval=0.2)

    def texts(self, pid, role=None):
        return [name for _, r, name in self.nodes(pid) if role is None or r == role]

    def wait_text(self, pid, predicate, what, role=None, timeout=WAIT_SECONDS):
        """Waits for an object whose name satisfies predicate and returns that name."""
        def look():
            for name in self.texts(pid, role):
                if predicate(name):
                    return name
            return None
        return wait_until(look, lambda: "%s among %r" % (what, self.texts(pid, role)),
                          timeout, interval=0.2)


def decode_gvariant_string(text):
    """Undoes the escapes of a string in GVariant's text form."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", "'": "'", '"': '"',
                      "a": "\a", "b": "\b", "f": "\f", "v": "\v"}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if n == "u":
                out.append(chr(int(text[i + 2:i + 6], 16)))
                i += 6
                continue
            if n == "U":
                out.append(chr(int(text[i + 2:i + 10], 16)))
                i += 10
                continue
        out.append(c)
        i += 1
    return "".join(out)


def parse_ppm(data):
    """Width, height and RGB bytes of a binary PPM (P6, maxval 255)."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height * 3]
    return width, height, pixels


def png_size(data):
    """Width and height from a PNG's header."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG")
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")


class WestonSession(XSession):
    """A Wayland desktop: weston on its headless back end with XWayland and weston's own X11
    window manager, and the environment of a Wayland session (WAYLAND_DISPLAY,
    XDG_SESSION_TYPE=wayland, XWayland's DISPLAY) without QT_QPA_PLATFORM, so the program
    chooses its platform itself. Weston places X11 windows as it likes."""

    TOOLS = ("weston", "Xwayland")
    SOCKET = "wayland-tessaly"

    def __init__(self, width=1280, height=1024):
        super().__init__(width, height, window_manager=False)

    def start(self):
        missing = [tool for tool in self.TOOLS if shutil.which(tool) is None]
        if missing:
            raise unittest.SkipTest("not installed: " + ", ".join(missing))
        super().start()
        # XWayland starts at the first X11 connection, weston's window manager right after.
        wait_until(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                    check=False),
                   lambda: "weston's X11 window manager\n" + self.weston_log())

    def _start_display_server(self, runtime):
        # Weston puts XWayland's socket into the X11 socket folder but does not make it.
        sockets = "/tmp/.X11-unix"
        if not os.path.isdir(sockets):
            os.makedirs(sockets, exist_ok=True)
            os.chmod(sockets, 0o1777)
        # Weston needs a runtime folder of mode 0700, as the session's is; with it, it runs
        # as root too.
        self._server = self._start_daemon(
            ["weston", "--backend=headless-backend.so", "--xwayland", "--no-config",
             "--idle-time=0", "--socket=" + self.SOCKET, "--width=%d" % self.width,
             "--height=%d" % self.height],
            "weston.log",
            env={"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                 "HOME": os.path.join(self.dir, "home"), "XDG_RUNTIME_DIR": runtime})

        def display():
            if self._server.poll() is not None:
                raise RuntimeError("weston ended:\n" + self.weston_log())
            match = re.search(r"xserver listening on display (:\d+)", self.weston_log())
            return match and match.group(1)
        return wait_until(display, lambda: "weston's XWayland display\n" + self.weston_log())

    def _session_env(self, env):
        env["WAYLAND_DISPLAY"] = self.SOCKET
        env["XDG_SESSION_TYPE"] = "wayland"
        del env["QT_QPA_PLATFORM"]

    def weston_log(self):
        try:
            with open(self.path("weston.log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""


def kill(program, sig=signal.SIGKILL):
    os.kill(program.pid, sig)
    program.process.wait(timeout=WAIT_SECONDS)
