// A camera service in another process, reached over ZeroMQ: every ServicePort call is a
// request with a reply, and the service pushes samples and hot-plug notices, which reach the
// listener in the order they arrived, from poll() and waitUntil() only, so that they never
// cut into a call the client is in the middle of.
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
#include <string>
#include <vector>

#include "protocol/Messages.h"
#include "service/ServicePort.h"
#include "transport/ClientSocket.h"

namespace CamSdk {
namespace detail {

class RemoteService final : public ServicePort {
 public:
  static constexpr std::chrono::milliseconds kReplyTimeout{2000};

  // Raises IOException naming `host` when no service answers within kReplyTimeout.
  static std::shared_ptr<RemoteService> connect(const std::string& host);
  ~RemoteService() override;

  ClientId attach(ServiceListener& listener) override;
  void detach(ClientId client) noexcept override;
  void enter(testing::SdkOperation operation, const std::string& subject) override;
  std::vector<DeviceInfo> devices() const override { return devices_; }
  bool isPlugged(NodeId node) const override;
  void requestControl(ClientId client, NodeId node) override;
  void releaseControl(ClientId client, NodeId node) override;
  DepthNode::Configuration depthConfiguration(NodeId node) const override;
  ColorNode::Configuration colorConfiguration(NodeId node) const override;
  AudioNode::Configuration audioConfiguration(NodeId node) const override;
  void setConfiguration(ClientId client, NodeId node,
                        const DepthNode::Configuration& configuration) override;
  void setConfiguration(ClientId client, NodeId node,
                        const ColorNode::Configuration& configuration) override;
  void setConfiguration(ClientId client, NodeId node,
                        const AudioNode::Configuration& configuration) override;
  void setInputMixerLevel(NodeId node, float level) override;
  // Samples are pushed: nothing is pulled.
  std::int32_t samplesPerSecond(NodeId) const override { return 0; }
  DepthFrame depthFrame(NodeId, std::int64_t, bool, bool) override { return {}; }
  ColorFrame colorFrame(NodeId, std::int64_t) override { return {}; }
  AudioFrame audioFrame(NodeId, std::int64_t) override { return {}; }
  void noteDelivered(NodeId) override {}
  Clock& clock() override { return *clock_; }
  bool nextActionTime(Nanoseconds*) const override { return false; }
  void runNextAction() override {}
  void subscribe(ClientId client, NodeId node, std::uint8_t maps) override;
  void waitUntil(Nanoseconds time) override;
  void poll() override;

 private:
  RemoteService(std::string host, std::string endpoint);
  using Deadline = transport::ClientSocket::Deadline;

  // Sends a request and returns its reply; a Failed reply raises its exception.
  protocol::ServerMessage call(protocol::MessageType type, const protocol::Request& request);
  std::vector<std::uint8_t> configurationBytes(NodeId node) const;
  void setConfigurationBytes(NodeId node, NodeKind kind, const void* record, std::size_t size);
  // Greets the service and learns its devices; false when it does not answer in time.
  bool greet(Deadline deadline);
  // Reads until `deadline`, keeping pushed messages; returns the reply to `correlation` or
  // nothing when the service was lost or the deadline passed first.
  std::optional<protocol::DecodedServerMessage> readUntil(Deadline deadline,
                                                          std::uint32_t correlation);
  void keepPush(zmq::message_t&& message);
  void handOver();
  void handOverSample(const std::shared_ptr<zmq::message_t>& message,
                      const protocol::SamplePush& sample);
  void lose(const std::string& why);
  void announceAll();
  [[noreturn]] void throwUnreachable() const;

  std::string host_;
  std::string endpoint_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<transport::ClientSocket> socket_;
  ServiceListener* listener_ = nullptr;
  bool connected_ = false;
  bool refused_ = false;
  std::uint32_t nextCorrelation_ = 1;
  std::vector<DeviceInfo> devices_;
  std::map<NodeId, std::uint8_t> subscriptions_;
  std::map<NodeId, std::int64_t> lastIndex_;  // per node, to count samples that never came
  std::deque<std::shared_ptr<zmq::message_t>> pushes_;  // arrived, not yet handed over
  std::vector<std::uint8_t> scratch_;
};

}  // namespace detail
}  // namespace CamSdk
