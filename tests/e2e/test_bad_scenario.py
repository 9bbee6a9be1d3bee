"""A malformed scenario file stops the camera service before it serves, with one line on
standard error that names the file, the line and what is wrong, and a non-zero status; a
mistake in a test set-up must not pass for a camera that works. A bad option does the same."""
import re

import viewer_harness as h


class BadScenario(h.ViewerTestCase):
    def test_names_file_and_line(self):
        service = self.start_service("# unplug the colour node\nat 2s unplug node color0\n")
        status = service.process.wait(h.WINDOW_TIMEOUT)
        self.assertNotEqual(status, 0)
        line = (r"\A[^\n]*" + re.escape(service.scenario_path) + r":2: [^\n]*'2s'[^\n]*\n\Z")
        self.assertRegex(service.stderr(), line)

    def test_bad_option_is_one_line(self):
        service = self.start_service(args=["--log-level", "loud"])
        self.assertNotEqual(service.process.wait(h.WINDOW_TIMEOUT), 0)
        self.assertRegex(service.stderr(), r"\Acamsdk-service: [^\n]*loud[^\n]*\n\Z")


if __name__ == "__main__":
    h.main()
