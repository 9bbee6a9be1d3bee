// Produces one node's samples from the simulated scenes, into pooled buffers.
#pragma once

#include <cstdint>
#include <vector>

#include "camsdk/Node.h"
#include "service/BufferPool.h"
#include "common/ServiceListener.h"
#include "service/Frames.h"

namespace CamSdk {
namespace detail {

class FrameSource {
 public:
  DepthFrame depth(const DepthNode::Configuration& configuration, std::int64_t index, bool depthMap,
                   bool vertices);
  ColorFrame color(const ColorNode::Configuration& configuration, std::int64_t index);
  AudioFrame audio(const AudioNode::Configuration& configuration, std::int64_t index);

  long referencedBuffers() const;

 private:
  BufferPool<short> depthMaps_;
  BufferPool<Vertex> vertices_;
  BufferPool<std::uint8_t> colorMaps_;
  BufferPool<std::int16_t> audioBlocks_;
  std::vector<short> depthScratch_;  // depth behind vertices when no depth map is wanted
};

// Points in millimetres seen by a simulated pinhole camera, one per depth pixel; (0, 0, 0)
// where the pixel has no data.
void computeVertices(const short* depth, std::int32_t width, std::int32_t height, Vertex* out);

}  // namespace detail
}  // namespace CamSdk
