// A camera service as one context reaches it, over a connection (to another process, or to a
// service in this one): every ServicePort call is a request with a reply, and the service
// pushes samples and hot-plug notices, which reach the listener in the order they arrived,
// from poll() and waitUntil() only, so that they never cut into a call the client is in the
// middle of.
//
// When the service goes (it says goodbye, its process ends, the connection drops or a reply
// does not come within kReplyTimeout) the listener hears node-removed for every node, then
// device-removed for every device, and calls raise IOException. When a service answers at the
// same endpoint again, the client greets it and the listener hears device-added and
// node-added for what it has.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/ServicePort.h"
#include "protocol/Messages.h"
#include "transport/Connection.h"

namespace CamSdk {
namespace detail {

class ServiceClient final : public ServicePort {
 public:
  static constexpr std::chrono::milliseconds kReplyTimeout{2000};
  // How often a client whose service is away asks again.
  static constexpr std::chrono::milliseconds kRetryEvery{1000};
  // How long a loop waits at a time for what the service sends, on the real clock; it wakes at
  // once when something arrives.
  static constexpr std::chrono::milliseconds kIdleWait{100};

  // The camera service of `host`: one that this process made for it (tests do), otherwise
  // the host's service in its own process. Raises IOException naming `host` when no service
  // answers within kReplyTimeout.
  static std::shared_ptr<ServiceClient> open(const std::string& host);
  ~ServiceClient() override;

  ClientId attach(PortListener& listener) override;
  void detach(ClientId client) noexcept override;
  void enter(detail::SdkOperation operation, const std::string& subject) override;
  std::vector<DeviceInfo> devices() const override { return devices_; }
  bool isPlugged(NodeId node) const override;
  void requestControl(ClientId client, NodeId node) override;
  void releaseControl(ClientId client, NodeId node) override;
  NodeConfiguration configuration(NodeId node, NodeKind kind) const override;
  void setConfiguration(ClientId client, NodeId node,
                        const NodeConfiguration& configuration) override;
  void setInputMixerLevel(NodeId node, float level) override;
  void subscribe(ClientId client, NodeId node, std::uint8_t maps) override;
  void poll() override;
  void waitForMore() override;
  bool idle() const override { return pushes_.empty() && connection_->idle(); }

 private:
  ServiceClient(std::string host, std::string endpoint, std::string name,
                std::unique_ptr<transport::Connection> connection);

  // Sends a request and returns its reply; a Failed reply raises its exception.
  protocol::ServerMessage call(protocol::MessageType type, const protocol::Request& request);
  // A call on a node: while the service is away it raises StreamingException, as for a node
  // that was pulled out, instead of IOException.
  protocol::ServerMessage nodeCall(protocol::MessageType type, const protocol::Request& request);
  std::vector<std::uint8_t> configurationBytes(NodeId node) const;
  // Greets the service and learns its devices; false when it does not answer in time.
  bool greet();
  // Reads until the reply to `correlation` comes, keeping pushed messages; nothing when the
  // service was lost or did not answer within kReplyTimeout.
  std::optional<protocol::DecodedServerMessage> readReply(std::uint32_t correlation);
  // Hands over what arrives until `time` on the connection's time.
  void waitUntil(Nanoseconds time);
  void handOver();
  void handOverSample(const protocol::FrameList& frames, const protocol::SamplePush& sample);
  void lose();
  void announceAll();
  [[noreturn]] void throwUnreachable() const;

  std::string host_;
  std::string endpoint_;
  std::string name_;  // how other clients see this one; empty: the service's default
  std::unique_ptr<transport::Connection> connection_;
  PortListener* listener_ = nullptr;
  bool connected_ = false;
  Nanoseconds retryAt_{0};  // when a client that is away next asks again
  bool refused_ = false;
  std::uint32_t nextCorrelation_ = 1;
  std::vector<DeviceInfo> devices_;
  std::map<NodeId, std::uint8_t> subscriptions_;
  std::map<NodeId, std::vector<std::uint8_t>> lastRecords_;  // configurations last seen
  std::deque<protocol::FrameList> pushes_;                   // arrived, not yet handed over
  std::vector<std::uint8_t> scratch_;
};

}  // namespace detail
}  // namespace CamSdk
