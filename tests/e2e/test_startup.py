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
        color_shot, (left, top) = self.find_band(color, band, "color")

        # Below the toolbar, everything that is not window background is the picture.
        background = color_shot.bgr(0, top)
        self.assertEqual(color_shot.bounds_of_not(background, top, color_shot.height),
                         (left, top, left + 640, top + 480))

        depth_shot = self.shot(depth, "depth")
        bounds = depth_shot.bounds_of_not(background, top, depth_shot.height)
        self.assertIsNotNone(bounds, "the depth window shows no picture")
        self.assertEqual((bounds[2] - bounds[0], bounds[3] - bounds[1]), (320, 240))


if __name__ == "__main__":
    h.main()
