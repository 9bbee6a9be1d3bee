"""Keys as real key events to the focused colour window: keys other than q leave the viewer
running; q ends it within a second, with status 0 and nothing on standard output but the
node count.

Shift+Q is not sent: the display library's Qt window reports it with the same code as q
(checked on Debian 12), so the viewer cannot tell the two apart."""
import time

import viewer_harness as h


class Keys(h.ViewerTestCase):
    def test_other_keys_are_ignored_and_q_quits(self):
        band = h.StillBand()
        viewer = self.start_viewer()
        color, _ = self.open_windows()
        self.find_band(color, band, "running")  # frames flow, so the key poll runs

        self.press(color, "Escape", "a", "space", "Return", "1")
        time.sleep(1.5)
        self.assertTrue(viewer.running(), "a key other than q ended the viewer")

        self.assertEqual(self.quit_with_q(color, within=1.0), 0)
        self.assertEqual(viewer.stdout(), "Found 3 nodes\n")


if __name__ == "__main__":
    h.main()
