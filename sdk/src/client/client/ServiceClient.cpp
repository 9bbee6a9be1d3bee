#include "client/ServiceClient.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

#include "camsdk/Exceptions.h"
#include "client/ProcessLabel.h"
#include "common/ConfigurationRules.h"
#include "protocol/SampleFields.h"
#include "transport/Endpoints.h"
#include "transport/LocalServices.h"
#include "transport/ZmqConnection.h"

namespace CamSdk {
namespace detail {

using protocol::MessageType;
using Event = transport::Connection::Event;

namespace {

template <class Reply>
const Reply& expect(const protocol::ServerMessage& message, const char* what) {
  const auto* reply = std::get_if<Reply>(&message);
  if (reply == nullptr) throw IOException(std::string("unexpected reply to ") + what);
  return *reply;
}

// Map i of a sample is frame i + 1. The buffer stays the frame's: a service in this process
// handed over its own, a ZeroMQ message keeps its own. Should one ever be misaligned for T,
// the bytes are copied rather than read misaligned.
template <class T>
Pointer<T> mapOf(const protocol::FrameList& frames, const protocol::SamplePush& sample,
                 std::uint8_t flag) {
  for (std::size_t i = 0; i < sample.maps.size(); ++i) {
    if (sample.maps[i].map != flag) continue;
    const protocol::OwnedFrame& frame = frames[i + 1];
    const std::size_t count = frame.size / sizeof(T);
    if (reinterpret_cast<std::uintptr_t>(frame.data) % alignof(T) == 0) {
      return Pointer<T>(frame.owner, reinterpret_cast<const T*>(frame.data), count);
    }
    auto copy = std::shared_ptr<T[]>(new T[count]);
    std::memcpy(static_cast<void*>(copy.get()), frame.data, count * sizeof(T));
    return Pointer<T>(copy, copy.get(), count);
  }
  return Pointer<T>();
}

// The maps of one received sample, as the kinds' sample fields ask for them.
struct ReceivedMaps {
  const protocol::FrameList& frames;
  const protocol::SamplePush& sample;
  template <class T>
  Pointer<T> map(std::uint8_t flag) const {
    return mapOf<T>(frames, sample, flag);
  }
};

}  // namespace

std::shared_ptr<ServiceClient> ServiceClient::open(const std::string& host) {
  if (std::unique_ptr<transport::Connection> local = transport::connectLocally(host)) {
    std::shared_ptr<ServiceClient> client(
        new ServiceClient(host, "in-process", std::string(), std::move(local)));
    client->greet();
    return client;
  }
  std::string endpoint;
  std::unique_ptr<transport::Connection> connection;
  try {
    endpoint = transport::endpointForHost(host);
    std::optional<transport::ClientKeys> keys;
    if (host != "localhost") keys = transport::clientKeysFromEnvironment();
    connection = std::make_unique<transport::ZmqConnection>(endpoint, keys);
  } catch (const std::exception& error) {
    throw IOException("camera service on host \"" + host + "\": " + error.what());
  }
  std::shared_ptr<ServiceClient> client(
      new ServiceClient(host, endpoint, processLabel(), std::move(connection)));
  if (!client->greet()) {
    if (client->refused_) {
      throw IOException("the camera service on host \"" + host + "\" (" + endpoint +
                        ") refused this client: its key is not accepted there");
    }
    throw IOException("no camera service answers on host \"" + host + "\" (" + endpoint +
                      ") within 2 s");
  }
  return client;
}

ServiceClient::ServiceClient(std::string host, std::string endpoint, std::string name,
                             std::unique_ptr<transport::Connection> connection)
    : host_(std::move(host)),
      endpoint_(std::move(endpoint)),
      name_(std::move(name)),
      connection_(std::move(connection)) {}

ServiceClient::~ServiceClient() {
  if (!connected_) return;
  protocol::encodeRequest(scratch_, MessageType::Bye, 0, protocol::Bye{});
  connection_->send(scratch_);
}

bool ServiceClient::greet() {
  const Nanoseconds deadline = connection_->now() + kReplyTimeout;
  const std::uint32_t hello = nextCorrelation_++;
  protocol::encodeRequest(scratch_, MessageType::Hello, hello, protocol::Hello{name_});
  while (!connection_->send(scratch_)) {
    // Not connected yet: wait for the connection, or the deadline.
    protocol::FrameList ignored;
    const Event event = connection_->wait(deadline, &ignored);
    if (event == Event::Timeout && connection_->now() >= deadline) return false;
    if (event == Event::Refused) {
      refused_ = true;
      return false;
    }
  }
  connected_ = true;
  auto welcome = readReply(hello);
  if (!welcome) return false;
  if (const auto* failed = std::get_if<protocol::Failed>(&welcome->message)) {
    connected_ = false;
    throwException(failed->kind, failed->message);
  }
  const std::uint32_t list = nextCorrelation_++;
  protocol::encodeRequest(scratch_, MessageType::ListDevices, list, protocol::ListDevices{});
  if (!connection_->send(scratch_)) return connected_ = false;
  auto devices = readReply(list);
  if (!devices) return false;
  devices_ = expect<protocol::DeviceList>(devices->message, "ListDevices").devices;
  // What was pushed before the list is already in it.
  pushes_.clear();
  return true;
}

std::optional<protocol::DecodedServerMessage> ServiceClient::readReply(std::uint32_t correlation) {
  const Nanoseconds deadline = connection_->now() + kReplyTimeout;
  for (;;) {
    protocol::FrameList message;
    switch (connection_->wait(deadline, &message)) {
      case Event::Timeout:
        if (connection_->now() < deadline) continue;
        lose();
        return std::nullopt;
      case Event::Disconnected:
        lose();
        return std::nullopt;
      case Event::Refused:
        refused_ = true;
        lose();
        return std::nullopt;
      case Event::Connected:
        continue;
      case Event::Message:
        break;
    }
    protocol::Header header;
    try {
      header = protocol::readHeader(message.at(0).data, message.at(0).size);
    } catch (const std::exception&) {
      continue;  // not ours to act on; a service never sends such bytes
    }
    if (header.correlation == 0) {
      pushes_.push_back(std::move(message));
      continue;
    }
    if (header.correlation != correlation) continue;  // a reply that came too late
    try {
      return protocol::decodeServerMessage(message);
    } catch (const protocol::ProtocolError&) {
      lose();
      return std::nullopt;
    }
  }
}

protocol::ServerMessage ServiceClient::call(MessageType type, const protocol::Request& request) {
  if (!connected_) throwUnreachable();
  const std::uint32_t correlation = nextCorrelation_++;
  protocol::encodeRequest(scratch_, type, correlation, request);
  if (!connection_->send(scratch_)) {
    lose();
    throwUnreachable();
  }
  auto reply = readReply(correlation);
  if (!reply) throwUnreachable();
  if (const auto* failed = std::get_if<protocol::Failed>(&reply->message)) {
    throwException(failed->kind, failed->message);
  }
  return std::move(reply->message);
}

protocol::ServerMessage ServiceClient::nodeCall(MessageType type,
                                                const protocol::Request& request) {
  try {
    return call(type, request);
  } catch (const IOException& error) {
    if (connected_) throw;
    // The node went with its service: the same kind as for a node pulled out.
    throw StreamingException(std::string("the node is no longer connected: ") + error.what());
  }
}

void ServiceClient::throwUnreachable() const {
  throw IOException("the camera service on host \"" + host_ + "\" is not reachable");
}

// Ids tell this process's contexts apart, so that none can use another's node handles.
ClientId ServiceClient::attach(PortListener& listener) {
  static std::atomic<ClientId> next{1};
  listener_ = &listener;
  return next++;
}

// The context's session ends, and with it its control of nodes. Node handles may outlive the
// context: they go on through a new session that holds nothing.
void ServiceClient::detach(ClientId) noexcept {
  listener_ = nullptr;
  if (!connected_) return;
  protocol::encodeRequest(scratch_, MessageType::Bye, 0, protocol::Bye{});
  connection_->send(scratch_);
  connected_ = false;
  try {
    greet();
  } catch (const std::exception&) {
    connected_ = false;  // the nodes' calls raise IOException from now on
  }
}

// The service keeps the call log and the armed faults, so it sees every operation. While it
// is away there is nothing to log or fail: operations that need it raise IOException in their
// own call, the others (asking a handle its kind, leaving the loop) go on working.
// An operation starts from the service's present: what it sent until now is handed over
// first, so a list asked for after a change outside the loop already shows it.
void ServiceClient::enter(detail::SdkOperation operation, const std::string& subject) {
  if (!connected_) return;
  call(MessageType::Enter, protocol::Enter{static_cast<std::uint8_t>(operation), subject});
  poll();
}

bool ServiceClient::isPlugged(NodeId node) const {
  auto* self = const_cast<ServiceClient*>(this);  // a question, but one asked over the wire
  return expect<protocol::Flag>(self->call(MessageType::IsPlugged, protocol::NodeRequest{node}),
                                "IsPlugged")
      .value;
}

void ServiceClient::requestControl(ClientId, NodeId node) {
  nodeCall(MessageType::RequestControl, protocol::NodeRequest{node});
}

void ServiceClient::releaseControl(ClientId, NodeId node) {
  if (!connected_) return;  // whatever it held went with the service
  call(MessageType::ReleaseControl, protocol::NodeRequest{node});
}

// While the service is away a node's configuration reads as it was last seen, so that a
// program setting up a node in that instant goes on to the calls that say the node is gone.
std::vector<std::uint8_t> ServiceClient::configurationBytes(NodeId node) const {
  auto* self = const_cast<ServiceClient*>(this);
  if (connected_) {
    try {
      auto reply = self->call(MessageType::GetConfiguration, protocol::NodeRequest{node});
      return self->lastRecords_[node] =
                 expect<protocol::ConfigurationRecord>(reply, "GetConfiguration").record;
    } catch (const IOException&) {
      if (connected_) throw;
    }
  }
  auto known = lastRecords_.find(node);
  return known == lastRecords_.end() ? std::vector<std::uint8_t>() : known->second;
}

// A record of another size would be read past its end, one with a truth value that is
// neither 0 nor 1 read with undefined results: that service is not one to trust.
NodeConfiguration ServiceClient::configuration(NodeId node, NodeKind kind) const {
  std::vector<std::uint8_t> bytes = configurationBytes(node);
  if (bytes.empty()) return NodeConfiguration();  // never seen, and its service is away
  const std::size_t size = bytes.size();
  std::optional<NodeConfiguration> record = NodeConfiguration::fromBytes(kind, std::move(bytes));
  if (!record) {
    throw IOException("the service sent a configuration record of " + std::to_string(size) +
                      " bytes for a " + nodeKindName(kind) + " node");
  }
  const std::string field = unreadableField(*record);
  if (!field.empty()) {
    throw IOException(std::string("the service sent a ") + nodeKindName(kind) +
                      " configuration whose " + field);
  }
  return *record;
}

void ServiceClient::setConfiguration(ClientId, NodeId node,
                                     const NodeConfiguration& configuration) {
  nodeCall(MessageType::SetConfiguration,
           protocol::SetConfiguration{node, configuration.kind(), configuration.bytes()});
  lastRecords_[node] = configuration.bytes();
}

void ServiceClient::setInputMixerLevel(NodeId node, float level) {
  nodeCall(MessageType::SetMixerLevel, protocol::SetMixerLevel{node, level});
}

void ServiceClient::subscribe(ClientId, NodeId node, std::uint8_t maps) {
  auto known = subscriptions_.find(node);
  const std::uint8_t before = known == subscriptions_.end() ? 0 : known->second;
  if (before == maps || !connected_) return;
  try {
    call(MessageType::Subscribe, protocol::Subscribe{node, maps});
  } catch (const IOException&) {
    // The service went while we asked: its loss is announced to the listener like any other.
    return;
  }
  subscriptions_[node] = maps;
}

void ServiceClient::poll() {
  handOver();
  protocol::FrameList message;
  while (connected_ && connection_->tryReceive(&message)) {
    pushes_.push_back(std::move(message));
    handOver();
  }
}

// A connection on virtual time runs the service's next due work, however far off; one on real
// time waits a short while, so that the loop looks at its own state now and then.
void ServiceClient::waitForMore() {
  waitUntil(connection_->virtualTime() ? Nanoseconds::max() : connection_->now() + kIdleWait);
}

void ServiceClient::waitUntil(Nanoseconds time) {
  handOver();
  if (!connected_) {
    // A service may say goodbye and keep the connection, or come back without the socket
    // telling: while away, ask again now and then.
    const Nanoseconds now = connection_->now();
    if (now >= retryAt_) {
      retryAt_ = now + kRetryEvery;
      if (greet()) {
        announceAll();
        return;
      }
    }
    time = std::min(time, retryAt_);
  }
  for (;;) {
    protocol::FrameList message;
    switch (connection_->wait(time, &message)) {
      case Event::Timeout:
        return;
      case Event::Message:
        // Nothing is owed to a client that is away: what still arrives is dropped, so that a
        // service that goes on sending costs no memory here.
        if (!connected_) continue;
        pushes_.push_back(std::move(message));
        handOver();
        return;  // what arrived is for the loop to deliver now
      case Event::Disconnected:
        lose();
        return;
      case Event::Refused:
        refused_ = true;
        lose();
        return;
      case Event::Connected:
        if (!connected_ && greet()) announceAll();
        return;
    }
  }
}

void ServiceClient::handOver() {
  while (!pushes_.empty() && connected_) {
    const protocol::FrameList message = std::move(pushes_.front());
    pushes_.pop_front();
    protocol::DecodedServerMessage decoded;
    try {
      decoded = protocol::decodeServerMessage(message);
    } catch (const protocol::ProtocolError&) {
      lose();
      return;
    }
    if (const auto* topology = std::get_if<protocol::TopologyPush>(&decoded.message)) {
      const TopologyChange& change = topology->change;
      // Keep the cached list in step, so that devices() answers without asking.
      if (change.type == TopologyChange::Type::DeviceAdded) {
        devices_.push_back(DeviceInfo{change.device.id, change.device.name, {}});
      } else if (change.type == TopologyChange::Type::DeviceRemoved) {
        devices_.erase(
            std::remove_if(devices_.begin(), devices_.end(),
                           [&](const DeviceInfo& device) { return device.id == change.device.id; }),
            devices_.end());
      } else {
        for (DeviceInfo& device : devices_) {
          if (device.id != change.device.id) continue;
          auto& nodes = device.nodes;
          nodes.erase(
              std::remove_if(nodes.begin(), nodes.end(),
                             [&](const NodeInfo& node) { return node.id == change.node.id; }),
              nodes.end());
          if (change.type == TopologyChange::Type::NodeAdded) nodes.push_back(change.node);
        }
        if (change.type == TopologyChange::Type::NodeRemoved) subscriptions_.erase(change.node.id);
      }
      if (listener_) listener_->topologyChanged(change, connection_->now());
    } else if (const auto* sample = std::get_if<protocol::SamplePush>(&decoded.message)) {
      handOverSample(message, *sample);
    } else if (std::holds_alternative<protocol::Goodbye>(decoded.message)) {
      lose();
      return;
    }
  }
}

void ServiceClient::handOverSample(const protocol::FrameList& frames,
                                   const protocol::SamplePush& sample) {
  if (!listener_) return;
  // A sample of a kind this SDK does not stream has no handler to reach.
  if (auto record = protocol::readSample(sample, ReceivedMaps{frames, sample})) {
    listener_->sampleReceived(sample.node, *record, connection_->now());
  }
}

void ServiceClient::lose() {
  if (!connected_) return;
  connected_ = false;
  retryAt_ = connection_->now() + kRetryEvery;
  pushes_.clear();
  subscriptions_.clear();
  std::vector<DeviceInfo> gone;
  gone.swap(devices_);
  if (!listener_) return;
  for (const DeviceInfo& device : gone) {
    const DeviceInfo named{device.id, device.name, {}};
    for (const NodeInfo& node : device.nodes) {
      listener_->topologyChanged(TopologyChange{TopologyChange::Type::NodeRemoved, named, node},
                                 connection_->now());
    }
    listener_->topologyChanged(TopologyChange{TopologyChange::Type::DeviceRemoved, named, {}},
                               connection_->now());
  }
}

void ServiceClient::announceAll() {
  if (!listener_) return;
  for (const DeviceInfo& device : devices_) {
    const DeviceInfo named{device.id, device.name, {}};
    listener_->topologyChanged(TopologyChange{TopologyChange::Type::DeviceAdded, named, {}},
                               connection_->now());
    for (const NodeInfo& node : device.nodes) {
      listener_->topologyChanged(TopologyChange{TopologyChange::Type::NodeAdded, named, node},
                                 connection_->now());
    }
  }
}

}  // namespace detail
}  // namespace CamSdk
