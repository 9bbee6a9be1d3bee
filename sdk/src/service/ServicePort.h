// The seam between the client side of the SDK (handles, events, the event loop, per-context
// state) and a camera service. The client reaches a service only through ServicePort and
// hears from it only through ServiceListener, so another service (recorded sessions, a service
// in another process) can stand behind the same client.
//
// The service owns devices, nodes, their configurations, control, frame production and the
// clock. The client owns what one context sees: its handles, which nodes it registered and
// which maps it enabled, and the notifications still waiting for its loop. A service in this
// process is pulled from: the client asks for each sample when it is due, at the rate the
// service names. A service in another process (RemoteService) pushes its samples instead and
// reports a rate of 0, so the loop only waits for what arrives.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "camsdk/Node.h"
#include "camsdk/testing/Scenario.h"
#include "common/Topology.h"
#include "service/Clock.h"

namespace CamSdk {
namespace detail {

using InjectedSample =
    std::variant<DepthNode::NewSampleReceivedData, ColorNode::NewSampleReceivedData,
                 AudioNode::NewSampleReceivedData>;

// What a service tells each attached client. Calls come on the thread that changed the
// service (the loop's, or the test's); the client only records them for its loop.
class ServiceListener {
 public:
  virtual void topologyChanged(const TopologyChange& change) = 0;
  virtual void sampleInjected(NodeId node, const InjectedSample& sample) = 0;

 protected:
  ~ServiceListener() = default;
};

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

class ServicePort {
 public:
  virtual ~ServicePort() = default;

  // A client's session. detach() also gives back every node the client controls.
  virtual ClientId attach(ServiceListener& listener) = 0;
  virtual void detach(ClientId client) noexcept = 0;

  // Every public SDK operation passes here first: it is logged as "Operation subject" and
  // raises the fault a test armed for it, if any.
  virtual void enter(testing::SdkOperation operation, const std::string& subject) = 0;

  // Plugged devices with their plugged nodes, in the service's order.
  virtual std::vector<DeviceInfo> devices() const = 0;
  virtual bool isPlugged(NodeId node) const = 0;

  virtual void requestControl(ClientId client, NodeId node) = 0;
  virtual void releaseControl(ClientId client, NodeId node) = 0;

  virtual DepthNode::Configuration depthConfiguration(NodeId node) const = 0;
  virtual ColorNode::Configuration colorConfiguration(NodeId node) const = 0;
  virtual AudioNode::Configuration audioConfiguration(NodeId node) const = 0;
  virtual void setConfiguration(ClientId client, NodeId node,
                                const DepthNode::Configuration& configuration) = 0;
  virtual void setConfiguration(ClientId client, NodeId node,
                                const ColorNode::Configuration& configuration) = 0;
  virtual void setConfiguration(ClientId client, NodeId node,
                                const AudioNode::Configuration& configuration) = 0;
  virtual void setInputMixerLevel(NodeId node, float level) = 0;

  // Sample events per second the node streams at now; 0 when it streams nothing.
  virtual std::int32_t samplesPerSecond(NodeId node) const = 0;
  // Sample `index` since the stream started, at the node's current configuration.
  virtual DepthFrame depthFrame(NodeId node, std::int64_t index, bool depthMap, bool vertices) = 0;
  virtual ColorFrame colorFrame(NodeId node, std::int64_t index) = 0;
  virtual AudioFrame audioFrame(NodeId node, std::int64_t index) = 0;
  virtual void noteDelivered(NodeId node) = 0;

  virtual Clock& clock() = 0;
  // Which maps of a registered node this client wants now (protocol::MapFlag bits; 0: none).
  // A service in this process is asked for each sample instead and ignores it.
  virtual void subscribe(ClientId client, NodeId node, std::uint8_t maps) {
    (void)client;
    (void)node;
    (void)maps;
  }
  // Hands what arrived from the service to the listener, then waits on the clock until
  // `time` or until more arrives. A service in this process has nothing to hand over.
  virtual void waitUntil(Nanoseconds time) { clock().waitUntil(time); }
  // Hands what has arrived to the listener without waiting.
  virtual void poll() {}
  // Timed actions on the service; the loop of whichever context runs first takes them.
  virtual bool nextActionTime(Nanoseconds* time) const = 0;
  virtual void runNextAction() = 0;
};

}  // namespace detail
}  // namespace CamSdk
