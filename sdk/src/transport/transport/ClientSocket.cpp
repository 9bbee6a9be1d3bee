#include "transport/ClientSocket.h"

#include <atomic>
#include <cstring>

#include "protocol/Messages.h"
#include "transport/SocketOptions.h"
#include "transport/ZmqContext.h"

namespace CamSdk {
namespace transport {

namespace {

std::string nextMonitorAddress() {
  static std::atomic<int> counter{0};
  return "inproc://camsdk-client-monitor-" + std::to_string(counter++);
}

}  // namespace

ClientSocket::ClientSocket(const std::string& endpoint, const std::optional<ClientKeys>& keys)
    : socket_(zmqContext(), zmq::socket_type::dealer),
      monitor_(zmqContext(), zmq::socket_type::pair) {
  applyCommonOptions(socket_);
  // Requests made while no service is connected fail at once instead of waiting in a queue.
  socket_.set(zmq::sockopt::immediate, true);
  socket_.set(zmq::sockopt::reconnect_ivl, 100);
  socket_.set(zmq::sockopt::reconnect_ivl_max, 500);
  // A service that sends a larger frame is not one to trust: ZeroMQ closes that connection
  // before holding the frame, and the client sees its service go.
  socket_.set(zmq::sockopt::maxmsgsize, static_cast<std::int64_t>(protocol::kMaxServiceFrame));
  if (keys) {
    socket_.set(zmq::sockopt::curve_serverkey, keys->servicePublicKey);
    socket_.set(zmq::sockopt::curve_publickey, keys->own.publicKey);
    socket_.set(zmq::sockopt::curve_secretkey, keys->own.secretKey);
  }
  const std::string monitorAddress = nextMonitorAddress();
  if (zmq_socket_monitor(socket_.handle(), monitorAddress.c_str(),
                         ZMQ_EVENT_HANDSHAKE_SUCCEEDED | ZMQ_EVENT_DISCONNECTED |
                             ZMQ_EVENT_HANDSHAKE_FAILED_AUTH |
                             ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL) != 0) {
    throw zmq::error_t();
  }
  monitor_.connect(monitorAddress);
  socket_.connect(endpoint);
}

ClientSocket::~ClientSocket() { zmq_socket_monitor(socket_.handle(), nullptr, 0); }

bool ClientSocket::send(const std::vector<std::uint8_t>& bytes) {
  return socket_.send(zmq::buffer(bytes), zmq::send_flags::dontwait).has_value();
}

std::optional<ClientSocket::Event> ClientSocket::readMonitor() {
  zmq::message_t event;
  if (!monitor_.recv(event, zmq::recv_flags::dontwait)) return std::nullopt;
  std::uint16_t id = 0;
  if (event.size() >= sizeof id) std::memcpy(&id, event.data(), sizeof id);
  // The second frame (the peer's address) says nothing this client needs.
  while (event.more()) {
    if (!monitor_.recv(event, zmq::recv_flags::dontwait)) break;
  }
  switch (id) {
    case ZMQ_EVENT_HANDSHAKE_SUCCEEDED:
      return Event::Connected;
    case ZMQ_EVENT_DISCONNECTED:
      return Event::Disconnected;
    case ZMQ_EVENT_HANDSHAKE_FAILED_AUTH:
    case ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL:
      return Event::Refused;
    default:
      return std::nullopt;
  }
}

ClientSocket::Event ClientSocket::wait(Deadline deadline, std::vector<zmq::message_t>* parts) {
  for (;;) {
    // Connection events first: a reply read after a disconnection would be from a session
    // that no longer exists.
    if (auto event = readMonitor()) return *event;
    zmq::message_t first;
    if (socket_.recv(first, zmq::recv_flags::dontwait)) {
      parts->clear();
      parts->push_back(std::move(first));
      // The other parts of a message are there as soon as its first is.
      while (parts->back().more()) {
        zmq::message_t next;
        if (!socket_.recv(next, zmq::recv_flags::dontwait)) break;
        parts->push_back(std::move(next));
      }
      return Event::Message;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return Event::Timeout;
    zmq::pollitem_t items[] = {{socket_.handle(), 0, ZMQ_POLLIN, 0},
                               {monitor_.handle(), 0, ZMQ_POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    zmq::poll(items, 2, std::chrono::milliseconds(left.count() + 1));
  }
}

}  // namespace transport
}  // namespace CamSdk
