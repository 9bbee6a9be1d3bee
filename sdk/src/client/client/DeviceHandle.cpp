// The public Device operations.
#include "camsdk/Device.h"
#include "camsdk/Exceptions.h"
#include "client/DeviceClient.h"
#include "client/HandleAccess.h"

namespace CamSdk {

using SdkOperation = detail::SdkOperation;

detail::DeviceClient& Device::client() const {
  if (!client_) throw InvalidOperationException("the device handle is unset");
  return *client_;
}

std::string Device::name() const { return client().name(); }

Device::NodeAddedEvent& Device::nodeAddedEvent() {
  detail::DeviceClient& device = client();
  device.enter(SdkOperation::DeviceNodeAddedEvent);
  return device.nodeAddedEvent();
}

Device::NodeRemovedEvent& Device::nodeRemovedEvent() {
  detail::DeviceClient& device = client();
  device.enter(SdkOperation::DeviceNodeRemovedEvent);
  return device.nodeRemovedEvent();
}

List<Node> Device::_p_getNodes() const {
  detail::DeviceClient& device = client();
  device.enter(SdkOperation::DeviceGetNodes);
  std::vector<Node> nodes;
  nodes.reserve(device.nodes().size());
  for (const auto& node : device.nodes()) nodes.push_back(detail::HandleAccess::node(node));
  return List<Node>(std::move(nodes));
}

}  // namespace CamSdk
