#include "client/RemoteService.h"

#include <unistd.h>

#include <cstring>
#include <fstream>

#include "camsdk/Exceptions.h"

namespace CamSdk {
namespace detail {

using protocol::MessageType;

namespace {

// The name other clients see when this one holds a node: the program and its process.
std::string processLabel() {
  std::string name;
  std::ifstream comm("/proc/self/comm");
  if (!std::getline(comm, name) || name.empty()) name = "a client";
  return name + " (process " + std::to_string(getpid()) + ")";
}

template <class Reply>
const Reply& expect(const protocol::ServerMessage& message, const char* what) {
  const auto* reply = std::get_if<Reply>(&message);
  if (reply == nullptr) throw IOException(std::string("unexpected reply to ") + what);
  return *reply;
}

template <class T>
Pointer<T> mapOf(const std::shared_ptr<zmq::message_t>& message, const protocol::SamplePush& sample,
                 std::uint8_t flag) {
  for (const protocol::MapView& map : sample.maps) {
    if (map.map != flag) continue;
    const auto* bytes = static_cast<const std::uint8_t*>(message->data()) + map.offset;
    const std::size_t count = map.length / sizeof(T);
    // Maps are aligned within the message and ZeroMQ's buffers are malloc'd, so this holds;
    // were it ever not to, the bytes are copied rather than read misaligned.
    if (reinterpret_cast<std::uintptr_t>(bytes) % alignof(T) == 0) {
      return Pointer<T>(message, reinterpret_cast<const T*>(bytes), count);
    }
    auto copy = std::shared_ptr<T[]>(new T[count]);
    std::memcpy(copy.get(), bytes, count * sizeof(T));
    return Pointer<T>(copy, copy.get(), count);
  }
  return Pointer<T>();
}

}  // namespace

std::shared_ptr<RemoteService> RemoteService::connect(const std::string& host) {
  std::string endpoint;
  try {
    endpoint = transport::endpointForHost(host);
  } catch (const std::exception& error) {
    throw IOException("camera service on host \"" + host + "\": " + error.what());
  }
  std::shared_ptr<RemoteService> service(new RemoteService(host, endpoint));
  if (!service->greet(std::chrono::steady_clock::now() + kReplyTimeout)) {
    if (service->refused_) {
      throw IOException("the camera service on host \"" + host + "\" (" + endpoint +
                        ") refused this client: its key is not accepted there");
    }
    throw IOException("no camera service answers on host \"" + host + "\" (" + endpoint +
                      ") within 2 s");
  }
  return service;
}

RemoteService::RemoteService(std::string host, std::string endpoint)
    : host_(std::move(host)), endpoint_(std::move(endpoint)), clock_(makeSteadyClock()) {
  std::optional<transport::ClientKeys> keys;
  try {
    if (host_ != "localhost") keys = transport::clientKeysFromEnvironment();
    socket_ = std::make_unique<transport::ClientSocket>(endpoint_, keys);
  } catch (const std::exception& error) {
    throw IOException("camera service on host \"" + host_ + "\": " + error.what());
  }
}

RemoteService::~RemoteService() {
  if (!connected_) return;
  protocol::encodeRequest(scratch_, MessageType::Bye, 0, protocol::Bye{});
  socket_->send(scratch_);
}

bool RemoteService::greet(Deadline deadline) {
  const std::uint32_t hello = nextCorrelation_++;
  protocol::encodeRequest(scratch_, MessageType::Hello, hello, protocol::Hello{processLabel()});
  while (!socket_->send(scratch_)) {
    // Not connected yet: wait for the connection (or the deadline).
    zmq::message_t message;
    const auto event = socket_->wait(deadline, &message);
    if (event == transport::ClientSocket::Event::Timeout) return false;
    if (event == transport::ClientSocket::Event::Refused) {
      refused_ = true;
      return false;
    }
  }
  connected_ = true;
  auto welcome = readUntil(deadline, hello);
  if (!welcome) return connected_ = false;
  if (const auto* failed = std::get_if<protocol::Failed>(&welcome->message)) {
    connected_ = false;
    throwException(failed->kind, failed->message);
  }
  const std::uint32_t list = nextCorrelation_++;
  protocol::encodeRequest(scratch_, MessageType::ListDevices, list, protocol::ListDevices{});
  if (!socket_->send(scratch_)) return connected_ = false;
  auto devices = readUntil(deadline, list);
  if (!devices) return connected_ = false;
  devices_ = expect<protocol::DeviceList>(devices->message, "ListDevices").devices;
  // Pushes that came before the list are already in it.
  pushes_.clear();
  return true;
}

std::optional<protocol::DecodedServerMessage> RemoteService::readUntil(Deadline deadline,
                                                                       std::uint32_t correlation) {
  using Event = transport::ClientSocket::Event;
  for (;;) {
    zmq::message_t message;
    switch (socket_->wait(deadline, &message)) {
      case Event::Timeout:
        lose("no reply within 2 s");
        return std::nullopt;
      case Event::Disconnected:
        lose("the connection closed");
        return std::nullopt;
      case Event::Refused:
        refused_ = true;
        lose("the service refused this client's key");
        return std::nullopt;
      case Event::Connected:
        continue;
      case Event::Message:
        break;
    }
    protocol::Header header;
    try {
      header = protocol::readHeader(message.data<std::uint8_t>(), message.size());
    } catch (const protocol::ProtocolError&) {
      continue;  // not ours to act on; the service never sends such bytes
    }
    if (header.correlation == 0) {
      keepPush(std::move(message));
      continue;
    }
    if (header.correlation != correlation) continue;  // a reply that came too late
    try {
      return protocol::decodeServerMessage(message.data<std::uint8_t>(), message.size());
    } catch (const protocol::ProtocolError& error) {
      lose(std::string("malformed reply: ") + error.what());
      return std::nullopt;
    }
  }
}

void RemoteService::keepPush(zmq::message_t&& message) {
  pushes_.push_back(std::make_shared<zmq::message_t>(std::move(message)));
}

protocol::ServerMessage RemoteService::call(MessageType type, const protocol::Request& request) {
  if (!connected_) throwUnreachable();
  const std::uint32_t correlation = nextCorrelation_++;
  protocol::encodeRequest(scratch_, type, correlation, request);
  if (!socket_->send(scratch_)) {
    lose("the connection closed");
    throwUnreachable();
  }
  auto reply = readUntil(std::chrono::steady_clock::now() + kReplyTimeout, correlation);
  if (!reply) throwUnreachable();
  if (const auto* failed = std::get_if<protocol::Failed>(&reply->message)) {
    throwException(failed->kind, failed->message);
  }
  return std::move(reply->message);
}

void RemoteService::throwUnreachable() const {
  throw IOException("the camera service on host \"" + host_ + "\" is not reachable");
}

ClientId RemoteService::attach(ServiceListener& listener) {
  listener_ = &listener;
  return 1;
}

void RemoteService::detach(ClientId) noexcept { listener_ = nullptr; }

// The service keeps the call log and the armed faults, so it sees every operation. While it
// is away there is nothing to log or fail: operations that need it raise IOException in their
// own call, the others (asking a handle its kind, leaving the loop) go on working.
void RemoteService::enter(testing::SdkOperation operation, const std::string& subject) {
  if (!connected_) return;
  call(MessageType::Enter, protocol::Enter{static_cast<std::uint8_t>(operation), subject});
}

bool RemoteService::isPlugged(NodeId node) const {
  auto* self = const_cast<RemoteService*>(this);  // a question, but one asked over the wire
  return expect<protocol::Flag>(self->call(MessageType::IsPlugged, protocol::NodeRequest{node}),
                                "IsPlugged")
      .value;
}

void RemoteService::requestControl(ClientId, NodeId node) {
  call(MessageType::RequestControl, protocol::NodeRequest{node});
}

void RemoteService::releaseControl(ClientId, NodeId node) {
  call(MessageType::ReleaseControl, protocol::NodeRequest{node});
}

std::vector<std::uint8_t> RemoteService::configurationBytes(NodeId node) const {
  auto* self = const_cast<RemoteService*>(this);
  auto reply = self->call(MessageType::GetConfiguration, protocol::NodeRequest{node});
  return expect<protocol::ConfigurationRecord>(reply, "GetConfiguration").record;
}

namespace {

template <class Configuration>
Configuration recordFrom(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != sizeof(Configuration)) {
    throw IOException("the service sent a configuration of " + std::to_string(bytes.size()) +
                      " bytes, not " + std::to_string(sizeof(Configuration)));
  }
  Configuration configuration;
  std::memcpy(static_cast<void*>(&configuration), bytes.data(), sizeof configuration);
  return configuration;
}

}  // namespace

DepthNode::Configuration RemoteService::depthConfiguration(NodeId node) const {
  return recordFrom<DepthNode::Configuration>(configurationBytes(node));
}

ColorNode::Configuration RemoteService::colorConfiguration(NodeId node) const {
  return recordFrom<ColorNode::Configuration>(configurationBytes(node));
}

AudioNode::Configuration RemoteService::audioConfiguration(NodeId node) const {
  return recordFrom<AudioNode::Configuration>(configurationBytes(node));
}

void RemoteService::setConfigurationBytes(NodeId node, NodeKind kind, const void* record,
                                          std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(record);
  call(MessageType::SetConfiguration,
       protocol::SetConfiguration{node, kind, std::vector<std::uint8_t>(bytes, bytes + size)});
}

void RemoteService::setConfiguration(ClientId, NodeId node,
                                     const DepthNode::Configuration& configuration) {
  setConfigurationBytes(node, NodeKind::Depth, &configuration, sizeof configuration);
}

void RemoteService::setConfiguration(ClientId, NodeId node,
                                     const ColorNode::Configuration& configuration) {
  setConfigurationBytes(node, NodeKind::Color, &configuration, sizeof configuration);
}

void RemoteService::setConfiguration(ClientId, NodeId node,
                                     const AudioNode::Configuration& configuration) {
  setConfigurationBytes(node, NodeKind::Audio, &configuration, sizeof configuration);
}

void RemoteService::setInputMixerLevel(NodeId node, float level) {
  call(MessageType::SetMixerLevel, protocol::SetMixerLevel{node, level});
}

void RemoteService::subscribe(ClientId, NodeId node, std::uint8_t maps) {
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
  if (maps == 0) lastIndex_.erase(node);
}

void RemoteService::poll() { waitUntil(clock_->now()); }

void RemoteService::waitUntil(Nanoseconds time) {
  using Event = transport::ClientSocket::Event;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::nanoseconds(time - clock_->now());
  handOver();
  for (;;) {
    zmq::message_t message;
    const Event event = socket_->wait(deadline, &message);
    if (event == Event::Timeout) return;
    if (event == Event::Message) {
      keepPush(std::move(message));
      handOver();
      // What arrived is for the loop to deliver now.
      return;
    }
    if (event == Event::Disconnected && connected_) {
      lose("the connection closed");
      return;
    }
    if (event == Event::Connected && !connected_) {
      if (greet(std::chrono::steady_clock::now() + kReplyTimeout)) announceAll();
      return;
    }
  }
}

void RemoteService::handOver() {
  while (!pushes_.empty() && connected_) {
    const std::shared_ptr<zmq::message_t> message = std::move(pushes_.front());
    pushes_.pop_front();
    protocol::DecodedServerMessage decoded;
    try {
      decoded = protocol::decodeServerMessage(message->data<std::uint8_t>(), message->size());
    } catch (const protocol::ProtocolError& error) {
      lose(std::string("malformed message from the service: ") + error.what());
      return;
    }
    if (const auto* topology = std::get_if<protocol::TopologyPush>(&decoded.message)) {
      const TopologyChange& change = topology->change;
      // Keep the cached list in step, so that devices() answers without asking.
      if (change.type == TopologyChange::Type::DeviceAdded) {
        DeviceInfo added = change.device;
        added.nodes.clear();  // its nodes follow as node-added
        devices_.push_back(added);
      } else if (change.type == TopologyChange::Type::DeviceRemoved) {
        devices_.erase(
            std::remove_if(devices_.begin(), devices_.end(),
                           [&](const DeviceInfo& d) { return d.id == change.device.id; }),
            devices_.end());
      } else {
        for (DeviceInfo& device : devices_) {
          if (device.id != change.device.id) continue;
          auto& nodes = device.nodes;
          nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                                     [&](const NodeInfo& n) { return n.id == change.node.id; }),
                      nodes.end());
          if (change.type == TopologyChange::Type::NodeAdded) nodes.push_back(change.node);
        }
        if (change.type == TopologyChange::Type::NodeRemoved) {
          subscriptions_.erase(change.node.id);
          lastIndex_.erase(change.node.id);
        }
      }
      if (listener_) listener_->topologyChanged(change);
    } else if (const auto* sample = std::get_if<protocol::SamplePush>(&decoded.message)) {
      handOverSample(message, *sample);
    } else if (const auto* goodbye = std::get_if<protocol::Goodbye>(&decoded.message)) {
      lose("the service stopped: " + goodbye->reason);
      return;
    }
  }
}

