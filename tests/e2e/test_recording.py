"""The viewer runs on a recording unchanged: a few seconds recorded from the simulated camera
with camsdk-record, played by `camsdk-service --play`, open both windows with the colour
picture's still band in exactly its colours and the depth picture at its recorded size."""
import os
import subprocess

import viewer_harness as h


class Recording(h.ViewerTestCase):
    def test_viewer_shows_a_recording(self):
        camera = self.start_service(name="camera")
        session = os.path.join(self.workdir, "session.mkv")
        subprocess.run([os.environ["DV_RECORD"], session, "--seconds", "3"], check=True,
                       env=dict(os.environ, CAMSDK_ENDPOINT=camera.endpoint),
                       stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=30 * h.SLOWDOWN)
        camera.close()

        replay = self.start_service(name="replay", args=["--play", session, "--loop"])
        self.start_viewer(endpoint=replay.endpoint)
        color, depth = self.open_windows()
        color_shot, (left, top) = self.find_band(color, h.StillBand(), "color")
        background = color_shot.bgr(0, top)
        self.assertEqual(color_shot.bounds_of_not(background, top, color_shot.height),
                         (left, top, left + 640, top + 480))
        depth_shot = self.shot(depth, "depth")
        bounds = depth_shot.bounds_of_not(background, top, depth_shot.height)
        self.assertIsNotNone(bounds, "the depth window shows no picture")
        self.assertEqual((bounds[2] - bounds[0], bounds[3] - bounds[1]), (320, 240))


if __name__ == "__main__":
    h.main()
