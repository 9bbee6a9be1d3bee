#include "client/DeviceClient.h"

#include <algorithm>

namespace CamSdk {
namespace detail {

void DeviceClient::addNode(std::shared_ptr<NodeClient> node) {
  auto position = std::upper_bound(
      nodes_.begin(), nodes_.end(), node->id(),
      [](NodeId id, const std::shared_ptr<NodeClient>& held) { return id < held->id(); });
  nodes_.insert(position, std::move(node));
}

std::shared_ptr<NodeClient> DeviceClient::removeNode(NodeId node) {
  auto found =
      std::find_if(nodes_.begin(), nodes_.end(),
                   [node](const std::shared_ptr<NodeClient>& held) { return held->id() == node; });
  if (found == nodes_.end()) return nullptr;
  std::shared_ptr<NodeClient> removed = std::move(*found);
  nodes_.erase(found);
  return removed;
}

}  // namespace detail
}  // namespace CamSdk
