// The client side's view of one camera service: what a context asks of it and how it waits
// for what the service sends. ServiceClient is the implementation, over a connection to a
// service in another process or in this one; the context never knows which.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "camsdk/Node.h"
#include "common/NodeConfiguration.h"
#include "common/SdkOperation.h"
#include "common/ServiceListener.h"
#include "common/Topology.h"

namespace CamSdk {
namespace detail {

using Nanoseconds = std::chrono::nanoseconds;

// What a port hands to its context, each stamped with when it arrived on the port's own time
// (its connection's), so that the context orders what waits for its loop without reading a
// clock of its own.
class PortListener {
 public:
  virtual void topologyChanged(const TopologyChange& change, Nanoseconds arrived) = 0;
  virtual void sampleReceived(NodeId node, const SampleRecord& sample, Nanoseconds arrived) = 0;

 protected:
  ~PortListener() = default;
};

class ServicePort {
 public:
  virtual ~ServicePort() = default;

  // The one listener that hears what the service sends; returns this client's id.
  virtual ClientId attach(PortListener& listener) = 0;
  virtual void detach(ClientId client) noexcept = 0;

  // Every public SDK operation passes here first: the service logs it as
  // "Operation subject" and raises the fault a test armed for it, if any.
  virtual void enter(detail::SdkOperation operation, const std::string& subject) = 0;

  // Plugged devices with their plugged nodes, in the service's order.
  virtual std::vector<DeviceInfo> devices() const = 0;
  virtual bool isPlugged(NodeId node) const = 0;

  virtual void requestControl(ClientId client, NodeId node) = 0;
  virtual void releaseControl(ClientId client, NodeId node) = 0;

  // The node's configuration record, read as a record of `kind` (the node's): none while its
  // service is away and the record was never seen.
  virtual NodeConfiguration configuration(NodeId node, NodeKind kind) const = 0;
  virtual void setConfiguration(ClientId client, NodeId node,
                                const NodeConfiguration& configuration) = 0;
  virtual void setInputMixerLevel(NodeId node, float level) = 0;

  // Which maps of a registered node this client wants now (MapFlag bits; 0: none).
  virtual void subscribe(ClientId client, NodeId node, std::uint8_t maps) = 0;

  // Hands what has arrived to the listener, without waiting.
  virtual void poll() = 0;
  // Hands over what arrives next: returns as soon as something was handed over, the service in
  // this process ran what was due next, or a short while passed (the loop then looks again).
  virtual void waitForMore() = 0;
  // True when nothing will arrive unless the client acts: a service in this process on a
  // virtual clock with nothing due and nothing waiting.
  virtual bool idle() const = 0;
};

}  // namespace detail
}  // namespace CamSdk
