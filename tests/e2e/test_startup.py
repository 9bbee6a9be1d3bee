"""Start-up as a user meets it: both windows open within a few seconds, the colour window shows
the simulated scene's still band in exactly the colours that the conversion gives for its
luma/chroma, and the pictures have the sizes of their formats (640x480 colour, 320x240
depth), measured on the screen rather than taken from the program."""
import viewer_harness as h


class StartUp(h.ViewerTestCase):
    def test_windows_show_the_band_and_pictures_of_the_right_size(self):
        band = h.StillBand()
        self.start_viewer()
        color, depth = self.open_windows()
        self.check_pictures(color, depth, band)


if __name__ == "__main__":
    h.main()