void RemoteService::handOverSample(const std::shared_ptr<zmq::message_t>& message,
                                   const protocol::SamplePush& sample) {
  // Samples the service could not send to this client, or skipped because it fell behind,
  // show as a gap in the indices.
  std::int32_t dropped = 0;
  auto last = lastIndex_.find(sample.node);
  if (last != lastIndex_.end()) {
    if (sample.index <= last->second) return;  // never deliver a sample twice
    dropped = static_cast<std::int32_t>(sample.index - last->second - 1);
  }
  lastIndex_[sample.node] = sample.index;
  if (!listener_) return;
  switch (sample.kind) {
    case NodeKind::Depth: {
      DepthNode::NewSampleReceivedData data{};
      data.depthMap = mapOf<short>(message, sample, protocol::kDepthMap);
      data.vertices = mapOf<Vertex>(message, sample, protocol::kVertices);
      data.frameFormat = static_cast<FrameFormat>(sample.frameFormat);
      data.timeOfCapture = sample.timeOfCapture;
      data.sampleIndex = sample.index;
      data.droppedSampleCount = dropped;
      listener_->sampleInjected(sample.node, data);
      return;
    }
    case NodeKind::Color: {
      ColorNode::NewSampleReceivedData data{};
      data.colorMap = mapOf<std::uint8_t>(message, sample, protocol::kColorMap);
      data.frameFormat = static_cast<FrameFormat>(sample.frameFormat);
      data.timeOfCapture = sample.timeOfCapture;
      data.sampleIndex = sample.index;
      data.droppedSampleCount = dropped;
      listener_->sampleInjected(sample.node, data);
      return;
    }
    case NodeKind::Audio: {
      AudioNode::NewSampleReceivedData data{};
      data.audioData = mapOf<std::uint8_t>(message, sample, protocol::kAudio);
      data.sampleRate = sample.sampleRate;
      data.channels = sample.channels;
      data.timeOfCapture = sample.timeOfCapture;
      // Audio counts its position in audio samples; the block number only finds gaps.
      data.sampleIndex = sample.position;
      data.droppedSampleCount = dropped;
      listener_->sampleInjected(sample.node, data);
      return;
    }
    case NodeKind::Other:
      return;
  }
}

