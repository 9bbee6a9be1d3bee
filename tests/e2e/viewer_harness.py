"""Drives the real depth-viewer on a private virtual X server, for the end-to-end tests.

Each test gets its own Xvfb, on a display number the server picks for itself, so tests never
collide with each other or with a desktop. Everything started here (the X server, the viewer)
dies with the test: on normal exit, on a failed assertion, on SIGTERM from CTest, and through
PR_SET_PDEATHSIG even when the test process itself is killed outright.

Each test also gets its own camera service (camsdk-service) on a socket in its work folder,
named to the viewer through CAMSDK_ENDPOINT, so tests never share a service by accident.

Paths come from the environment that tests/e2e/CMakeLists.txt sets: DV_VIEWER (the program),
DV_SERVICE (the camera service) and DV_STILL_BAND (the helper that prints the still band's
expected colours).
"""

import ctypes
import os
import pty
import re
import select
import signal
import subprocess
import tempfile
import termios
import threading
import time
import unittest

SCREEN = "1600x1200x24"
# How much slower than a plain build the viewer under test runs; every time limit here is
# stretched by it. The sanitizer build sets it, because there the viewer runs several times
# slower and its exit adds a scan for leaks; the plain build keeps the limits as they are.
SLOWDOWN = float(os.environ.get("DV_E2E_SLOWDOWN", "1"))
WINDOW_TIMEOUT = 10.0 * SLOWDOWN  # seconds for a window to appear
COLOR_TITLE = "Color Camera"
DEPTH_TITLE = "Depth Camera"
DEPTH_WINDOW_TOP = 640  # below the colour window, which is 480 rows and a toolbar tall

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def _raise_on_sigterm(signum, frame):
    raise SystemExit(f"stopped by signal {signum}")


signal.signal(signal.SIGTERM, _raise_on_sigterm)


