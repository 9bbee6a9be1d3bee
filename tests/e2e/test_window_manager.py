"""Under a real window manager (openbox) on the virtual X server: both windows get title bars
with their names (kept in the screenshots for a look), the close button of "Color Camera"
ends the viewer as q does, and the close button of "Depth Camera" alone does not."""
import time

import viewer_harness as h


class UnderWindowManager(h.ViewerTestCase):
    def setUp(self):
        super().setUp()
        self.start_window_manager()

    def test_title_bars_and_the_colour_close_button(self):
        self.start_service(args=("--log-level", "info"))
        viewer = self.start_viewer()
        color = self.find_window(h.COLOR_TITLE)
        depth = self.find_window(h.DEPTH_TITLE)
        self.find_band(color, h.StillBand(), "running")
        screen = self.shot("root", "title-bars")
        bars = [screen.region(*self.title_bar(window)) for window in (color, depth)]
        for bar in bars:
            self.assertGreater(len({bar[i:i + 3] for i in range(0, len(bar), 3)}), 2,
                               "a plain title bar, without its name")
        self.assertNotEqual(bars[0], bars[1], "both title bars read the same")

        self.press_close_button(color)
        self.assertEqual(viewer.wait_exit(2.0 * h.SLOWDOWN), 0)
        self.assertTrue(self.service.said_goodbye(viewer.pid), self.service.stderr())
        self.assertEqual(viewer.stdout(), "Found 3 nodes\n")

    def test_closing_the_depth_window_leaves_the_viewer_running(self):
        viewer = self.start_viewer()
        color = self.find_window(h.COLOR_TITLE)
        depth = self.find_window(h.DEPTH_TITLE)
        self.press_close_button(depth)
        time.sleep(1.5)
        self.assertTrue(viewer.running(), "closing the depth window ended the viewer")
        self.find_band(color, h.StillBand(), "depth-closed")
        self.assertEqual(self.quit_with_q(color, within=1.0), 0)


if __name__ == "__main__":
    h.main()
