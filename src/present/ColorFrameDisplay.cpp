#include "present/ColorFrameDisplay.h"

#include <opencv2/core/core_c.h>
#include <opencv2/highgui/highgui_c.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <opencv2/highgui.hpp>

#include "present/KeyHandOver.h"
#include "present/Yuy2ToBgr.h"
#include "viewer/StopSignals.h"
#include "viewer/ViewerState.h"

namespace colorFrameDisplay {
namespace {

std::atomic<WorkBufferAllocator> workBufferAllocator{nullptr};

struct FreeBuffer {
  void operator()(std::uint8_t* buffer) const { std::free(buffer); }
};
using WorkBuffer = std::unique_ptr<std::uint8_t, FreeBuffer>;

struct ReleaseImage {
  void operator()(IplImage* image) const { cvReleaseImage(&image); }
};
using ColorImage = std::unique_ptr<IplImage, ReleaseImage>;

WorkBuffer obtainWorkBuffer() {
  const WorkBufferAllocator allocate = workBufferAllocator.load();
  void* buffer = allocate ? allocate(kBgrFrameBytes) : std::malloc(kBgrFrameBytes);
  return WorkBuffer(static_cast<std::uint8_t*>(buffer));
}

// The display library reports a failed allocation by throwing; either way the frame is
// skipped rather than the event loop stopped.
ColorImage obtainColorImage() {
  IplImage* image = nullptr;
  try {
    image = cvCreateImage(cvSize(kColorFrameWidth, kColorFrameHeight), IPL_DEPTH_8U, 3);
  } catch (const cv::Exception&) {
    return nullptr;
  }
  ColorImage owned(image);
  if (owned && owned->imageData == nullptr) owned.reset();
  return owned;
}

void copyIntoImage(const std::uint8_t* bgr, IplImage& image) {
  const std::size_t rowBytes = static_cast<std::size_t>(kColorFrameWidth) * 3;
  if (static_cast<std::size_t>(image.widthStep) == rowBytes) {
    std::memcpy(image.imageData, bgr, kBgrFrameBytes);
    return;
  }
  for (int row = 0; row < kColorFrameHeight; ++row) {
    std::memcpy(image.imageData + static_cast<std::ptrdiff_t>(row) * image.widthStep,
                bgr + static_cast<std::size_t>(row) * rowBytes, rowBytes);
  }
}

// Shows the frame when the sample carries a full colour map and both the work buffer and the
// image can be had; otherwise shows nothing. The buffer is freed before returning, the image
// released right after the show: the window keeps its own copy.
void showConvertedFrame(const CamSdk::Pointer<std::uint8_t>& colorMap) {
  const std::uint8_t* yuy2 = colorMap;
  if (yuy2 == nullptr || colorMap.size() < kYuy2FrameBytes) return;
  const WorkBuffer bgr = obtainWorkBuffer();
  if (!bgr) return;
  convertYuy2ToBgr(yuy2, bgr.get());
  ColorImage image = obtainColorImage();
  if (!image) return;
  copyIntoImage(bgr.get(), *image);
  cvShowImage(kColorWindowName, image.get());
}

}  // namespace

void setWorkBufferAllocator(WorkBufferAllocator allocator) { workBufferAllocator = allocator; }

bool isQuitKey(int key) { return static_cast<signed char>(key & 0xff) == 'q'; }

// The window library answers 0 for a window that was closed (it is gone until the next show) and
// 1 for one that is open, minimised or not. Only 0 counts: a library without an answer (-1)
// leaves the viewer running rather than ending it at the first frame.
bool colorWindowWasClosed() {
  return cv::getWindowProperty(kColorWindowName, cv::WND_PROP_VISIBLE) == 0.0;
}

}  // namespace colorFrameDisplay

void showColorFrame(CamSdk::ColorNode /*node*/, CamSdk::ColorNode::NewSampleReceivedData data) {
  leaveLoopOnStopSignal();
  // The display library handles a press of the close button in whichever poll comes next, the
  // depth display's too, and a show brings the window back: a close is looked for before the
  // show as well as after this handler's own poll.
  if (colorFrameDisplay::colorWindowWasClosed()) {
    ViewerState.context.quit();
    return;
  }
  colorFrameDisplay::showConvertedFrame(data.colorMap);
  // The poll runs even for a frame that could not be shown, so q always ends the viewer; it is
  // also where the display library paints the window. A q that the depth display's poll took
  // just before counts as well.
  const int key = cv::waitKey(1);
  const int keyFromDepthPoll = keyHandOver::takeKeyFromDepthPoll();
  if (colorFrameDisplay::isQuitKey(key) || colorFrameDisplay::isQuitKey(keyFromDepthPoll) ||
      colorFrameDisplay::colorWindowWasClosed()) {
    ViewerState.context.quit();
  }
}
