"""camsdk-record and camsdk-service --play as programs: a recorder killed with SIGKILL leaves a
file that plays, SIGINT closes the file properly, an unwritable path or a full disk is one line
and a failure status, and a file that is not a recording keeps the service from starting."""
import os
import signal
import subprocess
import tempfile
import time
import unittest

RECORD = os.environ["DV_RECORD"]
SERVICE = os.environ["DV_SERVICE"]
SLOWDOWN = float(os.environ.get("DV_E2E_SLOWDOWN", "1"))


def stop(process, grace=5.0):
    """Ends a process this test started, by its id, and waits for it."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class RecordTool(unittest.TestCase):
    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="camsdk-record-test-")
        self.processes = []
        self.files = []

    def tearDown(self):
        for process in self.processes:
            stop(process)
        for f in self.files:
            f.close()

    def path(self, name):
        return os.path.join(self.workdir, name)

    def service(self, name, *args):
        endpoint = "ipc://" + self.path(name + ".sock")
        err = open(self.path(name + ".stderr"), "wb")
        self.files.append(err)
        process = subprocess.Popen([SERVICE, "--endpoint", endpoint] + list(args),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        self.processes.append(process)
        deadline = time.monotonic() + 5 * SLOWDOWN
        while time.monotonic() < deadline and process.poll() is None:
            with open(self.path(name + ".stderr"), "rb") as f:
                if b"serving " in f.read():
                    break
            time.sleep(0.02)
        return endpoint

    def recorder(self, endpoint, *args):
        env = dict(os.environ, CAMSDK_ENDPOINT=endpoint)
        process = subprocess.Popen([RECORD] + list(args), env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.processes.append(process)
        return process

    def finish(self, process, timeout=20):
        out, err = process.communicate(timeout=timeout * SLOWDOWN)
        return process.returncode, out.decode(), err.decode()

    def packets(self, path):
        result = subprocess.run(
            ["ffprobe", "-v", "error", "-count_packets", "-show_entries",
             "stream=codec_name,nb_read_packets", "-of", "csv=p=0", path],
            capture_output=True, text=True, timeout=60, check=True)
        return [line.split(",") for line in result.stdout.split()]

    def test_killed_recorder_leaves_a_file_that_plays(self):
        camera = self.service("camera")
        killed = self.path("killed.mkv")
        recorder = self.recorder(camera, killed)
        time.sleep(2.0 * SLOWDOWN)
        self.assertIsNone(recorder.poll(), "the recorder ended early")
        os.kill(recorder.pid, signal.SIGKILL)
        recorder.wait()
        streams = self.packets(killed)
        self.assertEqual([codec for codec, _ in streams], ["ffv1", "rawvideo", "pcm_s16le"])
        self.assertTrue(all(int(count) >= 10 for _, count in streams), streams)

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
        # A file closed properly ends with its index: ffprobe knows its duration at once.
        duration = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                                   "-of", "csv=p=0", output], capture_output=True, text=True,
                                  timeout=60).stdout.strip()
        self.assertGreater(float(duration), 0.5)

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
