// Builds public handles around client objects and reads the client object back out of a
// handle. Handles are shared pointers to client objects of one context, so a copy shares the
// object and equality means the same client object.
#pragma once

#include <memory>
#include <utility>

#include "camsdk/Context.h"
#include "camsdk/Device.h"
#include "camsdk/Node.h"

namespace CamSdk {
namespace detail {

class ContextCore;
class DeviceClient;
class NodeClient;

struct HandleAccess {
  static Context context(std::shared_ptr<ContextCore> core) { return Context(std::move(core)); }
  static Device device(std::shared_ptr<DeviceClient> client) { return Device(std::move(client)); }
  static Node node(std::shared_ptr<NodeClient> client) { return Node(std::move(client)); }
  template <class TypedNode>
  static TypedNode typed(std::shared_ptr<NodeClient> client) {
    return TypedNode(std::move(client));
  }

  static const std::shared_ptr<ContextCore>& core(const Context& context) { return context.core_; }
  static const std::shared_ptr<NodeClient>& client(const Node& node) { return node.client_; }
};

}  // namespace detail
}  // namespace CamSdk
