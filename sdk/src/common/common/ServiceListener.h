// What a camera service tells each attached client: the service core tells its sessions, the
// client's connection tells its context. Calls come on the thread that changed the service;
// a listener only records them for its loop.
#pragma once

#include "camsdk/Node.h"
#include "common/NodeKinds.h"
#include "common/Topology.h"

namespace CamSdk {
namespace detail {

class ServiceListener {
 public:
  virtual void topologyChanged(const TopologyChange& change) = 0;
  // A sample record as it should reach the node's handlers: made by hand in a test, or
  // received from the service.
  virtual void sampleInjected(NodeId node, const SampleRecord& sample) = 0;

 protected:
  ~ServiceListener() = default;
};

}  // namespace detail
}  // namespace CamSdk