def _stop(process, grace=2.0):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class VirtualDisplay:
    """An Xvfb of its own. Starting it fails loudly: a test without X must not pass."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.name = None
        self._log = open(os.path.join(workdir, "xvfb.log"), "wb")
        read_end, write_end = os.pipe()
        try:
            self._process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=self._log,
                stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
        finally:
            os.close(write_end)
        try:
            number = self._read_display_number(read_end, timeout=15.0)
        finally:
            os.close(read_end)
        if number is None:
            self.close()
            with open(self._log.name, "rb") as log:
                raise RuntimeError("Xvfb did not start: " + log.read().decode(errors="replace"))
        self.name = ":" + number

    @staticmethod
    def _read_display_number(fd, timeout):
        text = b""
        deadline = time.monotonic() + timeout
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                return None
            chunk = os.read(fd, 64)
            if not chunk:
                return None
            text += chunk
        return text.decode().strip()

    def run(self, *args, timeout=10.0, check=True):
        """Runs an X client on this display; returns its standard output as bytes."""
        env = dict(os.environ, DISPLAY=self.name)
        done = subprocess.run(list(args), env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout, preexec_fn=_die_with_parent)
        if check and done.returncode != 0:
            raise RuntimeError(f"{args[0]} failed ({done.returncode}): "
                               + done.stderr.decode(errors="replace"))
        return done.stdout

    def close(self):
        _stop(self._process)
        self._log.close()


class WindowManager:
    """openbox, Debian's small window manager, on a virtual display: it places, decorates and
    closes windows as on a desktop. Ready once it has claimed the screen."""

    def __init__(self, display, workdir, timeout=10.0):
        self._log = open(os.path.join(workdir, "openbox.log"), "wb")
        env = dict(os.environ, DISPLAY=display.name)
        self.process = subprocess.Popen(
            ["openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml"], env=env,
            stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT,
            preexec_fn=_die_with_parent)
        deadline = time.monotonic() + timeout
        while b"window id" not in display.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                              check=False):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise RuntimeError("openbox did not take the screen")
            time.sleep(0.1)

    def close(self):
        _stop(self.process)
        self._log.close()


class Service:
    """The camera service, on an endpoint of its own. Starting it waits until it serves; a
    service that exits instead (a bad scenario file, an endpoint already served) leaves its
    status and standard error for the test to read."""

    def __init__(self, workdir, scenario=None, endpoint=None, args=(), name="service",
                 program=None, extra_env=None):
        self.endpoint = endpoint or "ipc://" + os.path.join(workdir, name + ".sock")
        # The simulated camera only: a camera plugged into the machine never joins a test.
        command = (list(program or [os.environ["DV_SERVICE"]])
                   + ["--endpoint", self.endpoint, "--no-v4l2"] + list(args))
        if scenario is not None:
            path = os.path.join(workdir, name + "-scenario.txt")
            with open(path, "w") as f:
                f.write(scenario)
            command += ["--scenario", path]
        self.scenario_path = command[-1] if scenario is not None else None
        self._stderr_path = os.path.join(workdir, name + ".stderr")
        env = {k: v for k, v in os.environ.items() if k != "CAMSDK_SCENARIO"}
        env.update(extra_env or {})
        with open(self._stderr_path, "wb") as err:
            self.process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=err,
                                            preexec_fn=_die_with_parent)
        deadline = time.monotonic() + 5.0 * SLOWDOWN
        while time.monotonic() < deadline and self.process.poll() is None:
            if "serving " in self.stderr():
                break
            time.sleep(0.02)

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def stderr(self):
        with open(self._stderr_path, "rb") as f:
            return f.read().decode(errors="replace")

    def said_goodbye(self, viewer_pid):
        """True when the first session of the viewer with this process id ended with a goodbye
        (the viewer closed its context) rather than with its connection closing. Needs the
        service started with args=("--log-level", "info"). The service may log it a moment
        after the viewer has ended."""
        deadline = time.monotonic() + 2.0 * SLOWDOWN
        while True:
            log = self.stderr()
            first = re.search(r"client (\d+) \(depth-viewer \(process %d\)\) connected"
                              % viewer_pid, log)
            if first and f"client {first.group(1)} dropped: " in log:
                return f"client {first.group(1)} dropped: it said goodbye" in log
            if time.monotonic() > deadline:
                return False
            time.sleep(0.05)

    def kill(self):
        """kill -9: the service has no chance to say goodbye."""
        if self.running():
            os.kill(self.process.pid, signal.SIGKILL)
            self.process.wait()

    def close(self):
        _stop(self.process)


class Viewer:
    """The real program. Its standard output is a terminal, as for a user who starts it from a
    shell, or a pipe, as for a supervisor or `| tee`; standard error goes to a file. A display
    whose name is None leaves DISPLAY unset. `program` is the command that starts it (by
    default DV_VIEWER)."""

    def __init__(self, display, workdir, endpoint, name="viewer", extra_env=None,
                 stdout_pipe=False, program=None):
        self.workdir = workdir
        self.started = time.monotonic()
        env = {k: v for k, v in os.environ.items()
               if k not in ("CAMSDK_SCENARIO", "WAYLAND_DISPLAY", "DISPLAY")}
        if display.name is not None:
            env["DISPLAY"] = display.name
        env["CAMSDK_ENDPOINT"] = endpoint
        env.update(extra_env or {})
        runtime_dir = os.path.join(workdir, "runtime")
        os.makedirs(runtime_dir, mode=0o700, exist_ok=True)
        env["XDG_RUNTIME_DIR"] = runtime_dir  # keeps the display library from warning about it
        self._stderr_path = os.path.join(workdir, name + ".stderr")
        self._output = []
        self._output_lock = threading.Lock()
        if stdout_pipe:
            self._terminal, child_end = os.pipe()
        else:
            self._terminal, child_end = pty.openpty()
            modes = termios.tcgetattr(child_end)
            modes[1] &= ~termios.OPOST  # "\n" stays "\n"
            termios.tcsetattr(child_end, termios.TCSANOW, modes)
        try:
            with open(self._stderr_path, "wb") as err:
                self._process = subprocess.Popen(
                    list(program or [os.environ["DV_VIEWER"]]), env=env, stdin=subprocess.DEVNULL,
                    stdout=child_end, stderr=err, cwd=workdir, preexec_fn=_die_with_parent)
        finally:
            os.close(child_end)
        self._reader = threading.Thread(target=self._read_output, daemon=True)
        self._reader.start()

    def _read_output(self):
        while True:
            try:
                chunk = os.read(self._terminal, 4096)
            except OSError:  # the viewer has closed its end
                return
            if not chunk:
                return
            with self._output_lock:
                self._output.append(chunk)

    @property
    def pid(self):
        return self._process.pid

    def kill(self):
        """kill -9: the viewer has no chance to give anything back."""
        if self.running():
            os.kill(self._process.pid, signal.SIGKILL)
            self._process.wait()

    def running(self):
        return self._process.poll() is None

    def signal(self, signum):
        os.kill(self._process.pid, signum)

    def wait_exit(self, timeout):
        """The exit status, or None if the viewer is still running after `timeout` seconds."""
        try:
            status = self._process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        self._reader.join(2.0)  # the last lines
        return status

    def stdout(self):
        with self._output_lock:
            return b"".join(self._output).decode(errors="replace")

    def stderr(self):
        with open(self._stderr_path, "rb") as f:
            return f.read().decode(errors="replace")

    def wait_for_output(self, text, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.stdout():
                return True
            if not self.running():
                self._reader.join(2.0)
                return text in self.stdout()
            time.sleep(0.05)
        return False

    def close(self):
        _stop(self._process)
        self._reader.join(2.0)
        if not self._reader.is_alive():
            os.close(self._terminal)


class Picture:
    """A screenshot: width, height and rows of RGB bytes, top row first."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @classmethod
    def from_ppm(cls, data):
        match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        if not match or match.group(3) != b"255":
            raise ValueError("not an 8-bit binary PPM")
        width, height = int(match.group(1)), int(match.group(2))
        rgb = data[match.end():match.end() + 3 * width * height]
        if len(rgb) != 3 * width * height:
            raise ValueError("truncated PPM")
        return cls(width, height, rgb)

    def bgr(self, x, y):
        i = 3 * (y * self.width + x)
        r, g, b = self.rgb[i:i + 3]
        return (b, g, r)

    def region(self, left, top, width, height):
        """The bytes of a rectangle, row by row, for comparing parts of two screenshots."""
        return b"".join(self.rgb[3 * (y * self.width + left):3 * (y * self.width + left + width)]
                        for y in range(top, top + height))

    def save(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height) + self.rgb)

    def bounds_of_not(self, colour_bgr, top, bottom):
        """Bounding box (left, top, right, bottom; exclusive) of the pixels in rows
        [top, bottom) whose colour differs from `colour_bgr`, or None if there are none."""
        b, g, r = colour_bgr
        plain_row = bytes((r, g, b)) * self.width
        stride = 3 * self.width
        found = None
        for y in range(max(top, 0), min(bottom, self.height)):
            row = self.rgb[y * stride:(y + 1) * stride]
            if row == plain_row:
                continue
            xs = [x for x in range(self.width) if row[3 * x:3 * x + 3] != plain_row[:3]]
            left, right = xs[0], xs[-1] + 1
            if found is None:
                found = [left, y, right, y + 1]
            else:
                found = [min(found[0], left), found[1], max(found[2], right), y + 1]
        return tuple(found) if found else None


