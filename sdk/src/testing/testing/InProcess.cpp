#include "testing/InProcess.h"

#include "transport/SocketOptions.h"

namespace CamSdk {
namespace transport {

class InProcessConnection final : public Connection {
 public:
  InProcessConnection(std::shared_ptr<InProcessHub> hub, std::string peer)
      : hub_(std::move(hub)), peer_(std::move(peer)) {
    hub_->queues_[peer_];
  }
  ~InProcessConnection() override {
    hub_->host_.peerGone(peer_, "its context went");
    hub_->queues_.erase(peer_);
  }

  bool send(const std::vector<std::uint8_t>& request) override {
    hub_->host_.receive(peer_, -1, request.data(), request.size());
    return true;
  }

  bool tryReceive(protocol::FrameList* message) override { return take(message); }

  // Runs the host only as far as the next thing due that concerns this client (a timed
  // action, or a stream it watches), as a loop with nothing of its own due would otherwise
  // step the clock for ever on other clients' streams.
  Event wait(Nanoseconds deadline, protocol::FrameList* message) override {
    if (take(message)) return Event::Message;
    detail::Clock& clock = hub_->service_->clock();
    const detail::Nanoseconds due = hub_->host_.nextDueFor(peer_);
    if (due <= deadline) {
      clock.waitUntil(due);
      hub_->host_.runDue();
      return take(message) ? Event::Message : Event::Timeout;
    }
    if (deadline != detail::Nanoseconds::max()) clock.waitUntil(deadline);
    return Event::Timeout;
  }

  Nanoseconds now() const override { return hub_->service_->clock().now(); }
  bool virtualTime() const override { return hub_->service_->clock().isVirtual(); }

  // Only a virtual clock waits for nothing: on the real clock, time goes on.
  bool idle() const override {
    return virtualTime() && hub_->queues_.at(peer_).messages.empty() &&
           hub_->host_.nextDueFor(peer_) == detail::Nanoseconds::max();
  }

 private:
  bool take(protocol::FrameList* message) {
    InProcessHub::Queue& queue = hub_->queues_.at(peer_);
    if (queue.messages.empty()) return false;
    InProcessHub::Queued front = std::move(queue.messages.front());
    queue.messages.pop_front();
    if (front.sample) --queue.samples;
    *message = std::move(front.message);
    return true;
  }

  std::shared_ptr<InProcessHub> hub_;
  std::string peer_;
};

std::shared_ptr<InProcessHub> InProcessHub::of(const std::shared_ptr<detail::Service>& service) {
  // Keyed by address only to find a live hub again; an expired entry is never dereferenced.
  static std::map<const detail::Service*, std::weak_ptr<InProcessHub>> hubs;
  std::weak_ptr<InProcessHub>& entry = hubs[service.get()];
  std::shared_ptr<InProcessHub> hub = entry.lock();
  if (!hub) {
    hub = std::make_shared<InProcessHub>(service);
    entry = hub;
  }
  return hub;
}

InProcessHub::InProcessHub(std::shared_ptr<detail::Service> service)
    : service_(std::move(service)), host_(*service_, *this) {}

InProcessHub::~InProcessHub() = default;

std::unique_ptr<Connection> InProcessHub::connect() {
  return std::make_unique<InProcessConnection>(shared_from_this(),
                                               "in-process " + std::to_string(nextPeer_++));
}

bool InProcessHub::send(const std::string& peer, const protocol::FrameList& message,
                        bool droppable) {
  auto found = queues_.find(peer);
  if (found == queues_.end()) return true;  // its connection has gone
  Queue& queue = found->second;
  // The same bound as a ZeroMQ connection's: a context whose loop does not run misses
  // samples, never replies or notices.
  if (droppable && queue.samples >= static_cast<std::size_t>(kHighWaterMark)) return false;
  queue.messages.push_back(Queued{message, droppable});
  if (droppable) ++queue.samples;
  return true;
}

}  // namespace transport
}  // namespace CamSdk
