"""Another client holds control of the colour node: the viewer reports it in one line with the
SDK's text and still shows the colour picture, since control is not needed to receive
frames."""
import re

import viewer_harness as h

SCENARIO = 'control color0 held-by "other viewer"\n'


class ControlDenied(h.ViewerTestCase):
    def test_reports_the_denial_and_still_shows_colour(self):
        band = h.StillBand()
        viewer = self.start_viewer(SCENARIO)
        color, _ = self.open_windows()
        self.find_band(color, band, "denied")

        lines = re.findall(r"^Unauthorized Access Exception: (.*)$", viewer.stdout(), re.M)
        self.assertEqual(len(lines), 1, viewer.stdout())
        self.assertIn("other viewer", lines[0])
        self.assertTrue(viewer.running())


if __name__ == "__main__":
    h.main()
