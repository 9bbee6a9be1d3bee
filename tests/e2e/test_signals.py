"""SIGTERM and SIGINT as people send them (kill, a supervisor, Ctrl-C): the viewer leaves its
loop as q does, gives its streams back (the service hears a goodbye, not a dropped connection)
and ends by that signal. Its lines reach a pipe when they are printed, not when it exits, and
none is lost when a signal ends it, also when nothing streams. When the held streams send
nothing, no frame acts on the signal: the viewer ends by it all the same, and the service gives
the streams back when it sees the viewer's connection close."""
import os
import signal

import viewer_harness as h

ALL_GONE = "Found 3 nodes\n" + "Node disconnected\n" * 3 + "Device disconnected\n"


class StopSignals(h.ViewerTestCase):
    def streaming_viewer(self, stdout_pipe):
        self.start_service(args=("--log-level", "info"))
        viewer = self.start_viewer(stdout_pipe=stdout_pipe)
        color, _ = self.open_windows()
        self.find_band(color, h.StillBand(), "running")
        return viewer

    def assert_ends_by(self, viewer, signum):
        viewer.signal(signum)
        self.assertEqual(viewer.wait_exit(2.0 * h.SLOWDOWN), -signum)
        self.assertTrue(self.service.said_goodbye(viewer.pid), self.service.stderr())

    def test_sigterm_with_output_into_a_pipe(self):
        viewer = self.streaming_viewer(stdout_pipe=True)
        self.assertTrue(viewer.wait_for_output("Found 3 nodes\n", 1.0) and viewer.running(),
                        "the line did not reach the pipe while the viewer ran")
        self.assert_ends_by(viewer, signal.SIGTERM)
        self.assertEqual(viewer.stdout(), "Found 3 nodes\n")

    def test_sigint(self):
        self.assert_ends_by(self.streaming_viewer(stdout_pipe=False), signal.SIGINT)

    def test_sigterm_with_nothing_streaming(self):
        viewer = self.start_viewer(stdout_pipe=True)
        self.find_window(h.DEPTH_TITLE)  # opened by the first depth frame: the loop runs
        self.service.kill()
        self.assertTrue(viewer.wait_for_output(ALL_GONE, 5.0 * h.SLOWDOWN), viewer.stdout())
        viewer.signal(signal.SIGTERM)
        self.assertEqual(viewer.wait_exit(3.0 * h.SLOWDOWN), -signal.SIGTERM)
        self.assertEqual(viewer.stdout(), ALL_GONE)

    def test_sigterm_while_the_held_streams_send_nothing(self):
        viewer = self.streaming_viewer(stdout_pipe=True)
        os.kill(self.service.pid, signal.SIGSTOP)  # a camera that stalls: no sample comes
        try:
            viewer.signal(signal.SIGTERM)
            self.assertEqual(viewer.wait_exit(3.0 * h.SLOWDOWN), -signal.SIGTERM)
        finally:
            os.kill(self.service.pid, signal.SIGCONT)
        self.assertFalse(self.service.said_goodbye(viewer.pid), self.service.stderr())
        # The next viewer is given every stream: no line says another client holds one.
        successor = self.start_viewer(name="viewer2", stdout_pipe=True)
        self.viewer = successor  # the one whose windows the harness now waits for
        self.find_window(h.DEPTH_TITLE)  # opened by the first depth frame, after the set-up
        self.assertEqual(successor.stdout(), "Found 3 nodes\n")


if __name__ == "__main__":
    h.main()
