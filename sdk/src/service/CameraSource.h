// Where the service's cameras come from. The service core never knows which kind of camera it
// serves: a source makes what produces each node's samples, and the core asks it for sample
// `index` at the node's configuration when the sample is due.
//
// Today's one source is the simulated camera (sources/SimulatedCamera). A source whose samples
// come at their own pace (a recording, a capture device) will need a way to say a sample is
// ready; the core's scheduler asks for due samples only.
#pragma once

#include <cstdint>
#include <memory>

#include "camsdk/Node.h"
#include "service/Frames.h"

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
};

// A kind of camera.
class CameraSource {
 public:
  virtual ~CameraSource() = default;
  virtual std::unique_ptr<NodeSource> makeNodeSource(NodeKind kind) = 0;
};

}  // namespace detail
}  // namespace CamSdk
