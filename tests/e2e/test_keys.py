"""Keys as real key events to the focused colour window: keys other than q leave the viewer
running; q ends it within a second, with status 0 and nothing on standard output but the
node count.

Both displays poll the keyboard. On the full camera a depth frame comes just before each
colour frame, so the depth poll takes most presses; it hands a q on to the colour display's
next poll, and one press must be enough there too. The same holds on a camera without its
depth node, where the colour display's poll is the only one.

Shift+Q is not sent: the display library's window reports it with the same code as q, so the
viewer cannot tell the two apart."""
import time

import viewer_harness as h

IGNORED_KEYS = ("Escape", "a", "space", "Return", "1")


class Keys(h.ViewerTestCase):
    def test_on_full_camera_other_keys_are_ignored_and_q_quits(self):
        viewer = self.start_viewer()
        color, _ = self.open_windows()
        self.find_band(color, h.StillBand(), "running")  # frames flow, so the key polls run
        self.press(color, *IGNORED_KEYS)
        time.sleep(1.5)
        self.assertTrue(viewer.running(), "a key other than q ended the viewer")

        self.assertEqual(self.quit_with_q(color, within=1.0), 0)
        self.assertEqual(viewer.stdout(), "Found 3 nodes\n")

    def test_with_colour_poll_alone_one_q_quits_within_a_second(self):
        viewer = self.start_viewer("unplug node depth0\n")
        color = self.find_window(h.COLOR_TITLE)  # alone: no depth window to lay out
        self.find_band(color, h.StillBand(), "running")
        self.press(color, *IGNORED_KEYS)
        time.sleep(1.0)
        self.assertTrue(viewer.running(), "a key other than q ended the viewer")

        self.assertEqual(self.quit_with_q(color, within=1.0), 0)
        self.assertEqual(viewer.stdout(), "Found 2 nodes\n")


if __name__ == "__main__":
    h.main()
