// The client's side of liveness (protocol/Liveness.h) on one connection: when it owes the
// service a Heartbeat, and when the service has been silent too long. Its clocks run from the
// first message sent on a connection (the Hello) until the connection closes or falls silent,
// so nothing is sent before the client greets and a service that never answered is not timed.
#pragma once

#include <chrono>

#include "protocol/Liveness.h"

namespace CamSdk {
namespace transport {

class ServiceLiveness {
 public:
  using Clock = std::chrono::steady_clock;

  void sent(Clock::time_point now) {
    if (!active_) lastHeard_ = now;
    active_ = true;
    lastSent_ = now;
  }
  void heard(Clock::time_point now) { lastHeard_ = now; }
  // The connection closed or opened again: nothing is owed until the client greets.
  void reset() { active_ = false; }

  bool heartbeatDue(Clock::time_point now) const {
    return active_ && now - lastSent_ >= protocol::kHeartbeatInterval;
  }
  // True once the service has been silent for the limit; the clocks stop until the next send.
  bool fellSilent(Clock::time_point now) {
    if (!active_ || now - lastHeard_ < protocol::kSilenceLimit) return false;
    active_ = false;
    return true;
  }
  // When to look again at the latest: the next heartbeat or the end of the allowed silence.
  Clock::time_point nextCheck(Clock::time_point until) const {
    if (!active_) return until;
    return std::min({until, lastSent_ + protocol::kHeartbeatInterval,
                     lastHeard_ + protocol::kSilenceLimit});
  }

 private:
  bool active_ = false;
  Clock::time_point lastSent_{};
  Clock::time_point lastHeard_{};
};

}  // namespace transport
}  // namespace CamSdk
