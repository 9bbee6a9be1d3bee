// The display's own cost, for comparison with the viewer's CPU use: shows PREPARED pictures, a
// 640 x 480 blue-green-red one and a 320 x 240 16-bit depth map, 25 times a second each, with
// the calls the viewer makes (cvShowImage and imshow, each followed by waitKey(1)), in the
// order the viewer receives them (depth first, then colour). Nothing is produced, converted
// or copied per frame. The pictures are the simulated camera's first second, converted once
// at start-up, so the windows show what the viewer shows.
//
// Runs until q is pressed in the "Color Camera" window, or until it is stopped.
#include <opencv2/core/core_c.h>
#include <opencv2/highgui/highgui_c.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <string>
#include <thread>
#include <vector>

#include "camsdk/testing/Scenario.h"
#include "present/ColorFrameDisplay.h"
#include "present/DepthFrameDisplay.h"
#include "present/Yuy2ToBgr.h"
#include "viewer/FrameSizedBlocks.h"

namespace {

constexpr int kPerSecond = 25;
constexpr int kPreparedPictures = kPerSecond;  // one second of motion, shown in a loop

struct ReleaseImage {
  void operator()(IplImage* image) const { cvReleaseImage(&image); }
};
using ColorImage = std::unique_ptr<IplImage, ReleaseImage>;

ColorImage prepareColour(std::int64_t sampleIndex) {
  const std::vector<std::uint8_t> yuy2 =
      CamSdk::testing::Scenario::colorScene(CamSdk::FRAME_FORMAT_VGA, sampleIndex);
  std::vector<std::uint8_t> bgr(kBgrFrameBytes);
  convertYuy2ToBgr(yuy2.data(), bgr.data());
  ColorImage image(cvCreateImage(cvSize(kColorFrameWidth, kColorFrameHeight), IPL_DEPTH_8U, 3));
  const std::size_t rowBytes = static_cast<std::size_t>(kColorFrameWidth) * 3;
  for (int row = 0; row < kColorFrameHeight; ++row) {
    std::memcpy(image->imageData + static_cast<std::ptrdiff_t>(row) * image->widthStep,
                bgr.data() + static_cast<std::size_t>(row) * rowBytes, rowBytes);
  }
  return image;
}

cv::Mat prepareDepth(std::int64_t sampleIndex) {
  std::vector<short> depth =
      CamSdk::testing::Scenario::depthScene(CamSdk::FRAME_FORMAT_QVGA, sampleIndex);
  std::int32_t width = 0;
  std::int32_t height = 0;
  CamSdk::FrameFormat_toResolution(CamSdk::FRAME_FORMAT_QVGA, &width, &height);
  return cv::Mat(height, width, CV_16SC1, depth.data()).clone();
}

}  // namespace

int main() {
  // The heap as the viewer sets it up at start-up.
  keepFrameSizedBlocksInHeap();
  std::vector<ColorImage> colour;
  std::vector<cv::Mat> depth;
  for (int k = 0; k < kPreparedPictures; ++k) {
    colour.push_back(prepareColour(k));
    depth.push_back(prepareDepth(k));
  }
  cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);
  const std::string depthWindow(kDepthWindowName);

  using Clock = std::chrono::steady_clock;
  const Clock::duration period = std::chrono::microseconds(1'000'000 / kPerSecond);
  Clock::time_point due = Clock::now();
  for (std::size_t frame = 0;; ++frame) {
    std::this_thread::sleep_until(due);
    const std::size_t picture = frame % kPreparedPictures;
    cv::imshow(depthWindow, depth[picture]);
    cv::waitKey(1);
    cvShowImage(kColorWindowName, colour[picture].get());
    if (colorFrameDisplay::isQuitKey(cv::waitKey(1))) break;
    // Like the camera service, a loop that falls behind skips ahead instead of bursting.
    due += period;
    const Clock::time_point now = Clock::now();
    if (now > due + period) due = now;
  }
  return 0;
}
