// One context's view of one service node: its handle identity, its sample event, and the maps
// this context enabled. A node that is unplugged and plugged back gets a new client object, so
// old handles stay unequal to new ones and the new node starts with no handlers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "camsdk/Node.h"
#include "client/ServicePort.h"
#include "protocol/SampleFields.h"

namespace CamSdk {
namespace detail {

class NodeClient : public std::enable_shared_from_this<NodeClient> {
 public:
  NodeClient(std::shared_ptr<ServicePort> service, ClientId owner, NodeInfo info,
             std::uint8_t mapsSentUnasked = 0);
  virtual ~NodeClient() = default;
  NodeClient(const NodeClient&) = delete;
  NodeClient& operator=(const NodeClient&) = delete;

  NodeId id() const { return info_.id; }
  NodeKind kind() const { return info_.kind; }
  const std::string& name() const { return info_.name; }
  ClientId owner() const { return owner_; }
  ServicePort& service() const { return *service_; }
  // The entry check of a public operation on this node.
  void enter(detail::SdkOperation operation) const { service_->enter(operation, info_.name); }

  // The maps this context asked the node for (MapFlag bits), and those its kind always sends.
  void enableMap(MapFlag map, bool enable) {
    enabledMaps_ = static_cast<std::uint8_t>(enable ? enabledMaps_ | map : enabledMaps_ & ~map);
  }
  std::uint8_t wantedMaps() const { return static_cast<std::uint8_t>(enabledMaps_ | unasked_); }
  bool wantsSamples() const { return wantedMaps() != 0; }
  // Hands a sample record to the node's handlers.
  virtual void deliver(const SampleRecord& sample) = 0;

 private:
  std::shared_ptr<ServicePort> service_;
  ClientId owner_;
  NodeInfo info_;
  std::uint8_t enabledMaps_ = 0;
  std::uint8_t unasked_;
};

// A node of a streamed kind: its sample event.
template <class N>
class TypedNodeClient final : public NodeClient {
 public:
  TypedNodeClient(std::shared_ptr<ServicePort> service, ClientId owner, NodeInfo info)
      : NodeClient(std::move(service), owner, std::move(info), protocol::kMapsSentUnasked<N>) {}
  typename N::NewSampleReceivedEvent& event() { return event_; }
  void deliver(const SampleRecord& sample) override;

 private:
  typename N::NewSampleReceivedEvent event_;
};

// A node of a kind this SDK does not stream from.
class OtherNodeClient final : public NodeClient {
 public:
  using NodeClient::NodeClient;
  void deliver(const SampleRecord&) override {}
};

std::shared_ptr<NodeClient> makeNodeClient(std::shared_ptr<ServicePort> service, ClientId owner,
                                           const NodeInfo& info);

}  // namespace detail
}  // namespace CamSdk
