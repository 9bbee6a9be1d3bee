#include "server/ServiceServer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

#include "protocol/Liveness.h"
#include "server/BindAddress.h"
#include "transport/SocketOptions.h"
#include "transport/ZmqContext.h"

namespace CamSdk {
namespace server {

using detail::Nanoseconds;

namespace {

constexpr const char* kZapAddress = "inproc://zeromq.zap.01";
// Frames at least this large are shared between clients instead of copied for each.
constexpr std::size_t kShareFrom = 4096;

// One address per server: a server's monitor endpoint is let go asynchronously, so a server
// made right after another in the same process could find a shared address still taken.
std::string nextMonitorAddress() {
  static std::atomic<int> counter{0};
  return "inproc://camsdk-service-monitor-" + std::to_string(counter++);
}

}  // namespace

bool isLocalEndpoint(const std::string& endpoint) {
  try {
    return parseBindAddress(endpoint).local;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

ServiceServer::ServiceServer(detail::Service& service, ServerOptions options)
    : options_(std::move(options)),
      router_(transport::zmqContext(), zmq::socket_type::router),
      monitor_(transport::zmqContext(), zmq::socket_type::pair),
      host_(service, *this, options_.log),
      liveness_(protocol::kSilenceLimit),
      refusedKeys_(options_.log) {
  const bool keyed = !options_.secretKey.empty();
  BindAddress address;
  try {
    address = parseBindAddress(options_.endpoint);
  } catch (const std::invalid_argument& error) {
    throw std::runtime_error(error.what());
  }
  if (!keyed && !address.local) {
    throw std::runtime_error(
        "serving " + options_.endpoint +
        (address.endpoint == options_.endpoint ? "" : " (" + address.endpoint + ")") +
        " needs keys (--key and --clients): without them the service "
        "only serves this machine");
  }
  if (address.ipv6) router_.set(zmq::sockopt::ipv6, true);
  transport::applyCommonOptions(router_);
  router_.set(zmq::sockopt::router_mandatory, true);
  // ZeroMQ closes the connection of a client that sends a larger frame before reading it all,
  // so no request can make the service hold more than this.
  router_.set(zmq::sockopt::maxmsgsize, static_cast<std::int64_t>(protocol::kMaxRequestSize));
  if (keyed) {
    zap_ = std::make_unique<zmq::socket_t>(transport::zmqContext(), zmq::socket_type::rep);
    zap_->bind(kZapAddress);
    router_.set(zmq::sockopt::curve_server, true);
    router_.set(zmq::sockopt::curve_secretkey, options_.secretKey);
    router_.set(zmq::sockopt::zap_domain, "camsdk");
  }
  const std::string monitorAddress = nextMonitorAddress();
  if (zmq_socket_monitor(router_.handle(), monitorAddress.c_str(),
                         ZMQ_EVENT_ACCEPTED | ZMQ_EVENT_DISCONNECTED) != 0) {
    throw std::runtime_error("cannot watch the service socket: " +
                             std::string(zmq_strerror(zmq_errno())));
  }
  monitor_.connect(monitorAddress);
  try {
    router_.bind(address.endpoint);
  } catch (const zmq::error_t& error) {
    if (error.num() == EADDRINUSE) {
      throw std::runtime_error(options_.endpoint + " is already served by another program");
    }
    throw std::runtime_error("cannot serve " + options_.endpoint + ": " + error.what());
  }
  // Only clients on this machine can map it, and an ipc endpoint has no others.
  if (options_.sharedMemory && address.endpoint.rfind("ipc://", 0) == 0) {
    std::string why;
    if (auto slots = SharedSlots::create(1, &why)) {
      host_.shareMaps(std::move(slots));
    } else {
      log(1, why + "; samples travel in their messages");
    }
  }
}

ServiceServer::~ServiceServer() { zmq_socket_monitor(router_.handle(), nullptr, 0); }

void ServiceServer::log(int level, const std::string& line) const {
  if (options_.log) options_.log(level, line);
}

bool ServiceServer::trySend(const std::string& peer, const protocol::FrameList& message) {
  try {
    if (!router_.send(zmq::buffer(peer), zmq::send_flags::sndmore | zmq::send_flags::dontwait)) {
      return false;
    }
  } catch (const zmq::error_t&) {
    return true;  // EHOSTUNREACH: the peer has gone, and the monitor will say so
  }
  // Once the first part went, ZeroMQ takes the whole message.
  for (std::size_t i = 0; i < message.size(); ++i) {
    const protocol::OwnedFrame& frame = message[i];
    const auto flags = i + 1 < message.size() ? zmq::send_flags::sndmore : zmq::send_flags::none;
    zmq::message_t part;
    if (frame.size >= kShareFrom) {
      auto found = shared_.find(frame.data);
      if (found == shared_.end()) {
        found = shared_.emplace(frame.data, zmq::message_t(frame.data, frame.size)).first;
      }
      part.copy(found->second);
    } else {
      part.rebuild(frame.data, frame.size);
    }
    router_.send(part, flags);
  }
  return true;
}

bool ServiceServer::send(const std::string& peer, const protocol::FrameList& message,
                         bool droppable) {
  std::deque<protocol::FrameList>& backlog = backlogs_[peer];
  if (backlog.empty() && trySend(peer, message)) return true;
  if (droppable) return false;
  backlog.push_back(message);
  return true;
}

void ServiceServer::flushBacklogs() {
  std::vector<std::string> stuck;
  for (auto& [peer, backlog] : backlogs_) {
    while (!backlog.empty() && trySend(peer, backlog.front())) backlog.pop_front();
    if (backlog.size() > kMaxBacklog) stuck.push_back(peer);
  }
  for (const std::string& peer : stuck) {
    backlogs_.erase(peer);
    auto known = peers_.find(peer);
    host_.refuse(peer, known == peers_.end() ? kNoConnection : known->second,
                 "it stopped reading what the service sends");
  }
  // Peers come and go: keep an entry only while something waits.
  for (auto backlog = backlogs_.begin(); backlog != backlogs_.end();) {
    backlog = backlog->second.empty() ? backlogs_.erase(backlog) : std::next(backlog);
  }
}

void ServiceServer::run(const std::atomic<bool>& stop) {
  while (!stop.load()) turn(std::chrono::milliseconds(50));
}

void ServiceServer::turn(std::chrono::milliseconds maxWait) {
  const Nanoseconds due = host_.nextDue();
  auto wait = maxWait;
  if (due != Nanoseconds::max()) {
    // The poll counts whole milliseconds: it wakes up to one early, and the last stretch is
    // slept to the nanosecond, so that samples leave when they are due and not a tick later.
    const Nanoseconds left = std::max(due - host_.service().clock().now(), Nanoseconds{0});
    wait = std::min(wait, std::chrono::floor<std::chrono::milliseconds>(left));
    if (wait.count() == 0) host_.service().clock().waitUntil(due);
  }
  std::vector<zmq::pollitem_t> items = {{router_.handle(), 0, ZMQ_POLLIN, 0},
                                        {monitor_.handle(), 0, ZMQ_POLLIN, 0}};
  if (zap_) items.push_back({zap_->handle(), 0, ZMQ_POLLIN, 0});
  // A capture device's frames and plug events wake the loop as requests do.
  for (int fd : host_.service().waitDescriptors()) {
    items.push_back({nullptr, static_cast<zmq_fd_t>(fd), ZMQ_POLLIN, 0});
  }
  try {
    zmq::poll(items.data(), items.size(), wait);
  } catch (const zmq::error_t& error) {
    if (error.num() != EINTR) throw;  // a signal: the caller looks at its stop flag
  }
  if (zap_) {
    answerZap();
    refusedKeys_.flush(host_.service().clock().now());
  }
  readMonitor();
  readRequests();
  dropSilentPeers();
  flushBacklogs();
  host_.runDue();
  shared_.clear();
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
    const int fd = static_cast<int>(value);
    if (id == ZMQ_EVENT_ACCEPTED) connectionGone(connections_.accepted(fd));
    if (id == ZMQ_EVENT_DISCONNECTED) connectionGone(connections_.closed(fd));
  }
}

void ServiceServer::connectionGone(ConnectionId connection) {
  if (connection == kNoConnection) return;
  for (auto peer = peers_.begin(); peer != peers_.end();) {
    if (peer->second != connection) {
      ++peer;
      continue;
    }
    liveness_.forget(peer->first);
    peer = peers_.erase(peer);
  }
  host_.connectionClosed(connection);
}

void ServiceServer::dropSilentPeers() {
  for (const std::string& peer : liveness_.silent(PeerLiveness::Clock::now())) {
    host_.peerSilent(
        peer, "it sent nothing for " + std::to_string(protocol::kSilenceLimit.count()) + " ms");
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
      const std::string line = std::string("a client with key ") + text +
                               (accepted ? " is accepted" : " is refused: not in the client list");
      if (accepted) {
        log(2, line);
      } else {
        refusedKeys_.dropped(host_.service().clock().now(), line);
      }
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
    const int fd = zmq_msg_get(body.handle(), ZMQ_SRCFD);
    auto known = peers_.find(id);
    if (known == peers_.end() || known->second != connections_.of(fd)) {
      // A peer not seen on this connection before: the monitor's notices about it were raised
      // before its first message, and are read first.
      readMonitor();
      known = peers_.insert_or_assign(id, connections_.of(fd)).first;
    }
    liveness_.heard(id, PeerLiveness::Clock::now());
    if (extra) {
      host_.refuse(id, known->second, "it sent a request in several parts");
      continue;
    }
    host_.receive(id, known->second, body.data<std::uint8_t>(), body.size());
  }
}

}  // namespace server
}  // namespace CamSdk
