// Device handles. A device carries nodes; its events tell when nodes come and go.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "camsdk/Events.h"
#include "camsdk/List.h"
#include "camsdk/Node.h"

namespace CamSdk {

namespace detail {
class DeviceClient;
struct HandleAccess;
}  // namespace detail

class Device {
 public:
  struct NodeAddedData {
    Node node;
  };
  struct NodeRemovedData {
    Node node;
  };
  class NodeAddedEvent : public Event<Device, NodeAddedData> {};
  class NodeRemovedEvent : public Event<Device, NodeRemovedData> {};

  Device() = default;

  bool isSet() const noexcept { return client_ != nullptr; }
  std::string name() const;

  NodeAddedEvent& nodeAddedEvent();
  NodeRemovedEvent& nodeRemovedEvent();

  // The device's nodes, in the order the device reports them.
  List<Node> _p_getNodes() const;
  // The same as a standard vector. Defined by the program, not by the SDK.
  std::vector<Node> listNodes() const;

  bool operator==(const Device& other) const noexcept { return client_ == other.client_; }
  bool operator!=(const Device& other) const noexcept { return !(*this == other); }

 private:
  friend struct detail::HandleAccess;
  explicit Device(std::shared_ptr<detail::DeviceClient> client) : client_(std::move(client)) {}
  detail::DeviceClient& client() const;

  std::shared_ptr<detail::DeviceClient> client_;
};

}  // namespace CamSdk
