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
        self.check_pictures(color, depth, h.StillBand())

if __name__ == "__main__":
    h.main()
