#include "transport/ZmqConnection.h"

namespace CamSdk {
namespace transport {

ZmqConnection::ZmqConnection(const std::string& endpoint, const std::optional<ClientKeys>& keys)
    : socket_(endpoint, keys) {}

bool ZmqConnection::tryReceive(protocol::FrameList* message) {
  if (pending_) return false;
  const Event event = receive(std::chrono::steady_clock::now(), message);
  if (event == Event::Message) return true;
  if (event != Event::Timeout) pending_ = event;
  return false;
}

Connection::Event ZmqConnection::wait(Nanoseconds deadline, protocol::FrameList* message) {
  if (pending_) {
    const Event event = *pending_;
    pending_.reset();
    return event;
  }
  const auto left = deadline - now();
  const auto until =
      left > std::chrono::hours(1)
          ? std::chrono::steady_clock::now() + std::chrono::hours(1)
          : std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(left);
  return receive(until, message);
}

Connection::Event ZmqConnection::receive(ClientSocket::Deadline until,
                                         protocol::FrameList* message) {
  std::vector<zmq::message_t> parts;
  const ClientSocket::Event event = socket_.wait(until, &parts);
  switch (event) {
    case ClientSocket::Event::Message:
      break;
    case ClientSocket::Event::Connected:
      return Event::Connected;
    case ClientSocket::Event::Disconnected:
      return Event::Disconnected;
    case ClientSocket::Event::Refused:
      return Event::Refused;
    case ClientSocket::Event::Timeout:
      return Event::Timeout;
  }
  message->clear();
  for (zmq::message_t& part : parts) {
    auto owned = std::make_shared<zmq::message_t>(std::move(part));
    message->push_back(protocol::OwnedFrame{owned, owned->data<std::uint8_t>(), owned->size()});
  }
  return Event::Message;
}

}  // namespace transport
}  // namespace CamSdk
