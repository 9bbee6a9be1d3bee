// One context's view of one service node: its handle identity, its sample event, and the maps
// this context enabled. A node that is unplugged and plugged back gets a new client object, so
// old handles stay unequal to new ones and the new node starts with no handlers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "camsdk/Node.h"
#include "client/ServicePort.h"
#include "protocol/Messages.h"

namespace CamSdk {
namespace detail {

class NodeClient : public std::enable_shared_from_this<NodeClient> {
 public:
  NodeClient(std::shared_ptr<ServicePort> service, ClientId owner, NodeInfo info);
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

  // The maps this context asked the node for (protocol::MapFlag bits).
  virtual std::uint8_t wantedMaps() const = 0;
  bool wantsSamples() const { return wantedMaps() != 0; }
  // Hands a sample record to the node's handlers.
  virtual void deliver(const InjectedSample& sample) = 0;

 private:
  std::shared_ptr<ServicePort> service_;
  ClientId owner_;
  NodeInfo info_;
};

class DepthNodeClient final : public NodeClient {
 public:
  using NodeClient::NodeClient;
  DepthNode::NewSampleReceivedEvent& event() { return event_; }
  void setEnableDepthMap(bool enable) { depthMap_ = enable; }
  void setEnableVertices(bool enable) { vertices_ = enable; }

  std::uint8_t wantedMaps() const override {
    return static_cast<std::uint8_t>((depthMap_ ? protocol::kDepthMap : 0) |
                                     (vertices_ ? protocol::kVertices : 0));
  }
  void deliver(const InjectedSample& sample) override;

 private:
  DepthNode::NewSampleReceivedEvent event_;
  bool depthMap_ = false;
  bool vertices_ = false;
};

class ColorNodeClient final : public NodeClient {
 public:
  using NodeClient::NodeClient;
  ColorNode::NewSampleReceivedEvent& event() { return event_; }
  void setEnableColorMap(bool enable) { colorMap_ = enable; }

  std::uint8_t wantedMaps() const override { return colorMap_ ? protocol::kColorMap : 0; }
  void deliver(const InjectedSample& sample) override;

 private:
  ColorNode::NewSampleReceivedEvent event_;
  bool colorMap_ = false;
};

class AudioNodeClient final : public NodeClient {
 public:
  using NodeClient::NodeClient;
  AudioNode::NewSampleReceivedEvent& event() { return event_; }

  // Audio has no map to switch on: a registered audio node always streams.
  std::uint8_t wantedMaps() const override { return protocol::kAudio; }
  void deliver(const InjectedSample& sample) override;

 private:
  AudioNode::NewSampleReceivedEvent event_;
};

// A node of a kind this SDK does not stream from.
class OtherNodeClient final : public NodeClient {
 public:
  using NodeClient::NodeClient;
  std::uint8_t wantedMaps() const override { return 0; }
  void deliver(const InjectedSample&) override {}
};

std::shared_ptr<NodeClient> makeNodeClient(std::shared_ptr<ServicePort> service, ClientId owner,
                                           const NodeInfo& info);

}  // namespace detail
}  // namespace CamSdk
