"""Started without a display (DISPLAY unset, or naming an X server that does not answer), the
viewer says so in one line on standard error and exits with status 1, before it reaches the
camera service, so it claims no stream."""
import os
import types

import viewer_harness as h


def display_nobody_serves():
    number = next(n for n in range(1000, 2000)
                  if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))
    return types.SimpleNamespace(name=f":{number}")


class NoDisplay(h.ViewerTestCase):
    def assert_refused(self, display, label):
        service = self.start_service(args=("--log-level", "info"), name="service-" + label)
        viewer = self.start_viewer(endpoint=service.endpoint, display=display, name=label)
        self.assertEqual(viewer.wait_exit(h.WINDOW_TIMEOUT), 1)
        self.assertRegex(viewer.stderr(), r"\Adepth-viewer: no display could be opened: [^\n]+\n\Z")
        self.assertEqual(viewer.stdout(), "")
        self.assertNotIn("connected", service.stderr(), "the viewer reached the camera service")

    def test_display_unset(self):
        self.assert_refused(types.SimpleNamespace(name=None), "unset")

    def test_display_nobody_serves(self):
        self.assert_refused(display_nobody_serves(), "dead")


if __name__ == "__main__":
    h.main()
