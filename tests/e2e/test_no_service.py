"""No camera service answers: the viewer ends on its own with one clear line on standard
error naming the kind of failure and its message, and a non-zero status."""
import re

import viewer_harness as h


class NoService(h.ViewerTestCase):
    def test_nothing_serves_the_endpoint(self):
        endpoint = "ipc://" + self.workdir + "/nobody.sock"
        viewer = self.start_viewer(endpoint=endpoint)
        status = viewer.wait_exit(h.WINDOW_TIMEOUT)
        self.assertEqual(status, 1)
        self.assertRegex(viewer.stderr(),
                         r'\Adepth-viewer: IOException: [^\n]*"localhost"[^\n]*\n\Z')
        self.assertEqual(viewer.stdout(), "")

    def test_one_line_and_failure_status(self):
        viewer = self.start_viewer('service down "nobody home"\n')
        status = viewer.wait_exit(h.WINDOW_TIMEOUT)
        self.assertIsNotNone(status, "the viewer keeps running without a camera service")
        self.assertNotEqual(status, 0)
        self.assertRegex(viewer.stderr(), r"\A[^\n]*[A-Za-z]+Exception: nobody home\n\Z")
        self.assertEqual(viewer.stdout(), "")


if __name__ == "__main__":
    h.main()
