// Where the service's cameras come from. The service core never knows which kind of camera it
// serves: a source makes what produces each node's samples, and the core asks it for sample
// `index` at the node's configuration when the sample is due.
//
// The simulated camera (sources/SimulatedCamera) is paced by the service clock. A recording's
// node (sources/Recording*) gives a SampleTimeline, and the core's scheduler asks it when each
// sample is due. A capture device's node is live: its samples come at the camera's pace, the
// service takes each one when its LiveSource says a descriptor is ready, and the camera itself
// may refuse a client's claim or configuration.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camsdk/Node.h"
#include "common/NodeConfiguration.h"
#include "common/NodeKinds.h"
#include "service/Clock.h"
#include "service/SampleTimeline.h"

namespace CamSdk {
namespace detail {

// A frame a live node captured.
struct CapturedSample {
  Nanoseconds timeOfCapture{0};  // on the service clock
  std::int32_t dropped = 0;      // frames lost since the previous sample (bad or missed)
  // A record of the node's kind: its maps and its kind's fields (an audio block's sampleIndex
  // counts audio samples since capture started).
  SampleRecord record;
};

// One node's samples.
class NodeSource {
 public:
  virtual ~NodeSource() = default;
  // Paced nodes: sample `index` at `configuration`, a record of the node's kind, with those of
  // `maps` (MapFlag bits) that the kind has. Its frame format, or an audio block's format and
  // first audio sample, come from here; the index, capture time and dropped count are the
  // sender's. A live node is never asked.
  virtual SampleRecord sample(const NodeConfiguration& /*configuration*/, std::int64_t /*index*/,
                              std::uint8_t /*maps*/) {
    return {};
  }
  // Sample buffers still held by someone (a client, a queue); 0 once everything is let go.
  virtual long referencedBuffers() const = 0;
  // The node's own sample times, or null when it streams at its configured rate.
  virtual SampleTimeline* timeline() { return nullptr; }

  // A client takes control of the node: a camera in use by another program raises
  // UnauthorizedAccessException, one that has gone StreamingException. release() gives it back.
  virtual void claim() {}
  virtual void release() {}
  // The source's own word on a configuration the SDK's rules accept, taking it when it can:
  // empty, or why it cannot give it (a capture device's limits, what a recording holds). A
  // simulated node renders any valid configuration.
  virtual std::string configure(const NodeConfiguration&) { return {}; }

  // Live nodes only: capture runs while anyone watches, and takeCaptured() hands over the
  // newest frame captured since the last call, if any. Neither throws: a camera that fails
  // says so through its LiveSource.
  virtual bool live() const { return false; }
  virtual void startCapture() {}
  virtual void stopCapture() {}
  virtual std::optional<CapturedSample> takeCaptured(bool /*vertices*/) { return std::nullopt; }
};

// What finds capture devices and watches them: the service's loop also waits on descriptors()
// and calls pump() each turn, which takes in ready frames and plugs or unplugs devices.
class LiveSource {
 public:
  virtual ~LiveSource() = default;
  virtual std::vector<int> descriptors() const = 0;
  virtual void pump() = 0;
};

// A kind of camera.
class CameraSource {
 public:
  virtual ~CameraSource() = default;
  virtual std::unique_ptr<NodeSource> makeNodeSource(NodeKind kind) = 0;
};

}  // namespace detail
}  // namespace CamSdk
