"""camsdk-record and camsdk-service --play as programs: a recorder killed with SIGKILL leaves a
file that plays, SIGINT closes the file properly, a recording into a pipe ends and holds every
track, an unwritable path or a full disk is one line and a failure status, and a file that is
not a recording keeps the service from starting."""
import os
import signal
import subprocess
import time
import unittest

from recording_programs import SERVICE, SLOWDOWN, ProgramsTestCase


class RecordTool(ProgramsTestCase):
    def test_killed_recorder_leaves_a_file_that_plays(self):
        camera = self.service("camera")
        killed = self.path("killed.mkv")
        recorder = self.recorder(camera, killed)
        time.sleep(2.0 * SLOWDOWN)
        self.assertIsNone(recorder.poll(), "the recorder ended early")
        os.kill(recorder.pid, signal.SIGKILL)
        recorder.wait()
        streams = self.packets(killed)
        self.assertEqual([codec for codec, _ in streams], ["ffv1", "utvideo", "pcm_s16le"])
        self.assertTrue(all(int(count) >= 10 for _, count in streams), streams)
        # It starts at 0 and states its length up to the last flush, a quarter second apart.
        start, duration = self.start_and_duration(killed)
        self.assertEqual(start, 0.0)
        span = self.packets_end(killed)
        self.assertLessEqual(duration, span + 0.001)
        self.assertGreater(duration, span - 1.0 * SLOWDOWN)

        # Played back through the service and recorded again, until the device goes away.
        replay = self.service("replay", "--play", killed)
        code, out, err = self.finish(self.recorder(replay, self.path("again.mkv")))
        self.assertEqual(code, 0, err)
        self.assertIn("(the camera went away)", err)
        again = self.packets(self.path("again.mkv"))
        self.assertTrue(all(int(count) >= 5 for _, count in again), again)

    def test_interrupt_closes_the_file_and_a_pipe_gets_no_progress_line(self):
        camera = self.service("camera")
        output = self.path("interrupted.mkv")
        recorder = self.recorder(camera, output, "--seconds", "30")
        time.sleep(1.5 * SLOWDOWN)
        recorder.send_signal(signal.SIGINT)
        code, out, err = self.finish(recorder)
        self.assertEqual(code, 0, err)
        self.assertEqual(out, "")
        self.assertRegex(err, r"\Acamsdk-record: wrote [^\n]*\(interrupted\)[^\n\r]*\n\Z")
        # Closed properly: it starts at 0 and lasts as long as its samples, to the millisecond.
        start, duration = self.start_and_duration(output)
        self.assertEqual(start, 0.0)
        self.assertGreater(duration, 0.5)
        self.assertAlmostEqual(duration, self.packets_end(output), delta=0.0015)

    def test_a_recording_into_a_pipe_ends_and_holds_every_track(self):
        camera = self.service("camera")
        pipe = self.path("pipe")
        os.mkfifo(pipe)
        copy = self.path("from-the-pipe.mkv")
        # What the pipe's reader sees, with the recorder's own ending as the pipe's end.
        reader = subprocess.Popen(["cp", pipe, copy])
        self.processes.append(reader)
        code, out, err = self.finish(self.recorder(camera, pipe, "--seconds", "2"))
        self.assertEqual(code, 0, err)
        self.assertEqual(reader.wait(timeout=10 * SLOWDOWN), 0)
        streams = self.packets(copy)
        self.assertEqual([codec for codec, _ in streams], ["ffv1", "utvideo", "pcm_s16le"])
        self.assertTrue(all(int(count) >= 25 for _, count in streams), streams)

    def test_unwritable_path_and_full_disk_are_one_line_and_a_failure(self):
        camera = self.service("camera")
        for output in [self.path("no/such/folder/x.mkv"), "/dev/full"]:
            code, out, err = self.finish(self.recorder(camera, output, "--seconds", "3"))
            self.assertNotEqual(code, 0, output)
            self.assertRegex(err, r"\Acamsdk-record: " + output + r": [^\n]+\n\Z")

    def test_a_file_that_is_not_a_recording_keeps_the_service_from_starting(self):
        text = self.path("notes.mkv")
        with open(text, "w") as f:
            f.write("not a recording\n")
        for path, why in [(text, "not a Matroska file"), (self.path("missing.mkv"), "No such file")]:
            result = subprocess.run([SERVICE, "--endpoint", "ipc://" + self.path("bad.sock"),
                                     "--play", path], capture_output=True, text=True,
                                    timeout=20 * SLOWDOWN)
            self.assertEqual(result.returncode, 1)
            self.assertRegex(result.stderr, r"\Acamsdk-service: " + path + ": [^\n]*" + why +
                             r"[^\n]*\n\Z")


if __name__ == "__main__":
    unittest.main()