void RemoteService::lose(const std::string&) {
  if (!connected_) return;
  connected_ = false;
  pushes_.clear();
  subscriptions_.clear();
  lastIndex_.clear();
  std::vector<DeviceInfo> gone;
  gone.swap(devices_);
  if (!listener_) return;
  for (const DeviceInfo& device : gone) {
    for (const NodeInfo& node : device.nodes) {
      listener_->topologyChanged(TopologyChange{TopologyChange::Type::NodeRemoved,
                                                DeviceInfo{device.id, device.name, {}}, node});
    }
    listener_->topologyChanged(TopologyChange{TopologyChange::Type::DeviceRemoved,
                                              DeviceInfo{device.id, device.name, {}}, NodeInfo{}});
  }
}

void RemoteService::announceAll() {
  if (!listener_) return;
  for (const DeviceInfo& device : devices_) {
    listener_->topologyChanged(TopologyChange{TopologyChange::Type::DeviceAdded,
                                              DeviceInfo{device.id, device.name, {}}, NodeInfo{}});
    for (const NodeInfo& node : device.nodes) {
      listener_->topologyChanged(TopologyChange{TopologyChange::Type::NodeAdded,
                                                DeviceInfo{device.id, device.name, {}}, node});
    }
  }
}

}  // namespace detail
}  // namespace CamSdk
