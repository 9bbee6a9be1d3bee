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
  DepthFrame depth(const DepthNode::Configuration& configuration, std::int64_t index, bool depthMap,
                   bool vertices) override;
  ColorFrame color(const ColorNode::Configuration& configuration, std::int64_t index) override;
  AudioFrame audio(const AudioNode::Configuration& configuration, std::int64_t index) override;

  long referencedBuffers() const override;

 private:
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
