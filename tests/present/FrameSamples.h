// Hand-made sample records for the frame handler tests. Each buffer is an exactly sized heap
// block, so the address sanitizer flags any read past its end.
#pragma once

#include <memory>
#include <vector>

#include "camera/CameraSdk.h"

template <class T>
CamSdk::Pointer<T> bufferOf(std::vector<T> values) {
  auto owner = std::make_shared<std::vector<T>>(std::move(values));
  const T* data = owner->data();
  const std::size_t count = owner->size();
  return CamSdk::Pointer<T>(std::move(owner), data, count);
}

inline CamSdk::ColorNode::NewSampleReceivedData colorSample(std::vector<std::uint8_t> yuy2) {
  CamSdk::ColorNode::NewSampleReceivedData data{};
  data.colorMap = bufferOf(std::move(yuy2));
  data.frameFormat = CamSdk::FRAME_FORMAT_VGA;
  return data;
}

inline CamSdk::DepthNode::NewSampleReceivedData depthSample(CamSdk::FrameFormat format,
                                                            std::vector<short> depth) {
  CamSdk::DepthNode::NewSampleReceivedData data{};
  data.depthMap = bufferOf(std::move(depth));
  data.frameFormat = format;
  return data;
}
