#include "transport/ZmqConnection.h"

namespace CamSdk {
namespace transport {

namespace {

bool isAlive(const std::vector<zmq::message_t>& parts) {
  if (parts.size() != 1 || parts[0].size() != protocol::kHeaderSize) return false;
  try {
    return protocol::readHeader(parts[0].data<std::uint8_t>(), parts[0].size()).type ==
           protocol::MessageType::Alive;
  } catch (const protocol::ProtocolError&) {
    return false;
  }
}

// A Hello or a Bye ends the session before it, and with it the service's hold on what that
// session was lent.
bool endsSession(const std::vector<std::uint8_t>& request) {
  try {
    const protocol::MessageType type = protocol::readHeader(request.data(), request.size()).type;
    return type == protocol::MessageType::Hello || type == protocol::MessageType::Bye;
  } catch (const protocol::ProtocolError&) {
    return false;
  }
}

}  // namespace

ZmqConnection::ZmqConnection(const std::string& endpoint, const std::optional<ClientKeys>& keys)
    : socket_(endpoint, keys), shared_(sharedMemoryWanted(endpoint)) {
  protocol::encodeRequest(heartbeat_, protocol::MessageType::Heartbeat, 0, protocol::Heartbeat{});
  keeper_ = std::thread([this] { keepWhileAway(); });
}

ZmqConnection::~ZmqConnection() {
  {
    std::lock_guard<std::mutex> lock(keeperMutex_);
    stopping_ = true;
  }
  keeperWake_.notify_one();
  keeper_.join();
  shared_.closing();
}

// Looks twice per heartbeat interval. A socket held by its owner means the owner is waiting on
// it and sends what is owed itself; a free socket means the owner is elsewhere.
void ZmqConnection::keepWhileAway() {
  std::unique_lock<std::mutex> lock(keeperMutex_);
  while (
      !keeperWake_.wait_for(lock, protocol::kHeartbeatInterval / 2, [this] { return stopping_; })) {
    std::unique_lock<std::mutex> socket(socketMutex_, std::try_to_lock);
    if (!socket.owns_lock()) continue;
    keepAlive(ServiceLiveness::Clock::now());
    // Pointers let go on other threads while the owner is away are given back from here.
    giveBack(ServiceLiveness::Clock::now());
  }
}

bool ZmqConnection::send(const std::vector<std::uint8_t>& request) {
  std::lock_guard<std::mutex> lock(socketMutex_);
  if (endsSession(request)) shared_.sessionEnds();
  if (!socket_.send(request)) return false;
  liveness_.sent(ServiceLiveness::Clock::now());
  return true;
}

void ZmqConnection::keepAlive(ServiceLiveness::Clock::time_point now) {
  // A full queue refuses the heartbeat; the requests waiting in it will speak for this client.
  if (liveness_.heartbeatDue(now) && socket_.send(heartbeat_)) liveness_.sent(now);
}

void ZmqConnection::giveBack(ServiceLiveness::Clock::time_point now) {
  const std::vector<protocol::BufferId> buffers = shared_.giveBacks().take(now);
  if (buffers.empty()) return;
  protocol::encodeRequest(scratch_, protocol::MessageType::GiveBack, 0,
                          protocol::GiveBack{buffers});
  if (socket_.send(scratch_)) {
    liveness_.sent(now);
  } else {
    shared_.giveBacks().restore(buffers);  // the queue to the service is full: next time
  }
}

bool ZmqConnection::tryReceive(protocol::FrameList* message) {
  std::lock_guard<std::mutex> lock(socketMutex_);
  if (pending_) return false;
  const Event event = receive(std::chrono::steady_clock::now(), message);
  if (event == Event::Message) return true;
  if (event != Event::Timeout) pending_ = event;
  return false;
}

Connection::Event ZmqConnection::wait(Nanoseconds deadline, protocol::FrameList* message) {
  std::lock_guard<std::mutex> lock(socketMutex_);
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

// Waits in steps no longer than the next heartbeat or the end of the service's allowed
// silence. Silence is judged only after a wait found nothing to read, so a client that was
// itself stopped reads what waits for it before it decides the service has gone.
Connection::Event ZmqConnection::receive(ClientSocket::Deadline until,
                                         protocol::FrameList* message) {
  std::vector<zmq::message_t> parts;
  for (;;) {
    keepAlive(ServiceLiveness::Clock::now());
    giveBack(ServiceLiveness::Clock::now());
    const ClientSocket::Event event =
        socket_.wait(std::min(liveness_.nextCheck(until), shared_.giveBacks().due()), &parts);
    const auto now = ServiceLiveness::Clock::now();
    switch (event) {
      case ClientSocket::Event::Message:
        liveness_.heard(now);
        if (isAlive(parts)) continue;
        break;
      case ClientSocket::Event::Connected:
        liveness_.reset();
        return Event::Connected;
      case ClientSocket::Event::Disconnected:
        liveness_.reset();
        return Event::Disconnected;
      case ClientSocket::Event::Refused:
        liveness_.reset();
        return Event::Refused;
      case ClientSocket::Event::Timeout:
        if (liveness_.fellSilent(now)) return Event::Disconnected;
        if (now >= until) return Event::Timeout;
        continue;
    }
    message->clear();
    for (zmq::message_t& part : parts) {
      auto owned = std::make_shared<zmq::message_t>(std::move(part));
      message->push_back(protocol::OwnedFrame{owned, owned->data<std::uint8_t>(), owned->size()});
    }
    std::vector<std::uint8_t> mapped;
    try {
      if (!shared_.read(message, &mapped)) continue;
    } catch (const protocol::ProtocolError&) {
      // A service that names memory this client cannot read is not one to trust.
      liveness_.reset();
      return Event::Disconnected;
    }
    if (!mapped.empty() && socket_.send(mapped)) liveness_.sent(now);
    return Event::Message;
  }
}

}  // namespace transport
}  // namespace CamSdk
