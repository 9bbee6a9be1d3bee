// The simulated camera: each node's samples rendered from the simulated scenes, into pooled
// buffers that come back when every holder has let go.
#pragma once

#include <cstdint>
#include <vector>

#include "camsdk/Node.h"
#include "service/BufferPool.h"
#include "service/CameraSource.h"

namespace CamSdk {
namespace detail {

class SimulatedNodeSource final : public NodeSource {
 public:
  SampleRecord sample(const NodeConfiguration& configuration, std::int64_t index,
                      std::uint8_t maps) override;
  long referencedBuffers() const override;

 private:
  // One kind's sample each.
  DepthNode::NewSampleReceivedData render(const DepthNode::Configuration& configuration,
                                          std::int64_t index, std::uint8_t maps);
  ColorNode::NewSampleReceivedData render(const ColorNode::Configuration& configuration,
                                          std::int64_t index, std::uint8_t maps);
  AudioNode::NewSampleReceivedData render(const AudioNode::Configuration& configuration,
                                          std::int64_t index, std::uint8_t maps);

  BufferPool<short> depthMaps_;
  BufferPool<Vertex> vertices_;
  BufferPool<std::uint8_t> colorMaps_;
  BufferPool<std::int16_t> audioBlocks_;
  std::vector<short> depthScratch_;  // depth behind vertices when no depth map is wanted
};

class SimulatedCamera final : public CameraSource {
 public:
  std::unique_ptr<NodeSource> makeNodeSource(NodeKind) override {
    return std::make_unique<SimulatedNodeSource>();
  }
};

}  // namespace detail
}  // namespace CamSdk
