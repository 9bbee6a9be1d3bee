#include "server/PeerLiveness.h"

namespace CamSdk {
namespace server {

std::vector<std::string> PeerLiveness::silent(Clock::time_point now) {
  std::vector<std::string> gone;
  const bool wasAway = lastLook_ != Clock::time_point{} && now - lastLook_ >= limit_ / 2;
  lastLook_ = now;
  for (auto peer = lastHeard_.begin(); peer != lastHeard_.end();) {
    if (wasAway) {
      peer->second = now;
      ++peer;
    } else if (now - peer->second > limit_) {
      gone.push_back(peer->first);
      peer = lastHeard_.erase(peer);
    } else {
      ++peer;
    }
  }
  return gone;
}

}  // namespace server
}  // namespace CamSdk
