"""One camera service shared by several viewers, as people meet it: a second viewer is told
which streams the first one holds and still shows the pictures; a service that dies under a
running viewer leaves the viewer up, and a new service on the same endpoint brings the pictures
back; a viewer killed outright gives its streams back at once."""
import contextlib
import re
import time

import viewer_harness as h

UNAUTHORIZED = r"^Unauthorized Access Exception: .*$"
ALL_GONE = "Node disconnected\n" * 3 + "Device disconnected\n"


class SharedService(h.ViewerTestCase):
    def second_display(self):
        display = h.VirtualDisplay(self.workdir)
        self.addCleanup(display.close)
        return display

    @contextlib.contextmanager
    def on(self, display):
        """The harness's window and key helpers, aimed at another X server for a while."""
        saved, self.display = self.display, display
        try:
            yield
        finally:
            self.display = saved

    def moving_picture(self, display, label):
        """Lays out the windows, then waits until the colour window shows the still band and
        its picture changes."""
        band = h.StillBand()
        with self.on(display):
            color, _ = self.open_windows()
            deadline = time.monotonic() + h.WINDOW_TIMEOUT
            while True:
                first = self.shot(color, label + "-1")
                where = band.find(first)
                time.sleep(0.3)
                if where is not None and self.shot(color, label + "-2") != first:
                    return
                self.assertLess(time.monotonic(), deadline, f"no moving picture ({label})")

    def quit(self, display, viewer):
        with self.on(display):
            self.press(self.find_window(h.COLOR_TITLE), "q")
        return viewer.wait_exit(2.0 * h.SLOWDOWN)

    def test_two_viewers_share_the_camera(self):
        first = self.start_viewer()
        self.moving_picture(self.display, "first")

        other = self.second_display()
        second = self.start_viewer(name="viewer2", display=other)
        self.moving_picture(other, "second")
        denied = re.findall(UNAUTHORIZED, second.stdout(), re.M)
        self.assertEqual(len(denied), 3, second.stdout())
        for line in denied:
            self.assertIn("depth-viewer (process %d)" % first.pid, line)
        self.assertEqual(re.findall(UNAUTHORIZED, first.stdout(), re.M), [])

        self.assertEqual(self.quit(other, second), 0)
        self.assertEqual(self.quit(self.display, first), 0)

    def test_viewer_survives_its_service_and_follows_a_new_one(self):
        viewer = self.start_viewer()
        self.moving_picture(self.display, "before")
        self.service.kill()
        self.assertTrue(viewer.wait_for_output("Found 3 nodes\n" + ALL_GONE, 5 * h.SLOWDOWN),
                        "the viewer did not report its camera gone")
        self.assertTrue(viewer.running())
        self.assertTrue(self.find_window(h.COLOR_TITLE), "the colour window went with the service")

        self.start_service(endpoint=self.service.endpoint, name="service2")
        self.moving_picture(self.display, "after")
        self.assertEqual(self.quit(self.display, viewer), 0)
        self.assertEqual(viewer.stdout(), "Found 3 nodes\n" + ALL_GONE)

    def test_a_stopped_service_says_goodbye(self):
        viewer = self.start_viewer()
        self.open_windows()
        self.service.process.terminate()
        self.assertEqual(self.service.process.wait(5 * h.SLOWDOWN), 0)
        self.assertTrue(viewer.wait_for_output("Found 3 nodes\n" + ALL_GONE, 2 * h.SLOWDOWN),
                        "the viewer did not hear that its service stopped")
        self.assertTrue(viewer.running())

    def test_a_killed_holder_gives_its_streams_back(self):
        holder = self.start_viewer()
        self.open_windows()
        holder.kill()
        time.sleep(1.0)
        other = self.second_display()
        successor = self.start_viewer(name="viewer2", display=other)
        self.viewer = successor  # the one whose windows the harness now waits for
        self.moving_picture(other, "successor")
        self.assertEqual(successor.stdout(), "Found 3 nodes\n")
        self.assertEqual(self.quit(other, successor), 0)


if __name__ == "__main__":
    h.main()