class StillBand:
    """The still band at the top of every simulated colour picture, as the viewer must show it:
    `rows` rows of blocks (first column, last column, (blue, green, red))."""

    def __init__(self):
        lines = subprocess.run([os.environ["DV_STILL_BAND"]], capture_output=True, check=True,
                               text=True, timeout=10).stdout.split("\n")
        self.rows = int(lines[0].split()[1])
        self.blocks = []
        for line in lines[1:]:
            if line.startswith("block "):
                first, last, b, g, r = (int(v) for v in line.split()[1:])
                self.blocks.append((first, last, (b, g, r)))
        if self.rows < 1 or not self.blocks:
            raise RuntimeError("the still band helper printed no band")
        self.first_column = self.blocks[0][0]
        self.span = self.blocks[-1][1] + 1 - self.first_column
        parts, column = [], self.first_column
        for first, last, (b, g, r) in self.blocks:
            if first > column:
                parts.append(b".{%d}" % (3 * (first - column)))  # columns outside any block
            parts.append(re.escape(bytes((r, g, b)) * (last + 1 - first)))
            column = last + 1
        self._row_pattern = re.compile(b"".join(parts), re.DOTALL)

    def find(self, picture):
        """Where the picture that carries the band starts inside `picture` (x, y of its top-left
        pixel), found by the first pixel row that matches the band exactly and whose next
        rows match too; None when the band is not there byte for byte."""
        stride = 3 * picture.width
        pos = 0
        while True:
            match = self._row_pattern.search(picture.rgb, pos)
            if not match:
                return None
            pos = match.start() + 1
            if match.start() % 3:
                continue
            y, x = divmod(match.start() // 3, picture.width)
            if x + self.span > picture.width or y + self.rows > picture.height:
                continue
            if all(self._row_pattern.match(picture.rgb, match.start() + k * stride)
                   for k in range(1, self.rows)):
                return (x - self.first_column, y)


class ViewerTestCase(unittest.TestCase):
    """Gives each test a work folder, its own X server and a way to start the viewer; tears
    all of it down whatever happens. Screenshots taken with `shot` are kept in the folder
    named by DV_E2E_ARTIFACTS, for a look after a failure."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="dv-e2e-")
        self.addCleanup(self._tmp.cleanup)
        self.workdir = self._tmp.name
        self.display = VirtualDisplay(self.workdir)
        self.addCleanup(self.display.close)
        self.viewer = None
        self.service = None

    def start_service(self, scenario=None, **kwargs):
        service = Service(self.workdir, scenario, **kwargs)
        self.addCleanup(self._report_and_close_service, service)
        if self.service is None:
            self.service = service
        return service

    def start_viewer(self, scenario=None, name="viewer", endpoint=None, extra_env=None,
                     display=None, stdout_pipe=False, program=None):
        """The viewer on this test's service, started first (with `scenario`) if need be."""
        if endpoint is None:
            if self.service is None:
                self.start_service(scenario)
            endpoint = self.service.endpoint
        viewer = Viewer(display or self.display, self.workdir, endpoint, name, extra_env,
                        stdout_pipe, program)
        self.addCleanup(self._report_and_close, viewer)
        if self.viewer is None:
            self.viewer = viewer
        return viewer

    def _report_and_close(self, viewer):
        viewer.close()
        # CTest shows this only when the test fails.
        print(f"--- viewer stdout ---\n{viewer.stdout()}--- viewer stderr ---\n"
              f"{viewer.stderr()}---")

    def start_window_manager(self):
        manager = WindowManager(self.display, self.workdir)
        self.addCleanup(manager.close)
        return manager

    def _report_and_close_service(self, service):
        service.close()
        print(f"--- service stderr ---\n{service.stderr()}---")

    # Windows.

    def find_window(self, title, timeout=WINDOW_TIMEOUT):
        """The X window titled exactly `title`, waiting until it is mapped; fails the test if
        it does not appear in time."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.display.run("xdotool", "search", "--onlyvisible", "--name",
                                     "^" + re.escape(title) + "$", check=False).split()
            if found:
                return found[0].decode()
            if self.viewer is not None and not self.viewer.running():
                break
            time.sleep(0.1)
        self.fail(f'no window "{title}" within {timeout} s')

    def geometry(self, window):
        """(x, y, width, height) of a window on the screen."""
        info = self.display.run("xwininfo", "-id", window).decode()

        def field(name):
            return int(re.search(name + r":\s+(-?\d+)", info).group(1))

        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def frame_extents(self, window, timeout=WINDOW_TIMEOUT):
        """(left, right, top, bottom) of the frame a window manager put around `window`, waiting
        until it has; fails the test if it does not in time."""
        deadline = time.monotonic() + timeout
        while True:
            found = re.search(rb"= (\d+), (\d+), (\d+), (\d+)", self.display.run(
                "xprop", "-id", window, "_NET_FRAME_EXTENTS", check=False))
            if found and int(found.group(3)) > 0:
                return tuple(int(v) for v in found.groups())
            if time.monotonic() > deadline:
                self.fail(f"window {window} has no title bar")
            time.sleep(0.1)

    def title_bar(self, window):
        """(x, y, width, height) of the title bar above `window`."""
        x, y, width, _ = self.geometry(window)
        left, right, top, _ = self.frame_extents(window)
        return (x - left, y - top, left + width + right, top)

    def press_close_button(self, window):
        """A click on the close button of the window's title bar: with openbox's default theme
        the rightmost button, square, as tall as the title bar less its border."""
        x, y, width, height = self.title_bar(window)
        self.display.run("xdotool", "mousemove", "--sync", str(x + width - height // 2 - 1),
                         str(y + height // 2), "click", "1")

    def move(self, window, x, y, timeout=5.0):
        """Moves a window and waits until it is there. With no window manager every window
        opens at the top-left corner, and a screenshot of a covered window shows the cover.
        The move is sent again every half second while it has not taken: a window that is
        still being shown (Wine places its windows again as it maps them) can undo a move
        sent a moment too early."""
        deadline = time.monotonic() + timeout
        while True:
            self.display.run("xdotool", "windowmove", window, str(x), str(y))
            resend = time.monotonic() + 0.5
            while time.monotonic() < resend:
                if self.geometry(window)[:2] == (x, y):
                    return
                time.sleep(0.05)
            if time.monotonic() > deadline:
                self.fail(f"window {window} did not move to {x},{y}: it is at "
                          f"{self.geometry(window)[:2]}")

    def open_windows(self):
        """Waits for both windows and lays them out one above the other, without overlap.
        Returns (colour window, depth window)."""
        color = self.find_window(COLOR_TITLE)
        depth = self.find_window(DEPTH_TITLE)
        self.move(color, 0, 0)
        self.move(depth, 0, DEPTH_WINDOW_TOP)
        color_bottom = sum(self.geometry(color)[1::2])
        self.assertLessEqual(color_bottom, DEPTH_WINDOW_TOP, "the colour window is too tall")
        # The viewer repaints what the move uncovered in its next key polls, a few per frame.
        time.sleep(0.5)
        return color, depth

    def shot(self, window, label):
        ppm = self.display.run("import", "-window", window, "-depth", "8", "ppm:-")
        picture = Picture.from_ppm(ppm)
        artifacts = os.environ.get("DV_E2E_ARTIFACTS")
        if artifacts:
            os.makedirs(artifacts, exist_ok=True)
            picture.save(os.path.join(artifacts, f"{self.id().split('.')[-1]}-{label}.ppm"))
        return picture

    def check_pictures(self, color, depth, band, depth_size=(320, 240)):
        """The colour window shows the still band and a 640x480 picture, the depth window a
        picture of `depth_size`, measured on the screen."""
        color_shot, (left, top) = self.find_band(color, band, "color")
        # Below the toolbar, everything that is not window background is the picture.
        background = color_shot.bgr(0, top)
        self.assertEqual(color_shot.bounds_of_not(background, top, color_shot.height),
                         (left, top, left + 640, top + 480))
        depth_shot = self.shot(depth, "depth")
        bounds = depth_shot.bounds_of_not(background, top, depth_shot.height)
        self.assertIsNotNone(bounds, "the depth window shows no picture")
        self.assertEqual((bounds[2] - bounds[0], bounds[3] - bounds[1]), depth_size)

    def find_band(self, window, band, label, timeout=WINDOW_TIMEOUT):
        """Screenshots `window` until the still band shows in it; returns the screenshot and
        the position of the colour picture inside it. Fails the test if it never shows."""
        deadline = time.monotonic() + timeout
        while True:
            picture = self.shot(window, label)
            where = band.find(picture)
            if where is not None:
                return picture, where
            if time.monotonic() > deadline:
                self.fail(f"the still band does not show in the colour window ({label})")
            time.sleep(0.2)

    # Keys, as real key events to the focused window.

    def press(self, window, *keys):
        self.display.run("xdotool", "windowfocus", "--sync", window)
        for key in keys:
            self.display.run("xdotool", "key", key)

    def quit_with_q(self, color_window, within=1.0, presses=1):
        """Presses q in the colour window until the viewer ends, giving each press `within`
        seconds (stretched by SLOWDOWN); returns the exit status, failing after `presses`
        presses. More presses suit a display where a key may be lost on its way."""
        within *= SLOWDOWN
        for press in range(1, presses + 1):
            self.press(color_window, "q")
            status = self.viewer.wait_exit(within)
            if status is not None:
                print(f"the viewer ended after press {press} of q")
                return status
        self.fail(f"the viewer still runs {within} s after press {presses} of q")


def main():
    unittest.main(verbosity=2)
