// The client side's view of one camera service: what a context asks of it and how it waits
// for what the service sends. ServiceClient is the implementation, over a connection to a
// service in another process or in this one; the context never knows which.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsdk/Node.h"
#include "camsdk/testing/Scenario.h"
#include "common/ServiceListener.h"
#include "common/Topology.h"
#include "service/Clock.h"

namespace CamSdk {
namespace detail {

class ServicePort {
 public:
  virtual ~ServicePort() = default;

  // The one listener that hears what the service sends; returns this client's id.
  virtual ClientId attach(ServiceListener& listener) = 0;
  virtual void detach(ClientId client) noexcept = 0;

  // Every public SDK operation passes here first: the service logs it as
  // "Operation subject" and raises the fault a test armed for it, if any.
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

  // Which maps of a registered node this client wants now (protocol::MapFlag bits; 0: none).
  virtual void subscribe(ClientId client, NodeId node, std::uint8_t maps) = 0;

  // The clock the client's loop reads: the service's own for a service in this process, a
  // steady clock otherwise.
  virtual Clock& clock() = 0;
  // Hands what has arrived to the listener, without waiting.
  virtual void poll() = 0;
  // Hands over what arrives until `time` on clock(); returns as soon as something was handed
  // over, or the service in this process ran what was due next.
  virtual void waitUntil(Nanoseconds time) = 0;
  // True when nothing will arrive unless the client acts: a service in this process on a
  // virtual clock with nothing due and nothing waiting.
  virtual bool idle() const = 0;
};

}  // namespace detail
}  // namespace CamSdk
