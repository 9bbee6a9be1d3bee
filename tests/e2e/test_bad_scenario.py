"""A malformed scenario file stops the viewer before anything streams, with one line on
standard error that names the file, the line and what is wrong, and a non-zero status; a
mistake in a test set-up must not pass for a camera that works."""
import os
import re

import viewer_harness as h


class BadScenario(h.ViewerTestCase):
    def test_names_file_and_line(self):
        viewer = self.start_viewer("# unplug the colour node\nat 2s unplug node color0\n")
        status = viewer.wait_exit(h.WINDOW_TIMEOUT)
        self.assertIsNotNone(status, "the viewer runs despite a malformed scenario file")
        self.assertNotEqual(status, 0)
        path = os.path.join(self.workdir, "scenario.txt")
        line = r"\A[^\n]*ArgumentException: " + re.escape(path) + r":2: [^\n]*'2s'[^\n]*\n\Z"
        self.assertRegex(viewer.stderr(), line)
        self.assertEqual(viewer.stdout(), "")


if __name__ == "__main__":
    h.main()
