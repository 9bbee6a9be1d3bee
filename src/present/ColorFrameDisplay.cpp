#include "present/ColorFrameDisplay.h"

#include <opencv2/core/core_c.h>
#include <opencv2/highgui/highgui_c.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <opencv2/highgui.hpp>
#include <set>

#include "present/KeyHandOver.h"
#include "present/Yuy2ToBgr.h"

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

// The size of a picture the display can show.
struct PictureSize {
  int width = 0;
  int height = 0;
  int yuy2RowBytes() const { return (width + 1) / 2 * 4; }  // one Y U Y V group per pixel pair
  std::size_t bgrBytes() const { return static_cast<std::size_t>(width) * height * 3; }
  std::size_t yuy2Bytes() const { return static_cast<std::size_t>(yuy2RowBytes()) * height; }
};

WorkBuffer obtainWorkBuffer(std::size_t bytes) {
  const WorkBufferAllocator allocate = workBufferAllocator.load();
  void* buffer = allocate ? allocate(bytes) : std::malloc(bytes);
  return WorkBuffer(static_cast<std::uint8_t*>(buffer));
}

// The display library reports a failed allocation by throwing; either way the frame is
// skipped rather than the event loop stopped.
ColorImage obtainColorImage(PictureSize size) {
  IplImage* image = nullptr;
  try {
    image = cvCreateImage(cvSize(size.width, size.height), IPL_DEPTH_8U, 3);
  } catch (const cv::Exception&) {
    return nullptr;
  }
  ColorImage owned(image);
  if (owned && owned->imageData == nullptr) owned.reset();
  return owned;
}

void copyIntoImage(const std::uint8_t* bgr, PictureSize size, IplImage& image) {
  const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 3;
  if (static_cast<std::size_t>(image.widthStep) == rowBytes) {
    std::memcpy(image.imageData, bgr, size.bgrBytes());
    return;
  }
  for (int row = 0; row < size.height; ++row) {
    std::memcpy(image.imageData + static_cast<std::ptrdiff_t>(row) * image.widthStep,
                bgr + static_cast<std::size_t>(row) * rowBytes, rowBytes);
  }
}

// A picture drawn from a map of another size would be scrambled. A sample is shown at the size
// its own frame format names (a capture device that refused 640 x 480 streams its own size);
// one whose map holds no whole picture of that format is skipped, and the first such sample of
// each format says so in one line.
bool pictureSizeOf(const CamSdk::ColorNode::NewSampleReceivedData& data, PictureSize* size) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  CamSdk::FrameFormat_toResolution(data.frameFormat, &width, &height);
  size->width = width;
  size->height = height;
  if (width > 0 && height > 0 && data.colorMap.size() >= size->yuy2Bytes()) return true;
  // Formats that name no size share one entry, so the set stays as small as the format list.
  static std::set<int> formatsSaid;
  const int format = width > 0 ? static_cast<int>(data.frameFormat) : -1;
  if (formatsSaid.insert(format).second) {
    std::printf(
        "Colour samples whose map holds no whole picture of their frame format are not "
        "shown (frame format %d, %zu bytes)\n",
        static_cast<int>(data.frameFormat), data.colorMap.size());
  }
  return false;
}

// Shows the frame when the sample carries a whole colour map of its format and both the work
// buffer and the image can be had; otherwise shows nothing. The buffer is freed before
// returning, the image released right after the show: the window keeps its own copy.
void showConvertedFrame(const CamSdk::ColorNode::NewSampleReceivedData& data) {
  const std::uint8_t* yuy2 = data.colorMap;
  PictureSize size;
  if (yuy2 == nullptr || !pictureSizeOf(data, &size)) return;
  const WorkBuffer bgr = obtainWorkBuffer(size.bgrBytes());
  if (!bgr) return;
  if (size.width == kColorFrameWidth && size.height == kColorFrameHeight) {
    convertYuy2ToBgr(yuy2, bgr.get());
  } else {
    convertYuy2ToBgr(yuy2, size.yuy2RowBytes(), bgr.get(), size.width * 3, size.width, size.height);
  }
  ColorImage image = obtainColorImage(size);
  if (!image) return;
  copyIntoImage(bgr.get(), size, *image);
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

void show(const CamSdk::ColorNode::NewSampleReceivedData& data, LoopStop stopLoop) {
  // The display library handles a press of the close button in whichever poll comes next, the
  // depth display's too, and a show brings the window back: a close is looked for before the
  // show as well as after this display's own poll.
  if (colorWindowWasClosed()) {
    stopLoop();
    return;
  }
  showConvertedFrame(data);
  // The poll runs even for a frame that could not be shown, so q always ends the viewer; it is
  // also where the display library paints the window. A q that the depth display's poll took
  // just before counts as well.
  const int key = cv::waitKey(1);
  const int keyFromDepthPoll = keyHandOver::takeKeyFromDepthPoll();
  if (isQuitKey(key) || isQuitKey(keyFromDepthPoll) || colorWindowWasClosed()) stopLoop();
}

}  // namespace colorFrameDisplay
