"""Hot-plug through a scenario file: the colour node goes away and comes back while the viewer
runs. The viewer says so once, the colour picture stands still while the node is away, moves
again after it returns (so the returning node was claimed and set up again), and one q ends
the viewer through the returned node's handler. The depth node is left out so that the
colour display's key poll is the only one (see test_keys.py)."""
import time

import viewer_harness as h

UNPLUG_AT = 2.0
PLUG_AT = 10.0  # leaves time to look at the frozen picture, even on a slow machine
SCENARIO = f"""unplug node depth0
at {UNPLUG_AT} unplug node color0
at {PLUG_AT} plug node color0
"""


class HotPlug(h.ViewerTestCase):
    def test_colour_node_leaves_and_returns(self):
        band = h.StillBand()
        viewer = self.start_viewer(SCENARIO)
        color = self.find_window(h.COLOR_TITLE)
        _, (left, top) = self.find_band(color, band, "before")

        def picture(label):
            return self.shot(color, label).region(left, top, 640, 480)

        self.assertTrue(viewer.wait_for_output("Node disconnected\n", PLUG_AT + 5),
                        "no 'Node disconnected' after the colour node was unplugged")
        away = picture("away-1")
        time.sleep(0.5)
        self.assertEqual(picture("away-2"), away, "the colour picture moved with its node away")
        # The service clock starts after the process, so this proves both shots were taken
        # before the node came back.
        self.assertLess(time.monotonic() - viewer.started, PLUG_AT,
                        "too slow to look at the picture while the node was away")

        deadline = viewer.started + PLUG_AT + h.WINDOW_TIMEOUT
        while picture("back-1") == away:
            self.assertLess(time.monotonic(), deadline, "no new colour frame after the return")
            time.sleep(0.2)
        first = picture("back-1")
        time.sleep(0.3)
        self.assertNotEqual(picture("back-2"), first, "the colour picture stopped again")

        self.assertEqual(self.quit_with_q(color), 0)
        self.assertEqual(viewer.stdout(), "Found 2 nodes\nNode disconnected\n")


if __name__ == "__main__":
    h.main()
