// What a camera service has plugged, and how that changes: the vocabulary that the service,
// the protocol and the client share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsdk/Node.h"

namespace CamSdk {
namespace detail {

using ClientId = std::int32_t;
using NodeId = std::int32_t;
using DeviceId = std::int32_t;

struct NodeInfo {
  NodeId id = -1;
  NodeKind kind = NodeKind::Other;
  std::string name;
};

struct DeviceInfo {
  DeviceId id = -1;
  std::string name;
  std::vector<NodeInfo> nodes;  // plugged nodes, in the device's order
};

struct TopologyChange {
  enum class Type { NodeRemoved, DeviceRemoved, DeviceAdded, NodeAdded };
  Type type;
  DeviceInfo device;  // for DeviceAdded with its plugged nodes; otherwise id and name only
  NodeInfo node;      // for NodeAdded and NodeRemoved
};

}  // namespace detail
}  // namespace CamSdk
