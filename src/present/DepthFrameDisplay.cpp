#include "present/DepthFrameDisplay.h"

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <string>

#include "present/ColorFrameDisplay.h"
#include "present/KeyHandOver.h"

namespace depthFrameDisplay {

void show(const CamSdk::DepthNode::NewSampleReceivedData& data, LoopStop stopLoop) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  CamSdk::FrameFormat_toResolution(data.frameFormat, &width, &height);

  // A sample without a usable picture is skipped like one without a depth map: nothing is
  // shown and the keyboard is left alone, so a pending key stays for the colour handler. A
  // map shorter than its format would be read past its end.
  const short* depthMap = data.depthMap;
  if (depthMap == nullptr || width <= 0 || height <= 0) return;
  if (data.depthMap.size() / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) {
    return;
  }

  // A header over the SDK's buffer: nothing is copied, and the display only reads it.
  const cv::Mat depth(height, width, CV_16SC1, const_cast<short*>(depthMap));
  cv::imshow(std::string(kDepthWindowName), depth);
  // The colour handler alone reacts to keys; the key taken here is left for its next poll.
  keyHandOver::keepKeyFromDepthPoll(cv::waitKey(1));
  if (colorFrameDisplay::colorWindowWasClosed()) stopLoop();
}

}  // namespace depthFrameDisplay
