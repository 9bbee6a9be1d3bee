// When the service last heard from each client, and which ones have been silent too long
// (protocol::kSilenceLimit). Any message counts, a Heartbeat or a request: how full the
// service's queue to a client is plays no part, so a client that stops reading is judged by
// what it sends, and one that stops altogether is found however many samples wait for it.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace CamSdk {
namespace server {

class PeerLiveness {
 public:
  using Clock = std::chrono::steady_clock;

  explicit PeerLiveness(Clock::duration limit) : limit_(limit) {}

  void heard(const std::string& peer, Clock::time_point now) { lastHeard_[peer] = now; }
  void forget(const std::string& peer) { lastHeard_.erase(peer); }
  // The peers not heard from for longer than the limit at `now`, which are forgotten. When the
  // service's own loop was away for half the limit or more (the service was stopped, or starved
  // of the processor), it did not listen meanwhile: every peer's silence starts again instead.
  std::vector<std::string> silent(Clock::time_point now);
  std::size_t size() const { return lastHeard_.size(); }

 private:
  Clock::duration limit_;
  std::map<std::string, Clock::time_point> lastHeard_;
  Clock::time_point lastLook_{};
};

}  // namespace server
}  // namespace CamSdk
