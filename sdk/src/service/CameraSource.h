// Where the service's cameras come from. The service core never knows which kind of camera it
// serves: a source makes what produces each node's samples, and the core asks it for sample
// `index` at the node's configuration when the sample is due.
//
// Sources: the simulated camera (sources/SimulatedCamera) and recordings (sources/Recording*).
// A node whose samples come at their own pace gives a SampleTimeline, and the core's scheduler
// asks it when each sample is due.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "camsdk/Node.h"
#include "service/Frames.h"
#include "service/SampleTimeline.h"

namespace CamSdk {
namespace detail {

// One node's samples.
class NodeSource {
 public:
  virtual ~NodeSource() = default;
  virtual DepthFrame depth(const DepthNode::Configuration& configuration, std::int64_t index,
                           bool depthMap, bool vertices) = 0;
  virtual ColorFrame color(const ColorNode::Configuration& configuration, std::int64_t index) = 0;
  virtual AudioFrame audio(const AudioNode::Configuration& configuration, std::int64_t index) = 0;
  // Sample buffers still held by someone (a client, a queue); 0 once everything is let go.
  virtual long referencedBuffers() const = 0;
  // Why this node cannot give `configuration`, or "" when it can (a simulated node renders any
  // valid configuration).
  virtual std::string cannotGive(const DepthNode::Configuration&) const { return {}; }
  virtual std::string cannotGive(const ColorNode::Configuration&) const { return {}; }
  virtual std::string cannotGive(const AudioNode::Configuration&) const { return {}; }
  // The node's own sample times, or null when it streams at its configured rate.
  virtual SampleTimeline* timeline() { return nullptr; }
};

// A kind of camera.
class CameraSource {
 public:
  virtual ~CameraSource() = default;
  virtual std::unique_ptr<NodeSource> makeNodeSource(NodeKind kind) = 0;
};

}  // namespace detail
}  // namespace CamSdk
