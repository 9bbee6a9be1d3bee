"""Playback as a user checks it, with the real programs and FFmpeg's own tools as judges: a
recording played by camsdk-service --play and recorded again holds the very same packets, a
second client that joins mid-play gets every sample from where it joins, and a file written
before block times counted from zero still plays sample for sample."""
import os
import re
import subprocess
import time
import unittest

from recording_programs import SLOWDOWN, ProgramsTestCase

HERE = os.path.dirname(os.path.abspath(__file__))
OLD_FILE = os.path.join(HERE, "data", "before-zero-times.mkv")
# Small pictures keep the test light: 320 x 240 depth and colour at 25 fps, 44.1 kHz audio.
SMALL_CAMERA = "default depth0 format 4 rate 25\ndefault color0 format 4 rate 25\n"


def frame_hashes(path, stream, decoded_as=None):
    """Each packet's size and MD5 in one stream (the payload, not the side data), or with
    `decoded_as` each decoded picture's in that pixel format."""
    command = ["ffmpeg", "-v", "error", "-i", path, "-map", "0:%d" % stream]
    command += ["-pix_fmt", decoded_as] if decoded_as else ["-c", "copy"]
    output = subprocess.run(command + ["-f", "framemd5", "-"], capture_output=True, text=True,
                            timeout=60, check=True).stdout
    return [tuple(field.strip() for field in line.split(",")[4:6])
            for line in output.splitlines() if not line.startswith("#")]


def in_order_within(part, whole):
    """Whether every item of `part` is in `whole`, in the same order."""
    items = iter(whole)
    return all(any(item == other for other in items) for item in part)


class Playback(ProgramsTestCase):
    def test_round_trip_keeps_every_packet_and_a_late_client_gets_all_from_where_it_joins(self):
        scenario = self.path("small.txt")
        with open(scenario, "w") as f:
            f.write(SMALL_CAMERA)
        camera = self.service("camera", "--scenario", scenario)
        first = self.path("first.mkv")
        # Long enough, however slow the build, for the late client to join while it plays.
        code, _, err = self.finish(self.recorder(camera, first, "--seconds", "%g" % (3 * SLOWDOWN)))
        self.assertEqual(code, 0, err)

        replay = self.service("replay", "--play", first)
        again = self.path("again.mkv")
        whole = self.recorder(replay, again)
        late_file = self.path("late.mkv")
        time.sleep(1.5 * SLOWDOWN)
        late = self.recorder(replay, late_file)
        missed = []
        for process in (whole, late):
            code, _, err = self.finish(process)
            self.assertEqual(code, 0, err)
            self.assertIn("(the camera went away)", err)
            missed.append(int(re.search(r"dropped \d+ \(disk\) (\d+) \(service\)", err).group(1)))

        # A client starved of the processor (a machine loaded many times over) loses samples, and
        # its count says how many; what it has is still the recording's, in order.
        lost = 0
        for stream in range(3):
            recorded = frame_hashes(first, stream)
            self.assertGreater(len(recorded), 60, stream)
            for client, played in enumerate([frame_hashes(again, stream),
                                             frame_hashes(late_file, stream)]):
                if client == 1 and missed[1] == 0:
                    start = len(recorded) - len(played)
                    self.assertTrue(0 < start < len(recorded), "stream %d: %d" % (stream, start))
                    played = recorded[:start] + played
                if missed[client] == 0:
                    self.assertEqual(played, recorded, "client %d, stream %d" % (client, stream))
                else:
                    self.assertTrue(in_order_within(played, recorded), "stream %d" % stream)
                    lost += len(recorded) - len(played) if client == 0 else 0
        self.assertEqual(lost, missed[0])

    def test_a_file_from_before_zero_times_plays_sample_for_sample(self):
        replay = self.service("old", "--play", OLD_FILE)
        again = self.path("again.mkv")
        code, _, err = self.finish(self.recorder(replay, again))
        self.assertEqual(code, 0, err)
        for stream, decoded_as in [(0, "gray16le"), (1, "yuyv422"), (2, None)]:
            before = frame_hashes(OLD_FILE, stream, decoded_as)
            self.assertGreater(len(before), 10, stream)
            self.assertEqual(frame_hashes(again, stream, decoded_as), before, "stream %d" % stream)
        start = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=start_time",
                                "-of", "csv=p=0", again], capture_output=True, text=True,
                               timeout=60).stdout.strip()
        self.assertEqual(float(start), 0.0)

if __name__ == "__main__":
    unittest.main()
