#include "server/ServiceServer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "camsdk/Exceptions.h"
#include "transport/SocketOptions.h"
#include "transport/ZmqContext.h"

namespace CamSdk {
namespace server {

using detail::ClientId;
using detail::Nanoseconds;
using detail::NodeId;
using protocol::MessageType;

namespace {

constexpr const char* kMonitorAddress = "inproc://camsdk-service-monitor";
constexpr const char* kZapAddress = "inproc://zeromq.zap.01";

std::int64_t microseconds(Nanoseconds time) { return time.count() / 1000; }

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

template <class Configuration>
Configuration recordOf(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != sizeof(Configuration)) {
    throw protocol::ProtocolError("configuration record of " + std::to_string(bytes.size()) +
                                  " bytes, expected " + std::to_string(sizeof(Configuration)));
  }
  Configuration configuration;
  std::memcpy(static_cast<void*>(&configuration), bytes.data(), sizeof configuration);
  return configuration;
}

template <class Configuration>
std::vector<std::uint8_t> bytesOf(const Configuration& configuration) {
  std::vector<std::uint8_t> bytes(sizeof configuration);
  std::memcpy(bytes.data(), &configuration, sizeof configuration);
  return bytes;
}

}  // namespace

bool isLocalEndpoint(const std::string& endpoint) {
  if (endpoint.rfind("ipc://", 0) == 0 || endpoint.rfind("inproc://", 0) == 0) return true;
  for (const char* prefix : {"tcp://127.0.0.1:", "tcp://localhost:", "tcp://[::1]:"}) {
    if (endpoint.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// One client: its place in the service, what it subscribed to, and its request budget.
class ServiceServer::Session final : private detail::ServiceListener {
 public:
  Session(ServiceServer& server, std::string peer, int fd)
      : server_(server), peer_(std::move(peer)), fd_(fd) {
    client_ = server.service_.attach(*this);
  }
  ~Session() { server_.service_.detach(client_); }

  ClientId client() const { return client_; }
  const std::string& peer() const { return peer_; }
  int fd() const { return fd_; }
  std::map<NodeId, std::uint8_t>& subscriptions() { return subscriptions_; }
  std::uint8_t maps(NodeId node) const {
    auto found = subscriptions_.find(node);
    return found == subscriptions_.end() ? 0 : found->second;
  }
  long dropped = 0;

  // Token bucket: false when the client is over its budget.
  bool spend(Nanoseconds now) {
    const double refill =
        static_cast<double>((now - lastRefill_).count()) * 1e-9 * kRequestsPerSecond;
    tokens_ = std::min(2.0 * kRequestsPerSecond, tokens_ + refill);
    lastRefill_ = now;
    if (tokens_ < 1.0) return false;
    tokens_ -= 1.0;
    return true;
  }

 private:
  void topologyChanged(const detail::TopologyChange& change) override {
    // A node that comes back is a new stream: the client subscribes to it again.
    if (change.type == detail::TopologyChange::Type::NodeRemoved) {
      subscriptions_.erase(change.node.id);
    }
    protocol::encodeReply(server_.scratch_, 0, protocol::TopologyPush{change});
    server_.send(peer_, server_.scratch_);
  }
  // Hand-made samples from the scenario control go to clients like produced ones would.
  void sampleInjected(NodeId, const detail::InjectedSample&) override {}

  ServiceServer& server_;
  std::string peer_;
  int fd_;
  ClientId client_ = 0;
  std::map<NodeId, std::uint8_t> subscriptions_;
  double tokens_ = 2.0 * kRequestsPerSecond;
  Nanoseconds lastRefill_{0};
};

ServiceServer::ServiceServer(detail::Service& service, ServerOptions options)
    : service_(service),
      options_(std::move(options)),
      router_(transport::zmqContext(), zmq::socket_type::router),
      monitor_(transport::zmqContext(), zmq::socket_type::pair) {
  const bool keyed = !options_.secretKey.empty();
  if (!keyed && !isLocalEndpoint(options_.endpoint)) {
    throw std::runtime_error("serving " + options_.endpoint +
                             " needs keys (--key and --clients): without them the service "
                             "only serves this machine");
  }
  transport::applyCommonOptions(router_);
  router_.set(zmq::sockopt::router_mandatory, true);
  if (keyed) {
    zap_ = std::make_unique<zmq::socket_t>(transport::zmqContext(), zmq::socket_type::rep);
    zap_->bind(kZapAddress);
    router_.set(zmq::sockopt::curve_server, true);
    router_.set(zmq::sockopt::curve_secretkey, options_.secretKey);
    router_.set(zmq::sockopt::zap_domain, "camsdk");
  }
  if (zmq_socket_monitor(router_.handle(), kMonitorAddress, ZMQ_EVENT_DISCONNECTED) != 0) {
    throw std::runtime_error("cannot watch the service socket");
  }
  monitor_.connect(kMonitorAddress);
  try {
    router_.bind(options_.endpoint);
  } catch (const zmq::error_t& error) {
    if (error.num() == EADDRINUSE) {
      throw std::runtime_error(options_.endpoint + " is already served by another program");
    }
    throw std::runtime_error("cannot serve " + options_.endpoint + ": " + error.what());
  }
}

ServiceServer::~ServiceServer() {
  zmq_socket_monitor(router_.handle(), nullptr, 0);
  sessions_.clear();
}

void ServiceServer::log(int level, const std::string& line) const {
  if (options_.log) options_.log(level, line);
}

bool ServiceServer::send(const std::string& peer, const std::vector<std::uint8_t>& bytes) {
  zmq::message_t message(bytes.data(), bytes.size());
  sendShared(peer, message);
  return true;
}

// Sends `shared` (kept for further sends: ZeroMQ shares large buffers between copies).
void ServiceServer::sendShared(const std::string& peer, zmq::message_t& shared) {
  zmq::message_t copy;
  copy.copy(shared);
  try {
    if (!router_.send(zmq::buffer(peer), zmq::send_flags::sndmore | zmq::send_flags::dontwait) ||
        !router_.send(copy, zmq::send_flags::dontwait)) {
      auto session = sessions_.find(peer);
      if (session != sessions_.end()) ++session->second->dropped;
    }
  } catch (const zmq::error_t&) {
    // EHOSTUNREACH: the peer has gone; the monitor will say so.
  }
}

void ServiceServer::run(const std::atomic<bool>& stop) {
  while (!stop.load()) turn(std::chrono::milliseconds(50));
}

Nanoseconds ServiceServer::nextDue() const {
  Nanoseconds due = Nanoseconds::max();
  Nanoseconds action{};
  if (service_.nextActionTime(&action)) due = action;
  for (const auto& [node, stream] : streams_) {
    if (stream.cursor.armed()) due = std::min(due, stream.cursor.nextDue());
  }
  return due;
}

void ServiceServer::turn(std::chrono::milliseconds maxWait) {
  const Nanoseconds now = service_.clock().now();
  const Nanoseconds due = nextDue();
  auto wait = maxWait;
  if (due != Nanoseconds::max()) {
    wait = std::min(
        wait, std::chrono::ceil<std::chrono::milliseconds>(std::max(due - now, Nanoseconds{0})));
  }
  std::vector<zmq::pollitem_t> items = {{router_.handle(), 0, ZMQ_POLLIN, 0},
                                        {monitor_.handle(), 0, ZMQ_POLLIN, 0}};
  if (zap_) items.push_back({zap_->handle(), 0, ZMQ_POLLIN, 0});
  try {
    zmq::poll(items.data(), items.size(), wait);
  } catch (const zmq::error_t& error) {
    if (error.num() != EINTR) throw;  // a signal: the caller looks at its stop flag
  }
  if (zap_) answerZap();
  readMonitor();
  readRequests();
  Nanoseconds action{};
  while (service_.nextActionTime(&action) && action <= service_.clock().now()) {
    service_.runNextAction();
  }
  produceDue();
}

void ServiceServer::readMonitor() {
  for (;;) {
    zmq::message_t event;
    if (!monitor_.recv(event, zmq::recv_flags::dontwait)) return;
    std::uint16_t id = 0;
    std::uint32_t value = 0;
    if (event.size() >= 6) {
      std::memcpy(&id, event.data(), 2);
      std::memcpy(&value, static_cast<const char*>(event.data()) + 2, 4);
    }
    while (event.more() && monitor_.recv(event, zmq::recv_flags::dontwait)) {
    }
    if (id != ZMQ_EVENT_DISCONNECTED) continue;
    std::vector<std::string> gone;
    for (const auto& [peer, session] : sessions_) {
      if (session->fd() == static_cast<int>(value)) gone.push_back(peer);
    }
    for (const std::string& peer : gone) drop(peer, "its connection closed");
  }
}

void ServiceServer::answerZap() {
  for (;;) {
    std::vector<zmq::message_t> frames;
    zmq::message_t frame;
    if (!zap_->recv(frame, zmq::recv_flags::dontwait)) return;
    frames.push_back(std::move(frame));
    while (frames.back().more()) {
      zmq::message_t next;
      if (!zap_->recv(next)) break;
      frames.push_back(std::move(next));
    }
    bool accepted = false;
    if (frames.size() >= 7 && frames[5].to_string() == "CURVE" && frames[6].size() == 32) {
      char text[41];
      zmq_z85_encode(text, frames[6].data<std::uint8_t>(), 32);
      accepted = options_.clientKeys.count(text) > 0;
      log(accepted ? 2 : 1,
          std::string("a client with key ") + text +
              (accepted ? " is accepted" : " is refused: not in the client list"));
    }
    const std::string requestId = frames.size() > 1 ? frames[1].to_string() : std::string();
    zap_->send(zmq::str_buffer("1.0"), zmq::send_flags::sndmore);
    zap_->send(zmq::buffer(requestId), zmq::send_flags::sndmore);
    zap_->send(accepted ? zmq::str_buffer("200") : zmq::str_buffer("400"),
               zmq::send_flags::sndmore);
    zap_->send(accepted ? zmq::str_buffer("OK") : zmq::str_buffer("key not accepted"),
               zmq::send_flags::sndmore);
    zap_->send(zmq::str_buffer(""), zmq::send_flags::sndmore);
    zap_->send(zmq::str_buffer(""), zmq::send_flags::none);
  }
}

void ServiceServer::readRequests() {
  for (int i = 0; i < kRequestsPerTurn; ++i) {
    zmq::message_t peer;
    if (!router_.recv(peer, zmq::recv_flags::dontwait)) return;
    zmq::message_t body;
    if (!peer.more() || !router_.recv(body, zmq::recv_flags::dontwait)) continue;
    bool extra = false;
    while (body.more()) {
      zmq::message_t rest;
      if (!router_.recv(rest, zmq::recv_flags::dontwait)) break;
      extra = true;
      if (!rest.more()) break;
    }
    const std::string id = peer.to_string();
    if (banned_.count(id)) continue;
    if (extra) {
      drop(id, "it sent a message in several parts");
      banned_.insert(id);
      continue;
    }
    const int fd = zmq_msg_get(body.handle(), ZMQ_SRCFD);
    handle(id, fd, body.data<std::uint8_t>(), body.size());
  }
}

void ServiceServer::handle(const std::string& peer, int fd, const std::uint8_t* data,
                           std::size_t size) {
  protocol::DecodedRequest request;
  try {
    const protocol::Header header = protocol::readHeader(data, size);
    if (header.version != protocol::kVersion && header.type == MessageType::Hello) {
      // A client of another version learns why, in the one reply whose layout never changes.
      protocol::encodeReply(scratch_, header.correlation,
                            protocol::Failed{ExceptionKind::IO,
                                             "this camera service speaks protocol version " +
                                                 std::to_string(protocol::kVersion) +
                                                 ", the client " + std::to_string(header.version)});
      send(peer, scratch_);
      return;
    }
    request = protocol::decodeRequest(data, size);
  } catch (const protocol::ProtocolError& error) {
    drop(peer, std::string("it sent a malformed message: ") + error.what());
    banned_.insert(peer);
    return;
  }
  auto found = sessions_.find(peer);
  if (found == sessions_.end()) {
    if (!std::holds_alternative<protocol::Hello>(request.request)) {
      log(1, "a client that did not say hello is ignored");
      banned_.insert(peer);
      return;
    }
    // A reused descriptor means the connection that had it is gone.
    std::vector<std::string> stale;
    for (const auto& [other, session] : sessions_) {
      if (fd >= 0 && session->fd() == fd) stale.push_back(other);
    }
    for (const std::string& other : stale) drop(other, "its connection closed");
    found = sessions_.emplace(peer, std::make_unique<Session>(*this, peer, fd)).first;
  }
  Session& session = *found->second;
  if (!session.spend(service_.clock().now())) {
    drop(peer, "it sent requests faster than " + std::to_string(kRequestsPerSecond) + " a second");
    banned_.insert(peer);
    return;
  }
  if (std::holds_alternative<protocol::Bye>(request.request)) {
    drop(peer, "it said goodbye");
    return;
  }
  protocol::ServerMessage reply;
  try {
    reply = answer(session, request);
  } catch (const Exception& error) {
    reply = protocol::Failed{error.kind(), error.what()};
  } catch (const protocol::ProtocolError& error) {
    drop(peer, std::string("it sent a malformed request: ") + error.what());
    banned_.insert(peer);
    return;
  }
  protocol::encodeReply(scratch_, request.header.correlation, reply);
  send(peer, scratch_);
}

protocol::ServerMessage ServiceServer::answer(Session& session,
                                              const protocol::DecodedRequest& request) {
  const ClientId client = session.client();
  return std::visit(
      Overloaded{
          [&](const protocol::Hello& m) -> protocol::ServerMessage {
            service_.nameClient(client, m.clientName);
            log(1, "client " + std::to_string(client) + " (" + m.clientName + ") connected");
            return protocol::Welcome{client};
          },
          [&](const protocol::Enter& m) -> protocol::ServerMessage {
            const auto& operations = testing::allOperations();
            if (m.operation >= operations.size()) {
              throw protocol::ProtocolError("unknown operation " + std::to_string(m.operation));
            }
            service_.enter(static_cast<testing::SdkOperation>(m.operation), m.subject);
            return protocol::Done{};
          },
          [&](const protocol::ListDevices&) -> protocol::ServerMessage {
            return protocol::DeviceList{service_.devices()};
          },
          [&](const protocol::NodeRequest& m) -> protocol::ServerMessage {
            switch (request.header.type) {
              case MessageType::IsPlugged:
                return protocol::Flag{service_.isPlugged(m.node)};
              case MessageType::RequestControl:
                service_.requestControl(client, m.node);
                return protocol::Done{};
              case MessageType::ReleaseControl:
                service_.releaseControl(client, m.node);
                return protocol::Done{};
              default:
                break;
            }
            switch (service_.kindOf(m.node)) {
              case NodeKind::Depth:
                return protocol::ConfigurationRecord{bytesOf(service_.depthConfiguration(m.node))};
              case NodeKind::Color:
                return protocol::ConfigurationRecord{bytesOf(service_.colorConfiguration(m.node))};
              case NodeKind::Audio:
                return protocol::ConfigurationRecord{bytesOf(service_.audioConfiguration(m.node))};
              case NodeKind::Other:
                break;
            }
            throw InvalidOperationException("this node has no configuration");
          },
          [&](const protocol::SetConfiguration& m) -> protocol::ServerMessage {
            switch (m.kind) {
              case NodeKind::Depth:
                service_.setConfiguration(client, m.node,
                                          recordOf<DepthNode::Configuration>(m.record));
                break;
              case NodeKind::Color:
                service_.setConfiguration(client, m.node,
                                          recordOf<ColorNode::Configuration>(m.record));
                break;
              case NodeKind::Audio:
                service_.setConfiguration(client, m.node,
                                          recordOf<AudioNode::Configuration>(m.record));
                break;
              case NodeKind::Other:
                throw protocol::ProtocolError("a configuration for a node of no kind");
            }
            return protocol::Done{};
          },
          [&](const protocol::SetMixerLevel& m) -> protocol::ServerMessage {
            service_.setInputMixerLevel(m.node, m.level);
            return protocol::Done{};
          },
          [&](const protocol::Subscribe& m) -> protocol::ServerMessage {
            if (m.maps & ~(protocol::kDepthMap | protocol::kVertices | protocol::kColorMap |
                           protocol::kAudio)) {
              throw protocol::ProtocolError("unknown map bits");
            }
            if (!service_.isPlugged(m.node)) return protocol::Done{};
            Stream& stream = streams_[m.node];
            auto& order = stream.order;
            order.erase(std::remove(order.begin(), order.end(), client), order.end());
            if (m.maps == 0) {
              session.subscriptions().erase(m.node);
            } else {
              session.subscriptions()[m.node] = m.maps;
              order.push_back(client);
            }
            return protocol::Done{};
          },
          [&](const protocol::Bye&) -> protocol::ServerMessage { return protocol::Done{}; },
      },
      request.request);
}

void ServiceServer::drop(const std::string& peer, const std::string& why) {
  auto found = sessions_.find(peer);
  if (found == sessions_.end()) {
    log(1, "a client is ignored: " + why);
    return;
  }
  const ClientId client = found->second->client();
  log(1, "client " + std::to_string(client) + " dropped: " + why + " (" +
             std::to_string(found->second->dropped) + " messages it could not take)");
  for (auto& [node, stream] : streams_) {
    auto& order = stream.order;
    order.erase(std::remove(order.begin(), order.end(), client), order.end());
  }
  sessions_.erase(found);  // detaches from the service, which gives back its nodes
}

void ServiceServer::sayGoodbye(const std::string& reason) {
  protocol::encodeReply(scratch_, 0, protocol::Goodbye{reason});
  for (const auto& [peer, session] : sessions_) send(peer, scratch_);
}

void ServiceServer::produceDue() {
  const Nanoseconds now = service_.clock().now();
  for (auto& [node, stream] : streams_) {
    const bool wanted = !stream.order.empty() && service_.isPlugged(node);
    const std::int32_t perSecond = wanted ? service_.samplesPerSecond(node) : 0;
    if (perSecond <= 0) {
      stream.cursor.disarm();
      continue;
    }
    if (!stream.cursor.armed()) {
      stream.cursor.arm(now, perSecond);
    } else {
      stream.cursor.retime(perSecond);
    }
    if (stream.cursor.nextDue() > now) continue;
    std::int32_t skipped = 0;
    const std::int64_t index = stream.cursor.take(now, &skipped);
    produce(node, stream, index, stream.cursor.due(index));
  }
}

void ServiceServer::produce(NodeId node, Stream& stream, std::int64_t index, Nanoseconds due) {
  std::vector<std::pair<ClientId, std::uint8_t>> wanted;
  std::uint8_t all = 0;
  std::map<ClientId, Session*> byClient;
  for (auto& [peer, session] : sessions_) byClient[session->client()] = session.get();
  for (ClientId client : stream.order) {
    auto found = byClient.find(client);
    if (found == byClient.end()) continue;
    const std::uint8_t maps = found->second->maps(node);
    if (maps == 0) continue;
    wanted.emplace_back(client, maps);
    all |= maps;
  }
  if (wanted.empty()) return;

  protocol::SamplePush sample;
  sample.node = node;
  sample.kind = service_.kindOf(node);
  sample.index = index;
  sample.position = index;
  sample.timeOfCapture = microseconds(due);
  std::vector<protocol::MapBytes> maps;
  detail::DepthFrame depth;
  detail::ColorFrame color;
  detail::AudioFrame audio;
  switch (sample.kind) {
    case NodeKind::Depth:
      depth =
          service_.depthFrame(node, index, all & protocol::kDepthMap, all & protocol::kVertices);
      sample.frameFormat = depth.format;
      if (depth.depthMap)
        maps.push_back({protocol::kDepthMap, depth.depthMap.data(), depth.depthMap.byteSize()});
      if (depth.vertices)
        maps.push_back({protocol::kVertices, depth.vertices.data(), depth.vertices.byteSize()});
      break;
    case NodeKind::Color:
      color = service_.colorFrame(node, index);
      sample.frameFormat = color.format;
      maps.push_back({protocol::kColorMap, color.colorMap.data(), color.colorMap.byteSize()});
      break;
    case NodeKind::Audio:
      audio = service_.audioFrame(node, index);
      sample.position = audio.firstSample;
      sample.sampleRate = audio.sampleRate;
      sample.channels = audio.channels;
      maps.push_back({protocol::kAudio, audio.data.data(), audio.data.byteSize()});
      break;
    case NodeKind::Other:
      return;
  }
  service_.noteDelivered(node);
  // One message per distinct set of maps, shared by every client that wants that set.
  std::map<std::uint8_t, zmq::message_t> encoded;
  for (const auto& [client, want] : wanted) {
    auto message = encoded.find(want);
    if (message == encoded.end()) {
      std::vector<protocol::MapBytes> chosen;
      for (const auto& map : maps) {
        if (want & map.map) chosen.push_back(map);
      }
      protocol::encodeSample(scratch_, sample, chosen);
      message = encoded.emplace(want, zmq::message_t(scratch_.data(), scratch_.size())).first;
    }
    sendShared(byClient[client]->peer(), message->second);
  }
}

}  // namespace server
}  // namespace CamSdk
