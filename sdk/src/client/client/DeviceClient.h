// One context's view of one plugged service device: its handle identity, its node events and
// its plugged nodes. A device plugged back gets a new client object, like a node.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "camsdk/Device.h"
#include "client/NodeClient.h"
#include "client/ServicePort.h"

namespace CamSdk {
namespace detail {

class DeviceClient {
 public:
  DeviceClient(std::shared_ptr<ServicePort> service, DeviceId id, std::string name)
      : service_(std::move(service)), id_(id), name_(std::move(name)) {}
  DeviceClient(const DeviceClient&) = delete;
  DeviceClient& operator=(const DeviceClient&) = delete;

  DeviceId id() const { return id_; }
  const std::string& name() const { return name_; }
  void enter(detail::SdkOperation operation) const { service_->enter(operation, name_); }

  Device::NodeAddedEvent& nodeAddedEvent() { return nodeAdded_; }
  Device::NodeRemovedEvent& nodeRemovedEvent() { return nodeRemoved_; }

  // Plugged nodes, kept in the service's order (by id).
  const std::vector<std::shared_ptr<NodeClient>>& nodes() const { return nodes_; }
  void addNode(std::shared_ptr<NodeClient> node);
  // The node's client, taken out of the list; null when it is not there.
  std::shared_ptr<NodeClient> removeNode(NodeId node);

 private:
  std::shared_ptr<ServicePort> service_;
  DeviceId id_;
  std::string name_;
  Device::NodeAddedEvent nodeAdded_;
  Device::NodeRemovedEvent nodeRemoved_;
  std::vector<std::shared_ptr<NodeClient>> nodes_;
};

}  // namespace detail
}  // namespace CamSdk
