"""What the tests of camsdk-record and camsdk-service --play share: services and recorders
started as programs, each in a folder of its own, and ended by their process ids."""
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


class ProgramsTestCase(unittest.TestCase):
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

    def start_and_duration(self, path):
        """The file's start time and duration as ffprobe states them, in seconds."""
        result = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                                 "format=start_time,duration", "-of", "csv=p=0", path],
                                capture_output=True, text=True, timeout=60, check=True)
        start, duration = result.stdout.strip().split(",")
        return float(start), float(duration)

    def packets_end(self, path):
        """Where the file's last sample ends, in seconds: its time plus its duration."""
        result = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                                 "packet=pts_time,duration_time", "-of", "csv=p=0", path],
                                capture_output=True, text=True, timeout=60, check=True)
        ends = [sum(float(field) for field in line.split(",")[:2])
                for line in result.stdout.split()]
        return max(ends)
