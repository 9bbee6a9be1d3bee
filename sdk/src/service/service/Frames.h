// One produced sample of each kind, as the service core hands it to whoever sends it on.
#pragma once

#include <cstdint>

#include "camsdk/FrameFormat.h"
#include "camsdk/Node.h"
#include "camsdk/Pointer.h"

namespace CamSdk {
namespace detail {

struct DepthFrame {
  FrameFormat format = FRAME_FORMAT_UNKNOWN;
  Pointer<short> depthMap;
  Pointer<Vertex> vertices;
};

struct ColorFrame {
  FrameFormat format = FRAME_FORMAT_UNKNOWN;
  Pointer<std::uint8_t> colorMap;
};

struct AudioFrame {
  std::int32_t sampleRate = 0;
  std::int32_t channels = 0;
  std::int64_t firstSample = 0;
  Pointer<std::uint8_t> data;
};

}  // namespace detail
}  // namespace CamSdk
