"""The Windows programs, cross-built with MinGW-w64, under Wine on the virtual X server: the
Windows viewer with the Windows service shows the still band in its exact colours in "Color
Camera", opens "Depth Camera", prints the node count and ends with status 0 on q; Ctrl-C (Wine
turns SIGINT into the console's Ctrl-C event) stops it as q does, giving its streams back,
with Windows' status for it; and one protocol across two platforms, over TCP on loopback: the
Windows viewer shows the Linux service's camera and the Linux viewer the Windows service's,
both with moving pictures.

Paths from the environment (scripts/test-windows.sh sets them): DV_WINDOWS_VIEWER and
DV_WINDOWS_SERVICE (the .exe files), DV_VIEWER, DV_SERVICE and DV_STILL_BAND (the Linux build's
programs), DV_WINE_RUN (scripts/wine-run.sh)."""
import os
import signal
import socket
import subprocess
import time

import viewer_harness as h

WINE = [os.environ["DV_WINE_RUN"]]
WINDOWS_VIEWER = WINE + [os.environ["DV_WINDOWS_VIEWER"]]
WINDOWS_SERVICE = WINE + [os.environ["DV_WINDOWS_SERVICE"]]
# Wine starts a program in about a second, and its first start in a prefix takes longer.
WINE_WINDOW_TIMEOUT = 30.0 * h.SLOWDOWN
# A window Wine is still mapping may be placed again after a move: the move is retried.
WINE_MOVE_TIMEOUT = 10.0 * h.SLOWDOWN
# Without a window manager Wine waits 2 s as it closes each window, so the Windows viewer ends
# some seconds after the q that ends it.
WINE_QUIT_SECONDS = 10.0
# A key sent to a Wine window on a busy machine is now and then not delivered (with no window
# manager the window never holds the input focus); q is sent again rather than the test failing.
WINE_QUIT_PRESSES = 3
# STATUS_CONTROL_C_EXIT (0xC000013A), of which a Linux parent sees the low byte.
CONTROL_C_EXIT_STATUS = 0x3A


def loopback_endpoint():
    """A TCP endpoint on a loopback port that is free now."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "tcp://127.0.0.1:%d" % probe.getsockname()[1]


class WindowsPrograms(h.ViewerTestCase):
    def setUp(self):
        super().setUp()
        self.linux_viewer = None
        # Wine's own processes keep the X display of the program that started them (this test's
        # or an earlier one's, or none): each test starts and ends with none left.
        subprocess.run(WINE + ["--wait-idle"], timeout=30)
        self.addCleanup(subprocess.run, WINE + ["--wait-idle"], timeout=30)

    def press(self, window, *keys):
        """Keys sent to the window itself: with no window manager the X input focus stays on
        the pointer root under Wine, so focusing the window fails (BadWindow), while a key
        event sent to it arrives. xdotool still reports that odd focus as a failure after
        sending; whether the key arrived shows in what the viewer does."""
        if self.viewer is None or self.viewer is self.linux_viewer:
            return super().press(window, *keys)
        for key in keys:
            self.display.run("xdotool", "key", "--window", window, key, check=False)

    def assert_moving(self, window, label):
        """A screenshot of `window` taken every half second differs from the first within a
        few seconds: the pictures move. A service under Wine on a busy machine may pause for
        longer than half a second; a picture that stays still for the whole time fails."""
        first = self.shot(window, label + "-1")
        deadline = time.monotonic() + 3.0 * h.SLOWDOWN
        while True:
            time.sleep(0.5)
            later = self.shot(window, label + "-2")
            # Compared as a truth value: a failure should name the picture, not print its bytes.
            if first.rgb != later.rgb or time.monotonic() > deadline:
                break
        self.assertTrue(first.rgb != later.rgb, f"the {label} picture does not move")

    def start_windows_service(self, **kwargs):
        """The Windows service on a loopback port. The first program of a Wine prefix starts
        Wine's desktop process, which takes that program's display for every window to come:
        the service gets the test's display, so that the viewer's windows show there."""
        return self.start_service(endpoint=loopback_endpoint(), program=WINDOWS_SERVICE,
                                  extra_env={"DISPLAY": self.display.name}, **kwargs)

    def open_both(self, band):
        color = self.find_window(h.COLOR_TITLE, WINE_WINDOW_TIMEOUT)
        depth = self.find_window(h.DEPTH_TITLE, WINE_WINDOW_TIMEOUT)
        self.move(color, 0, 0, timeout=WINE_MOVE_TIMEOUT)
        self.move(depth, 0, h.DEPTH_WINDOW_TOP, timeout=WINE_MOVE_TIMEOUT)
        self.find_band(color, band, "color", WINE_WINDOW_TIMEOUT)
        return color, depth

    def test_windows_viewer_with_windows_service(self):
        band = h.StillBand()
        self.start_windows_service()
        self.assertTrue(self.service.running(), self.service.stderr())
        viewer = self.start_viewer(program=WINDOWS_VIEWER, stdout_pipe=True)
        color, depth = self.open_both(band)
        self.assert_moving(depth, "depth")

        status = self.quit_with_q(color, within=WINE_QUIT_SECONDS, presses=WINE_QUIT_PRESSES)
        self.assertEqual(status, 0)
        # The Windows C library ends each line of text output with \r\n.
        self.assertEqual(viewer.stdout().replace("\r\n", "\n"), "Found 3 nodes\n")

    def test_ctrl_c_stops_the_windows_viewer_as_q_does(self):
        band = h.StillBand()
        self.start_windows_service(args=("--log-level", "info"))
        viewer = self.start_viewer(program=WINDOWS_VIEWER, stdout_pipe=True)
        self.open_both(band)

        viewer.signal(signal.SIGINT)
        self.assertEqual(viewer.wait_exit(WINE_QUIT_SECONDS), CONTROL_C_EXIT_STATUS)
        # The streams were given back: the viewer closed its session with a goodbye, which the
        # service may log a moment later.
        deadline = time.monotonic() + 2.0 * h.SLOWDOWN
        while "dropped: it said goodbye" not in self.service.stderr():
            self.assertLess(time.monotonic(), deadline, "the viewer's session ended otherwise")
            time.sleep(0.05)

    def test_windows_viewer_with_linux_service(self):
        band = h.StillBand()
        self.start_service(endpoint=loopback_endpoint())
        self.start_viewer(program=WINDOWS_VIEWER, stdout_pipe=True)
        color, depth = self.open_both(band)
        self.assert_moving(color, "color")
        self.assert_moving(depth, "depth")
        status = self.quit_with_q(color, within=WINE_QUIT_SECONDS, presses=WINE_QUIT_PRESSES)
        self.assertEqual(status, 0)

    def test_linux_viewer_with_windows_service(self):
        band = h.StillBand()
        self.start_windows_service()
        self.linux_viewer = self.start_viewer()
        color, depth = self.open_both(band)
        self.assert_moving(color, "color")
        self.assert_moving(depth, "depth")
        self.assertEqual(self.quit_with_q(color, within=2.0), 0)


if __name__ == "__main__":
    h.main()
